// The link session's own texts: the explanation of a scan round without a tester, and
// text from outside made fit to show.
#include <gtest/gtest.h>

#include <random>

#include "base/Utf8.h"
#include "tester/LinkSessionTexts.h"

namespace {

const char* const kNoPort =
    "no serial port found: plug in the adapter, or run haltguard-ids-setup --check-ports";

TEST(ScanExplanation, WhichPortsWereTriedAndWhyNoneAnswered) {
    EXPECT_EQ(ExplainScanRound({}), kNoPort);
    EXPECT_EQ(ExplainScanRound({{}, {{1, "minicom (PID 4711)"}}}),
              "COM1 in use by minicom (PID 4711)");
    EXPECT_EQ(ExplainScanRound({{2, 3, 4, 33}, {}}),
              "no answer on COM2-COM4, COM33: is the tester on and connected?");
    EXPECT_EQ(ExplainScanRound({{5}, {{1, "minicom (PID 4711)"}}}),
              "COM1 in use by minicom (PID 4711); no answer on COM5: is the tester on and "
              "connected?");
    // The line has room for one holder by name; the rest are named by port.
    EXPECT_EQ(ExplainScanRound({{}, {{1, "a (PID 1)"}, {2, "b"}, {3, "c"}, {9, "e"}}}),
              "COM1 in use by a (PID 1); COM2-COM3, COM9 in use");
}

TEST(PrintableLine, WhatShowsNothingShowsAsAQuestionMark) {
    EXPECT_EQ(PrintableLine(" No:ABCD on COM1"), " No:ABCD on COM1");
    EXPECT_EQ(PrintableLine(std::string(" No:\x01\x01\0\x7F on COM1", 16)), " No:???? on COM1");
    // Windows-1252's letters stay; its undefined bytes arrive as C1 controls.
    EXPECT_EQ(PrintableLine("Zo\xC3\xAB \xE2\x82\xAC \xC2\x81"), "Zo\xC3\xAB \xE2\x82\xAC ?");
    // A process name cannot turn the rest of the line round, hide or break it.
    EXPECT_EQ(PrintableLine("evil\xE2\x80\xAE"
                            "txt\x1B[31m\xE2\x80\x8B\xC2\xAD\xEF\xBB\xBF\xE2\x80\xA8\n"),
              "evil?txt?[31m?????");
    EXPECT_EQ(PrintableLine("\xFF\xC3"), "??");  // malformed
    EXPECT_EQ(PrintableLine(""), "");
}

// Any bytes (a process may give itself any name): one character shown for each, none
// of them a control, and the result well-formed.
TEST(PrintableLine, AnyBytesGiveOnlyCharactersThatShow) {
    std::mt19937 random(30);
    for (int i = 0; i < 20000; ++i) {
        std::string bytes(random() % 40, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        const std::string shown = PrintableLine(bytes);
        ASSERT_EQ(PrintableLine(shown), shown);
        const std::u32string characters = DecodeUtf8(shown);
        ASSERT_EQ(characters.size(), DecodeUtf8(bytes).size());
        for (const char32_t c : characters) {
            ASSERT_NE(c, kMalformedUtf8);
            ASSERT_FALSE(c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E));
        }
    }
}

}  // namespace
