#pragma once

#include <QtGlobal>

#include <optional>

// When the samples of a source paced at a fixed interval are due. Qt's timers count whole
// milliseconds, so a paced source wakes at most every 10 ms (timerMilliseconds) and takes every
// sample that is due by then, each with the time it was due: fast and odd rates keep their pace.
// After a stall of more than a second (a suspended machine) it skips ahead instead of handing
// over the backlog in one burst. Times are monotonic seconds. Main thread only.
class SamplePacing {
public:
    static constexpr double kMaxCatchUpSeconds = 1.0;
    // The most samples one wake takes, whatever is due: a rate no sensor has (a hand-edited
    // SCAN_RATE of two billion) would otherwise keep the event loop from ever getting its turn,
    // and with it quitting, signals and drawing. The rest waits, or is skipped after a stall.
    static constexpr int kMaxSamplesPerWake = 1000;

    // The timer period for samples `interval` seconds apart: 1 to 10 ms.
    static int timerMilliseconds(double interval);

    // Sample 0 is due at `now`.
    void start(double now, double interval);
    // The time the next sample was due, when it is due by `now`; it then counts as taken.
    std::optional<double> takeDue(double now);
    // Hands the due times of the samples due by `now` to `take`, oldest first, at most
    // kMaxSamplesPerWake of them; `take` returns false to stop early.
    template <typename Take>
    void takeAllDue(double now, Take take) {
        for (int taken = 0; taken < kMaxSamplesPerWake; ++taken) {
            const std::optional<double> due = takeDue(now);
            if (!due || !take(*due)) {
                return;
            }
        }
    }

private:
    double mInterval = 0.01;  // seconds between samples
    double mStartTime = 0;    // when sample 0 since the last start was due
    quint64 mTaken = 0;       // samples taken since the last start
};
