#pragma once
// Comma-separated values as spreadsheets write them (RFC 4180 and its dialects):
// the separator is a comma, a semicolon or a tab, whichever the first line holds
// first; fields in double quotes may hold separators, line breaks and doubled
// quotes, and ="0012" is the text in its quotes; lines end in CRLF, LF or CR; Excel's
// line "sep=;" may name the separator first. The text is UTF-16 with its byte-order
// mark, UTF-8 with or without one, or else Windows-1252. Every character keeps the
// line and column it stood at, so that a problem can be shown where it is.
#include <string>
#include <string_view>

#include "sheets/Sheet.h"

enum class TTextEncoding { Utf8, Windows1252 };

struct TCsvFormat {
    char Separator = ',';
    TTextEncoding Encoding = TTextEncoding::Utf8;
    // For programs rather than spreadsheets: no byte-order mark, and only the cells a
    // spreadsheet would run as a formula written as ="…".
    bool Plain = false;
};

// Every record of the file, those whose fields are all empty passed over.
TSheet ReadCsv(std::string_view bytes);

// The rows with CRLF line ends. Each character of the texts must have a code in the
// encoding (a Windows-1252 text is the caller's to check first). A cell a spreadsheet
// would change on opening is written as ="…", which a spreadsheet shows as the text
// and ReadCsv reads back as it; UTF-8 starts with a byte-order mark, without which
// spreadsheets take the file for their own code page. Plain writes ="…" only for a
// cell a spreadsheet would run, and no mark.
std::string WriteCsv(const TSheetTexts& rows, const TCsvFormat& format);

// Whether a spreadsheet opening the file would run the cell as a formula: one that
// starts with =, +, - or @, or with a tab or CR that some programs pass over first.
bool SpreadsheetWouldRun(std::string_view text);
// Whether a spreadsheet opening the file with its default settings would show the
// cell other than as it stands: one it would run; one without a letter (digits, where
// leading zeros go, or digits and hyphens, a date); a number's exponent form ("1E5");
// a truth value ("TRUE"); digits beside a month's name or AM/PM ("MAR 12", "12 PM"),
// a date or a time.
bool SpreadsheetWouldChange(std::string_view text);
