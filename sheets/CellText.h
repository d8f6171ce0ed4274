#pragma once
// What is done to a cell's text before the ID rule judges it.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Where the text first looks like UTF-8 that was read as Windows-1252 somewhere on
// its way ("Zoë" become "ZoÃ«"): an "Ã" or "Â" followed by a character whose
// Windows-1252 code is 0x80 to 0xBF, or a leading "ï»¿" (a byte-order mark read so).
// Nothing when it does not.
std::optional<std::size_t> MojibakeAt(std::u32string_view text);

// The text in Unicode's composed form (NFC): "e" followed by a combining diaeresis
// becomes the one character "ë" that the ID boxes take.
std::u32string Composed(const std::u32string& text);
