#include "sheets/GroupFile.h"

#include <algorithm>
#include <map>

#include "base/Cp1252.h"
#include "base/Utf8.h"
#include "sheets/Ods.h"
#include "sheets/SheetErrors.h"
#include "sheets/SheetFiles.h"
#include "sheets/Xlsx.h"
#include "sheets/Zip.h"
#include "store/IDRules.h"

namespace {

bool EndsWith(std::string text, const std::string& end) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c += 32;
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

const char* KindName(TSheetKind kind) {
    return kind == TSheetKind::Xlsx ? ".xlsx" : ".ods";
}

// A problem's kind: its message without the texts and numbers it names.
std::string KindOf(const std::string& message) {
    std::string kind;
    bool quoted = false;
    for (char c : message) {
        if (c == '"') {
            quoted = !quoted;
            kind += c;
        } else if (!quoted && !(c >= '0' && c <= '9' && !kind.empty() && kind.back() == '#')) {
            kind += c >= '0' && c <= '9' ? '#' : c;
        }
    }
    return kind;
}

int NonBlank(const auto& slots) {
    return static_cast<int>(std::count_if(slots.begin(), slots.end(),
                                          [](const std::string& id) { return !IsBlankID(id); }));
}

// What a file holds when it is not the kind its name says, in words that say what to
// do; "" when it may be. A workbook saved with a password is no zip at all: it is an
// encrypted package in the compound file format of the old .xls workbooks.
std::string ForeignContainer(std::string_view bytes, TSheetKind kind) {
    const bool compound =
        bytes.substr(0, 8) == std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    const bool zip = bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4);
    if (compound)
        return "is protected with a password (or is an old .xls workbook): open it in the "
               "spreadsheet program and save it without a password, as .xlsx or .ods";
    if (kind == TSheetKind::Csv && zip)
        return "is a zip archive, so a workbook (.xlsx or .ods) named as CSV: give it its "
               "own extension, or save it as CSV";
    if (kind == TSheetKind::Ods && zip) {
        // An encrypted .ods is a zip whose manifest names the encryption.
        try {
            TZipReader parts(bytes);
            if (parts.Has("META-INF/manifest.xml") &&
                parts.Read("META-INF/manifest.xml").find("encryption-data") != std::string::npos)
                return "is protected with a password: open it in the spreadsheet program and "
                       "save it without a password";
        } catch (const ESheetFormat&) {
            return "";  // the reader says what is wrong with the zip
        }
    }
    return "";
}

// How far along a workbook a header row is looked for when the first sheet has none.
constexpr int kSheetsSearched = 10;

// The first later sheet whose first row names the columns, told with the fix: a
// workbook whose group is on its second sheet. Only a hint beside the first sheet's
// problems, so a later sheet that cannot be read is passed over.
void LaterSheetHeader(std::string_view bytes, TSheetKind kind, TGroupSheet& sheet) {
    for (int later = 1; later < kSheetsSearched; ++later) {
        TSheet other;
        try {
            other = kind == TSheetKind::Xlsx ? ReadXlsx(bytes, later) : ReadOds(bytes, later);
        } catch (const ESheetFormat&) {
            return;  // no more sheets
        } catch (const ESheetRefused&) {
            continue;
        }
        if (other.Rows.empty() || !NamesTheColumns(other.Rows[0])) continue;
        sheet.Problems.push_back(
            {{},
             "the sheet " + QuotedText(DecodeUtf8(other.Name)) +
                 " names the columns slot, vehicle and trailer, but only the first visible "
                 "sheet is read: move that sheet to the front, or save it alone"});
        return;
    }
}

}  // namespace

TSheetKind SheetKindOf(const std::string& path) {
    if (EndsWith(path, ".xlsx")) return TSheetKind::Xlsx;
    if (EndsWith(path, ".ods")) return TSheetKind::Ods;
    return TSheetKind::Csv;
}

