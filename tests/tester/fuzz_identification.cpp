// libFuzzer target: arbitrary bytes as identification data and as text crossing
// between UTF-8 and Windows-1252.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Cp1252.h"
#include "tester/Frames.h"

namespace {

void Expect(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string decoded = DecodeHexWords(bytes);
    Expect(decoded.size() == size / 4 * 2);
    const int version = VersionNumber(bytes);
    Expect(version >= 216 && version <= 255 + 216);

    // Every byte string survives the way to UTF-8 and back.
    const std::string utf8 = Cp1252ToUtf8(bytes);
    Expect(Utf8ToCp1252(utf8) == bytes);
    // Any text gives one byte per character at most, and nothing outside
    // Windows-1252 gets through unreplaced.
    const std::string line = Utf8ToCp1252(bytes);
    Expect(line.size() <= size);
    Expect(Utf8ToCp1252(Cp1252ToUtf8(line)) == line);
    return 0;
}
