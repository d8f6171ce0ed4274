#pragma once
// What a reader may build of a file, whatever the file says, and how its messages
// quote what passes that. An ID has at most 16 characters and a group's sheet about
// 400 cells, so a cell far longer, or a sheet far larger, is refused where it is met,
// before it is built: a few kilobytes of zip or XML can otherwise say "a million
// spaces" or "this cell, repeated a million times".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheets/Sheet.h"

inline constexpr std::size_t kCellCharacters = 1000;  // notes beside the IDs fit
inline constexpr std::uint64_t kSheetCells = 100000;  // cells that hold something
inline constexpr std::uint64_t kSheetCharacters = 2000000;

// The cells and characters a sheet has taken so far. Repeats are charged before a
// repeated cell or row is copied, and the sums saturate, so no count can wrap.
class TSheetBudget {
public:
    // `cells` cells holding `characters` characters in all, met at `at`; ESheetRefused
    // when they would pass the sheet's budget.
    void Spend(const TSheetPlace& at, std::uint64_t cells, std::uint64_t characters);

private:
    std::uint64_t cells_ = 0;
    std::uint64_t characters_ = 0;
};

// A text as a message quotes it: whole when short, else its first characters and its
// length ("\"AAAAAAAAAAAAAAAAAAAA…\" (1,200 characters)"), so that a message stays a
// line whatever the file holds. `atLeast`: the length is only known to pass it.
std::string QuotedStart(std::u32string_view text, std::size_t length, bool atLeast = false);
inline std::string QuotedStart(std::u32string_view text) {
    return QuotedStart(text, text.size());
}

// ESheetRefused for a cell's text that passes kCellCharacters; `start` is what was kept.
[[noreturn]] void RefuseLongCell(const TSheetPlace& at, std::u32string_view start);

// "note: the hidden sheet \"Old\" was passed over; ...": `quoted` holds the first names
// (quoted), `count` how many there were.
std::string HiddenSheetsNote(const std::vector<std::string>& quoted, std::size_t count);

// 1234567 as "1,234,567".
std::string Grouped(std::uint64_t n);
