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

// A new group's name must be a file name on Windows too: refused names say what is
// wrong in words, near misses are accepted.
TEST(NameRule, NamesWindowsCannotUseAsFileNamesAreRefusedWithTheirReason) {
    const auto refusal = [](const std::string& name) { return JudgeNewGroupName(name).Message; };
    EXPECT_EQ(refusal("a:b"),
              "the group name \"a:b\" holds \":\", which Windows does not allow in a file name");
    for (const char* name : {"a<b", "a>b", "say \"hi\"", "a/b", "a\\b", "a|b", "why?", "all*"}) {
        const TNameJudgement judged = JudgeNewGroupName(name);
        EXPECT_EQ(judged.Verdict, TNameVerdict::Refused) << name;
        EXPECT_NE(judged.Message.find("which Windows does not allow in a file name"),
                  std::string::npos)
            << judged.Message;
    }
    EXPECT_EQ(refusal("a\x1F"),
              "the group name \"a\\x1F\" holds a control character (U+001F); a group name is "
              "one line of text");
    EXPECT_EQ(refusal("Trucks."),
              "the group name \"Trucks.\" ends in a dot, which Windows drops from a file name");
    EXPECT_EQ(refusal("Trucks "),
              "the group name \"Trucks \" ends in a space, which Windows drops from a file name");
    EXPECT_EQ(refusal("nul.x"),
              "the group name \"nul.x\" names the Windows device \"NUL\", which cannot be a file "
              "name, with or without an extension");
    // Devices in any letter case, with extensions, blanks before the dot, superscripts.
    const std::pair<const char*, const char*> devices[] = {{"CON", "CON"},
                                                           {"prn", "PRN"},
                                                           {"Aux.txt", "AUX"},
                                                           {"NUL .x", "NUL"},
                                                           {"com1", "COM1"},
                                                           {"COM9.a.b", "COM9"},

                                                           {"LPT\xC2\xB9", "LPT\xC2\xB9"},
                                                           {"com\xC2\xB3.x", "COM\xC2\xB3"},
                                                           {"conout$", "CONOUT$"}};
    for (const auto& [name, device] : devices)
        EXPECT_NE(refusal(name).find("the Windows device \"" + std::string(device) + "\""),
                  std::string::npos)
            << name << ": " << refusal(name);
    // Near misses are file names like any other.
    for (const char* name : {"CONSOLE", "COM10", "COM", "LPT", "COMA", "xCON", "CON-1", "AUX_2",
                             ".hidden", "a.b", "Trucks 2", "N.U.L", "Caf\xC3\xA9", "new"})
        EXPECT_EQ(JudgeNewGroupName(name).Verdict, TNameVerdict::Accepted)
            << name << ": " << refusal(name);
}

TEST(NameRule, TheFileNameRuleAloneJudgesControlCharactersAndNamesThatPassItsChecks) {
    EXPECT_EQ(WindowsFileNameFault(U"a\tb"),
              " holds a control character (U+0009), which Windows does not allow in a file name");
    EXPECT_EQ(WindowsFileNameFault(U""), "");
    EXPECT_EQ(WindowsFileNameFault(U"\u00C4rger \u0152uvre"), "");
}

// Two names with the same key are one file on a case-insensitive file system.
TEST(NameRule, CaseKeysMeetWhereWindowsFoldsLetters) {
    EXPECT_EQ(FileNameCaseKey("Trucks 07-12-2026 by .db"),
              FileNameCaseKey("TRUCKS 07-12-2026 BY .DB"));
    EXPECT_EQ(FileNameCaseKey("\xC3\xA4\xC3\xBF\xC5\xA1\xC5\x93\xC5\xBE"),   // äÿšœž
              FileNameCaseKey("\xC3\x84\xC5\xB8\xC5\xA0\xC5\x92\xC5\xBD"));  // ÄŸŠŒŽ
    EXPECT_NE(FileNameCaseKey("Trucks"), FileNameCaseKey("Trucks "));
    EXPECT_NE(FileNameCaseKey("\xC3\xB7"), FileNameCaseKey("\xC3\x97"));  // ÷ is not ×
    EXPECT_NE(FileNameCaseKey("a1"), FileNameCaseKey("a2"));
    // Malformed bytes stand as they are and keep names apart.
    EXPECT_EQ(FileNameCaseKey("a\xFF"), "A\xFF");
    EXPECT_NE(FileNameCaseKey("a\xFE"), FileNameCaseKey("a\xFF"));
}
