#pragma once

#include <memory>
#include <optional>

struct iirfilt_rrrf_s;

// A causal Butterworth band-pass for one axis, designed and run by liquid-dsp (second-order
// sections, single precision). Order 4 for the low-pass prototype, so 8 for the band-pass: 80 dB
// a decade on each side, enough to take a tilt's or the microseism's slow swing (0.1-0.5 Hz,
// 25-80 dB down) out of the trigger, while the group delay in the band stays a few samples
// (about 30 ms at 6 Hz and 100 samples/s), which is what an onset time can afford.
class BandPass {
public:
    static constexpr unsigned kOrder = 4;
    // The upper corner stays below the Nyquist frequency: at most this fraction of the rate.
    static constexpr double kHighestCorner = 0.45;

    struct Corners {
        double low = 0;   // Hz, -3 dB
        double high = 0;  // Hz, -3 dB
    };
    // The corners a band of `low` to `high` Hz takes at `rate` samples/s (the upper one capped);
    // none when nothing of the band is left below the cap.
    static std::optional<Corners> corners(double low, double high, double rate);

    // `corners` as corners() returns them.
    BandPass(const Corners &corners, double rate);
    ~BandPass();
    BandPass(BandPass &&) noexcept;
    BandPass &operator=(BandPass &&) noexcept;

    float filter(float x);

private:
    struct Destroy {
        void operator()(iirfilt_rrrf_s *filter) const;
    };
    std::unique_ptr<iirfilt_rrrf_s, Destroy> mFilter;
};
