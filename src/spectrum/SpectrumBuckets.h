#pragma once

#include <array>

// The power of a half-swapped 1024-point spectrum grouped into buckets of about one hertz, and
// its peak frequency. Index 512 + b of the spectrum holds frequency bin b.
struct SpectrumBuckets {
    static constexpr int kLength = 1024;  // transform length
    static constexpr int kBuckets = 51;   // at most; 50 are drawn

    std::array<double, kBuckets> bucket{};  // buckets not formed stay 0 (drawn on the base line)
    int formed = 0;     // buckets formed (51 at 100 Hz, fewer below about 94 Hz)
    int q = 1;          // frequency bins per bucket, at least 1
    int peakIndex = 0;  // the largest bucket (the first of equals)
    double peak = 0.0;  // its power; 0 when every bucket is empty
    double hz = 0.0;    // the peak frequency from the largest real part

    // Bins per bucket for a nominal rate: 1024 / rate truncated, never below 1 (a rate above
    // 1024 would make it 0); a rate below 1 counts as 1.
    static int binsPerBucket(float frequency);

    // Groups re/im (transformed and half-swapped) into buckets.
    static SpectrumBuckets fromSpectrum(const double *re, const double *im, float frequency);
};
