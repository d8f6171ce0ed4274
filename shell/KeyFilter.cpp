#include "shell/KeyFilter.h"

#include "base/Cp1252.h"
#include "base/Utf8.h"

bool IDBoxAcceptsKeyText(const std::string& utf8) {
    for (char32_t cp : DecodeUtf8(utf8))
        if (!IDBoxAcceptsCharacter(cp)) return false;
    return true;
}

std::u32string DropNonCp1252(const std::u32string& text) {
    std::u32string out;
    out.reserve(text.size());
    for (char32_t cp : text)
        if (Cp1252Code(cp).has_value()) out.push_back(cp);
    return out;
}
