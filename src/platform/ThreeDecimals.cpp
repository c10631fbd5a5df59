#include "platform/ThreeDecimals.h"

#include "platform/CFormat.h"

#include <QByteArray>

#include <bit>
#include <cfenv>
#include <cstdint>
#include <cstring>

namespace {

// A double is mantissa × 2^exponent, the mantissa a 53-bit integer.
constexpr int kFractionBits = 52;
constexpr int kExponentBias = 1075;
constexpr std::uint64_t kFractionMask = (std::uint64_t(1) << kFractionBits) - 1;

char *formatByTheCLibrary(double value, char *out) {
    const QByteArray text = cFormat("%.3f", value).toLatin1();
    std::memcpy(out, text.constData(), size_t(text.size()));
    return out + text.size();
}

}  // namespace

char *formatThreeDecimals(double value, char *out) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const int exponentField = int((bits >> kFractionBits) & 0x7ff);
    std::uint64_t mantissa = bits & kFractionMask;
    if (exponentField != 0) {
        mantissa |= std::uint64_t(1) << kFractionBits;
    }
    // Subnormals share the smallest normal exponent.
    const int exponent = (exponentField == 0 ? 1 : exponentField) - kExponentBias;
    // printf rounds as the rounding mode says; only round-to-nearest is done here.
    if (exponent > 0 || std::fegetround() != FE_TONEAREST) {
        return formatByTheCLibrary(value, out);  // also inf and nan
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
    char digits[24];
    char *first = std::end(digits);
    unsigned fraction = unsigned(thousandths % 1000);
    for (int i = 0; i < 3; ++i) {
        *--first = char('0' + fraction % 10);
        fraction /= 10;
    }
    *--first = '.';
    std::uint64_t whole = thousandths / 1000;
    do {
        *--first = char('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    const size_t length = size_t(std::end(digits) - first);
    std::memcpy(out, first, length);
    return out + length;
}
