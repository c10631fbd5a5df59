#include "detection/BandPass.h"

// liquid's complex type follows whichever complex header came first; C++'s, here.
#include <complex>

#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>
#include <numbers>

std::optional<BandPass::Corners> BandPass::corners(double low, double high, double rate) {
    const double capped = std::min(high, kHighestCorner * rate);
    if (!(low > 0) || !(capped > low)) {
        return std::nullopt;
    }
    return Corners{low, capped};
}

BandPass::BandPass(const Corners &corners, double rate) {
    // liquid makes the band-pass from a low-pass prototype by the digital low-pass to band-pass
    // transform: `fc` is the upper corner and `f0` the transform's centre, where
    // cos(2π f0) = cos(π (f1 + f2)) / cos(π (f2 - f1)) puts the prototype's -3 dB point on both
    // corners (frequencies as fractions of the rate).
    const double f1 = corners.low / rate;
    const double f2 = corners.high / rate;
    const double f0 =
        std::acos(std::cos(std::numbers::pi * (f1 + f2)) / std::cos(std::numbers::pi * (f2 - f1))) /
        (2 * std::numbers::pi);
    // The ripple arguments only matter for Chebyshev and elliptic designs.
    mFilter.reset(iirfilt_rrrf_create_prototype(LIQUID_IIRDES_BUTTER, LIQUID_IIRDES_BANDPASS,
                                                LIQUID_IIRDES_SOS, kOrder, float(f2), float(f0),
                                                1.0f, 60.0f));
}

BandPass::~BandPass() = default;
BandPass::BandPass(BandPass &&) noexcept = default;
BandPass &BandPass::operator=(BandPass &&) noexcept = default;

void BandPass::Destroy::operator()(iirfilt_rrrf_s *filter) const { iirfilt_rrrf_destroy(filter); }

float BandPass::filter(float x) {
    float y = 0;
    iirfilt_rrrf_execute(mFilter.get(), x, &y);
    return y;
}
