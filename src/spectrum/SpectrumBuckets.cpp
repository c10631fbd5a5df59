#include "spectrum/SpectrumBuckets.h"

#include "spectrum/Calculation.h"

#include <algorithm>

int SpectrumBuckets::binsPerBucket(float frequency) {
    const float rate = frequency >= 1.0f ? frequency : 1.0f;
    return std::max(1, int(float(kLength) / rate));
}

SpectrumBuckets SpectrumBuckets::fromSpectrum(const double *re, const double *im, float frequency) {
    SpectrumBuckets result;
    result.q = binsPerBucket(frequency);
    double sum = 0.0;
    for (int b = 0; b < kLength / 2; ++b) {
        const int k = kLength / 2 + b;
        if (b % result.q != 0) {
            sum += re[k] * re[k] + im[k] * im[k];
            continue;
        }
        if (result.formed == kBuckets) {
            break;
        }
        result.bucket[size_t(result.formed)] = sum;
        if (sum > result.peak) {
            result.peak = sum;
            result.peakIndex = result.formed;
        }
        sum = 0.0;
        ++result.formed;
    }
    result.hz = fft_hz(re, kLength, result.q);
    return result;
}
