// The ID boxes' key rule, and the stored-text rule that every other way in applies:
// the two agree on every Windows-1252 code.
#include <gtest/gtest.h>

#include <string>

#include "base/Cp1252.h"
#include "base/Utf8.h"
#include "store/IDRules.h"

namespace {

bool Accepts(unsigned code) {
    return IDBoxAcceptsCode(static_cast<unsigned char>(code));
}

}  // namespace

TEST(KeyRule, CodeRangesAtTheirBoundaries) {
    for (unsigned code :
         {0u, 8u, 13u, 31u, 32u, 45u, 48u, 57u, 65u, 90u, 97u, 122u, 151u, 200u, 233u, 255u})
        EXPECT_TRUE(Accepts(code)) << code;
    for (unsigned code :
         {33u, 40u, 44u, 46u, 47u, 58u, 64u, 91u, 96u, 123u, 126u, 127u, 128u, 140u, 150u})
        EXPECT_FALSE(Accepts(code)) << code;
}

TEST(KeyRule, WhatTheBoxesTakeIsWhatMayBeStored) {
    // A printable character typed into a box must pass an import or a restore, and one
    // refused there must be one the boxes refuse. A control character is never stored.
    for (unsigned code = 0; code < 256; ++code) {
        const std::u32string text = DecodeUtf8(Cp1252ToUtf8(std::string(1, char(code))));
        const char32_t c = text.at(0);
        if (c < U' ' || (c >= 0x7F && c <= 0x9F))
            EXPECT_FALSE(IDFaults(text).empty()) << code;
        else
            EXPECT_EQ(IDFaults(text).empty(), Accepts(code)) << code;
    }
}

TEST(KeyRule, CharactersAreJudgedByTheirWindows1252Code) {
    EXPECT_FALSE(IDBoxAcceptsCharacter(U'\u20AC'));  // euro sign, code 128
    EXPECT_FALSE(IDBoxAcceptsCharacter(U'\u2013'));  // en dash, code 150
    EXPECT_TRUE(IDBoxAcceptsCharacter(U'\u2014'));   // em dash, code 151
    EXPECT_TRUE(IDBoxAcceptsCharacter(U'\u00E9'));   // e acute, code 233
    EXPECT_TRUE(IDBoxAcceptsCharacter(U'\u00FF'));   // y diaeresis, code 255
    EXPECT_FALSE(IDBoxAcceptsCharacter(U'\u0081'));  // an undefined byte, code 129
    // Unicode's own code 128 to 159 characters mostly have no Windows-1252 code.
    EXPECT_FALSE(IDBoxAcceptsCharacter(U'\u0080'));
    EXPECT_FALSE(IDBoxAcceptsCharacter(U'\u2603'));  // snowman: no code at all
    EXPECT_FALSE(IDBoxAcceptsCharacter(U'\U0001F600'));
    EXPECT_TRUE(IDBoxAcceptsCharacter(U'-'));
    EXPECT_FALSE(IDBoxAcceptsCharacter(U'.'));
}

TEST(KeyRule, TypedTextKeepsWhatItTakesAndCountsTheRest) {
    EXPECT_EQ(FilterTypedText("").Rejected, 0);
    EXPECT_EQ(FilterTypedText("\xC3\xA9"
                              "b")
                  .Accepted,
              U"\u00E9b");  // é
    const TTypedText mixed = FilterTypedText(
        "a.\x7F\xE2\x98\x83"
        "b");  // . DEL snowman
    EXPECT_EQ(mixed.Accepted, U"ab");
    EXPECT_EQ(mixed.Rejected, 3);
    EXPECT_EQ(FilterTypedText("\xFF").Rejected, 1);  // not UTF-8
    EXPECT_EQ(FilterTypedText("\xC3").Rejected, 1);  // cut short
}
