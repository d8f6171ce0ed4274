#include "tools/tester-sim/SimText.h"

#include "tester/Frames.h"

std::string EscapeBytes(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c >= 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 0xF];
        }
    }
    return out;
}

std::optional<std::string> UnescapeBytes(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (text.size() - i < 4) return std::nullopt;
        if (text[i + 1] != 'x') return std::nullopt;
        const int high = HexDigitValue(text[i + 2]);
        const int low = HexDigitValue(text[i + 3]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 3;
    }
    return out;
}
