#pragma once
// OpenDocument spreadsheets (.ods), as LibreOffice saves them: the first table read,
// repeated rows and cells and the paragraph rules for spaces followed; one table
// written with every cell (and its whole column) formatted as text, so that "0012"
// stays "0012" when the file is edited. Faults of the file are ESheetFormat.
#include <string>
#include <string_view>

#include "sheets/Sheet.h"

// The first visible table, or the one `later` visible tables after it.
TSheet ReadOds(std::string_view bytes, int later = 0);
std::string WriteOds(const TSheetTexts& rows);
