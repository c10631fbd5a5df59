#include "core/SampleHistory.h"

#include <chrono>
#include <cmath>

double SampleHistory::systemWallClock() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

SampleHistory::SampleHistory(WallClock clock) : mClock(std::move(clock)) {}

QString SampleHistory::samplingRateText(int samples) { return QString::asprintf("%dhz", samples); }

unsigned SampleHistory::frequencyDivisor() const {
    if (!(mFrequency >= 1.0f)) {  // also NaN
        return 1;
    }
    return mFrequency >= 4.0e9f ? 4000000000u : unsigned(mFrequency);
}

void SampleHistory::setFilteringEnabled(bool enabled) {
    mFilteringIsEnabled = enabled;
    acceleration = {0.0, 0.0, 0.0};
}

SampleHistory::Update SampleHistory::updateHistoryWithX(float x, float y, float z) {
    Update update;
    if (!mUpdatingIsEnabled) {
        return update;
    }
    update.recorded = true;

    const float input[3] = {x, y, z};
    std::array<double, 3> &slot = history[nextIndex];
    for (int a = 0; a < 3; ++a) {
        const double v = input[a];
        if (mFilteringIsEnabled && !mInputPrefiltered) {
            slot[a] = highPass(v, acceleration[a]);
        } else {
            slot[a] = v;
        }
    }

    // The second of the previous sample decides whether this slot starts a new second.
    const double now = mClock();
    const qint32 second =
        mLastRecordedDate ? qint32(std::trunc(*mLastRecordedDate - kReferenceDateOffset)) : 0;
    if (second != mCheckTime) {
        mCheckTime = second;
        mTickHistory[nextIndex] = now;
        update.measuredRate = mFrameRateBuffer;
        mFrameRateBuffer = 0;
    } else {
        mTickHistory[(nextIndex + 1) & kMask].reset();
    }

    nextIndex = (nextIndex + 1) & kMask;
    ++mFrameRateBuffer;
    mLastRecordedDate = now;

    update.needsDisplay = mRealTime || nextIndex % frequencyDivisor() == 0;
    return update;
}
