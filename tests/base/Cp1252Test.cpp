// Text between UTF-8 and the line's Windows-1252 bytes.
#include <gtest/gtest.h>

#include <string>

#include "base/Cp1252.h"

namespace {

// UTF-8 of the characters of the bytes 80..9F, in byte order.
const char* const kHighCharacters[32] = {
    "€", "\u0081", "‚",      "ƒ", "„",      "…",      "†", "‡",      "ˆ", "‰", "Š",
    "‹", "Œ",      "\u008D", "Ž", "\u008F", "\u0090", "‘", "’",      "“", "”", "•",
    "–", "—",      "˜",      "™", "š",      "›",      "œ", "\u009D", "ž", "Ÿ",
};

}  // namespace

TEST(Cp1252, Bytes128To159BothWays) {
    for (int b = 0x80; b < 0xA0; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string utf8 = kHighCharacters[b - 0x80];
        EXPECT_EQ(Cp1252ToUtf8(byte), utf8) << std::hex << b;
        EXPECT_EQ(Utf8ToCp1252(utf8), byte) << std::hex << b;
    }
}

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(Cp1252, LatinLettersAndAscii) {
    EXPECT_EQ(Utf8ToCp1252("Café"), "Caf\xE9");
    EXPECT_EQ(Cp1252ToUtf8("Caf\xE9"), "Café");
    EXPECT_EQ(Utf8ToCp1252("ÿ\u00A0"), "\xFF\xA0");
    EXPECT_EQ(Utf8ToCp1252("AB 12"), "AB 12");
}

TEST(Cp1252, CharactersOutsideNeverReachTheLine) {
    // U+0080 is a C1 control, not the euro sign; the others lie outside altogether.
    EXPECT_EQ(Utf8ToCp1252("a\u0080b"), "a?b");
    EXPECT_EQ(Utf8ToCp1252("Ω"), "?");
    EXPECT_EQ(Utf8ToCp1252("x😀y"), "x?y");
    EXPECT_EQ(Utf8ToCp1252("\u0100"), "?");
}

TEST(Cp1252, MalformedUtf8IsReplacedNotPassedOn) {
    EXPECT_EQ(Utf8ToCp1252("\xE9"), "?");    // a lone Latin-1 byte
    EXPECT_EQ(Utf8ToCp1252("A\xC3"), "A?");  // cut short at the end
    EXPECT_EQ(Utf8ToCp1252("\xC3"
                           "A"),
              "?A");                                      // continuation missing
    EXPECT_EQ(Utf8ToCp1252("\xC0\xA9"), "??");            // overlong form of a 7-bit code
    EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "???");       // a surrogate
    EXPECT_EQ(Utf8ToCp1252("\xF4\x90\x80\x80"), "????");  // above U+10FFFF
}

TEST(Cp1252, CodeLookup) {
    EXPECT_EQ(Cp1252Code(U'é'), 0xE9);
    EXPECT_EQ(Cp1252Code(U'€'), 0x80);
    EXPECT_EQ(Cp1252Code(0x81), 0x81);
    EXPECT_EQ(Cp1252Code(0x9D), 0x9D);
    EXPECT_EQ(Cp1252Code(U'A'), 0x41);
    EXPECT_FALSE(Cp1252Code(0x80).has_value());
    EXPECT_FALSE(Cp1252Code(0x9E).has_value());  // the byte 9E is ž, not U+009E
    EXPECT_FALSE(Cp1252Code(U'Ω').has_value());
    EXPECT_FALSE(Cp1252Code(0x110000).has_value());
}
