#include "sheets/Csv.h"

#include <QList>
#include <QString>
#include <QStringDecoder>
#include <optional>
#include <utility>

#include "base/Cp1252.h"
#include "base/Utf8.h"
#include "sheets/SheetBudget.h"

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
            if (AtEnd()) {
                Problem(opening, "the quote that opens this field is never closed");
                return cell;
            }
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

// Whether a spreadsheet opening the file would run the cell as a formula (or take it
// for one and make a number of it) rather than show its text: one that starts with
// =, +, - or @, or with a tab or CR that some programs pass over first.
bool SpreadsheetWouldRun(std::string_view text) {
    return !text.empty() &&
           std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
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
// the separator or a line break. One that a spreadsheet would run is written as the
// text formula ="…", which shows the text as it stands and which ReadCsv reads back as
// that text; in quotes as a whole when it holds the separator or a line break.
void AppendField(std::string& out, const std::string& text, char separator) {
    const std::string breaks = std::string("\r\n") + separator;
    if (SpreadsheetWouldRun(text)) {
        const std::string formula = "=" + Quoted(text);
        out += text.find_first_of(breaks) == std::string::npos ? formula : Quoted(formula);
    } else if (text.find_first_of(breaks + '"') == std::string::npos) {
        out += text;
    } else {
        out += Quoted(text);
    }
}

}  // namespace

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
    for (const auto& row : rows) {
        for (std::size_t k = 0; k < row.size(); ++k) {
            if (k > 0) out += format.Separator;
            AppendField(out, row[k], format.Separator);
        }
        out += "\r\n";
    }
    return format.Encoding == TTextEncoding::Windows1252 ? Utf8ToCp1252(out) : out;
}
