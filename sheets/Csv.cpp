#include "sheets/Csv.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "base/Cp1252.h"
#include "base/Utf8.h"
#include "sheets/SheetBudget.h"
#include "sheets/SheetErrors.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();)
        if (!NextCodePoint(bytes, i)) return false;
    return true;
}

bool IsLineEnd(char32_t c) {
    return c == U'\r' || c == U'\n';
}

// Every character with its place; a CRLF is one line end.
struct TDecoded {
    std::u32string Chars;
    std::vector<TSheetPlace> At;
};

// A text file holds no zero byte: UTF-16 without its byte-order mark has one in
// every other byte, anything else with one is not text. Either is refused by name
// rather than read as columns of junk.
void RefuseZeroBytes(std::string_view bytes) {
    const std::size_t zero = bytes.find('\0');
    if (zero == std::string_view::npos) return;
    std::size_t even = 0, odd = 0;
    const std::size_t looked = std::min<std::size_t>(bytes.size(), 4096);
    for (std::size_t i = 0; i < looked; ++i)
        if (bytes[i] == '\0') ++(i % 2 == 0 ? even : odd);
    const std::size_t half = looked / 2;
    if (half > 0 && (even * 10 >= half * 9 || odd * 10 >= half * 9) && (even == 0 || odd == 0))
        throw ESheetRefused({}, std::string("is UTF-16 text (") + (odd > 0 ? "little" : "big") +
                                    "-endian) without the byte-order mark that tells it; save "
                                    "it again as CSV UTF-8, or as Unicode text");
    throw ESheetRefused({}, "holds a zero byte (at byte " + std::to_string(zero + 1) +
                                "), so it is not a text file, nor CSV; is it the file meant?");
}

// UTF-16 when it starts with its byte-order mark (a spreadsheet's "Unicode text"),
// UTF-8 when the whole file is (a byte-order mark passed over), Windows-1252 when it
// is not: every byte has a character there, and nothing that could be an ID is lost.
std::u32string Characters(std::string_view bytes) {
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        // The mark gives the byte order and is dropped; a broken pair gives U+FFFD,
        // which the ID rule refuses where it stands.
        QStringDecoder utf16(QStringDecoder::Utf16);
        const QString text = utf16(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
        const QList<uint> chars = text.toUcs4();
        return std::u32string(chars.begin(), chars.end());
    }
    RefuseZeroBytes(bytes);
    if (!IsUtf8(bytes)) return DecodeUtf8(Cp1252ToUtf8(bytes));
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        bytes.remove_prefix(kByteOrderMark.size());
    return DecodeUtf8(bytes);
}

TDecoded Decode(std::string_view bytes) {
    TDecoded out;
    out.Chars = Characters(bytes);
    TSheetPlace here{1, 1, false};
    for (std::size_t i = 0; i < out.Chars.size(); ++i) {
        out.At.push_back(here);
        const char32_t c = out.Chars[i];
        const bool crlf = c == U'\r' && i + 1 < out.Chars.size() && out.Chars[i + 1] == U'\n';
        if (IsLineEnd(c) && !crlf) {
            ++here.Row;
            here.Column = 1;
        } else {
            ++here.Column;
        }
    }
    return out;
}

// The first comma, semicolon or tab of the first line, outside quotes; a comma when
// it holds none (a file of one column).
char32_t FindSeparator(const std::u32string& chars) {
    bool quoted = false;
    for (char32_t c : chars) {
        if (c == U'"') quoted = !quoted;
        if (quoted) continue;
        if (IsLineEnd(c)) break;
        if (c == U',' || c == U';' || c == U'\t') return c;
    }
    return U',';
}

// The line "sep=;" that Excel reads (and some programs write) before the header names
// the separator; it is taken away, the places of the rest left as they are.
std::optional<char32_t> TakeSeparatorLine(TDecoded& text) {
    const std::u32string& c = text.Chars;
    if (c.size() < 5 || c.compare(0, 4, U"sep=") != 0 || c[4] == U'"' || IsLineEnd(c[4]) ||
        (c.size() > 5 && !IsLineEnd(c[5])))
        return std::nullopt;
    const char32_t separator = c[4];
    std::size_t end = 5;
    if (end < c.size() && c[end] == U'\r') ++end;
    if (end < c.size() && c[end] == U'\n') ++end;
    text.Chars.erase(0, end);
    text.At.erase(text.At.begin(), text.At.begin() + static_cast<std::ptrdiff_t>(end));
    return separator;
}

