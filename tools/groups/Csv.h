#pragma once
// Comma-separated values as RFC 4180 has them, UTF-8: fields in double quotes may
// hold commas, line breaks and doubled quotes; lines end in CRLF, LF or CR. Every
// character keeps the line and column it stood at, so that a problem can be shown
// where it is.
#include <string>
#include <string_view>
#include <vector>

struct TCsvPosition {
    int Line = 1;
    int Column = 1;  // counted in characters, from 1
};

struct TCsvField {
    std::u32string Text;
    std::vector<TCsvPosition> At;  // where each character of Text stands
    TCsvPosition Start;            // the field's first character, an opening quote included
};

struct TCsvRecord {
    std::vector<TCsvField> Fields;
};

struct TCsvProblem {
    TCsvPosition At;
    std::string Message;
};

struct TCsvText {
    std::vector<TCsvRecord> Records;  // a last line break ends the last record
    std::vector<TCsvProblem> Problems;
};

// Reads UTF-8 text, a leading byte-order mark passed over. Text that is not UTF-8
// gives only the places where it is not: nothing else about it can be judged.
TCsvText ReadCsv(std::string_view utf8);

// A field as it is written: in double quotes, its own doubled, when it holds a
// quote, a comma or a line break.
std::string CsvField(const std::string& text);
