#include "serial/LockFileText.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::string_view kDev = "/dev/";
constexpr std::string_view kPrefix = "LCK..";
// More significant digits than any PID has.
constexpr size_t kMostPidDigits = 10;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsAsciiLockByte(char c) {
    return IsDigit(c) || c == ' ' || c == '\r' || c == '\n' || c == '\0';
}

}  // namespace

std::string LockFileName(const std::string& realPath) {
    if (realPath.size() <= kDev.size() || realPath.compare(0, kDev.size(), kDev) != 0) return "";
    std::string name = std::string(kPrefix) + realPath.substr(kDev.size());
    std::replace(name.begin() + static_cast<std::ptrdiff_t>(kPrefix.size()), name.end(), '/', '_');
    return name;
}

std::string LockFileText(long pid) {
    char text[32];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    return text;
}

bool CouldBeAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), IsAsciiLockByte);
}

long AsciiPid(std::string_view text) {
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos || !IsDigit(text[i])) return 0;
    // Zero-padded forms ("0000001234") are as long as their writer liked.
    while (i < text.size() && text[i] == '0') ++i;
    long pid = 0;
    for (const size_t first = i; i < text.size() && IsDigit(text[i]); ++i) {
        if (i - first == kMostPidDigits) return 0;
        pid = pid * 10 + (text[i] - '0');
    }
    return pid <= INT_MAX ? pid : 0;
}

long PidOfLockText(std::string_view text, long pidMax) {
    // "123\0", "1\r\n\0" and "1234" are four bytes too: ASCII whenever they can be.
    if (text.size() == sizeof(int32_t) && !CouldBeAscii(text)) {
        int32_t pid = 0;
        std::memcpy(&pid, text.data(), sizeof pid);
        if (pid > 0 && pid <= pidMax) return pid;
    }
    return AsciiPid(text);
}
