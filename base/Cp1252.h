#pragma once
// Text crosses between UTF-8 (tables, window) and the line as Windows-1252 bytes.
// The five bytes Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D) travel as
// U+0081 and so on, both ways.
#include <optional>
#include <string>
#include <string_view>

// The byte a character replaced by Utf8ToCp1252 becomes: it has no Windows-1252 code
// (or the UTF-8 text is malformed), and such a character must never reach the line.
inline constexpr char kCp1252Replacement = '?';

// The Windows-1252 code of a Unicode code point, or nothing when it has none.
std::optional<unsigned char> Cp1252Code(char32_t codePoint);
// UTF-8 to Windows-1252, one byte per character; each character without a code and
// each malformed UTF-8 sequence becomes one kCp1252Replacement.
std::string Utf8ToCp1252(std::string_view utf8);
// Windows-1252 to UTF-8; every byte has a character.
std::string Cp1252ToUtf8(std::string_view bytes);
