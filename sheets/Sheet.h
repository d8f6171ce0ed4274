#pragma once
// A sheet as read from a file, whatever its kind: its rows of cells, each cell with
// the place a problem in it is shown at. A text file gives each character its line
// and column; a spreadsheet file gives the cell ("B3").
#include <cstddef>
#include <string>
#include <vector>

struct TSheetPlace {
    int Row = 0;     // from 1; 0 is the file as a whole
    int Column = 0;  // from 1: a character's column in a text file, a cell's in a sheet
    bool IsCell = false;
};

// "2:5" in a text file, "B3" in a sheet, "" for the file as a whole.
std::string PlaceText(const TSheetPlace& place);
// "A", "B", ... "Z", "AA".
std::string ColumnLetters(int column);

struct TSheetCell {
    int Column = 0;  // 1 for the row's first field or cell
    std::u32string Text;
    TSheetPlace Start;            // the cell, or its first character (an opening quote included)
    std::vector<TSheetPlace> At;  // each character's place in a text file; none in a sheet
    bool IsNumber = false;        // the sheet holds a number here, Text shows its value
    bool IsDate = false;          // the sheet holds a date or time here, whatever Text shows
    bool IsTruth = false;         // the sheet holds TRUE or FALSE here, Text shows which

    TSheetPlace PlaceOf(std::size_t k) const { return k < At.size() ? At[k] : Start; }
};

struct TSheetRow {
    TSheetPlace Start;              // where the row begins
    std::vector<TSheetCell> Cells;  // in column order; a sheet's empty cells left out

    const TSheetCell* CellAt(int column) const;  // nothing for an empty cell
};

struct TSheetProblem {
    TSheetPlace At;
    std::string Message;
    // Told at each place it is met, never summed up with its kind: what only that cell
    // can tell (the number a sheet holds).
    bool EachTold = false;
};

struct TSheet {
    std::string Name;                     // the sheet's name in a workbook; "" in CSV
    std::vector<TSheetRow> Rows;          // the rows that hold something, in order
    std::vector<TSheetProblem> Problems;  // none, or the rows are not to be trusted
    std::vector<TSheetProblem> Notes;     // what was passed over ("note: ...")
};

// The rows to write: every cell as text.
using TSheetTexts = std::vector<std::vector<std::string>>;
