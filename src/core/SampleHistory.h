#pragma once

#include <QString>

#include <array>
#include <functional>
#include <optional>

// The seismograph's memory: a ring of the last 2048 three-axis samples (g, high-pass filtered
// or raw) with an optional wall-clock date per slot, the filter state, the second marks and the
// measured-rate count. Fixed size, no allocation per sample. Main thread only.
//
// Offsets given to the accessors count from `nextIndex` (the oldest slot) and wrap modulo 2048:
// offset 0 is the oldest sample, 2047 and -1 the newest.
class SampleHistory {
public:
    static constexpr unsigned kSize = 2048;
    static constexpr unsigned kMask = kSize - 1;
    // Dates are seconds since 1970-01-01 00:00:00 UTC; second marks count whole seconds from
    // the platform's reference date, 2001-01-01 00:00:00 UTC.
    static constexpr double kReferenceDateOffset = 978307200.0;
    using Date = std::optional<double>;
    using WallClock = std::function<double()>;  // now, in seconds since 1970 (UTC)

    static double systemWallClock();

    // The history's high-pass, one axis: the sample less its smoothed mean (`mean`, the
    // filter's state, 0.1 of each new sample). Detection measures PGA with it whatever FILTER.
    static double highPass(double value, double &mean) {
        mean = 0.1 * value + 0.9 * mean;
        return value - mean;
    }

    // What one recorded sample asks of its view.
    struct Update {
        bool recorded = false;      // false while paused: nothing changed
        bool needsDisplay = false;  // the drawing should be refreshed
        int measuredRate = -1;      // >= 0 at a second mark: samples in the last second
    };

    explicit SampleHistory(WallClock clock = systemWallClock);

    void setWallClock(WallClock clock) { mClock = std::move(clock); }

    Update updateHistoryWithX(float x, float y, float z);

    double getHistory(int offset, int xyzIndex) const {
        return history[(nextIndex + unsigned(offset)) & kMask][xyzIndex];
    }
    double getLatestHistory(int xyzIndex) const {
        return history[(nextIndex + kMask) & kMask][xyzIndex];
    }
    // The ring keeps the date; valid until the next update.
    const Date &getTimestamp(int offset) const {
        return mTickHistory[(nextIndex + unsigned(offset)) & kMask];
    }

    // Also resets the filter state, whether or not the flag changes.
    void setFilteringEnabled(bool enabled);
    bool filteringIsEnabled() const { return mFilteringIsEnabled; }
    // Samples that were high-pass filtered before they arrived (another Shakelog's stream) are
    // stored as they are even with the filter on; drawing and alarm still treat them as filtered.
    void setInputPrefiltered(bool prefiltered) { mInputPrefiltered = prefiltered; }
    bool updatingIsEnabled() const { return mUpdatingIsEnabled; }
    void setUpdatingIsEnabled(bool enabled) { mUpdatingIsEnabled = enabled; }
    float frequency() const { return mFrequency; }
    void setMFrequency(float frequency) { mFrequency = frequency; }
    bool realTime() const { return mRealTime; }
    void setMRealTime(bool realTime) { mRealTime = realTime; }
    bool drawTime() const { return mDrawTime; }
    void setMDrawTime(bool drawTime) { mDrawTime = drawTime; }

    unsigned getNextIndex() const { return nextIndex; }
    // The same, by ring slot (taken modulo 2048) rather than by offset.
    double historyAtSlot(unsigned slot, int xyzIndex) const {
        return history[slot & kMask][xyzIndex];
    }
    const Date &timestampAtSlot(unsigned slot) const { return mTickHistory[slot & kMask]; }

    // Puts the ring position at `index` modulo 2048, for a ring that must start at a given slot
    // (tests). Only recording moves it otherwise: scrolling moves the view, never the ring.
    void setNextIndex(unsigned index) { nextIndex = index & kMask; }

    // The nominal rate as a whole divisor: rates below 1 (including 0 and negative settings)
    // count as 1 so that no caller divides by zero.
    unsigned frequencyDivisor() const;

    // The measured-rate label text, "100hz".
    static QString samplingRateText(int samples);

private:
    WallClock mClock;

    unsigned nextIndex = 0;                              // slot of the next sample; the oldest slot
    std::array<double, 3> acceleration{};                // filter state: smoothed mean per axis
    std::array<std::array<double, 3>, kSize> history{};  // x, y, z per slot
    std::array<Date, kSize> mTickHistory{};              // date where a new second began
    qint32 mCheckTime = 0;        // whole second (since 2001) of the last second mark
    Date mLastRecordedDate;       // date of the previous sample
    qint32 mFrameRateBuffer = 0;  // samples since the last second mark
    float mFrequency = 0.0f;      // nominal rate, samples per second
    bool mFilteringIsEnabled = false;
    bool mInputPrefiltered = false;   // filter on, but the input is filtered already
    bool mUpdatingIsEnabled = false;  // recording (true) or paused
    bool mRealTime = false;           // redraw after every sample
    bool mDrawTime = false;           // time lines with clock labels
};
