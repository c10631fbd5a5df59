#include "spectrum/Calculation.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
Calculation::Allocator allocator = nullptr;

double *allocate(int count) {
    const std::size_t bytes = std::size_t(count) * sizeof(double);
    return static_cast<double *>(allocator ? allocator(bytes) : std::malloc(bytes));
}

void message(const char *text) {
    std::fputs(text, stderr);
    std::fflush(stderr);
}

constexpr double kTwoPi = 6.283185307;  // the transform's own constant, not M_PI * 2
}  // namespace

namespace Calculation {
void setAllocator(Allocator a) { allocator = a; }
}  // namespace Calculation

int power_two(int n) {
    int power = 0;
    while (n > 1) {
        n >>= 1;
        ++power;
    }
    return power;
}

void swap(double *a, double *b) {
    const double t = *a;
    *a = *b;
    *b = t;
}

void fft_swap(double *re, double *im, int n) {
    const int half = (1 << power_two(n)) / 2;
    for (int j = 0; j < half; ++j) {
        swap(&re[j], &re[j + half]);
        swap(&im[j], &im[j + half]);
    }
}

int fft_ifft(double *re, double *im, int n, int dir) {
    const int levels = power_two(n);
    const int size = 1 << levels;

    double *a = allocate(size);
    if (!a) {
        message("Allocationerror!\n");
        return -1;
    }
    double *b = allocate(size);
    if (!b) {
        message("Allocationerror!\n");
        std::free(a);
        return -1;
    }
    // The reorder arrays are taken before anything is touched: without them the passes below
    // would run on unordered data and return a non-transform as if it were one.
    double *evenOdd[2] = {allocate(size), nullptr};
    if (evenOdd[0]) {
        evenOdd[1] = allocate(size);
    }
    if (!evenOdd[0] || !evenOdd[1]) {
        message("Allocation Error\n");
        std::free(evenOdd[0]);
        std::free(a);
        std::free(b);
        return -1;
    }

    if (dir == -1) {
        for (int i = 0; i < size; ++i) {
            re[i] /= size;
            im[i] /= size;
        }
    }

    // Bit reversal: each block of K entries becomes its even entries followed by its odd ones,
    // for K = N, N/2, …, 4.
    double *reordered = evenOdd[0];
    double *reorderedIm = evenOdd[1];
    for (int block = size; block >= 4; block /= 2) {
        const int half = block / 2;
        for (int start = 0; start < size; start += block) {
            for (int i = 0; i < half; ++i) {
                reordered[start + i] = re[start + 2 * i];
                reorderedIm[start + i] = im[start + 2 * i];
                reordered[start + half + i] = re[start + 2 * i + 1];
                reorderedIm[start + half + i] = im[start + 2 * i + 1];
            }
        }
        std::memcpy(re, reordered, std::size_t(size) * sizeof(double));
        std::memcpy(im, reorderedIm, std::size_t(size) * sizeof(double));
    }
    std::free(evenOdd[0]);
    std::free(evenOdd[1]);

    for (int stage = 1; stage <= levels; ++stage) {
        const int span = 1 << stage;
        const int half = span / 2;
        const double step = double(size / span) * (kTwoPi / size);
        for (int t = 0; t < size; t += span) {
            double theta = 0.0;
            for (int k = 0; k < span; ++k) {
                const int e = t + (k % half);
                const int o = e + half;
                const double c = std::cos(theta);
                const double s = std::sin(theta);
                a[t + k] = (c * re[o] + re[e]) + (dir * im[o]) * s;
                b[t + k] = (im[o] * c + im[e]) - s * (re[o] * dir);
                theta += step;
            }
        }
        std::memcpy(re, a, std::size_t(size) * sizeof(double));
        std::memcpy(im, b, std::size_t(size) * sizeof(double));
    }

    std::free(a);
    std::free(b);
    return size;
}

double fft_hz(const double *data, int n, int c) {
    const int half = n / 2;
    int best = 1;
    double max = 0.0;
    for (int i = 1; i < half; ++i) {
        if (data[i] > max) {
            max = data[i];
            best = i;
        }
    }
    return double(half - best) / double(c);
}
