#include "platform/ThreeDecimals.h"

#include "platform/CFormat.h"

#include <QByteArray>

#include <array>
#include <bit>
#include <cfenv>
#include <cstdint>
#include <cstring>

namespace {

// A double is mantissa × 2^exponent, the mantissa a 53-bit integer.
constexpr int kFractionBits = 52;
constexpr int kExponentBias = 1075;
constexpr std::uint64_t kFractionMask = (std::uint64_t(1) << kFractionBits) - 1;

// "00" to "99": two digits per division.
constexpr auto kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[size_t(2 * i)] = char('0' + i / 10);
        pairs[size_t(2 * i + 1)] = char('0' + i % 10);
    }
    return pairs;
}();

void writeDigitPair(unsigned value, char *out) { std::memcpy(out, &kDigitPairs[2 * value], 2); }

char *formatByTheCLibrary(double value, char *out) {
    const QByteArray text = cFormat("%.3f", value).toLatin1();
    std::memcpy(out, text.constData(), size_t(text.size()));
    return out + text.size();
}

// The integer path; the caller has seen that the rounding mode is round-to-nearest.
char *formatRoundingToNearest(double value, char *out) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const int exponentField = int((bits >> kFractionBits) & 0x7ff);
    std::uint64_t mantissa = bits & kFractionMask;
    if (exponentField != 0) {
        mantissa |= std::uint64_t(1) << kFractionBits;
    }
    // Subnormals share the smallest normal exponent.
    const int exponent = (exponentField == 0 ? 1 : exponentField) - kExponentBias;
    if (exponent > 0) {
        return formatByTheCLibrary(value, out);  // 2^53 and above, inf and nan
    }

    // The value in thousandths, exactly: mantissa × 1000 < 2^63, shifted right by -exponent
    // with the bits shifted out deciding the rounding, ties to the even neighbour.
    const std::uint64_t scaled = mantissa * 1000;
    const int drop = -exponent;
    std::uint64_t thousandths = 0;
    if (drop == 0) {
        thousandths = scaled;
    } else if (drop < 64) {
        thousandths = scaled >> drop;
        const std::uint64_t rest = scaled & ((std::uint64_t(1) << drop) - 1);
        const std::uint64_t half = std::uint64_t(1) << (drop - 1);
        if (rest > half || (rest == half && (thousandths & 1) != 0)) {
            ++thousandths;
        }
    }  // else below 2^-11, less than half a thousandth: zero

    if ((bits >> 63) != 0) {
        *out++ = '-';  // also -0.0 and negatives that round to zero, as printf does
    }
    std::uint64_t whole = thousandths / 1000;
    int wholeDigits = 1;
    for (std::uint64_t power = 10; whole >= power; power *= 10) {  // whole < 10^16
        ++wholeDigits;
    }
    char *digit = out + wholeDigits;
    for (; whole >= 100; whole /= 100) {
        digit -= 2;
        writeDigitPair(unsigned(whole % 100), digit);
    }
    if (whole >= 10) {
        writeDigitPair(unsigned(whole), digit - 2);
    } else {
        digit[-1] = char('0' + whole);
    }
    out += wholeDigits;
    const unsigned fraction = unsigned(thousandths % 1000);
    out[0] = '.';
    out[1] = char('0' + fraction / 100);
    writeDigitPair(fraction % 100, out + 2);
    return out + 4;
}

}  // namespace

char *formatThreeDecimals(double value, char *out) {
    return formatThreeDecimals({&value, 1}, std::nullopt, out);
}

char *formatThreeDecimals(std::span<const double> values, std::optional<char> separator,
                          char *out) {
    // printf rounds as the rounding mode says; the integer path only to nearest.
    const bool toNearest = std::fegetround() == FE_TONEAREST;
    for (const double value : values) {
        if (separator) {
            *out++ = *separator;
        }
        out = toNearest ? formatRoundingToNearest(value, out) : formatByTheCLibrary(value, out);
    }
    return out;
}
