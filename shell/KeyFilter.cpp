#include "shell/KeyFilter.h"

#include "base/Cp1252.h"
#include "base/Utf8.h"

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
