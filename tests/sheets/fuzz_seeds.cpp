// Writes the seed corpora of the spreadsheet fuzz targets: the files LibreOffice made
// (tests/sheets/files), the files this program writes, the zips as their entries, and
// cells at a cell's limit.
//     fuzz_sheet_seeds FILES-DIR CORPUS-DIR
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include <minizip/unzip.h>

#include "tests/sheets/FuzzSheets.h"

namespace fs = std::filesystem;

namespace {

std::string FileBytes(const fs::path& file) {
    std::ostringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

// Every entry of a zip on disk, in its order.
fuzzsheets::TEntries Unzipped(const fs::path& file) {
    fuzzsheets::TEntries entries;
    unzFile zip = unzOpen64(file.string().c_str());
    if (!zip) return entries;
    for (int at = unzGoToFirstFile(zip); at == UNZ_OK; at = unzGoToNextFile(zip)) {
        char name[512];
        unz_file_info64 info{};
        unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0);
        std::string data;
        if (unzOpenCurrentFile(zip) == UNZ_OK) {
            char buffer[16384];
            for (int n; (n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0;)
                data.append(buffer, static_cast<std::size_t>(n));
            unzCloseCurrentFile(zip);
        }
        entries.emplace_back(name, data);
    }
    unzClose(zip);
    return entries;
}

// The entries of an archive in memory, read by name.
fuzzsheets::TEntries Entries(const std::string& archive, std::initializer_list<const char*> names) {
    TZipReader zip(archive);
    fuzzsheets::TEntries entries;
    for (const char* name : names) entries.emplace_back(name, zip.Read(name));
    return entries;
}

void Put(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: fuzz_sheet_seeds FILES-DIR CORPUS-DIR\n";
        return 2;
    }
    const fs::path files = argv[1], corpus = argv[2];
    for (const auto& entry : fs::directory_iterator(files)) {
        const fs::path file = entry.path();
        const std::string ext = file.extension().string(), stem = file.stem().string();
        if (ext == ".csv") Put(corpus / "fuzz_csv" / stem, FileBytes(file));
        if (ext == ".xlsx") Put(corpus / "fuzz_xlsx" / stem, fuzzsheets::Joined(Unzipped(file)));
        if (ext == ".ods") Put(corpus / "fuzz_ods" / stem, fuzzsheets::Joined(Unzipped(file)));
    }
    TGroupIDs ids;
    ids.Vehicle = {"0012", "Zoë 7", " SP ", "-A1", "A  B"};
    ids.Trailer = {"TR-0001", "", "T 2"};
    Put(corpus / "fuzz_csv" / "written", GroupFileBytes(ids, TSheetKind::Csv));
    Put(corpus / "fuzz_csv" / "written-semicolon",
        GroupFileBytes(ids, TSheetKind::Csv, {';', TTextEncoding::Windows1252}));
    // Cells at a cell's limit and just past it, so that the fuzzer starts beside it.
    Put(corpus / "fuzz_csv" / "long-note", "slot,vehicle,trailer,notes\r\n0,A,," +
                                               std::string(999, 'n') + "\r\n1,\"" +
                                               std::string(1001, 'q') + "\",,\r\n");
    Put(corpus / "fuzz_xlsx" / "written",
        fuzzsheets::Joined(
            Entries(GroupFileBytes(ids, TSheetKind::Xlsx),
                    {"xl/worksheets/sheet1.xml", "[Content_Types].xml", "_rels/.rels",
                     "xl/workbook.xml", "xl/_rels/workbook.xml.rels", "xl/styles.xml"})));
    Put(corpus / "fuzz_ods" / "written",
        fuzzsheets::Joined(Entries(GroupFileBytes(ids, TSheetKind::Ods), {"content.xml"})));
    return 0;
}
