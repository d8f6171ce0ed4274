#include "sheets/NumberCells.h"

#include "base/Utf8.h"

namespace {

// The most significant digits a spreadsheet's number keeps exactly.
constexpr std::size_t kExactDigits = 15;
// A number's exponent far beyond any ID's length is not expanded.
constexpr long kLargestExponent = 64;

constexpr const char* kRetype = "format the column as text and type the ID again";

std::string Utf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) AppendUtf8(out, c);
    return out;
}

// A number's parts: its digits without the point, and where the point stands in them.
struct TDecimal {
    bool Negative = false;
    std::string Digits;
    long Point = 0;  // digits before the point
};

std::optional<TDecimal> Parse(std::string_view text) {
    TDecimal d;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) d.Negative = text[i++] == '-';
    bool point = false, any = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            d.Digits += c;
            any = true;
            if (!point) ++d.Point;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any) return std::nullopt;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
        long exponent = 0;
        bool digits = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            digits = true;
            if (exponent <= kLargestExponent) exponent = exponent * 10 + (text[i] - '0');
        }
        if (!digits || exponent > kLargestExponent) return std::nullopt;
        d.Point += negative ? -exponent : exponent;
    }
    if (i != text.size()) return std::nullopt;
    // Leading zeros are no part of the value.
    while (!d.Digits.empty() && d.Digits.front() == '0') {
        d.Digits.erase(0, 1);
        --d.Point;
    }
    return d;
}

}  // namespace

TNumberCell ReadNumberCell(std::u32string_view value) {
    const std::string shown = Utf8(value);
    const std::string holds = "the sheet holds the number " + shown;
    const std::optional<TDecimal> d = Parse(shown);
    if (!d) return {std::nullopt, holds + ", which cannot be read as an ID; " + kRetype};
    std::string significant = d->Digits;
    while (!significant.empty() && significant.back() == '0') significant.pop_back();
    if (significant.empty()) return {std::string("0"), ""};
    if (static_cast<long>(significant.size()) > d->Point)
        return {std::nullopt, holds +
                                  ", a fraction, which no ID is (an ID holds no point or "
                                  "comma); if the cell was typed as an ID, " +
                                  kRetype};
    // Its digits up to the units: past 15 of them the sheet keeps a rounded value
    // (123456789012345678 is held as 1.23456789012346E+17).
    if (d->Point > static_cast<long>(kExactDigits))
        return {std::nullopt, holds + ", which has more digits than a spreadsheet keeps exactly (" +
                                  std::to_string(kExactDigits) +
                                  "), so the last digits typed may be lost already; " + kRetype};
    std::string id = d->Negative ? "-" : "";
    id += significant + std::string(static_cast<std::size_t>(d->Point) - significant.size(), '0');
    return {id, ""};
}
