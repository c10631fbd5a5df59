#include "core/SampleHistory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

constexpr double kT0 = 1700000000.0;  // a whole second, 2023-11-14 22:13:20 UTC

class SampleHistoryTest : public ::testing::Test {
protected:
    SampleHistoryTest() : history(std::make_unique<SampleHistory>([this] { return now; })) {
        history->setUpdatingIsEnabled(true);
        history->setMFrequency(100.0f);
        history->setMRealTime(true);
    }

    SampleHistory::Update record(float x, float y = 0, float z = 0) {
        return history->updateHistoryWithX(x, y, z);
    }
    // The date of ring slot `slot` (not an offset).
    SampleHistory::Date dateOfSlot(unsigned slot) const {
        return history->getTimestamp(int(slot) - int(history->getNextIndex()));
    }

    double now = kT0;
    std::unique_ptr<SampleHistory> history;  // 80 KB: keep it off the stack
};

TEST_F(SampleHistoryTest, FilterTurnsAConstantIntoAGeometricDecay) {
    history->setFilteringEnabled(true);
    const float c = 0.75f;
    double expected = c;
    for (int n = 1; n <= 60; ++n) {
        record(0.0f, c, 0.0f);
        expected *= 0.9;
        EXPECT_NEAR(history->getLatestHistory(1), expected, 1e-12) << "sample " << n;
        EXPECT_EQ(history->getLatestHistory(0), 0.0);
    }
    // Re-applying the setting resets the smoothed mean, even though the flag is unchanged.
    history->setFilteringEnabled(true);
    record(0.0f, c, 0.0f);
    EXPECT_NEAR(history->getLatestHistory(1), 0.9 * c, 1e-15);
}

TEST_F(SampleHistoryTest, FilterArithmeticIsRoundedStepByStepOnEveryArchitecture) {
    // Each product is rounded before the sum, as written: a fused multiply-add (which arm64
    // compilers emit unless told not to) changes the last bits of the stored values.
    history->setFilteringEnabled(true);
    double mean = 0.0;
    uint32_t seed = 12345;
    for (int n = 0; n < 2000; ++n) {
        seed = seed * 1664525u + 1013904223u;
        const float x = float(int32_t(seed >> 8) % 200000) / 100000.0f - 1.0f;
        record(x);
        const volatile double scaled = 0.1 * double(x);  // volatile: rounded here
        const volatile double kept = 0.9 * mean;
        mean = scaled + kept;
        ASSERT_EQ(history->getLatestHistory(0), double(x) - mean) << "sample " << n;
    }
}

TEST_F(SampleHistoryTest, WithoutTheFilterTheFloatIsStoredAsIs) {
    history->setFilteringEnabled(false);
    record(0.1f, -1.0f, 3.5f);
    EXPECT_EQ(history->getLatestHistory(0), double(0.1f));
    EXPECT_EQ(history->getLatestHistory(1), -1.0);
    EXPECT_EQ(history->getLatestHistory(2), 3.5);
}

TEST_F(SampleHistoryTest, FirstMarkFallsOnTheSecondSample) {
    EXPECT_EQ(record(1).measuredRate, -1);  // the missing previous date counts as second 0
    EXPECT_FALSE(dateOfSlot(0));
    EXPECT_FALSE(dateOfSlot(1));
    now = kT0 + 0.01;
    EXPECT_EQ(record(1).measuredRate, 1);
    EXPECT_EQ(SampleHistory::samplingRateText(1), QStringLiteral("1hz"));
    ASSERT_TRUE(dateOfSlot(1));
    EXPECT_EQ(*dateOfSlot(1), kT0 + 0.01);
}

TEST_F(SampleHistoryTest, AtOneHundredHertzTheLabelShowsOneHundred) {
    std::vector<std::pair<unsigned, int>> marks;  // slot, measured rate
    for (int k = 0; k < 305; ++k) {
        now = kT0 + k * 0.01;
        const unsigned slot = history->getNextIndex();
        const SampleHistory::Update update = record(1);
        if (update.measuredRate >= 0) {
            marks.emplace_back(slot, update.measuredRate);
        }
    }
    // A mark falls on the sample after the first one of each new second.
    const std::vector<std::pair<unsigned, int>> expected = {
        {1, 1}, {101, 100}, {201, 100}, {301, 100}};
    EXPECT_EQ(marks, expected);
    EXPECT_EQ(SampleHistory::samplingRateText(100), QStringLiteral("100hz"));
}

