#pragma once
// The decision of the ID boxes' key filter, without a window: which typed
// characters an ID box takes, judged by their Windows-1252 codes.
#include <string>

#include "store/IDCharacters.h"

// Whether a key's text (UTF-8, possibly several characters) may go in: every
// character must be taken. Empty text (arrows, Delete) is not judged and passes.
bool IDBoxAcceptsKeyText(const std::string& utf8);

// Typed text (a key's or an input method's, UTF-8) split into what an ID box takes,
// in order, and the number of characters it refuses: one message for each.
struct TTypedText {
    std::u32string Accepted;
    int Rejected = 0;
};
TTypedText FilterTypedText(const std::string& utf8);
// Pasted text loses only what has no Windows-1252 code.
std::u32string DropNonCp1252(const std::u32string& text);

inline constexpr const char* kRejectedKeyMessage =
    "Please enter an alphabetical or numerical character";
