#pragma once
// UTF-8, as the tables and the window hold text: the one decoder every part uses.
// A malformed sequence (a stray byte, an overlong form, a surrogate, a value above
// U+10FFFF) is one character of its own that maps to no code of any table, so that
// counting, cutting and filtering agree on where characters begin.
#include <optional>
#include <string>
#include <string_view>

// The character a malformed sequence decodes to.
inline constexpr char32_t kMalformedUtf8 = 0xFFFD;

// Decodes the sequence at text[i] and moves i past it; nothing for a malformed one,
// which then covers exactly one byte so that decoding picks up at the next.
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& i);
// Every character of a UTF-8 text; malformed sequences give kMalformedUtf8.
std::u32string DecodeUtf8(std::string_view text);
void AppendUtf8(std::string& out, char32_t codePoint);
// The number of characters of a UTF-8 text.
std::size_t Utf8Length(std::string_view text);
// At most `count` characters of a UTF-8 text, never a character cut in two.
std::string Utf8Prefix(std::string text, std::size_t count);
