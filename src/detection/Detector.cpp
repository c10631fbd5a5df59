#include "detection/Detector.h"

#include <algorithm>
#include <cmath>

namespace {
double median(double a, double b, double c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}
}  // namespace

Detector::Detector(const DetectionSettings &settings, double rate)
    : mSettings(settings),
      mRate(rate),
      mCorners(BandPass::corners(settings.bandLow, settings.bandHigh, rate)),
      mQuietSamples(std::max<int64_t>(1, std::llround(settings.minimumDuration * rate))),
      mFreezeSamples(std::max<int64_t>(1, std::llround(settings.lta * rate))) {
    if (!mCorners) {
        mProblem = QStringLiteral("at %1 samples/s the band %2-%3 Hz has nothing below %4 Hz")
                       .arg(rate)
                       .arg(settings.bandLow)
                       .arg(settings.bandHigh)
                       .arg(BandPass::kHighestCorner * rate);
        return;
    }
    const int64_t sta = std::max<int64_t>(1, std::llround(settings.sta * rate));
    const int64_t lta = std::max<int64_t>(sta + 1, std::llround(settings.lta * rate));
    for (int axis = 0; axis < 3; ++axis) {
        mBandPasses.emplace_back(*mCorners, rate);
        mAverages.emplace_back(sta, lta);
    }
}

Detector::Change Detector::addSample(const Acceleration &sample,
                                     const std::array<double, 3> &highPassed) {
    const std::array<double, 3> input = {sample.x, sample.y, sample.z};
    // A value that is not a number would stay in the filters' state for good.
    if (!isUsable() || !std::isfinite(sample.x + sample.y + sample.z)) {
        return Change::None;
    }
    if (mCount == 0) {
        // Gravity enters as a step otherwise, and the band-pass's answer to it would fill the
        // first LTA window.
        mOffset = input;
        for (int axis = 0; axis < 3; ++axis) {
            mPrevious[axis] = {input[axis], input[axis]};
        }
    }
    ++mCount;
    mLastTime = sample.timestamp;
    double largest = 0;
    bool quiet = true;
    for (int axis = 0; axis < 3; ++axis) {
        std::array<double, 2> &previous = mPrevious[axis];
        const double despiked = median(previous[0], previous[1], input[axis]);
        previous = {previous[1], input[axis]};
        StaLta &average = mAverages[axis];
        average.add(mBandPasses[axis].filter(float(despiked - mOffset[axis])));
        const double ratio = average.ratio();
        largest = std::max(largest, ratio);
        quiet = quiet && ratio < mSettings.off;
    }
    if (!mAverages[0].isWarm()) {
        return Change::None;
    }

    if (!mInEvent) {
        if (largest < mSettings.on) {
            return Change::None;
        }
        mInEvent = true;
        mEvent = Event();
        mEvent.start = sample.timestamp;
        mEvent.end = sample.timestamp;
        mEventSamples = 0;
        mQuietCount = 0;
        trackPeak(largest, highPassed);
        for (StaLta &average : mAverages) {
            average.setLtaFrozen(true);
        }
        return Change::Started;
    }

    if (++mEventSamples == mFreezeSamples) {
        for (StaLta &average : mAverages) {
            average.setLtaFrozen(false);
        }
    }
    if (!quiet) {
        if (mQuietCount > 0) {
            // The quiet stretch was too short: it belongs to the event after all.
            trackPeak(mQuietPeak, {});
            if (mQuietPga > mEvent.pga) {
                mEvent.pga = mQuietPga;
                mEvent.pgaAxis = mQuietPgaAxis;
            }
            mQuietCount = 0;
        }
        trackPeak(largest, highPassed);
        mEvent.end = sample.timestamp;
        return Change::None;
    }
    if (mQuietCount == 0) {
        mQuietSince = sample.timestamp;
        mQuietPga = 0;
        mQuietPeak = 0;
    }
    mQuietPeak = std::max(mQuietPeak, largest);
    for (int axis = 0; axis < 3; ++axis) {
        if (std::abs(highPassed[axis]) > mQuietPga) {
            mQuietPga = std::abs(highPassed[axis]);
            mQuietPgaAxis = axis;
        }
    }
    if (++mQuietCount < mQuietSamples) {
        return Change::None;
    }
    mEvent.end = mQuietSince;
    mInEvent = false;
    for (StaLta &average : mAverages) {
        average.setLtaFrozen(false);
    }
    return Change::Ended;
}

void Detector::trackPeak(double ratio, const std::array<double, 3> &highPassed) {
    mEvent.peakRatio = std::max(mEvent.peakRatio, ratio);
    for (int axis = 0; axis < 3; ++axis) {
        if (std::abs(highPassed[axis]) > mEvent.pga) {
            mEvent.pga = std::abs(highPassed[axis]);
            mEvent.pgaAxis = axis;
        }
    }
}

bool Detector::cutShort() {
    if (!mInEvent) {
        return false;
    }
    mInEvent = false;
    mEvent.end = mQuietCount > 0 ? mQuietSince : mLastTime;
    mEvent.cutShort = true;
    for (StaLta &average : mAverages) {
        average.setLtaFrozen(false);
    }
    return true;
}

std::array<double, 3> Detector::ratios() const {
    if (!isUsable()) {
        return {};
    }
    return {mAverages[0].ratio(), mAverages[1].ratio(), mAverages[2].ratio()};
}
