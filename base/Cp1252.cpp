#include "base/Cp1252.h"

#include "base/Utf8.h"

namespace {

// Code points of the bytes 80..9F; the undefined ones map to themselves.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

std::optional<unsigned char> Cp1252Code(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<unsigned char>(codePoint);
    for (unsigned k = 0; k < 32; ++k)
        if (kHighControls[k] == codePoint) return static_cast<unsigned char>(0x80 + k);
    return std::nullopt;
}

std::string Utf8ToCp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::optional<char32_t> cp = NextCodePoint(utf8, i);
        const std::optional<unsigned char> code = cp ? Cp1252Code(*cp) : std::nullopt;
        out += code ? static_cast<char>(*code) : kCp1252Replacement;
    }
    return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        if (b >= 0x80 && b < 0xA0)
            AppendUtf8(out, kHighControls[b - 0x80]);
        else
            AppendUtf8(out, b);
    }
    return out;
}