class TCsvReader {
public:
    TCsvReader(const TDecoded& text, char32_t separator, std::vector<TSheetProblem>& problems)
        : text_(text), separator_(separator), problems_(problems) {}

    std::vector<TSheetRow> Rows() {
        std::vector<TSheetRow> rows;
        while (i_ < text_.Chars.size()) {
            TSheetRow row = Record();
            if (!row.Cells.empty()) rows.push_back(std::move(row));
        }
        return rows;
    }

private:
    char32_t Peek(std::size_t ahead = 0) const {
        const std::size_t k = i_ + ahead;
        return k < text_.Chars.size() ? text_.Chars[k] : U'\0';
    }
    bool AtEnd() const { return i_ >= text_.Chars.size(); }
    bool AtFieldEnd() const { return AtEnd() || Peek() == separator_ || IsLineEnd(Peek()); }
    void Take(TSheetCell& cell) {
        if (cell.Text.size() == kCellCharacters) RefuseLongCell(cell.Start, cell.Text);
        cell.Text.push_back(text_.Chars[i_]);
        cell.At.push_back(text_.At[i_]);
        ++i_;
    }
    void Problem(std::size_t at, std::string message) {
        problems_.push_back({text_.At[at], std::move(message)});
    }

    // The record's fields that hold something (the empty ones are only counted).
    TSheetRow Record() {
        TSheetRow row;
        row.Start = AtEnd() ? TSheetPlace{} : text_.At[i_];
        for (int column = 1;; ++column) {
            TSheetCell cell = Field();
            if (!cell.Text.empty()) {
                budget_.Spend(cell.Start, 1, cell.Text.size());
                cell.Column = column;
                row.Cells.push_back(std::move(cell));
            }
            if (AtEnd()) break;
            if (Peek() == separator_) {
                ++i_;
                continue;
            }
            // A line end: CRLF counts once.
            if (Peek() == U'\r' && Peek(1) == U'\n') ++i_;
            ++i_;
            break;
        }
        return row;
    }

    TSheetCell Field() {
        TSheetCell cell;
        cell.Start = AtEnd() ? TSheetPlace{} : text_.At[i_];
        // ="0012" is how people and programs make a spreadsheet keep a text as written:
        // the text is what stands in its quotes.
        if (!AtEnd() && Peek() == U'=' && Peek(1) == U'"') {
            ++i_;
            return Quoted(std::move(cell));
        }
        if (!AtEnd() && Peek() == U'"') return TextFormulaTaken(Quoted(std::move(cell)));
        bool quoteTold = false;  // once a field: its other quotes are the same problem
        while (!AtFieldEnd()) {
            if (Peek() == U'"' && !std::exchange(quoteTold, true))
                Problem(i_,
                        "a quote inside a field that does not start with one; "
                        "put the whole field in quotes and double the quote");
            Take(cell);
        }
        return cell;
    }

    TSheetCell Quoted(TSheetCell cell) {
        const std::size_t opening = i_++;
        for (;;) {
            if (AtEnd())
                // Everything after it was read as one field: its faults would only repeat
                // the rest of the file.
                throw ESheetRefused(text_.At[opening],
                                    "the quote that opens this field is never closed; close "
                                    "it, or double a quote meant inside the field");
            if (Peek() != U'"') {
                Take(cell);
                continue;
            }
            if (Peek(1) == U'"') {  // a doubled quote stands for one
                ++i_;
                Take(cell);
                continue;
            }
            ++i_;  // the closing quote
            if (AtFieldEnd()) return cell;
            Problem(i_,
                    "text after the closing quote of a field; a separator or a line end "
                    "must follow it");
            while (!AtFieldEnd()) ++i_;
            return cell;
        }
    }

    // The same ="0012" inside a quoted field ("=""0012""", from a program that quotes
    // every field, and as export writes a field that holds a separator); a quote in the
    // text is doubled there once more, as in a formula's text.
    static TSheetCell TextFormulaTaken(TSheetCell cell) {
        const std::u32string& t = cell.Text;
        if (t.size() < 3 || t.compare(0, 2, U"=\"") != 0 || t.back() != U'"') return cell;
        TSheetCell taken;
        taken.Start = cell.Start;
        for (std::size_t k = 2; k + 1 < t.size(); ++k) {
            if (t[k] == U'"') {
                // Doubled, or the text ends early: then it is no text formula.
                if (k + 2 >= t.size() || t[k + 1] != U'"') return cell;
                ++k;
            }
            taken.Text.push_back(t[k]);
            taken.At.push_back(cell.At[k]);
        }
        return taken;
    }

