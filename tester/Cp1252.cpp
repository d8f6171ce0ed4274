#include "tester/Cp1252.h"

#include <cstdint>

namespace {

// Code points of the bytes 80..9F; the undefined ones map to themselves.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {  // every Windows-1252 character lies in the basic plane
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[i], advancing i; nothing for a malformed one
// (overlong forms, surrogates and values above U+10FFFF included), which then
// consumes exactly one byte so that decoding resynchronises on the next.
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    ++i;
    if (lead < 0x80) return lead;
    std::size_t extra;
    char32_t cp;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - i < extra) return std::nullopt;
    for (std::size_t k = 0; k < extra; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    i += extra;
    return cp;
}

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
