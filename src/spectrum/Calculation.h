#pragma once

#include <cstddef>

// Fast Fourier transform routines on split complex data (an array of real parts and one of
// imaginary parts, transformed in place). Plain functions, no state; the scratch arrays are
// allocated and released on every call.
//
// The transform is the iterative radix-2 Cooley–Tukey algorithm: a bit-reversal reordering by
// even/odd block passes, then log2 N butterfly passes into scratch arrays, with cos and sin
// evaluated for every output entry and the angle accumulated by addition.

// floor(log2 n): how often n can be halved before it is 1. n >= 1.
int power_two(int n);

void swap(double *a, double *b);

// Exchanges the halves of the first N = 2^power_two(n) entries of both arrays (moves the
// zero-frequency entry to the middle; applying it twice restores the arrays).
void fft_swap(double *re, double *im, int n);

// Transforms the first N = 2^power_two(n) entries in place: dir = 1 forward
// (Σ x[j]·e^(−2πi·jk/N)), dir = −1 inverse (Σ X[j]·e^(+2πi·jk/N) / N). Returns N, or −1 with the
// arrays untouched when scratch memory cannot be had ("Allocationerror!" or "Allocation Error"
// on standard error).
int fft_ifft(double *re, double *im, int n, int dir);

// The peak of a half-swapped spectrum's real parts as a frequency: with H = n / 2 and best the
// first index of the largest of data[1 … H−1] above 0 (else 1), (H − best) / c.
double fft_hz(const double *data, int n, int c);

namespace Calculation {
// The allocator of the scratch arrays; tests make it fail. nullptr restores malloc.
using Allocator = void *(*)(std::size_t bytes);
void setAllocator(Allocator allocator);
}  // namespace Calculation
