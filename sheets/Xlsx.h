#pragma once
// Office Open XML workbooks (.xlsx), as Excel and LibreOffice save them: the first
// sheet read, with shared or inline strings and numbers; one sheet written with every
// cell (and its whole column) formatted as text, so that "0012" stays "0012" when
// the file is edited. Faults of the file are ESheetFormat.
#include <string>
#include <string_view>

#include "sheets/Sheet.h"

// The first visible sheet, or the one `later` visible sheets after it (where a header
// may stand that the first lacks).
TSheet ReadXlsx(std::string_view bytes, int later = 0);
std::string WriteXlsx(const TSheetTexts& rows);
