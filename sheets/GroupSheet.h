#pragma once
// One group as a sheet: a header row naming the columns slot, vehicle and trailer (in
// any order and letter case, spaces around the names ignored; other columns are not
// read), then one row a slot from 0 to 95, the trailer column empty from slot 32 on.
#include <string>
#include <vector>

#include "sheets/Sheet.h"
#include "store/TIDGroupStore.h"

struct TGroupSheet {
    TGroupIDs IDs;                        // slots not given are blank
    std::vector<TSheetProblem> Problems;  // none, or IDs is not to be used
    // Taken as they are but worth a look ("warning: ..."), and what was not read
    // ("note: ...").
    std::vector<TSheetProblem> Warnings;
    bool HeaderFound = false;  // the first row names the three columns
};

// Reads and checks the whole sheet: each cell's text in NFC, none that looks like
// UTF-8 read as Windows-1252; every ID by the ID rule; slots 0 to 95 given once each;
// trailer IDs only in slots 0 to 31. Rows whose three columns are empty are passed over.
TGroupSheet ReadGroupSheet(const TSheet& sheet);

// Whether the row names the columns slot, vehicle and trailer.
bool NamesTheColumns(const TSheetRow& row);

// The header row and the 96 slot rows.
TSheetTexts GroupSheetTexts(const TGroupIDs& ids);
