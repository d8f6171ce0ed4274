#pragma once
// The text frames exchanged with the tester and its address map. Frames are byte
// strings of Windows-1252 characters, one byte per character, as on the line.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

inline constexpr char kCR = '\r';
inline constexpr std::size_t kCellLength = 16;  // characters of one tester cell
inline constexpr int kVehicleCells = 96;        // vehicle cells 0..95
inline constexpr int kTrailerCells = 32;        // trailer cells 0..31

// Address map.
inline constexpr uint16_t kIdentificationAddress = 0x0190;        // answered with a long reply
inline constexpr uint16_t kSecondIdentificationAddress = 0x0107;  // reply never used
inline constexpr uint16_t kCompanyNameAddress = 0x01C2;
inline constexpr uint16_t kVehicleCellBase = 0xFC00;
inline constexpr uint16_t kTrailerCellBase = 0xFF00;
inline constexpr uint16_t kCellStride = 8;          // consecutive ID cells lie 8 addresses apart
inline constexpr int kLowestSuitableVersion = 400;  // software version 4.00

// Vehicle cell k (0..95) and trailer cell k (0..31); other slots throw std::out_of_range.
uint16_t VehicleCellAddress(int k);
uint16_t TrailerCellAddress(int k);

// An address as four upper-case hexadecimal digits ("FEF8").
std::string AddressText(uint16_t address);

// "!0000" + command digit + address + data + CR, for commands 1 (identification),
// 2 (write cell) and 3 (read cell); any other command throws std::invalid_argument.
std::string BuildCommandFrame(int command, uint16_t address, const std::string& data);

// Appends blanks up to 16 characters; longer data is left as it is.
std::string PadToCell(std::string data);

// "yymmdd00hhnnss" from a local date and time; a field out of range (a month
// outside 0..11 and so on) throws std::invalid_argument rather than going on the line.
std::string ClockDigits(const std::tm& moment);
// "!0000D" + ClockDigits + CR.
std::string BuildClockFrame(const std::tm& moment);

// The 8-bit sum of the payload's character codes as two upper-case hex digits.
std::string ChecksumText(std::string_view payload);
// True when `received` is exactly ChecksumText(payload): lower-case digits fail.
bool VerifyChecksum(std::string_view payload, std::string_view received);

// The value of one hexadecimal digit (either case); -1 for any other character.
int HexDigitValue(char c);
// The value of two hexadecimal digits (either case); 1 when they are not both hexadecimal.
unsigned HexPairValue(char high, char low);
// Each group of four hex digits gives two characters, low byte (second pair) first;
// characters beyond the last complete group are ignored.
std::string DecodeHexWords(std::string_view text);
// Identification data positions 9-10 as a hex pair plus 216 (B8 gives 400); a
// missing or invalid pair counts as 1.
int VersionNumber(std::string_view identificationData);
