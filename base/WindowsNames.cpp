#include "base/WindowsNames.h"

std::u32string WindowsDeviceName(std::u32string_view fileName) {
    std::u32string stem(fileName.substr(0, fileName.find(U'.')));
    while (!stem.empty() && stem.back() == U' ') stem.pop_back();
    // Every device name is ASCII letters (and one $): no other letter can make one.
    for (char32_t& c : stem)
        if (c >= U'a' && c <= U'z') c -= U'a' - U'A';
    static constexpr std::u32string_view kDevices[] = {U"CON", U"PRN",    U"AUX",
                                                       U"NUL", U"CONIN$", U"CONOUT$"};
    for (std::u32string_view device : kDevices)
        if (stem == device) return stem;
    if (stem.size() != 4) return U"";
    const std::u32string_view prefix = std::u32string_view(stem).substr(0, 3);
    const char32_t digit = stem[3];
    const bool numbered =
        (digit >= U'1' && digit <= U'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    return (prefix == U"COM" || prefix == U"LPT") && numbered ? stem : U"";
}
