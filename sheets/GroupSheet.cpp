#include "sheets/GroupSheet.h"

#include <map>
#include <optional>
#include <set>

#include "base/Cp1252.h"
#include "base/Utf8.h"
#include "sheets/CellText.h"
#include "sheets/NumberCells.h"
#include "sheets/SheetBudget.h"
#include "store/IDRules.h"

namespace {

enum TColumn { kSlot, kVehicle, kTrailer, kColumns };
constexpr const char32_t* kColumnNames[kColumns] = {U"slot", U"vehicle", U"trailer"};
constexpr const char* kHeaderRule =
    "the first row must name the columns slot, vehicle and trailer (in any order)";

std::string Utf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) AppendUtf8(out, c);
    return out;
}

// A header cell's name: spaces around it dropped, A-Z as a-z.
std::u32string HeaderName(std::u32string text) {
    while (!text.empty() && (text.back() == U' ' || text.back() == U'\t')) text.pop_back();
    std::size_t lead = 0;
    while (lead < text.size() && (text[lead] == U' ' || text[lead] == U'\t')) ++lead;
    text.erase(0, lead);
    for (char32_t& c : text)
        if (c >= U'A' && c <= U'Z') c += 32;
    return text;
}

// What the reader saw at `at` of a misread text, and what the writer meant by it:
// "\"ü\" shown as \"Ã¼\"", so that the user recognises their own character.
std::string Misread(const std::u32string& text, std::size_t at) {
    if (text[at] == U'\u00EF') return "a byte-order mark shown as \"ï»¿\"";
    // The two characters are the Windows-1252 forms of one two-byte UTF-8 sequence.
    const char32_t lead = text[at] == U'\u00C3' ? 0xC3 : 0xC2;
    const char32_t trail = Cp1252Code(text[at + 1]).value_or(0x80);
    const char32_t meant = ((lead & 0x1F) << 6) | (trail & 0x3F);
    return "\"" + Utf8(std::u32string(1, meant)) + "\" shown as \"" + Utf8(text.substr(at, 2)) +
           "\"";
}

// How far down a header row is looked for when the first row is none.
constexpr std::size_t kHeaderSearchRows = 10;

// The column a header name names, kColumns for none. Beside the bare names, the forms
// that leave no doubt: "Vehicle ID", "Trailer IDs", "Slots".
int ColumnNamed(const std::u32string& name) {
    for (int k = 0; k < kColumns; ++k) {
        const std::u32string bare = kColumnNames[k];
        for (const std::u32string& form :
             {bare, bare + U"s", bare + U" id", bare + U" ids", bare + U"id", bare + U"_id"})
            if (name == form) return k;
    }
    return kColumns;
}

// A name that holds one of the columns' names among other words ("vehicle number"):
// perhaps meant as that column, but not taken as it.
std::optional<int> NearColumn(const std::u32string& name) {
    std::optional<int> near;
    for (int k = 0; k < kColumns; ++k)
        if (name.find(kColumnNames[k]) != std::u32string::npos) {
            if (near) return std::nullopt;  // two of them: no guess
            near = k;
        }
    return near;
}

// A whole number from 0 to 95 in decimal digits, or nothing.
std::optional<int> Slot(const std::u32string& text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    int value = 0;
    for (char32_t c : text) {
        if (c < U'0' || c > U'9') return std::nullopt;
        value = value * 10 + static_cast<int>(c - U'0');
    }
    if (value >= kVehicleSlots) return std::nullopt;
    return value;
}

class TGroupReader {
public:
    TGroupSheet Read(const TSheet& sheet) {
        out_.Problems = sheet.Problems;
        out_.Warnings = sheet.Notes;
        if (sheet.Rows.empty()) {
            Problem({}, std::string("the file holds nothing; ") + kHeaderRule);
            return std::move(out_);
        }
        if (!Header(sheet.Rows[0])) {
            LaterHeader(sheet);
            return std::move(out_);
        }
        out_.HeaderFound = true;
        for (std::size_t r = 1; r < sheet.Rows.size(); ++r) Line(sheet.Rows[r]);
        // An import of nothing would empty the group without a word.
        if (firstRow_.empty() && out_.Problems.empty())
            Problem(sheet.Rows[0].Start,
                    "the file holds the header row and no slot below it; give the slots "
                    "(0 to 95) one a row, as an export writes them");
        return std::move(out_);
    }

private:
    void Problem(TSheetPlace at, std::string message) {
        out_.Problems.push_back({at, std::move(message)});
    }
    void Warning(TSheetPlace at, std::string message, bool eachTold = false) {
        out_.Warnings.push_back({at, std::move(message), eachTold});
    }

