#include "tools/groups/Csv.h"

#include <cstdio>

#include "base/Utf8.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsLineEnd(char32_t c) {
    return c == U'\r' || c == U'\n';
}

// Every character with its place; a CRLF is one line end.
struct TDecoded {
    std::u32string Chars;
    std::vector<TCsvPosition> At;
};

TDecoded Decode(std::string_view utf8, std::vector<TCsvProblem>& problems) {
    TDecoded out;
    TCsvPosition here;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t begin = i;
        const std::optional<char32_t> c = NextCodePoint(utf8, i);
        if (!c) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(utf8[begin]));
            problems.push_back(
                {here, std::string("not UTF-8 (byte ") + byte + "); save the file as UTF-8 text"});
        }
        const char32_t ch = c.value_or(kMalformedUtf8);
        out.Chars.push_back(ch);
        out.At.push_back(here);
        const bool crlf = ch == U'\r' && i < utf8.size() && utf8[i] == '\n';
        if (IsLineEnd(ch) && !crlf) {
            ++here.Line;
            here.Column = 1;
        } else {
            ++here.Column;
        }
    }
    return out;
}

class TCsvReader {
public:
    TCsvReader(const TDecoded& text, std::vector<TCsvProblem>& problems)
        : text_(text), problems_(problems) {}

    std::vector<TCsvRecord> Records() {
        std::vector<TCsvRecord> records;
        while (i_ < text_.Chars.size()) records.push_back(Record());
        return records;
    }

private:
    char32_t Peek(std::size_t ahead = 0) const {
        const std::size_t k = i_ + ahead;
        return k < text_.Chars.size() ? text_.Chars[k] : U'\0';
    }
    bool AtEnd() const { return i_ >= text_.Chars.size(); }
    bool AtFieldEnd() const { return AtEnd() || Peek() == U',' || IsLineEnd(Peek()); }
    void Take(TCsvField& field) {
        field.Text.push_back(text_.Chars[i_]);
        field.At.push_back(text_.At[i_]);
        ++i_;
    }
    void Problem(std::size_t at, std::string message) {
        problems_.push_back({text_.At[at], std::move(message)});
    }

    TCsvRecord Record() {
        TCsvRecord record;
        for (;;) {
            record.Fields.push_back(Field());
            if (AtEnd()) break;
            if (Peek() == U',') {
                ++i_;
                continue;
            }
            // A line end: CRLF counts once.
            if (Peek() == U'\r' && Peek(1) == U'\n') ++i_;
            ++i_;
            break;
        }
        return record;
    }

    TCsvField Field() {
        TCsvField field;
        field.Start = AtEnd() ? TCsvPosition{} : text_.At[i_];
        if (!AtEnd() && Peek() == U'"') return Quoted(std::move(field));
        while (!AtFieldEnd()) {
            if (Peek() == U'"')
                Problem(i_,
                        "a quote inside a field that does not start with one; "
                        "put the whole field in quotes and double the quote");
            Take(field);
        }
        return field;
    }

    TCsvField Quoted(TCsvField field) {
        const std::size_t opening = i_++;
        for (;;) {
            if (AtEnd()) {
                Problem(opening, "the quote that opens this field is never closed");
                return field;
            }
            if (Peek() != U'"') {
                Take(field);
                continue;
            }
            if (Peek(1) == U'"') {  // a doubled quote stands for one
                ++i_;
                Take(field);
                continue;
            }
            ++i_;  // the closing quote
            if (AtFieldEnd()) return field;
            Problem(i_,
                    "text after the closing quote of a field; a comma or a line end "
                    "must follow it");
            while (!AtFieldEnd()) ++i_;
            return field;
        }
    }

    const TDecoded& text_;
    std::vector<TCsvProblem>& problems_;
    std::size_t i_ = 0;
};

}  // namespace

TCsvText ReadCsv(std::string_view utf8) {
    if (utf8.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        utf8.remove_prefix(kByteOrderMark.size());
    TCsvText out;
    const TDecoded text = Decode(utf8, out.Problems);
    if (!out.Problems.empty()) return out;
    out.Records = TCsvReader(text, out.Problems).Records();
    return out;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of("\",\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}
