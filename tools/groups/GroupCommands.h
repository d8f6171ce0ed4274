#pragma once
// The groups tool's commands on single groups: list, export, import. Each goes
// through the group repository, with the rules of the window's New and Save.
// Failures are exceptions: ERefusedInput (exit 1), EToolFailure and the store's
// EDatabaseError (exit 2).
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "base/DateTimeSource.h"
#include "sheets/Csv.h"
#include "sheets/GroupFile.h"
#include "store/DataPaths.h"
#include "store/GroupRepository.h"

struct TToolContext {
    TStorePaths Paths;      // where the local store is
    TDateTimeSource Clock;  // the ID list table name of a new group is made from it
    std::ostream& Out;      // results, and what was done
    // Warnings and notes, one a line, told beside the results (with the tool's prefix).
    std::function<void(const std::string&)> Note = [](const std::string&) {};
};

// The chosen store, open (the groups table must be there).
std::unique_ptr<TGroupRepository> OpenStore(const TToolContext& tool);
// The IDs of the group named `name`, which stays loaded: refused input when there is
// no such group, a failure when it keeps no IDs.
TGroupIDs LoadGroup(TGroupRepository& store, const std::string& name);
// The IDs saved into that group as Save does: all of them, in one go.
void SaveGroup(TGroupRepository& store, const std::string& name, const TGroupIDs& ids);

// The group names in table order; the long form adds the ID list table name, the
// number of vehicle and trailer IDs that are not blank, and whether the group loads
// ("ok" or what fails). Gives the exit code: 2 when a group does not load. A store
// without groups is told as a note.
int ListGroups(const TToolContext& tool, bool longForm);
// The group as a file of the given kind (CSV in the given format); "-" is standard
// output.
void ExportGroup(const TToolContext& tool, const std::string& name, const std::string& file,
                 TSheetKind kind, const TCsvFormat& csv = {});
// A new group named `name` made from the file, as New would make it and filled in
// the same transaction; or, with `replace`, the file's IDs saved into that existing
// group as Save would. The whole file is checked before anything is written.
void ImportGroup(const TToolContext& tool, const std::string& file, const std::string& name,
                 bool replace);
// Why New would turn this name away, or "" when it would take it.
std::string NewNameRefusal(const std::string& name);
