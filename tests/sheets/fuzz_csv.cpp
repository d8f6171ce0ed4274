// libFuzzer target: arbitrary bytes as a group's CSV file, read under the readers'
// limits; what is taken goes out in every kind and comes back the same.
#include "tests/sheets/FuzzSheets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzzsheets::Check(std::string(reinterpret_cast<const char*>(data), size), TSheetKind::Csv);
    return 0;
}
