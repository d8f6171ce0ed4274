#pragma once
// The decision of the ID boxes' key filter, without a window: which typed
// characters an ID box takes, judged by their Windows-1252 codes.
#include <string>

#include "store/IDCharacters.h"

// Whether a key's text (UTF-8, possibly several characters) may go in: every
// character must be taken. Empty text (arrows, Delete) is not judged and passes.
bool IDBoxAcceptsKeyText(const std::string& utf8);
// Pasted text loses only what has no Windows-1252 code.
std::u32string DropNonCp1252(const std::u32string& text);

inline constexpr const char* kRejectedKeyMessage =
    "Please enter an alphabetical or numerical character";
