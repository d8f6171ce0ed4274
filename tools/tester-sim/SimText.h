#pragma once
// Bytes as one line of the log or the state file: printable ASCII stays as it is;
// bytes below 32, from 127 up and the backslash become \xHH.
#include <optional>
#include <string>
#include <string_view>

std::string EscapeBytes(std::string_view bytes);
// The reverse; nothing when the text holds a malformed escape.
std::optional<std::string> UnescapeBytes(std::string_view text);
