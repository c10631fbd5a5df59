#pragma once

#include <cstddef>
#include <optional>
#include <span>

// The longest text formatThreeDecimals writes for one value: a sign, the 309 digits of the
// largest double and ".000".
inline constexpr std::size_t kThreeDecimalsMaxLength = 314;

// Writes `value` as the C library's "%.3f" writes it in the C locale, byte for byte (ties to
// even on the exact binary value, negative zero and small negatives as -0.000, "nan", "-inf"),
// into `out`, which must hold kThreeDecimalsMaxLength bytes; no terminating zero. Returns the
// end of the text. Values below 2^53 in magnitude, under the default rounding mode, take an
// integer path many times cheaper than printf; the rest are left to the C library. Any thread.
char *formatThreeDecimals(double value, char *out);

// The same for several values, each preceded by `separator` when there is one (",t,x,y,z" of a
// datagram), looking at the rounding mode once for all. `out` must hold
// values.size() × (1 + kThreeDecimalsMaxLength) bytes.
char *formatThreeDecimals(std::span<const double> values, std::optional<char> separator, char *out);
