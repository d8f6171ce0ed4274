// libFuzzer target: a group's .xlsx file, given as its entries ("@@ name" lines; see
// FuzzSheets.h) or as a zip, read under the readers' limits.
#include "tests/sheets/FuzzSheets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    fuzzsheets::Check(fuzzsheets::Archive(input, "xl/worksheets/sheet1.xml"), TSheetKind::Xlsx);
    return 0;
}
