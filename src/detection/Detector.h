#pragma once

#include "detection/BandPass.h"
#include "detection/DetectionSettings.h"
#include "detection/Event.h"
#include "detection/StaLta.h"
#include "platform/Accelerometer.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

// The event trigger: for each axis, the sample goes through a three-sample median (a glitch of
// one sample is not ground motion), the Butterworth band-pass and the recursive STA/LTA. No
// event starts during the first LTA window. An event starts at the sample where any axis's
// ratio reaches the on ratio, and ends once every axis's ratio has stayed below the off ratio
// for the minimum duration; its end is the first sample of that quiet stretch.
//
// While an event runs the LTA is frozen, so that a long event does not raise the level its own
// STA is compared with and end itself early; after one LTA window of event the LTA follows the
// signal again, so that a lasting change of the background (a machine switched on nearby) ends
// the event in about one more LTA window instead of holding it open for ever.
//
// PGA is taken from the high-passed values the application draws, which the caller passes in.
// Times are those of the samples (Acceleration::timestamp); the caller turns them into UTC.
// Main thread only; no allocation per sample.
class Detector {
public:
    enum class Change { None, Started, Ended };

    // Samples are expected at `rate` per second. When the band has nothing left below the
    // Nyquist frequency the detector is not usable (problem() says why) and never triggers.
    Detector(const DetectionSettings &settings, double rate);

    bool isUsable() const { return !mBandPasses.empty(); }
    const QString &problem() const { return mProblem; }
    const DetectionSettings &settings() const { return mSettings; }
    double rate() const { return mRate; }
    // The band the filter really has (its upper corner capped).
    std::optional<BandPass::Corners> corners() const { return mCorners; }

    // `highPassed`: the sample as the history's high-pass gives it (g), for the PGA.
    Change addSample(const Acceleration &sample, const std::array<double, 3> &highPassed);

    bool isInEvent() const { return mInEvent; }
    // The event running (times so far), or the last one ended.
    const Event &event() const { return mEvent; }
    // Ends a running event at the last sample, marked cut short (the run is ending). False when
    // none ran.
    bool cutShort();

    // The three axes' ratio after the last sample (0 during the first samples).
    std::array<double, 3> ratios() const;

private:
    void trackPeak(double ratio, const std::array<double, 3> &highPassed);

    DetectionSettings mSettings;
    double mRate;
    QString mProblem;
    std::optional<BandPass::Corners> mCorners;
    std::vector<BandPass> mBandPasses;  // one per axis; none when not usable
    std::vector<StaLta> mAverages;      // one per axis
    int64_t mQuietSamples;              // the minimum duration in samples
    int64_t mFreezeSamples;             // the longest LTA freeze (one LTA window)

    int64_t mCount = 0;               // samples seen
    std::array<double, 3> mOffset{};  // the first sample: gravity out of the band-pass
    std::array<std::array<double, 2>, 3> mPrevious{};  // the two samples before, per axis
    bool mInEvent = false;
    int64_t mEventSamples = 0;  // samples since the event started
    int64_t mQuietCount = 0;    // samples in a row with every ratio below off
    double mQuietSince = 0;     // time of the first of them
    double mLastTime = 0;       // time of the last sample
    Event mEvent;
    // The quiet stretch's PGA and peak ratio, kept apart: they join the event only when the
    // stretch turns out too short to end it.
    double mQuietPga = 0;
    int mQuietPgaAxis = 2;
    double mQuietPeak = 0;
};