    // A cell's text as the rules judge it, or nothing when it looks like mojibake.
    std::optional<std::u32string> Text(const TSheetCell* cell) {
        if (!cell) return std::u32string();
        if (const auto at = MojibakeAt(cell->Text)) {
            Problem(cell->PlaceOf(*at),
                    QuotedStart(cell->Text) +
                        " looks like UTF-8 text read as Windows-1252 on its way here (" +
                        Misread(cell->Text, *at) +
                        "); open the original file again as UTF-8 (Unicode), or move the group "
                        "as .xlsx or .ods");
            return std::nullopt;
        }
        return Composed(cell->Text);
    }

    // Rows that name all three columns further down: a title above the header. Only
    // told, since the rows above may be the user's data.
    void LaterHeader(const TSheet& sheet) {
        for (std::size_t r = 1; r < sheet.Rows.size() && r < kHeaderSearchRows; ++r) {
            if (!NamesTheColumns(sheet.Rows[r])) continue;
            Problem(sheet.Rows[r].Start,
                    "this row names the columns slot, vehicle and trailer: delete the " +
                        std::string(r == 1 ? "row" : "rows") +
                        " above it, so that it is the first row");
            return;
        }
    }

    bool Header(const TSheetRow& row) {
        std::vector<std::string> others;
        for (const TSheetCell& cell : row.Cells) {
            const std::optional<std::u32string> text = Text(&cell);
            if (!text) continue;
            const std::u32string name = HeaderName(*text);
            const int k = ColumnNamed(name);
            if (k == kColumns) {
                if (const std::optional<int> near = NearColumn(name))
                    Problem(cell.Start, QuotedStart(*text) + " may be meant as the column " +
                                            Utf8(kColumnNames[*near]) + ": name it " +
                                            Utf8(kColumnNames[*near]) + " (or " +
                                            Utf8(kColumnNames[*near]) + " ID)");
                else if (!name.empty())
                    others.push_back(QuotedStart(*text));
            } else if (column_[k] != 0) {
                Problem(cell.Start,
                        "the first row names the column " + Utf8(kColumnNames[k]) + " twice");
            } else {
                column_[k] = cell.Column;
            }
        }
        if (!others.empty()) {
            // A few named, so that the note stays a line.
            std::string list;
            for (std::size_t k = 0; k < others.size() && k < 5; ++k)
                list += (k == 0 ? "" : ", ") + others[k];
            if (others.size() > 5) list += " and " + Grouped(others.size() - 5) + " more";
            Warning({}, std::string("note: ") +
                            (others.size() > 1 ? "the columns " : "the column ") + list +
                            (others.size() > 1 ? " are" : " is") + " not read");
        }
        bool complete = true;
        for (int k = 0; k < kColumns; ++k)
            if (column_[k] == 0) complete = false;
        if (!complete) Problem(row.Start, kHeaderRule);
        return complete;
    }

    // A number or truth value in the sheet, as the ID text it stands for; nothing when
    // it cannot be one. A sheet cannot tell a typed 12 from a 0012 or a 1E5 it made a
    // number of, so each number is named where it stands, with what is stored.
    std::optional<std::u32string> Valued(const TSheetCell& cell, const char* what) {
        const std::string id = std::string(what) + " ID: ";
        if (cell.IsTruth) {
            Problem(cell.Start, id + "the sheet holds the truth value " + Utf8(cell.Text) +
                                    ", not text; format the column as text and type the ID "
                                    "again");
            return std::nullopt;
        }
        const TNumberCell number = ReadNumberCell(cell.Text);
        if (!number.ID) {
            Problem(cell.Start, id + number.Refusal);
            return std::nullopt;
        }
        Warning(cell.Start,
                "warning: " + id + "the sheet holds the number " + Utf8(cell.Text) +
                    "; stored as " + *number.ID +
                    ": if the ID was typed otherwise (0012, 1E5), format the column as text "
                    "and type it again",
                true);
        return DecodeUtf8(*number.ID);
    }

