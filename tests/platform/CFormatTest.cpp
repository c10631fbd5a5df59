#include "platform/CFormat.h"
#include "support/CommaDecimalLocale.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(CFormat, NumbersAsTheCLibraryWritesThemWhateverTheLocale) {
    // Under a comma-decimal locale the output must not change.
    std::optional<CommaDecimalLocale> german(std::in_place);
    ASSERT_TRUE(german->active()) << "no de_DE.UTF-8 locale: scripts/setup generates it";
    EXPECT_EQ(cFormat("%.3f", 0.0625), "0.062");  // an exact tie rounds to even
    EXPECT_EQ(cFormat("%.3f", 0.1875), "0.188");
    EXPECT_EQ(cFormat("%1.3f", -0.0), "-0.000");  // negative zero keeps its sign
    EXPECT_EQ(cFormat("%1.3f", -0.0004), "-0.000");
    EXPECT_EQ(cFormat("%f", 1.0 / 128), "0.007812");
    EXPECT_EQ(cFormat("%.2f Hz", 0.125), "0.12 Hz");
    EXPECT_EQ(cFormat("%s,%d", "name", -7), "name,-7");
    german.reset();
    // Longer than any small buffer.
    const std::string wide(1000, 'w');
    EXPECT_EQ(cFormat("%s=%.1f", wide.c_str(), 2.25), QString::fromStdString(wide) + "=2.2");
}

}  // namespace
