#include "store/IDCharacters.h"

#include <optional>

#include "base/Cp1252.h"

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
