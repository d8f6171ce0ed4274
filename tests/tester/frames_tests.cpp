// Command frames, the clock frame, the checksum, the address map and the decoding
// of identification data.
#include <gtest/gtest.h>

#include <ctime>
#include <stdexcept>
#include <string>

#include "tester/Frames.h"
#include "tests/common/FixedTime.h"

TEST(CommandFrame, IdentificationReadAndWriteFrames) {
    EXPECT_EQ(BuildCommandFrame(1, kIdentificationAddress, ""), "!000010190\r");
    EXPECT_EQ(BuildCommandFrame(1, kSecondIdentificationAddress, ""), "!000010107\r");
    EXPECT_EQ(BuildCommandFrame(3, kCompanyNameAddress, ""), "!0000301C2\r");
    const std::string write = BuildCommandFrame(2, VehicleCellAddress(95), PadToCell("Caf\xE9"));
    EXPECT_EQ(write, "!00002FEF8Caf\xE9            \r");
    EXPECT_EQ(write.size(), 27u);
    EXPECT_EQ(BuildCommandFrame(2, TrailerCellAddress(31), PadToCell("")).substr(0, 10),
              "!00002FFF8");
    // Address digits are upper case with leading zeros.
    EXPECT_EQ(BuildCommandFrame(3, 0x00ab, ""), "!0000300AB\r");
}

TEST(CommandFrame, RefusesCommandsOtherThanOneToThree) {
    EXPECT_THROW(BuildCommandFrame(0, kIdentificationAddress, ""), std::invalid_argument);
    EXPECT_THROW(BuildCommandFrame(4, kIdentificationAddress, ""), std::invalid_argument);
}

TEST(PadToCell, PadsShortDataAndNeverTruncates) {
    EXPECT_EQ(PadToCell(""), std::string(16, ' '));
    EXPECT_EQ(PadToCell("0123456789ABCDEF"), "0123456789ABCDEF");
    EXPECT_EQ(PadToCell("AB"), "AB              ");
    EXPECT_EQ(PadToCell(std::string(17, 'x')), std::string(17, 'x'));
}

TEST(AddressMap, CellsAndFixedAddresses) {
    EXPECT_EQ(AddressText(VehicleCellAddress(0)), "FC00");
    EXPECT_EQ(AddressText(VehicleCellAddress(95)), "FEF8");
    EXPECT_EQ(AddressText(TrailerCellAddress(0)), "FF00");
    EXPECT_EQ(AddressText(TrailerCellAddress(31)), "FFF8");
    EXPECT_EQ(AddressText(kCompanyNameAddress), "01C2");
    EXPECT_EQ(AddressText(kIdentificationAddress), "0190");
    EXPECT_EQ(AddressText(kSecondIdentificationAddress), "0107");
    // The vehicle cells end where the trailer cells begin.
    EXPECT_EQ(VehicleCellAddress(95) + kCellStride, TrailerCellAddress(0));
    EXPECT_EQ(kLowestSuitableVersion, 400);
}

TEST(AddressMap, SlotsOutsideTheGroupAreRefused) {
    // Above FFF8 the address would wrap round to 0000.
    EXPECT_THROW(TrailerCellAddress(32), std::out_of_range);
    EXPECT_THROW(TrailerCellAddress(-1), std::out_of_range);
    EXPECT_THROW(VehicleCellAddress(96), std::out_of_range);
    EXPECT_THROW(VehicleCellAddress(-1), std::out_of_range);
}

TEST(ClockFrame, DigitsFromTheLocalMoment) {
    EXPECT_EQ(ClockDigits(Moment(2024, 3, 5, 14, 7, 9)), "24030500140709");
    EXPECT_EQ(BuildClockFrame(Moment(2024, 3, 5, 14, 7, 9)), "!0000D24030500140709\r");
    EXPECT_EQ(BuildClockFrame(Moment(2024, 3, 5, 14, 7, 9)).size(), 21u);
    EXPECT_EQ(ClockDigits(Moment(2000, 12, 31, 23, 59, 59)), "00123100235959");
    EXPECT_EQ(ClockDigits(Moment(2109, 1, 1, 0, 0, 0)), "09010100000000");
}

