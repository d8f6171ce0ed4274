#include "sheets/ExportTypes.h"

namespace {

// Where the file name starts: after the last separator of either platform.
std::size_t NameStart(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string TypeName(TExportType type) {
    switch (type) {
        case TExportType::Xlsx:
            return "an Excel workbook";
        case TExportType::Ods:
            return "an OpenDocument spreadsheet";
        case TExportType::Csv:
        case TExportType::ExcelCsv:
            break;
    }
    return "a CSV file";
}

}  // namespace

TSheetKind KindOf(TExportType type) {
    switch (type) {
        case TExportType::Xlsx:
            return TSheetKind::Xlsx;
        case TExportType::Ods:
            return TSheetKind::Ods;
        case TExportType::Csv:
        case TExportType::ExcelCsv:
            break;
    }
    return TSheetKind::Csv;
}

TCsvFormat CsvFormatOf(TExportType type) {
    TCsvFormat format;
    if (type == TExportType::ExcelCsv) {
        format.Separator = ';';
        format.Encoding = TTextEncoding::Windows1252;
    }
    return format;
}

std::string ExtensionOf(TExportType type) {
    switch (KindOf(type)) {
        case TSheetKind::Xlsx:
            return ".xlsx";
        case TSheetKind::Ods:
            return ".ods";
        case TSheetKind::Csv:
            break;
    }
    return ".csv";
}

std::string ExtensionOfName(const std::string& path) {
    const std::size_t start = NameStart(path);
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= start || dot + 1 == path.size()) return "";
    std::string extension = path.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c += 32;
    return extension;
}

std::optional<TSheetKind> KindOfExtension(const std::string& extension) {
    if (extension == ".xlsx") return TSheetKind::Xlsx;
    if (extension == ".ods") return TSheetKind::Ods;
    if (extension == ".csv" || extension == ".txt") return TSheetKind::Csv;
    return std::nullopt;
}

TExportName ExportName(const std::string& path, TExportType type) {
    const std::string extension = ExtensionOfName(path);
    if (extension.empty()) return {path + ExtensionOf(type), ""};
    const std::optional<TSheetKind> named = KindOfExtension(extension);
    if (named == KindOf(type)) return {path, ""};
    const std::string name = path.substr(NameStart(path));
    // A known extension is replaced: "fleet.ods" chosen as a workbook is "fleet.xlsx".
    const std::string other =
        named ? path.substr(0, path.size() - extension.size()) + ExtensionOf(type)
              : path + ExtensionOf(type);
    const std::string otherName = other.substr(NameStart(other));
    return {other, "The name " + name + " does not end in " + ExtensionOf(type) +
                       ", but the type chosen is " + TypeName(type) + ". Write " + TypeName(type) +
                       " named " + otherName + "?"};
}
