#include "platform/CFormat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

TEST(CFormat, NumbersAsTheCLibraryWritesThemWhateverTheLocale) {
    // Try a comma-decimal locale where the machine has one: the output must not change.
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(cFormat("%.3f", 0.0625), "0.062");  // an exact tie rounds to even
    EXPECT_EQ(cFormat("%.3f", 0.1875), "0.188");
    EXPECT_EQ(cFormat("%1.3f", -0.0), "-0.000");  // negative zero keeps its sign
    EXPECT_EQ(cFormat("%1.3f", -0.0004), "-0.000");
    EXPECT_EQ(cFormat("%f", 1.0 / 128), "0.007812");
    EXPECT_EQ(cFormat("%.2f Hz", 0.125), "0.12 Hz");
    EXPECT_EQ(cFormat("%s,%d", "name", -7), "name,-7");
    std::setlocale(LC_NUMERIC, previous.c_str());
    // Longer than any small buffer.
    const std::string wide(1000, 'w');
    EXPECT_EQ(cFormat("%s=%.1f", wide.c_str(), 2.25), QString::fromStdString(wide) + "=2.2");
}

}  // namespace
