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
};

// Every record of the file, those whose fields are all empty passed over.
TSheet ReadCsv(std::string_view bytes);

// The rows with CRLF line ends. Each character of the texts must have a code in the
// encoding (a Windows-1252 text is the caller's to check first). A cell a spreadsheet
// would run as a formula (=, +, -, @, a tab or a CR first) is written as ="…", which
// a spreadsheet shows as the text and ReadCsv reads back as it.
std::string WriteCsv(const TSheetTexts& rows, const TCsvFormat& format);