TEST_F(SampleHistoryTest, DatesAreClearedOneSlotAheadExceptAfterAMark) {
    // One sample a second for a whole ring: every sample from the second on marks its slot.
    for (unsigned k = 0; k < SampleHistory::kSize; ++k) {
        now = kT0 + k;
        record(1);
    }
    ASSERT_EQ(history->getNextIndex(), 0u);
    EXPECT_FALSE(dateOfSlot(0));
    EXPECT_EQ(dateOfSlot(1), kT0 + 1);
    EXPECT_EQ(dateOfSlot(2047), kT0 + 2047);

    now = kT0 + 2047.5;  // the previous sample began a second not yet marked: mark slot 0
    EXPECT_EQ(record(1).measuredRate, 1);
    now = kT0 + 2047.6;  // same second: no mark, slot 2 is cleared, slot 1 keeps its old date
    EXPECT_EQ(record(1).measuredRate, -1);
    EXPECT_EQ(dateOfSlot(0), kT0 + 2047.5);
    EXPECT_EQ(dateOfSlot(1), kT0 + 1);
    EXPECT_FALSE(dateOfSlot(2));
    EXPECT_EQ(dateOfSlot(3), kT0 + 3);
}

TEST_F(SampleHistoryTest, OffsetsCountFromTheOldestSlotAndWrap) {
    history->setFilteringEnabled(false);
    record(1);
    EXPECT_EQ(history->getHistory(0, 0), 0.0);  // never written yet
    EXPECT_EQ(history->getHistory(2047, 0), 1.0);
    EXPECT_EQ(history->getHistory(-1, 0), 1.0);

    // Fill past the wrap: the value of sample k is k.
    for (unsigned k = 2; k <= SampleHistory::kSize + 10; ++k) {
        record(float(k));
    }
    EXPECT_EQ(history->getHistory(0, 0), 11.0);  // oldest
    EXPECT_EQ(history->getHistory(2047, 0), 2058.0);
    EXPECT_EQ(history->getHistory(-1, 0), 2058.0);
    EXPECT_EQ(history->getHistory(-2048, 0), 11.0);
    EXPECT_EQ(history->getHistory(4096 + 5, 0), 16.0);

    // At ring position 0 the latest sample is in slot 2047.
    history->setNextIndex(2048 + 2048);
    ASSERT_EQ(history->getNextIndex(), 0u);
    EXPECT_EQ(history->getLatestHistory(0), history->getHistory(-1, 0));
    EXPECT_EQ(history->getLatestHistory(0), 2048.0);  // sample k went to slot k - 1
}

TEST_F(SampleHistoryTest, PausedUpdatesChangeNothing) {
    history->setFilteringEnabled(true);
    for (int k = 0; k < 150; ++k) {
        now = kT0 + k * 0.01;
        record(0.5f, 0.25f, -1.0f);
    }
    const unsigned index = history->getNextIndex();
    const double latest = history->getLatestHistory(0);
    history->setUpdatingIsEnabled(false);
    for (int k = 0; k < 300; ++k) {
        now = kT0 + 1.5 + k * 0.01;
        const SampleHistory::Update update = record(9.0f, 9.0f, 9.0f);
        EXPECT_FALSE(update.recorded);
        EXPECT_FALSE(update.needsDisplay);
        EXPECT_EQ(update.measuredRate, -1);
    }
    EXPECT_EQ(history->getNextIndex(), index);
    EXPECT_EQ(history->getLatestHistory(0), latest);
    EXPECT_FALSE(dateOfSlot(index));

    // Resumed, the filter carries on from its state before the pause.
    history->setUpdatingIsEnabled(true);
    record(0.5f, 0.25f, -1.0f);
    EXPECT_NEAR(history->getLatestHistory(0), 0.5 * std::pow(0.9, 151), 1e-12);
}

TEST_F(SampleHistoryTest, WithoutRealTimeARedrawIsAskedAboutOnceASecond) {
    history->setMRealTime(false);
    std::vector<unsigned> redraws;
    for (unsigned k = 0; k < SampleHistory::kSize + 150; ++k) {
        if (record(1).needsDisplay) {
            redraws.push_back(history->getNextIndex());
        }
    }
    std::vector<unsigned> expected;
    for (unsigned i = 100; i <= 2000; i += 100) {
        expected.push_back(i);
    }
    expected.push_back(0);  // the wrap: 48 samples after 2000
    expected.push_back(100);
    EXPECT_EQ(redraws, expected);
}

TEST_F(SampleHistoryTest, ARateBelowOneNeverDividesByZero) {
    history->setMRealTime(false);
    for (float rate : {0.0f, 0.5f, -100.0f, std::nanf("")}) {
        history->setMFrequency(rate);
        EXPECT_EQ(history->frequencyDivisor(), 1u);
        EXPECT_TRUE(record(1).needsDisplay) << rate;
    }
    history->setMFrequency(2.9f);
    EXPECT_EQ(history->frequencyDivisor(), 2u);
}

}  // namespace
