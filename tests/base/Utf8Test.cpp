// The one UTF-8 decoder: counting, cutting and filtering agree on where characters
// begin, malformed bytes included.
#include <gtest/gtest.h>

#include "base/Utf8.h"

TEST(Utf8, MalformedBytesAreCharactersOfTheirOwnAndNothingIsCutInTwo) {
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
    EXPECT_EQ(Utf8Length(text), 4u);
    EXPECT_EQ(Utf8Prefix(text, 2), "A\xC3\xA9");
    EXPECT_EQ(Utf8Prefix(text, 9), text);
    EXPECT_EQ(DecodeUtf8(text), U"A\u00E9\u20AC\U0001F600");

    // A stray continuation byte, an overlong '/', a surrogate, a cut-off sequence.
    const std::string bad =
        "\x80"
        "\xC0\xAF"
        "\xED\xA0\x80"
        "\xE2\x82";
    EXPECT_EQ(DecodeUtf8(bad), std::u32string(8, kMalformedUtf8));
    EXPECT_EQ(Utf8Length(bad), 8u);
    EXPECT_EQ(Utf8Prefix("Z\xE2\x82", 2), "Z\xE2");

    std::string round;
    for (char32_t cp : DecodeUtf8(text)) AppendUtf8(round, cp);
    EXPECT_EQ(round, text);
}
