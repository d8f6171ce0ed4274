#pragma once
// A cell the sheet holds as a number, read as an ID. The sheet keeps the value only:
// "0012" and "12" typed into a number column are both 12, "1E5" is 100000, and past 15
// significant digits the value is no longer the one typed.
#include <optional>
#include <string>
#include <string_view>

struct TNumberCell {
    std::optional<std::string> ID;  // the whole number's digits ("100000", "-5")
    std::string Refusal;            // why the value cannot be an ID, when ID is empty
};

// The value as the sheet writes it ("100000", "1.5", "1.2345678901234568E+17").
TNumberCell ReadNumberCell(std::u32string_view value);
