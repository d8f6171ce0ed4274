#include <gtest/gtest.h>

#include <QLocale>
#include <ctime>
#include <string>

#include "base/Cp1252.h"
#include "shell/ExceptionBox.h"
#include "shell/LocaleDateTime.h"
#include "store/IDRules.h"

namespace {

bool Accepts(unsigned code) {
    return IDBoxAcceptsCode(static_cast<unsigned char>(code));
}

}  // namespace

TEST(KeyFilter, CodeRangesAtTheirBoundaries) {
    for (unsigned code :
         {0u, 8u, 13u, 31u, 32u, 45u, 48u, 57u, 65u, 90u, 97u, 122u, 151u, 200u, 233u, 255u})
        EXPECT_TRUE(Accepts(code)) << code;
    for (unsigned code :
         {33u, 40u, 44u, 46u, 47u, 58u, 64u, 91u, 96u, 123u, 126u, 127u, 128u, 140u, 150u})
        EXPECT_FALSE(Accepts(code)) << code;
}

TEST(KeyFilter, EveryCodeFollowsTheRanges) {
    // The whole table once, against the ranges written out independently.
    for (unsigned code = 0; code < 256; ++code) {
        const bool rejected = (code >= 33 && code <= 44) || code == 46 || code == 47 ||
                              (code >= 58 && code <= 64) || (code >= 91 && code <= 96) ||
                              (code >= 123 && code <= 150);
        EXPECT_EQ(Accepts(code), !rejected) << code;
    }
}

TEST(KeyFilter, CharactersAreJudgedByTheirWindows1252Code) {
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

TEST(KeyFilter, TypedTextKeepsWhatItTakesAndCountsTheRest) {
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

TEST(ExceptionBoxText, FullStopOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(ExceptionBoxText("Table not found"), "Table not found.");
    EXPECT_EQ(ExceptionBoxText("Done."), "Done.");
    EXPECT_EQ(ExceptionBoxText("value -"), "value -");    // 45
    EXPECT_EQ(ExceptionBoxText("a/b/"), "a/b/.");         // 47
    EXPECT_EQ(ExceptionBoxText("(code 3)"), "(code 3)");  // 41
    EXPECT_EQ(ExceptionBoxText("Port 1"), "Port 1.");
    EXPECT_EQ(ExceptionBoxText("line\n"), "line\n");
    EXPECT_EQ(ExceptionBoxText("caf\xC3\xA9"), "caf\xC3\xA9.");
    EXPECT_EQ(ExceptionBoxText(""), "");
}

TEST(LocaleDateTime, TimeZoneLeavesTheTimeFormat) {
    EXPECT_EQ(WithoutTimeZone("HH:mm:ss t"), "HH:mm:ss");
    EXPECT_EQ(WithoutTimeZone("h:mm:ss AP t"), "h:mm:ss AP");
    EXPECT_EQ(WithoutTimeZone("t HH:mm"), "HH:mm");
    EXPECT_EQ(WithoutTimeZone("HH 'h' mm 'at' t"), "HH 'h' mm 'at'");
    EXPECT_EQ(WithoutTimeZone("HH:mm:ss"), "HH:mm:ss");
}

TEST(LocaleDateTime, BritishFormatsGiveTheDocumentedExample) {
    const TDateTimeSource source =
        LocaleDateTimeSource(QLocale(QLocale::English, QLocale::UnitedKingdom));
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 33;
    EXPECT_EQ(source.ShortDate(t), "07/12/2026");
    EXPECT_EQ(source.LongTime(t), "14:05:33");
    const std::tm now = source.Now();
    EXPECT_GE(now.tm_year, 124);
}
