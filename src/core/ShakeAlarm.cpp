#include "core/ShakeAlarm.h"

#include "platform/SystemLog.h"

#include <cmath>

int ShakeAlarm::wholeFrequency(float frequency) {
    // A rate below 1 would make the divisors below 0.
    return frequency >= 1.0f && frequency < 1e9f ? int(frequency) : 1;
}

namespace {
// Truncates toward zero; a product beyond the 32-bit range (an absurd rate) saturates.
qint32 samples(float product) {
    if (!(product > -2.0e9f && product < 2.0e9f)) {
        return product > 0 ? 2000000000 : 0;
    }
    return qint32(product);
}
}  // namespace

void ShakeAlarm::switchOn(float frequency) {
    mIsAlarmOn = true;
    mIsAlarmBeeping = false;
    mAlarmCountDown = samples(frequency * 5.0f);
    mAlarmSoundRepeatCountDown = samples(frequency * 60.0f);
}

void ShakeAlarm::switchOff() {
    mIsAlarmOn = false;
    mIsAlarmBeeping = false;
    mAlarmCountDown = 0;
    mAlarmSoundRepeatCountDown = 0;
}

ShakeAlarm::Tick ShakeAlarm::countDown(float frequency) {
    Tick tick;
    const int f = wholeFrequency(frequency);
    const qint32 c = mAlarmCountDown;
    if (c > 0) {
        const float total = float(f * 5);
        tick.arming = true;
        tick.progress = (total - float(c)) / total;
        mAlarmCountDown = c - 1;
        tick.armed = mAlarmCountDown == 0;
        return tick;
    }
    const qint32 r = mAlarmSoundRepeatCountDown;
    if (mIsAlarmBeeping && r > 0) {
        tick.playSound = r % (f * 2) == 0;
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
