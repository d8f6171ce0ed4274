#pragma once
// The kinds of file a group is exported as, and how a file name and a chosen kind
// agree: the name's extension where it has one the tool knows, else the choice of the
// dialog or of --format.
#include <optional>
#include <string>

#include "sheets/Csv.h"
#include "sheets/GroupFile.h"

// What the window's export dialog offers, one a filter.
enum class TExportType {
    Xlsx,      // Excel workbook
    Ods,       // OpenDocument spreadsheet
    Csv,       // UTF-8 with a byte-order mark, commas, every changeable cell as ="…"
    ExcelCsv,  // the same with semicolons in Windows-1252, as Excel in Western Europe saves
};

TSheetKind KindOf(TExportType type);
TCsvFormat CsvFormatOf(TExportType type);
// ".xlsx", ".ods", ".csv".
std::string ExtensionOf(TExportType type);

// The extension of the file name's last part, lower case with its dot (".pdf"); ""
// when it has none (a leading dot, as in ".hidden", is no extension).
std::string ExtensionOfName(const std::string& path);
// The kind an extension names: .xlsx, .ods, .csv (and .txt, a CSV by another name).
std::optional<TSheetKind> KindOfExtension(const std::string& extension);

// The name to write under, for a name typed into the dialog with a filter chosen. A
// name without an extension gets the filter's. One whose extension names another kind,
// or none the tool knows ("fleet.pdf"), is not written as it stands: Question asks
// whether to write under Path instead (the filter's extension in place of a known one,
// added after an unknown one).
struct TExportName {
    std::string Path;
    std::string Question;  // "" when the name agrees with the filter
};
TExportName ExportName(const std::string& path, TExportType type);
