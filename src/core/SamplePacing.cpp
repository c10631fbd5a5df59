#include "core/SamplePacing.h"

#include <algorithm>

int SamplePacing::timerMilliseconds(double interval) {
    return std::clamp(int(std::min(interval, 1.0) * 1000.0), 1, 10);
}

void SamplePacing::start(double now, double interval) {
    mInterval = interval;
    mStartTime = now;
    mTaken = 0;
}

std::optional<double> SamplePacing::takeDue(double now) {
    double due = mStartTime + double(mTaken) * mInterval;
    if (now - due > kMaxCatchUpSeconds) {
        mStartTime = now - double(mTaken) * mInterval;
        due = now;
    }
    if (due > now) {
        return std::nullopt;
    }
    ++mTaken;
    return due;
}
