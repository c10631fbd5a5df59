#include "platform/CFormat.h"
#include "platform/ThreeDecimals.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

namespace {

QString threeDecimals(double value) {
    char text[kThreeDecimalsMaxLength];
    return QString::fromLatin1(text, formatThreeDecimals(value, text) - text);
}

// Failures as the values that differ, at most a few of them.
void expectAsTheCLibrary(const std::vector<double> &values) {
    int shown = 0;
    for (const double value : values) {
        const QString expected = cFormat("%.3f", value);
        if (threeDecimals(value) != expected && shown++ < 5) {
            ADD_FAILURE() << "value " << cFormat("%a", value).toStdString() << ": "
                          << threeDecimals(value).toStdString() << " instead of "
                          << expected.toStdString();
        }
    }
}

// The values where a fast path goes wrong: signs, zeros, the integer path's edges, exact ties
// and their neighbours, each binade's ends, subnormals, what is not a number.
std::vector<double> edgeValues() {
    std::vector<double> values = {
        0.0,           -0.0,       0.0004,       -0.0004,         0.0005,    -0.0005, 0.0625,
        -0.0625,       0.1875,     1.0625,       999.9995,        0.9995,    DBL_MIN, DBL_TRUE_MIN,
        -DBL_TRUE_MIN, DBL_MAX,    -DBL_MAX,     INFINITY,        -INFINITY, NAN,     -NAN,
        0x1p53,        0x1p53 - 1, 0x1p52 + 0.5, -(0x1p52 + 0.5), 0x1p-11,   0x1p-12};
    for (int exponent = -1074; exponent <= 1023; ++exponent) {
        const double power = std::ldexp(1.0, exponent);
        for (const double v :
             {power, std::nextafter(power, 0.0), std::nextafter(power, 2 * power)}) {
            values.push_back(v);
            values.push_back(-v);
        }
    }
    // Exact ties in the third decimal (k/16 with k odd), with both neighbours.
    for (int k = 1; k < 200000; k += 2) {
        const double tie = k / 16.0;
        for (const double v : {tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e300)}) {
            values.push_back(v);
            values.push_back(-v);
        }
    }
    return values;
}

std::vector<double> randomValues() {
    std::mt19937_64 random(21);
    std::vector<double> values;
    for (int i = 0; i < 100000; ++i) {
        values.push_back(std::bit_cast<double>(random()));  // every magnitude, nan included
        values.push_back(double(std::bit_cast<float>(std::uint32_t(random()))));  // sensor values
        // Seconds and g as the stream sees them, and texts near a rounding step.
        values.push_back(std::ldexp(double(random() >> 11), -53) *
                         std::ldexp(1.0, int(random() % 60) - 30));
        values.push_back(double(random() % 100000000) / 1000.0 + 0.0005);
    }
    return values;
}

TEST(ThreeDecimals, ByteForByteAsTheCLibraryOverASweep) {
    expectAsTheCLibrary(edgeValues());
    expectAsTheCLibrary(randomValues());
}

TEST(ThreeDecimals, OtherRoundingModesAsTheCLibraryRoundsInThem) {
    for (const int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        const QString got = threeDecimals(0.0625) + threeDecimals(-0.0004);
        const QString expected = cFormat("%.3f", 0.0625) + cFormat("%.3f", -0.0004);
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(got, expected) << mode;
    }
}

}  // namespace
