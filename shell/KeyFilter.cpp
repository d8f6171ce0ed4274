#include "shell/KeyFilter.h"

#include "tester/Cp1252.h"

namespace {

// Decodes UTF-8; a malformed sequence gives a code point no table maps.
std::u32string DecodeUtf8(const std::string& utf8) {
    std::u32string out;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    constexpr char32_t kMalformed = 0xFFFFFFFF;
    while (p < end) {
        unsigned char lead = *p++;
        int more = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            more = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            more = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            more = 3;
            cp = lead & 0x07;
        } else {
            out.push_back(kMalformed);
            continue;
        }
        bool ok = end - p >= more;
        for (int i = 0; ok && i < more; ++i) {
            if ((p[i] & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (!ok) {
            out.push_back(kMalformed);
            continue;
        }
        p += more;
        out.push_back(cp);
    }
    return out;
}

}  // namespace

bool IDBoxAcceptsCode(unsigned char code) {
    if (code >= 33 && code <= 44) return false;    // ! to ,
    if (code >= 46 && code <= 47) return false;    // . and /
    if (code >= 58 && code <= 64) return false;    // : to @
    if (code >= 91 && code <= 96) return false;    // [ to `
    if (code >= 123 && code <= 150) return false;  // { up to 150
    return true;
}

bool IDBoxAcceptsCharacter(char32_t codePoint) {
    const std::optional<unsigned char> code = Cp1252Code(codePoint);
    return code.has_value() && IDBoxAcceptsCode(*code);
}

bool IDBoxAcceptsKeyText(const std::string& utf8) {
    return FilterTypedText(utf8).Rejected == 0;
}

TTypedText FilterTypedText(const std::string& utf8) {
    TTypedText text;
    for (char32_t cp : DecodeUtf8(utf8)) {
        if (IDBoxAcceptsCharacter(cp))
            text.Accepted.push_back(cp);
        else
            ++text.Rejected;
    }
    return text;
}

std::u32string DropNonCp1252(const std::u32string& text) {
    std::u32string out;
    out.reserve(text.size());
    for (char32_t cp : text)
        if (Cp1252Code(cp).has_value()) out.push_back(cp);
    return out;
}
