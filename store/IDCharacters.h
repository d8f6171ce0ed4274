#pragma once
// Which characters an ID may hold: the rule of the ID boxes' key filter, judged by
// Windows-1252 code. The window's filter and the groups tool's import ask it here.
#include <string_view>

// Whether an ID may hold the character with this Windows-1252 code.
bool IDBoxAcceptsCode(unsigned char code);
// Whether an ID may hold this character; one without a Windows-1252 code is
// refused like a refused code.
bool IDBoxAcceptsCharacter(char32_t codePoint);
