// The trigger's two stages on their own: the band-pass's response, and the averages against
// values computed apart from the code.
#include "detection/BandPass.h"
#include "detection/StaLta.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// Computed once by this Python script, written from the averages' definition (the divisor is
// the samples so far until there are n of them), and pasted:
//
//   xs = [0.0, 1.0, -2.0, 0.5, 3.0, -1.0, 0.0, 2.0, -0.5, 1.5, 0.25, -4.0]
//   n_sta, n_lta, freeze_from = 2, 4, 8   # LTA frozen for samples 8 and 9
//   sta = lta = 0.0
//   for k, x in enumerate(xs, start=1):
//       sta = sta + (x * x - sta) / min(k, n_sta)
//       if not (freeze_from <= k < freeze_from + 2):
//           lta = lta + (x * x - lta) / min(k, n_lta)
//       ratio = sta / lta if lta > 0 else 0.0
//       print("{%r, %.12g, %.12g, %.12g}," % (x, sta, lta, ratio))
TEST(StaLta, FollowsTheRecursiveAveragesComputedApart) {
    const struct {
        double x, sta, lta, ratio;
    } expected[] = {
        {0.0, 0, 0, 0},
        {1.0, 0.5, 0.5, 1},
        {-2.0, 2.25, 1.66666666667, 1.35},
        {0.5, 1.25, 1.3125, 0.952380952381},
        {3.0, 5.125, 3.234375, 1.5845410628},
        {-1.0, 3.0625, 2.67578125, 1.14452554745},
        {0.0, 1.53125, 2.0068359375, 0.76301703163},
        {2.0, 2.765625, 2.0068359375, 1.37810218978},
        {-0.5, 1.5078125, 2.0068359375, 0.751338199513},
        {1.5, 1.87890625, 2.06762695312, 0.90872594167},
        {0.25, 0.970703125, 1.56634521484, 0.619724895764},
        {-4.0, 8.4853515625, 5.17475891113, 1.63975785311},
    };
    StaLta averages(2, 4);
    int k = 0;
    for (const auto &row : expected) {
        ++k;
        averages.setLtaFrozen(k == 8 || k == 9);
        averages.add(row.x);
        EXPECT_NEAR(averages.sta(), row.sta, 1e-9) << "sample " << k;
        EXPECT_NEAR(averages.lta(), row.lta, 1e-9) << "sample " << k;
        EXPECT_NEAR(averages.ratio(), row.ratio, 1e-9) << "sample " << k;
        EXPECT_EQ(averages.isWarm(), k >= 4) << "sample " << k;
    }
}

// Amplitude of the band-pass's steady answer to a unit sine of `frequency` Hz.
double gain(double low, double high, double rate, double frequency) {
    const std::optional<BandPass::Corners> corners = BandPass::corners(low, high, rate);
    if (!corners) {
        return -1;
    }
    BandPass filter(*corners, rate);
    // Long enough for the slowest corner's ringing to die away, then whole periods measured.
    const long settle = std::lround(60 * rate);
    const long measured = std::lround(std::ceil(20 * frequency) / frequency * rate);
    double power = 0;
    for (long n = 0; n < settle + measured; ++n) {
        const double y =
            filter.filter(float(std::sin(2 * std::numbers::pi * frequency * double(n) / rate)));
        if (n >= settle) {
            power += y * y;
        }
    }
    return std::sqrt(2 * power / double(measured));
}

TEST(BandPass, PassesTheBandAndCutsAtItsCorners) {
    const double corner = std::sqrt(0.5);  // -3 dB
    const struct {
        double low, high, rate, frequency, gain, tolerance;
    } cases[] =
        {
            {1, 20, 100, 1, corner, 0.01},
            {1, 20, 100, 20, corner, 0.01},
            {1, 20, 100, 5, 1.0, 0.01},
            {1, 20, 100, 0.2, 0.0, 3e-3},  // a tilt's slow swing: 56 dB down
            {1, 20, 100, 45, 0.0, 1e-3},
            {1, 20, 1000, 1, corner, 0.01},  // the low corner far below the rate, in single
                                             // precision
            {1, 20, 1000, 10, 1.0, 0.01},
            {1, 20, 20, 9, corner, 0.01},  // the upper corner capped at 0.45 × rate
            {1, 20, 20, 3, 1.0, 0.01},
            {2, 8, 100, 8, corner, 0.01},
            {2, 8, 100, 4, 1.0, 0.01},
        };
    for (const auto &c : cases) {
        EXPECT_NEAR(gain(c.low, c.high, c.rate, c.frequency), c.gain, c.tolerance)
            << c.low << "-" << c.high << " Hz at " << c.rate << "/s, " << c.frequency << " Hz";
    }
}

TEST(BandPass, ABandWithNothingBelowTheCapIsRefused) {
    EXPECT_FALSE(BandPass::corners(1, 20, 2));  // the cap is 0.9 Hz
    EXPECT_FALSE(BandPass::corners(20, 20, 100));
    EXPECT_FALSE(BandPass::corners(0, 20, 100));
    ASSERT_TRUE(BandPass::corners(1, 20, 10));
    EXPECT_EQ(BandPass::corners(1, 20, 10)->high, 4.5);
}

}  // namespace