TGroupSheet ReadGroupBytes(std::string_view bytes, TSheetKind kind, const std::string& label) {
    const std::string foreign = ForeignContainer(bytes, kind);
    if (!foreign.empty()) throw EUnreadableFile(label + ": " + foreign);
    try {
        if (kind == TSheetKind::Csv) return ReadGroupSheet(ReadCsv(bytes));
        TGroupSheet sheet =
            ReadGroupSheet(kind == TSheetKind::Xlsx ? ReadXlsx(bytes) : ReadOds(bytes));
        if (!sheet.HeaderFound) LaterSheetHeader(bytes, kind, sheet);
        return sheet;
    } catch (const ESheetFormat& e) {
        throw EUnreadableFile(label + ": not an " + KindName(kind) + " file that can be read: " +
                              e.what() + "; save it again from the spreadsheet program");
    } catch (const ESheetRefused& e) {
        const std::string where = PlaceText(e.At);
        throw EUnreadableFile(label + (where.empty() ? "" : ":" + where) + ": " + e.what());
    }
}

TGroupSheet ReadGroupFile(const std::string& path) {
    return ReadGroupBytes(ReadInputFile(path), SheetKindOf(path), FileLabel(path));
}

std::string GroupFileBytes(const TGroupIDs& ids, TSheetKind kind, const TCsvFormat& csv) {
    const TSheetTexts rows = GroupSheetTexts(ids);
    switch (kind) {
        case TSheetKind::Xlsx:
            return WriteXlsx(rows);
        case TSheetKind::Ods:
            return WriteOds(rows);
        case TSheetKind::Csv:
            break;
    }
    return WriteCsv(rows, csv);
}

void WriteGroupFile(const std::string& path, const TGroupIDs& ids, TSheetKind kind,
                    const TCsvFormat& csv) {
    WriteOutputFile(path, GroupFileBytes(ids, kind, csv));
}

std::string Windows1252Refusal(const TGroupIDs& ids) {
    std::string refusal;
    const auto check = [&](const std::string& id, const char* what, int slot) {
        for (char32_t c : DecodeUtf8(id))
            if (!Cp1252Code(c)) {
                refusal += std::string(what) + " slot " + std::to_string(slot) + ": " +
                           QuotedText(DecodeUtf8(id)) + " holds " + CodePointText(c) +
                           ", which is not in Windows-1252; export as UTF-8\n";
                return;
            }
    };
    for (int k = 0; k < kVehicleSlots; ++k) check(ids.Vehicle[k], "vehicle", k);
    for (int k = 0; k < kTrailerSlots; ++k) check(ids.Trailer[k], "trailer", k);
    return refusal;
}

std::string ProblemLines(const std::string& label, std::vector<TSheetProblem> problems,
                         std::size_t limit) {
    const auto place = [](const TSheetProblem& p) { return std::pair(p.At.Row, p.At.Column); };
    std::stable_sort(problems.begin(), problems.end(),
                     [&](const auto& a, const auto& b) { return place(a) < place(b); });
    // The file as a whole is no place: each of its notes is told.
    const auto samePlace = [&](std::size_t i) {
        return i > 0 && problems[i].At.Row > 0 && place(problems[i]) == place(problems[i - 1]);
    };
    std::map<std::string, std::vector<const TSheetProblem*>> kinds;
    for (std::size_t i = 0; i < problems.size(); ++i)
        if (!samePlace(i) && !problems[i].EachTold)
            kinds[KindOf(problems[i].Message)].push_back(&problems[i]);
    std::string text;
    std::size_t lines = 0, left = 0;
    for (std::size_t i = 0; i < problems.size(); ++i) {
        const TSheetProblem& p = problems[i];
        if (samePlace(i)) continue;
        static const std::vector<const TSheetProblem*> kAlone;
        const auto& same = p.EachTold ? kAlone : kinds[KindOf(p.Message)];
        if (same.size() > 3 && same.front() != &p) continue;
        if (lines == limit) {
            ++left;
            continue;
        }
        const std::string where = PlaceText(p.At);
        text += label + (where.empty() ? "" : ":" + where) + ": " + p.Message;
        if (same.size() > 3)
            text += "; the same on " + std::to_string(same.size() - 1) + " more " +
                    (p.At.IsCell ? "rows" : "lines") + ", the last at " +
                    PlaceText(same.back()->At);
        text += "\n";
        ++lines;
    }
    if (left > 0) text += "and " + std::to_string(left) + " more problems\n";
    return text;
}

std::string CountedIDs(const TGroupIDs& ids) {
    return std::to_string(NonBlank(ids.Vehicle)) + " vehicle and " +
           std::to_string(NonBlank(ids.Trailer)) + " trailer IDs";
}
