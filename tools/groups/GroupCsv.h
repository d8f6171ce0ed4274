#pragma once
// One group as a spreadsheet file: the header line "slot,vehicle,trailer", then one
// line a slot from 0 to 95, the trailer column empty from slot 32 on.
#include <string>
#include <string_view>
#include <vector>

#include "store/TIDGroupStore.h"
#include "tools/groups/Csv.h"

inline constexpr const char* kGroupCsvHeader = "slot,vehicle,trailer";

// The whole group, CRLF line ends (as spreadsheets write them).
std::string WriteGroupCsv(const TGroupIDs& ids);

struct TGroupCsv {
    TGroupIDs IDs;                      // missing slots are blank
    std::vector<TCsvProblem> Problems;  // none, or IDs is not to be used
};

// Reads and checks the whole file: every ID at most 16 characters, each character
// one an ID box takes, slots 0 to 95 given once each, trailer IDs only in slots 0 to
// 31. Lines whose fields are all empty are passed over.
TGroupCsv ReadGroupCsv(std::string_view utf8);
