#include "serial/PortNames.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <string_view>

namespace {

constexpr std::string_view kComPrefix = "\\\\.\\COM";

// The port number in a "\\.\COM<n>" name, or 0 when the name is not one.
unsigned ComNumberOf(const std::string& deviceName) {
    std::string_view name(deviceName);
    if (name.substr(0, kComPrefix.size()) != kComPrefix) return 0;
    name.remove_prefix(kComPrefix.size());
    if (name.empty() || name.size() > 9 || name.front() == '0') return 0;
    unsigned n = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n;
}

#ifndef _WIN32
bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// stat follows the link, so a dangling link counts as missing.
bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}
#endif

}  // namespace

std::string ComDeviceName(unsigned n) {
    return std::string(kComPrefix) + std::to_string(n);
}

std::string PortRangesText(const std::vector<unsigned>& numbers) {
    std::string text;
    for (size_t i = 0; i < numbers.size();) {
        size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += "COM" + std::to_string(numbers[i]);
        if (j > i) text += "-COM" + std::to_string(numbers[j]);
        i = j + 1;
    }
    return text;
}

#ifdef _WIN32
// Windows names its communication devices itself: no folder maps them.
std::string PortsFolder() {
    return "";
}

std::string DefaultDeviceOfPort(unsigned n) {
    return n == 0 ? "" : ComDeviceName(n);
}

std::string ResolveDeviceName(const std::string& deviceName) {
    return ComNumberOf(deviceName) == 0 ? "" : deviceName;
}

std::string PortPath(unsigned n) {
    return DefaultDeviceOfPort(n);
}
#else
std::string PortsFolder() {
    // Relative XDG paths are invalid and ignored, as every XDG-aware program does.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/Quillon/ports";
}

std::string DefaultDeviceOfPort(unsigned n) {
    if (n >= 1 && n <= 32) return "/dev/ttyS" + std::to_string(n - 1);
    if (n >= 33 && n <= 64) return "/dev/ttyUSB" + std::to_string(n - 33);
    if (n >= 65 && n <= 96) return "/dev/ttyACM" + std::to_string(n - 65);
    return "";
}

std::string PortPath(unsigned n) {
    const std::string folder = PortsFolder();
    if (!IsDirectory(folder)) return DefaultDeviceOfPort(n);
    return folder + "/com" + std::to_string(n);
}

std::string ResolveDeviceName(const std::string& deviceName) {
    const unsigned n = ComNumberOf(deviceName);
    if (n == 0) return "";
    // A dangling link means no port; a default device is left to the open to judge.
    const std::string folder = PortsFolder();
    if (!IsDirectory(folder)) return DefaultDeviceOfPort(n);
    const std::string link = PortPath(n);
    return Exists(link) ? link : "";
}
#endif
