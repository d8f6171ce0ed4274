#pragma once
// What the spreadsheet fuzz targets share: the input as a zip's entries (so that the
// fuzzer mutates the XML, not the deflated bytes that rarely survive a change), and
// the checks every reading must pass.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sheets/GroupFile.h"
#include "sheets/SheetErrors.h"
#include "sheets/Zip.h"
#include "store/IDRules.h"

namespace fuzzsheets {

// "@@ name\n" begins an entry; the first entry may go without one and is `first`.
inline constexpr std::string_view kMark = "@@ ";

using TEntries = std::vector<std::pair<std::string, std::string>>;

inline TEntries Entries(std::string_view input, const std::string& first) {
    TEntries entries;
    std::string name = first;
    std::size_t at = 0;
    if (input.substr(0, kMark.size()) == kMark) {
        const std::size_t end = input.find('\n');
        name = std::string(input.substr(kMark.size(), end - kMark.size()));
        at = end == std::string_view::npos ? input.size() : end + 1;
    }
    for (;;) {
        const std::size_t next = input.find(std::string("\n") + std::string(kMark), at);
        entries.emplace_back(name, std::string(input.substr(at, next - at)));
        if (next == std::string_view::npos) return entries;
        const std::size_t nameAt = next + 1 + kMark.size();
        const std::size_t end = input.find('\n', nameAt);
        name = std::string(input.substr(nameAt, end - nameAt));
        if (end == std::string_view::npos) return entries;
        at = end + 1;
    }
}

inline std::string Joined(const TEntries& entries) {
    std::string out;
    for (const auto& [name, data] : entries)
        out += (out.empty() ? "" : "\n") + std::string(kMark) + name + "\n" + data;
    return out;
}

// The input as a zip: itself when it is one, else its entries stored.
inline std::string Archive(std::string_view input, const std::string& first) {
    if (input.substr(0, 2) == "PK") return std::string(input);
    TZipWriter zip;
    for (const auto& [name, data] : Entries(input, first)) {
        try {
            zip.Add(name, data, false);
        } catch (const ESheetFormat&) {  // a name minizip will not take
        }
    }
    return zip.Finish();
}

inline void Expect(bool condition) {
    if (!condition) __builtin_trap();
}

// Every line a message of a line: a file cannot make one grow with itself.
inline void ExpectShortLines(const std::string& text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        Expect(end - begin <= 600);
        begin = end + 1;
    }
}

// Read as the import reads it; what is taken must go out in each kind and come back
// the same, and what is refused must be told in short lines.
inline void Check(const std::string& bytes, TSheetKind kind) {
    TGroupSheet sheet;
    try {
        sheet = ReadGroupBytes(bytes, kind, "f");
    } catch (const EUnreadableFile& e) {
        ExpectShortLines(e.what());
        Expect(std::string(e.what()).size() <= 1200);
        return;
    }
    ExpectShortLines(ProblemLines("f", sheet.Problems));
    ExpectShortLines(ProblemLines("f", sheet.Warnings));
    if (!sheet.Problems.empty()) return;
    for (const TSheetKind out : {TSheetKind::Csv, TSheetKind::Xlsx, TSheetKind::Ods}) {
        const TGroupSheet back = ReadGroupBytes(GroupFileBytes(sheet.IDs, out), out, "f");
        Expect(back.Problems.empty());
        // The blanks at an ID's end are the tester's padding, which export leaves out.
        TGroupIDs sent = sheet.IDs;
        for (std::string& id : sent.Vehicle) id = std::string(WithoutCellPadding(id));
        for (std::string& id : sent.Trailer) id = std::string(WithoutCellPadding(id));
        Expect(back.IDs.Vehicle == sent.Vehicle && back.IDs.Trailer == sent.Trailer);
    }
}

}  // namespace fuzzsheets