    const TDecoded& text_;
    const char32_t separator_;
    std::vector<TSheetProblem>& problems_;
    TSheetBudget budget_;
    std::size_t i_ = 0;
};

// The runs of letters, in upper case.
std::vector<std::u32string> Words(const std::u32string& text) {
    std::vector<std::u32string> words(1);
    for (char32_t c : text) {
        if (QChar::isLetter(c))
            words.back().push_back(QChar::toUpper(c));
        else if (!words.back().empty())
            words.emplace_back();
    }
    if (words.back().empty()) words.pop_back();
    return words;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// "1E5", "2.5e-3": how spreadsheets write a number's power of ten.
bool IsExponentForm(std::string_view text) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i > from;
    };
    if (!digits()) return false;
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        ++i;
        if (!digits()) return false;
    }
    if (i == text.size() || (text[i] != 'E' && text[i] != 'e')) return false;
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    return digits() && i == text.size();
}

// A word that, beside digits, makes a date or a time of a cell: a month's name or its
// first three letters or more ("SEPT"), or a half of the day (AM, PM, A, P).
bool IsDateWord(const std::u32string& word) {
    static const std::u32string kMonths[] = {U"JANUARY",   U"FEBRUARY", U"MARCH",    U"APRIL",
                                             U"MAY",       U"JUNE",     U"JULY",     U"AUGUST",
                                             U"SEPTEMBER", U"OCTOBER",  U"NOVEMBER", U"DECEMBER"};
    if (word == U"AM" || word == U"PM" || word == U"A" || word == U"P") return true;
    if (word.size() < 3) return false;
    for (const std::u32string& month : kMonths)
        if (month.compare(0, word.size(), word) == 0) return true;
    return false;
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

// A field as it is written: in double quotes, its own doubled, when it holds a quote,
// the separator or a line break. One that a spreadsheet would change is written as the
// text formula ="…", which shows the text as it stands and which ReadCsv reads back as
// that text; in quotes as a whole when it holds the separator or a line break.
void AppendField(std::string& out, const std::string& text, const TCsvFormat& format) {
    const std::string breaks = std::string("\r\n") + format.Separator;
    if (format.Plain ? SpreadsheetWouldRun(text) : SpreadsheetWouldChange(text)) {
        const std::string formula = "=" + Quoted(text);
        out += text.find_first_of(breaks) == std::string::npos ? formula : Quoted(formula);
    } else if (text.find_first_of(breaks + '"') == std::string::npos) {
        out += text;
    } else {
        out += Quoted(text);
    }
}

}  // namespace

bool SpreadsheetWouldRun(std::string_view text) {
    return !text.empty() &&
           std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

bool SpreadsheetWouldChange(std::string_view text) {
    if (text.empty()) return false;
    if (SpreadsheetWouldRun(text)) return true;
    const std::vector<std::u32string> words = Words(DecodeUtf8(text));
    bool digits = false, letters = false;
    for (char32_t c : DecodeUtf8(text)) {
        digits = digits || (c >= U'0' && c <= U'9');
        letters = letters || QChar::isLetter(c);
    }
    if (!letters) return true;
    const std::string_view trimmed = Trimmed(text);
    if (words.size() == 1 && words[0].size() == trimmed.size() &&
        (words[0] == U"TRUE" || words[0] == U"FALSE"))
        return true;
    if (IsExponentForm(trimmed)) return true;
    if (!digits) return false;
    for (const std::u32string& word : words)
        if (IsDateWord(word)) return true;
    return false;
}

TSheet ReadCsv(std::string_view bytes) {
    TDecoded text = Decode(bytes);
    const std::optional<char32_t> hint = TakeSeparatorLine(text);
    const char32_t separator = hint ? *hint : FindSeparator(text.Chars);
    TSheet sheet;
    sheet.Rows = TCsvReader(text, separator, sheet.Problems).Rows();
    return sheet;
}

std::string WriteCsv(const TSheetTexts& rows, const TCsvFormat& format) {
    std::string out;
    if (!format.Plain && format.Encoding == TTextEncoding::Utf8) out += kByteOrderMark;
    for (const auto& row : rows) {
        for (std::size_t k = 0; k < row.size(); ++k) {
            if (k > 0) out += format.Separator;
            AppendField(out, row[k], format);
        }
        out += "\r\n";
    }
    return format.Encoding == TTextEncoding::Windows1252 ? Utf8ToCp1252(out) : out;
}
