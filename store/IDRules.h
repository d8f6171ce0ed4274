#pragma once
// What an ID and a group name may be, whichever way they come in: typed into the
// window, imported from a file, restored from a backup, or made by New. One rule for
// each, kept here; the window's key filter, its New, the store and the groups tool
// all ask it.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kIDLength = 16;         // characters of an ID
inline constexpr int kGroupNameLength = 30;  // characters of a group name

// ---- The ID boxes' key rule, judged by Windows-1252 code ----

bool IDBoxAcceptsCode(unsigned char code);
// A character without a Windows-1252 code is refused like a refused code.
bool IDBoxAcceptsCharacter(char32_t codePoint);

// Typed text (a key's or an input method's, UTF-8) split into what an ID box takes,
// in order, and the number of characters it refuses: one message for each.
struct TTypedText {
    std::u32string Accepted;
    int Rejected = 0;
};
TTypedText FilterTypedText(std::string_view utf8);

// ---- What may be stored ----

// One thing wrong with a text: the character it is at (or the whole text) and why, in
// words that follow the text's own description ("vehicle ID \"AB.C\"" + Why).
struct TTextFault {
    static constexpr std::size_t kWholeText = static_cast<std::size_t>(-1);
    std::size_t At = kWholeText;  // index into the text's characters
    std::string Why;
};

// Every fault of an ID: at most 16 characters, one line, and each character one the
// key rule takes (so one with a Windows-1252 code). None: it may be stored.
std::vector<TTextFault> IDFaults(std::u32string_view id);

// The tester keeps every ID as a cell of 16 characters padded with blanks, and Read
// IDs stores the cells as they come; Send pads each ID to 16 blanks again, so blanks at
// an ID's end are the cell's, not the user's. The ID without them, and whether nothing
// else is left (the tester's empty cell).
std::string_view WithoutCellPadding(std::string_view id);
bool IsBlankID(std::string_view id);

// How New judges a name for a new group. "New" (what Cancel returns) and the empty name
// are turned away: the window says nothing, the groups tool says why. A refused name
// gets its message everywhere.
enum class TNameVerdict { Accepted, TurnedAway, Refused };
struct TNameJudgement {
    TNameVerdict Verdict = TNameVerdict::Accepted;
    std::string Message;  // why, for whoever tells the user
};
TNameJudgement JudgeNewGroupName(std::string_view utf8Name);

// ---- Names that become part of file names ----

// Why `name` could not be a file name on Windows, in words that follow the name's own
// description ("the group name \"a:b\"" + why); "" when it could. A group's name goes
// into its ID list table's file name, and a store made on Linux may be moved to, or
// restored on, a Windows PC: a reserved character (< > : " / \ | ? *), a control
// character, a trailing dot or space (which Windows drops), or a device name
// (WindowsDeviceName) with or without an extension, in any letter case.
std::string WindowsFileNameFault(std::u32string_view name);

// A file name as a case-insensitive file system compares it: two names with the same
// key are one file there. The letters of Windows-1252 are folded; anything else,
// malformed UTF-8 included, stands as it is.
std::string FileNameCaseKey(std::string_view utf8Name);

// A text as a message shows it: in double quotes, control characters written out
// (\x0A) so that the message stays on its line.
std::string QuotedText(std::u32string_view text);
// "U+03A9".
std::string CodePointText(char32_t c);