TEST(ClockFrame, FieldsOutOfRangeNeverReachTheLine) {
    std::tm t = Moment(2024, 3, 5, 14, 7, 9);
    t.tm_mon = 12;
    EXPECT_THROW(ClockDigits(t), std::invalid_argument);
    t = Moment(2024, 3, 5, 14, 7, 9);
    t.tm_hour = 24;
    EXPECT_THROW(ClockDigits(t), std::invalid_argument);
    t = Moment(2024, 3, 5, 14, 7, 9);
    t.tm_mday = 0;
    EXPECT_THROW(ClockDigits(t), std::invalid_argument);
    t = Moment(2024, 3, 5, 14, 7, 9);
    t.tm_min = -1;
    EXPECT_THROW(ClockDigits(t), std::invalid_argument);
}

TEST(Checksum, SumOfPayloadCodesModulo256) {
    EXPECT_EQ(ChecksumText("abc"), "26");
    EXPECT_TRUE(VerifyChecksum("abc", "26"));
    EXPECT_EQ(ChecksumText(""), "00");
    // 255 + 1 wraps to zero.
    EXPECT_EQ(ChecksumText(std::string("\xFF\x01", 2)), "00");
    EXPECT_TRUE(VerifyChecksum(std::string(2, '\x80'), "00"));
    EXPECT_EQ(ChecksumText("\x0A"), "0A");
    EXPECT_EQ(ChecksumText("\xFE"), "FE");
}

TEST(Checksum, ComparedExactly) {
    EXPECT_FALSE(VerifyChecksum("\xFE", "fe"));
    EXPECT_FALSE(VerifyChecksum("\xFE", "fE"));
    EXPECT_FALSE(VerifyChecksum("abc", "27"));
    EXPECT_FALSE(VerifyChecksum("abc", "2"));
    EXPECT_FALSE(VerifyChecksum("abc", "026"));
    EXPECT_FALSE(VerifyChecksum("abc", ""));
}

TEST(HexWords, LowByteFirstInEachWord) {
    EXPECT_EQ(DecodeHexWords("42414443"), "ABCD");
    EXPECT_EQ(DecodeHexWords("4241444345"), "ABCD");  // 10 characters: the last 2 ignored
    EXPECT_EQ(DecodeHexWords("424"), "");
    EXPECT_EQ(DecodeHexWords(""), "");
    EXPECT_EQ(DecodeHexWords("6a6B"), "kj");  // either case
    EXPECT_EQ(DecodeHexWords("E9FF"), "\xFF\xE9");
}

TEST(HexWords, NonHexadecimalPairsCountAsOne) {
    EXPECT_EQ(DecodeHexWords("ZZ41"), std::string("A\x01", 2));
    EXPECT_EQ(DecodeHexWords("41G1"), std::string("\x01"
                                                  "A",
                                                  2));
    EXPECT_EQ(DecodeHexWords(" 141"), std::string("A\x01", 2));
    EXPECT_EQ(HexPairValue('0', 'x'), 1u);
    EXPECT_EQ(HexPairValue('f', 'F'), 255u);
}

TEST(VersionNumber, VersionCodePlus216) {
    const std::string id = "41424344";
    EXPECT_EQ(VersionNumber(id + "B8" + std::string(54, '0')), 400);
    EXPECT_EQ(VersionNumber(id + "b8"), 400);
    EXPECT_EQ(VersionNumber(id + "B7"), 399);
    EXPECT_EQ(VersionNumber(id + "00"), 216);
    EXPECT_EQ(VersionNumber(id + "FF"), 471);
    EXPECT_EQ(VersionNumber(id + "XY"), 217);
    // Data too short to hold the code counts like an invalid pair.
    EXPECT_EQ(VersionNumber(id + "B"), 217);
    EXPECT_EQ(VersionNumber(""), 217);
}
