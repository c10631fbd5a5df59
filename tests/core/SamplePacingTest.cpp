#include "core/SamplePacing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Wakes every `wakeMs` from 0 to `seconds` and collects the times handed over.
std::vector<double> pace(SamplePacing &pacing, double seconds, int wakeMs, double from = 0) {
    std::vector<double> times;
    for (int ms = 0; ms <= int(seconds * 1000); ms += wakeMs) {
        while (const std::optional<double> due = pacing.takeDue(from + ms / 1000.0)) {
            times.push_back(*due);
        }
    }
    return times;
}

TEST(SamplePacing, OddAndFastRatesKeepTheirPaceOnMillisecondTimers) {
    for (const double rate : {150.0, 2001.0, 7.0}) {
        SamplePacing pacing;
        pacing.start(0, 1.0 / rate);
        const int wake = SamplePacing::timerMilliseconds(1.0 / rate);
        EXPECT_GE(wake, 1);
        EXPECT_LE(wake, 10);
        const std::vector<double> times = pace(pacing, 1.0, wake);
        ASSERT_NEAR(double(times.size()), rate + 1, 1.0) << rate;  // a whole second of samples
        for (size_t k = 0; k < times.size(); ++k) {
            ASSERT_DOUBLE_EQ(times[k], double(k) / rate) << rate;
        }
    }
}

TEST(SamplePacing, AfterAStallItSkipsAheadInsteadOfBursting) {
    SamplePacing pacing;
    pacing.start(0, 0.01);
    pace(pacing, 0.5, 10);
    std::vector<double> after = pace(pacing, 0.1, 10, 60.0);  // a minute later
    ASSERT_FALSE(after.empty());
    EXPECT_DOUBLE_EQ(after.front(), 60.0);
    EXPECT_LE(after.size(), 12u);
    // A short delay is caught up in full.
    SamplePacing late;
    late.start(0, 0.01);
    EXPECT_NEAR(double(pace(late, 0.5, 500).size()), 51, 1);
}

}  // namespace
