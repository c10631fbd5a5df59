#include "core/ShakeAlarm.h"

#include "platform/SystemLog.h"

#include <algorithm>
#include <cmath>
#include <limits>

qint64 ShakeAlarm::wholeFrequency(float frequency) {
    // Below 1 (also NaN) the sampler takes 1 per second; the divisors below must not reach 0.
    if (!(frequency >= 1.0f)) {
        return 1;
    }
    return frequency < 2147483648.0f ? qint64(frequency) : std::numeric_limits<qint32>::max();
}

qint32 ShakeAlarm::samplesIn(float frequency, int seconds) {
    // Saturates: at an absurd rate the count ends early rather than wrapping.
    return qint32(
        std::min<qint64>(wholeFrequency(frequency) * seconds, std::numeric_limits<qint32>::max()));
}

void ShakeAlarm::switchOn(float frequency) {
    mIsAlarmOn = true;
    mIsAlarmBeeping = false;
    mAlarmCountDown = samplesIn(frequency, 5);
    mAlarmSoundRepeatCountDown = samplesIn(frequency, 60);
}

void ShakeAlarm::switchOff() {
    mIsAlarmOn = false;
    mIsAlarmBeeping = false;
    mAlarmCountDown = 0;
    mAlarmSoundRepeatCountDown = 0;
}

ShakeAlarm::Tick ShakeAlarm::countDown(float frequency) {
    Tick tick;
    const qint32 c = mAlarmCountDown;
    if (c > 0) {
        const float total = float(samplesIn(frequency, 5));
        tick.arming = true;
        // A count-down begun at a higher rate than this one's is longer than `total`.
        tick.progress = std::clamp((total - float(c)) / total, 0.0f, 1.0f);
        mAlarmCountDown = c - 1;
        tick.armed = mAlarmCountDown == 0;
        return tick;
    }
    const qint32 r = mAlarmSoundRepeatCountDown;
    if (mIsAlarmBeeping && r > 0) {
        tick.playSound = r % samplesIn(frequency, 2) == 0;
        mAlarmSoundRepeatCountDown = r - 1;
    }
    return tick;
}

bool ShakeAlarm::tripTest(float v, bool filteringIsEnabled) {
    if (!filteringIsEnabled || !mIsAlarmOn || mAlarmCountDown != 0 || mIsAlarmBeeping ||
        !(std::fabs(v) > mAlarmLevel)) {
        return false;
    }
    SHAKELOG_LOG("%f,%f", double(v), double(mAlarmLevel));
    mIsAlarmBeeping = true;
    return true;
}
