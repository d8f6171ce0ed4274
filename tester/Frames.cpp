#include "tester/Frames.h"

#include <stdexcept>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, unsigned value) {
    out += kHexDigits[(value >> 4) & 0xF];
    out += kHexDigits[value & 0xF];
}

void AppendTwoDigits(std::string& out, int value, int low, int high, const char* what) {
    if (value < low || value > high)
        throw std::invalid_argument(std::string("clock frame: ") + what + " out of range");
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
}

}  // namespace

uint16_t VehicleCellAddress(int k) {
    if (k < 0 || k >= kVehicleCells) throw std::out_of_range("vehicle slot out of range");
    return static_cast<uint16_t>(kVehicleCellBase + kCellStride * k);
}

uint16_t TrailerCellAddress(int k) {
    if (k < 0 || k >= kTrailerCells) throw std::out_of_range("trailer slot out of range");
    return static_cast<uint16_t>(kTrailerCellBase + kCellStride * k);
}

std::string AddressText(uint16_t address) {
    std::string text;
    AppendHexByte(text, address >> 8);
    AppendHexByte(text, address & 0xFF);
    return text;
}

std::string BuildCommandFrame(int command, uint16_t address, const std::string& data) {
    if (command < 1 || command > 3) throw std::invalid_argument("command frame: no such command");
    std::string frame = "!0000";
    frame += static_cast<char>('0' + command);
    frame += AddressText(address);
    frame += data;
    frame += kCR;
    return frame;
}

std::string PadToCell(std::string data) {
    if (data.size() < kCellLength) data.resize(kCellLength, ' ');
    return data;
}

std::string ClockDigits(const std::tm& moment) {
    std::string digits;
    const int year = moment.tm_year + 1900;
    if (year < 0) throw std::invalid_argument("clock frame: year out of range");
    AppendTwoDigits(digits, year % 100, 0, 99, "year");
    AppendTwoDigits(digits, moment.tm_mon + 1, 1, 12, "month");
    AppendTwoDigits(digits, moment.tm_mday, 1, 31, "day");
    digits += "00";
    AppendTwoDigits(digits, moment.tm_hour, 0, 23, "hour");
    AppendTwoDigits(digits, moment.tm_min, 0, 59, "minute");
    AppendTwoDigits(digits, moment.tm_sec, 0, 60, "second");  // 60: a leap second
    return digits;
}

std::string BuildClockFrame(const std::tm& moment) {
    return "!0000D" + ClockDigits(moment) + kCR;
}

std::string ChecksumText(std::string_view payload) {
    unsigned sum = 0;
    for (unsigned char c : payload) sum = (sum + c) & 0xFF;
    std::string text;
    AppendHexByte(text, sum);
    return text;
}

bool VerifyChecksum(std::string_view payload, std::string_view received) {
    return received == ChecksumText(payload);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

unsigned HexPairValue(char high, char low) {
    const int h = HexDigitValue(high);
    const int l = HexDigitValue(low);
    if (h < 0 || l < 0) return 1;
    return static_cast<unsigned>(h * 16 + l);
}

std::string DecodeHexWords(std::string_view text) {
    std::string out;
    const std::size_t groups = text.size() / 4;
    out.reserve(groups * 2);
    for (std::size_t g = 0; g < groups; ++g) {
        const std::string_view group = text.substr(g * 4, 4);
        out += static_cast<char>(HexPairValue(group[2], group[3]));
        out += static_cast<char>(HexPairValue(group[0], group[1]));
    }
    return out;
}

int VersionNumber(std::string_view identificationData) {
    if (identificationData.size() < 10) return 1 + 216;
    return static_cast<int>(HexPairValue(identificationData[8], identificationData[9])) + 216;
}