    // What an ID box could hold, by the rule every way in shares; the ID, or nothing.
    std::optional<std::string> ID(const TSheetCell* cell, const char* what) {
        std::optional<std::u32string> text = Text(cell);
        if (!text) return std::nullopt;
        const std::string id = std::string(what) + " ID " + QuotedStart(*text);
        // A date keeps none of what was typed: an .xlsx holds only the day's number
        // (46363 for 2026-12-07), an .ods the text its format shows.
        if (cell && cell->IsDate) {
            Problem(cell->Start, std::string(what) + " ID is a date or time in the sheet (" +
                                     QuotedStart(*text) +
                                     "), not text; format the column as text and type the ID "
                                     "again");
            return std::nullopt;
        }
        if (cell && (cell->IsNumber || cell->IsTruth)) {
            text = Valued(*cell, what);
            if (!text) return std::nullopt;
        }
        const std::vector<TTextFault> faults = IDFaults(*text);
        // Composing may have joined characters: then the cell's start is the place.
        const bool samePlaces = cell && *text == cell->Text;
        std::set<std::string> told;  // a fault on many characters is told at the first
        for (const TTextFault& fault : faults)
            if (told.insert(fault.Why).second)
                Problem(fault.At == TTextFault::kWholeText || !samePlaces ? cell->Start
                                                                          : cell->PlaceOf(fault.At),
                        id + fault.Why);
        if (!faults.empty()) return std::nullopt;
        // Blanks at the end are what the tester pads every cell with (and what Read IDs
        // brings); only those at the start change what is sent.
        if (!text->empty() && text->front() == U' ' &&
            text->find_first_not_of(U' ') != std::u32string::npos)
            Warning(cell->Start, "warning: " + id + " starts with a space, which is kept as it is");
        return Utf8(*text);
    }

    void Line(const TSheetRow& row) {
        const TSheetCell* slotCell = row.CellAt(column_[kSlot]);
        const TSheetCell* vehicleCell = row.CellAt(column_[kVehicle]);
        const TSheetCell* trailerCell = row.CellAt(column_[kTrailer]);
        if (!slotCell && !vehicleCell && !trailerCell) return;  // only other columns
        const std::optional<std::string> vehicle = ID(vehicleCell, "vehicle");
        const std::optional<std::u32string> slotText = Text(slotCell);
        const std::optional<int> slot = slotText ? Slot(*slotText) : std::nullopt;
        if (slotText && !slot)
            Problem(slotCell ? slotCell->Start : row.Start,
                    "the slot must be a whole number from 0 to 95, not " + QuotedStart(*slotText));
        if (slot && *slot >= kTrailerSlots && trailerCell) {
            Problem(trailerCell->Start, "slot " + std::to_string(*slot) +
                                            " has no trailer ID (trailers are slots 0 to 31); "
                                            "leave the trailer column empty");
            return;
        }
        const std::optional<std::string> trailer = ID(trailerCell, "trailer");
        if (!slot) return;
        const auto [first, isNew] = firstRow_.emplace(*slot, slotCell->Start);
        if (!isNew) {
            Problem(slotCell->Start, "slot " + std::to_string(*slot) +
                                         " is given twice (first at " + PlaceText(first->second) +
                                         ")");
            return;
        }
        if (vehicle) out_.IDs.Vehicle[*slot] = *vehicle;
        if (trailer && *slot < kTrailerSlots) out_.IDs.Trailer[*slot] = *trailer;
    }

    TGroupSheet out_;
    int column_[kColumns] = {};            // 0: not found
    std::map<int, TSheetPlace> firstRow_;  // slot -> where it was given
};

}  // namespace

bool NamesTheColumns(const TSheetRow& row) {
    bool named[kColumns] = {};
    for (const TSheetCell& cell : row.Cells)
        if (const int k = ColumnNamed(HeaderName(cell.Text)); k < kColumns) named[k] = true;
    return named[kSlot] && named[kVehicle] && named[kTrailer];
}

TGroupSheet ReadGroupSheet(const TSheet& sheet) {
    return TGroupReader().Read(sheet);
}

TSheetTexts GroupSheetTexts(const TGroupIDs& ids) {
    // The blanks Read IDs brought from the tester's cells are left out: Send sends the
    // same cells without them, and in a sheet they only look like typing errors.
    const auto id = [](const std::string& text) { return std::string(WithoutCellPadding(text)); };
    TSheetTexts rows{{"slot", "vehicle", "trailer"}};
    for (int k = 0; k < kVehicleSlots; ++k)
        rows.push_back(
            {std::to_string(k), id(ids.Vehicle[k]), k < kTrailerSlots ? id(ids.Trailer[k]) : ""});
    return rows;
}
