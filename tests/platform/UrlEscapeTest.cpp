#include "platform/UrlEscape.h"
#include "support/Printers.h"

#include <gtest/gtest.h>

TEST(UrlEscape, KeepsTheMarksAndEscapesEveryOtherByte) {
    EXPECT_EQ(escapeURL("aZ09-_.!~*'();/?:@&=+$,"), "aZ09-_.!~*'();/?:@&=+$,");
    EXPECT_EQ(escapeURL("two words"), "two%20words");
    EXPECT_EQ(escapeURL("a%b\"<>\n#"), "a%25b%22%3C%3E%0A%23");
    EXPECT_EQ(escapeURL(QString::fromUtf8("Gerät")), "Ger%C3%A4t");  // UTF-8 bytes, upper-case hex
    EXPECT_EQ(escapeURL(""), "");
}
