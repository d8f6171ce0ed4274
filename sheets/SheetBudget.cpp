#include "sheets/SheetBudget.h"

#include <limits>

#include "sheets/SheetErrors.h"
#include "store/IDRules.h"

namespace {

constexpr std::size_t kQuotedStart = 20;

std::uint64_t SaturatingSum(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

}  // namespace

void TSheetBudget::Spend(const TSheetPlace& at, std::uint64_t cells, std::uint64_t characters) {
    cells_ = SaturatingSum(cells_, cells);
    characters_ = SaturatingSum(characters_, characters);
    if (cells_ > kSheetCells)
        throw ESheetRefused(at, "the sheet has more than " + Grouped(kSheetCells) +
                                    " cells that hold something; a group's sheet has about 400");
    if (characters_ > kSheetCharacters)
        throw ESheetRefused(at, "the sheet's cells hold more than " + Grouped(kSheetCharacters) +
                                    " characters; a group's sheet holds a few thousand");
}

std::string QuotedStart(std::u32string_view text, std::size_t length, bool atLeast) {
    if (length <= kQuotedStart && !atLeast) return QuotedText(text.substr(0, length));
    std::string quoted = QuotedText(text.substr(0, kQuotedStart));
    quoted.insert(quoted.size() - 1, "…");
    return quoted + " (" + (atLeast ? "more than " : "") + Grouped(length) + " characters)";
}

void RefuseLongCell(const TSheetPlace& at, std::u32string_view start) {
    throw ESheetRefused(at, "a cell of " + QuotedStart(start, kCellCharacters, true) +
                                "; the cells of a group's sheet are short (an ID has at most " +
                                std::to_string(kIDLength) + ")");
}

std::string Grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (std::size_t k = digits.size(); k > 3; k -= 3) digits.insert(k - 3, ",");
    return digits;
}

std::string HiddenSheetsNote(const std::vector<std::string>& quoted, std::size_t count) {
    std::string names;
    for (std::size_t k = 0; k < quoted.size(); ++k) names += (k == 0 ? "" : ", ") + quoted[k];
    if (count > quoted.size()) names += " and " + Grouped(count - quoted.size()) + " more";
    return std::string("note: the hidden sheet") + (count > 1 ? "s " : " ") + names +
           (count > 1 ? " were" : " was") + " passed over; the first visible one was read";
}
