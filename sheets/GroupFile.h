#pragma once
// A group's file of any kind, chosen by the extension of its name: .xlsx, .ods, or
// else CSV. What the groups tool and the window read, check, write and tell.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sheets/Csv.h"
#include "sheets/GroupSheet.h"

enum class TSheetKind { Csv, Xlsx, Ods };
// The kind a file to read is taken for: .xlsx, .ods, else CSV.
TSheetKind SheetKindOf(const std::string& path);

// Reads and checks the whole file. EUnreadableFile when it cannot be read or is not
// the kind its name says; its cells' problems are in the result.
TGroupSheet ReadGroupFile(const std::string& path);
TGroupSheet ReadGroupBytes(std::string_view bytes, TSheetKind kind, const std::string& label);

// The file's bytes: a sheet, or CSV in the given format.
std::string GroupFileBytes(const TGroupIDs& ids, TSheetKind kind, const TCsvFormat& csv = {});
// Writes the file whole or not at all (EUnwritableFile).
void WriteGroupFile(const std::string& path, const TGroupIDs& ids, TSheetKind kind,
                    const TCsvFormat& csv = {});
// Why the IDs cannot be written as Windows-1252 (one line a slot), or "" when they can.
std::string Windows1252Refusal(const TGroupIDs& ids);

// One line a problem, "LABEL:PLACE: message", in the order of their places; of two at
// one place the first is enough. A kind of problem met on more than three rows is
// told once, with how many rows have it. At most `limit` lines, then how many more.
std::string ProblemLines(const std::string& label, std::vector<TSheetProblem> problems,
                         std::size_t limit = static_cast<std::size_t>(-1));
// "5 vehicle and 2 trailer IDs".
std::string CountedIDs(const TGroupIDs& ids);
