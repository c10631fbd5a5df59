#include "spectrum/Calculation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace {

struct Signal {
    std::vector<double> re, im;
    explicit Signal(int n) : re(size_t(n), 0.0), im(size_t(n), 0.0) {}
};

// The straightforward O(N²) DFT, as an independent reference.
std::vector<std::complex<double>> dft(const Signal &x, int dir) {
    const size_t n = x.re.size();
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (size_t j = 0; j < n; ++j) {
            const double angle = -dir * 2.0 * M_PI * double(j * k % n) / double(n);
            sum += std::complex<double>(x.re[j], x.im[j]) * std::polar(1.0, angle);
        }
        out[k] = dir == -1 ? sum / double(n) : sum;
    }
    return out;
}

TEST(Calculation, PowerTwoAndSwap) {
    EXPECT_EQ(power_two(1), 0);
    EXPECT_EQ(power_two(2), 1);
    EXPECT_EQ(power_two(1000), 9);
    EXPECT_EQ(power_two(1024), 10);
    Signal s(8);
    for (int i = 0; i < 8; ++i) {
        s.re[size_t(i)] = i;
        s.im[size_t(i)] = -i;
    }
    fft_swap(s.re.data(), s.im.data(), 8);
    EXPECT_EQ(s.re, (std::vector<double>{4, 5, 6, 7, 0, 1, 2, 3}));
    EXPECT_EQ(s.im[0], -4.0);
}

TEST(Calculation, ImpulseConstantAndCosine) {
    const int n = 64;
    Signal impulse(n);
    impulse.re[0] = 1.0;
    EXPECT_EQ(fft_ifft(impulse.re.data(), impulse.im.data(), n, 1), n);
    for (int k = 0; k < n; ++k) {
        EXPECT_NEAR(impulse.re[size_t(k)], 1.0, 1e-15);
        EXPECT_NEAR(impulse.im[size_t(k)], 0.0, 1e-15);
    }

    Signal constant(n);
    std::fill(constant.re.begin(), constant.re.end(), 1.0);
    fft_ifft(constant.re.data(), constant.im.data(), n, 1);
    EXPECT_NEAR(constant.re[0], n, 1e-12);
    for (int k = 1; k < n; ++k) {
        EXPECT_NEAR(std::abs(std::complex(constant.re[size_t(k)], constant.im[size_t(k)])), 0.0,
                    1e-8)
            << k;
    }

    Signal cosine(n);
    for (int j = 0; j < n; ++j) {
        cosine.re[size_t(j)] = std::cos(2 * M_PI * 4 * j / n);
    }
    fft_ifft(cosine.re.data(), cosine.im.data(), n, 1);
    for (int k = 0; k < n; ++k) {
        const double expected = k == 4 || k == n - 4 ? n / 2.0 : 0.0;
        EXPECT_NEAR(cosine.re[size_t(k)], expected, 1e-7) << k;
        EXPECT_NEAR(cosine.im[size_t(k)], 0.0, 1e-7) << k;
    }
}

TEST(Calculation, MatchesAPlainDftAndTheInverseRestores) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (int n : {2, 4, 8, 256, 1024}) {
        Signal x(n);
        for (int j = 0; j < n; ++j) {
            x.re[size_t(j)] = value(random);
            x.im[size_t(j)] = value(random);
        }
        const Signal input = x;
        const auto expected = dft(x, 1);
        ASSERT_EQ(fft_ifft(x.re.data(), x.im.data(), n, 1), n);
        // The constant 6.283185307 differs from 2π by 1.8e-10: errors grow with N that much.
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(x.re[size_t(k)], expected[size_t(k)].real(), 1e-6) << n << ":" << k;
            EXPECT_NEAR(x.im[size_t(k)], expected[size_t(k)].imag(), 1e-6) << n << ":" << k;
        }
        ASSERT_EQ(fft_ifft(x.re.data(), x.im.data(), n, -1), n);
        for (int j = 0; j < n; ++j) {
            EXPECT_NEAR(x.re[size_t(j)], input.re[size_t(j)], 1e-9);
            EXPECT_NEAR(x.im[size_t(j)], input.im[size_t(j)], 1e-9);
        }
    }
}

TEST(Calculation, TwoPointsAndTheUntouchedTail) {
    Signal two(2);
    two.re = {3.0, 5.0};
    two.im = {1.0, -2.0};
    fft_ifft(two.re.data(), two.im.data(), 2, 1);
    // (a + b, a − b), with the second twiddle at the transform's own angle 6.283185307 / 2,
    // whose sine is 1.8e-10 rather than 0: the exact arithmetic, not a rounded ideal.
    const double theta = 1 * (6.283185307 / 2);
    EXPECT_EQ(two.re[0], 8.0);
    EXPECT_EQ(two.im[0], -1.0);
    EXPECT_EQ(two.re[1], (std::cos(theta) * 5.0 + 3.0) + (1 * -2.0) * std::sin(theta));
    EXPECT_EQ(two.im[1], (-2.0 * std::cos(theta) + 1.0) - std::sin(theta) * (5.0 * 1));
    EXPECT_NEAR(two.re[1], -2.0, 1e-9);

    Signal x(1000);
    std::fill(x.re.begin(), x.re.end(), 0.5);
    EXPECT_EQ(fft_ifft(x.re.data(), x.im.data(), 1000, 1), 512);
    for (int j = 512; j < 1000; ++j) {
        ASSERT_EQ(x.re[size_t(j)], 0.5);
        ASSERT_EQ(x.im[size_t(j)], 0.0);
    }
    EXPECT_NEAR(x.re[0], 256.0, 1e-12);
}

// Fails the allocation number `failAt` (1-based) of the next transform.
int allocations = 0;
int failAt = 0;
void *failingAllocator(size_t bytes) {
    return ++allocations == failAt ? nullptr : std::malloc(bytes);
}

TEST(Calculation, WithoutScratchMemoryTheDataIsUntouched) {
    const struct {
        int failAt;
        const char *message;
    } cases[] = {{1, "Allocationerror!\n"},
                 {2, "Allocationerror!\n"},
                 {3, "Allocation Error\n"},
                 {4, "Allocation Error\n"}};
    Calculation::setAllocator(failingAllocator);
    for (const auto &c : cases) {
        Signal x(16);
        for (int j = 0; j < 16; ++j) {
            x.re[size_t(j)] = j;
            x.im[size_t(j)] = 2 * j;
        }
        const Signal before = x;
        allocations = 0;
        failAt = c.failAt;
        testing::internal::CaptureStderr();
        EXPECT_EQ(fft_ifft(x.re.data(), x.im.data(), 16, -1), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(x.re, before.re) << c.failAt;
        EXPECT_EQ(x.im, before.im) << c.failAt;
    }
    Calculation::setAllocator(nullptr);
}

TEST(Calculation, PeakFrequency) {
    std::vector<double> data(16, -1.0);
    EXPECT_EQ(fft_hz(data.data(), 16, 2), (8 - 1) / 2.0);  // nothing above 0
    data[3] = 4.0;
    data[5] = 4.0;  // a tie: the first index wins
    EXPECT_EQ(fft_hz(data.data(), 16, 10), (8 - 3) / 10.0);
    data[8] = 99.0;  // outside 1 … H − 1
    EXPECT_EQ(fft_hz(data.data(), 16, 10), 0.5);
}

}  // namespace
