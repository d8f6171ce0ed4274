#include "tools/groups/BackupCommands.h"

#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "base/Utf8.h"
#include "store/IDRules.h"
#include "tools/groups/ToolErrors.h"
#include "tools/groups/ToolStore.h"

namespace fs = std::filesystem;

namespace {

TStorePaths BackupPaths(const std::string& dir) {
    return {dir, (fs::path(dir) / "IDs").string()};
}

// A new or empty folder, made ready; false when it was there already.
bool PrepareFolder(const std::string& dir) {
    std::error_code ec;
    bool made = false;
    if (fs::exists(fs::symlink_status(dir, ec))) {
        if (!fs::is_directory(dir, ec)) throw ERefusedInput(dir + ": is not a folder");
        if (!fs::is_empty(dir, ec))
            throw ERefusedInput(dir +
                                ": is not empty; a backup goes into a new or an empty folder");
    } else {
        made = fs::create_directories(dir, ec);
        if (ec) throw EToolFailure(dir + ": cannot be made: " + ec.message());
    }
    fs::create_directory(BackupPaths(dir).IDListDir, ec);
    if (ec) throw EToolFailure(dir + ": cannot be written: " + ec.message());
    return made;
}

// A backup that failed as a whole leaves nothing behind that could pass for one.
void RemoveBackup(const std::string& dir, bool madeFolder) {
    std::error_code ec;
    fs::remove(fs::path(dir) / kGroupsTableName, ec);
    fs::remove(fs::path(dir) / (std::string(kGroupsTableName) + "-journal"), ec);
    fs::remove_all(BackupPaths(dir).IDListDir, ec);
    if (madeFolder) fs::remove(dir, ec);
}

void CopyListTable(const TStorePaths& from, const std::string& toDir, const std::string& listName) {
    TTable list("IDListTable");
    list.SetRequiredFields({kTrailerIDField, kVehicleIDField});
    list.SetDatabaseName(from.IDListDir);
    list.SetTableName(listName);
    list.Open();
    list.CopyTo(toDir, listName);
}

// Copies the ID list table of every group in the backup's groups table; a group
// whose table cannot be copied is taken out of it. Gives the problems.
std::vector<std::string> CopyListTables(const TStorePaths& live, const std::string& dir,
                                        int& copied) {
    std::vector<std::string> leftOut;
    std::set<std::string> done;  // a table two records name is copied once
    TTable groups("IDGroupTable");
    groups.SetRequiredFields({kGroupNameField, kIDListNameField});
    groups.SetDatabaseName(dir);
    groups.SetTableName(kGroupsTableName);
    groups.Open();
    for (groups.First(); !groups.Eof();) {
        const std::string name = groups.FieldAsString(kGroupNameField);
        const std::string listName = groups.FieldAsString(kIDListNameField);
        try {
            if (!done.count(listName)) CopyListTable(live, BackupPaths(dir).IDListDir, listName);
            done.insert(listName);
            ++copied;
            groups.Next();
        } catch (const EDatabaseError& e) {
            leftOut.push_back("group \"" + name + "\" left out of the backup: " + e.what());
            groups.Delete();  // moves on to the next record
        }
    }
    return leftOut;
}

struct TBackupGroup {
    std::string Name;
    TGroupIDs IDs;
};

// The group names of a backup as its groups table holds them, whole: the table layer
// cuts a longer name to its field when it shows it.
std::vector<std::string> StoredNames(TToolStore& backup) {
    std::vector<std::string> names;
    TTable& groups = backup.Store().IDGroupTable();
    for (groups.First(); !groups.Eof(); groups.Next())
        names.push_back(groups.FieldAsStoredText(kGroupNameField));
    return names;
}

// The first thing wrong with one stored ID, as the window's rules see it; "" when
// there is none. A long ID is shown by its start.
std::string IDProblem(const char* kind, const std::string& stored) {
    const std::u32string id = DecodeUtf8(stored);
    const std::vector<TTextFault> faults = IDFaults(id);
    if (faults.empty()) return "";
    constexpr std::size_t kShown = 40;
    const std::string quoted =
        id.size() <= kShown ? QuotedText(id) : QuotedText(id.substr(0, kIDLength)) + "…";
    return std::string(kind) + " ID " + quoted + faults.front().Why;
}

// The loaded group's IDs as its ID list table holds them, whole, each judged as the
// window would judge it: nothing is cut or let in that the boxes would not hold.
void JudgeStoredIDs(TTable& list, const std::string& group, std::vector<std::string>& problems) {
    list.First();
    for (int k = 0; k < kVehicleSlots && !list.Eof(); ++k, list.Next()) {
        const std::string slot = group + "slot " + std::to_string(k) + ": ";
        std::string problem = IDProblem("vehicle", list.FieldAsStoredText(kVehicleIDField));
        if (!problem.empty()) problems.push_back(slot + problem);
        if (k >= kTrailerSlots) continue;
        problem = IDProblem("trailer", list.FieldAsStoredText(kTrailerIDField));
        if (!problem.empty()) problems.push_back(slot + problem);
    }
}

// Every group of the backup with its IDs, read by the store's own load. Whatever keeps
// one from loading, a name New would refuse and an ID the window would refuse is
// refused input.
std::vector<TBackupGroup> ReadBackup(const TToolContext& tool, const std::string& dir,
                                     std::vector<std::string>& problems) {
    if (!fs::exists(fs::path(dir) / kGroupsTableName))
        throw ERefusedInput(dir + ": holds no backup (no " + std::string(kGroupsTableName) + ")");
    const std::string where = "backup " + dir + ": ";
    std::vector<TBackupGroup> groups;
    try {
        TToolStore backup(BackupPaths(dir), tool.Clock);
        std::set<std::string> seen;
        for (const std::string& name : StoredNames(backup)) {
            if (!seen.insert(name).second) {
                problems.push_back(where + "two groups are named \"" + name + "\"");
                continue;
            }
            const std::string refusal = NewNameRefusal(name);
            if (!refusal.empty()) {
                problems.push_back(where + refusal);
                continue;
            }
            const std::string group = where + "group \"" + name + "\": ";
            try {
                groups.push_back({name, backup.Load(name)});
                JudgeStoredIDs(backup.Store().IDListTable(), group, problems);
            } catch (const std::exception& e) {
                problems.push_back(group + e.what());
            }
        }
    } catch (const EDatabaseError& e) {
        throw ERefusedInput(where + e.what());
    }
    return groups;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

}  // namespace

void BackupGroups(const TToolContext& tool, const std::string& dir) {
    TToolStore live(tool.Paths, tool.Clock);
    const bool madeFolder = PrepareFolder(dir);
    int copied = 0;
    std::vector<std::string> leftOut;
    try {
        live.Store().IDGroupTable().CopyTo(dir, kGroupsTableName);
        leftOut = CopyListTables(tool.Paths, dir, copied);
    } catch (...) {
        RemoveBackup(dir, madeFolder);
        throw;
    }
    tool.Out << "Backed up " << copied << " groups to " << dir << "\n";
    if (!leftOut.empty()) throw EToolFailure(Joined(leftOut));
}

void RestoreGroups(const TToolContext& tool, const std::string& dir, bool replace) {
    std::vector<std::string> problems;
    const std::vector<TBackupGroup> groups = ReadBackup(tool, dir, problems);

    TToolStore live(tool.Paths, tool.Clock);
    std::vector<TNewGroup> added;
    std::vector<const TBackupGroup*> replaced;
    for (const TBackupGroup& group : groups) {
        if (!live.Has(group.Name)) {
            added.push_back({group.Name, group.IDs});
        } else if (replace) {
            live.Load(group.Name);  // a group that cannot take the IDs stops it here
            replaced.push_back(&group);
        } else {
            problems.push_back("group \"" + group.Name +
                               "\" is in the store already; --replace overwrites it");
        }
    }
    if (!problems.empty())
        throw ERefusedInput(Joined(problems) + "\n" + dir + ": refused; nothing was restored");

    if (!added.empty()) live.Store().AddGroups(added);
    std::size_t saved = 0;
    try {
        for (; saved < replaced.size(); ++saved)
            live.Save(replaced[saved]->Name, replaced[saved]->IDs);
    } catch (const std::exception& e) {
        throw EToolFailure("group \"" + replaced[saved]->Name + "\": " + e.what() +
                           "\nrestore stopped there: " + std::to_string(added.size()) +
                           " groups were added and " + std::to_string(saved) + " of " +
                           std::to_string(replaced.size()) + " replaced before it");
    }
    tool.Out << "Restored " << groups.size() << " groups from " << dir << ": " << added.size()
             << " added, " << replaced.size() << " replaced\n";
}
