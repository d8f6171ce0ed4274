#include "tools/groups/BackupCommands.h"

#include <filesystem>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "base/Utf8.h"
#include "store/IDRules.h"
#include "store/LocalGroupRepository.h"
#include "tools/groups/ToolErrors.h"

namespace fs = std::filesystem;

namespace {

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
    return made;
}

struct TBackupGroup {
    std::string Name;
    TGroupIDs IDs;
};

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

// A group's IDs as its backup holds them, whole, each judged as the window would judge
// it: nothing is cut or let in that the boxes would not hold.
void JudgeStoredIDs(const TGroupIDs& stored, const std::string& group,
                    std::vector<std::string>& problems) {
    for (int k = 0; k < kVehicleSlots; ++k) {
        const std::string slot = group + "slot " + std::to_string(k) + ": ";
        std::string problem = IDProblem("vehicle", stored.Vehicle[k]);
        if (!problem.empty()) problems.push_back(slot + problem);
        if (k >= kTrailerSlots) continue;
        problem = IDProblem("trailer", stored.Trailer[k]);
        if (!problem.empty()) problems.push_back(slot + problem);
    }
}

// Every group of the backup with its IDs. A backup is laid out as a local store is,
// whichever store the tool works on, so it is read as one. Whatever keeps a group from
// loading, a name New would refuse for a group that `replaced` does not name, and an ID
// the window would refuse is refused input.
std::vector<TBackupGroup> ReadBackup(const TToolContext& tool, const std::string& dir,
                                     const std::function<bool(const std::string&)>& replaced,
                                     std::vector<std::string>& problems) {
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    if (!fs::exists(status)) throw ERefusedInput(dir + ": does not exist");
    if (!fs::is_directory(status)) throw ERefusedInput(dir + ": is not a folder");
    if (!fs::exists(fs::path(dir) / kGroupsTableName))
        throw ERefusedInput(dir + ": holds no backup (no " + std::string(kGroupsTableName) + ")");
    const std::string where = "backup " + dir + ": ";
    std::vector<TBackupGroup> groups;
    try {
        TLocalGroupRepository backup(StorePathsIn(dir), tool.Clock);
        backup.Open();
        std::set<std::string> seen;
        // The names whole: the list cuts a longer one to its field.
        for (const std::string& name : backup.StoredNames()) {
            if (!seen.insert(name).second) {
                problems.push_back(where + "two groups are named \"" + name + "\"");
                continue;
            }
            // A group stored under a name from before today's name rules is still
            // replaced; only a group that comes into being is judged as New would.
            const std::string refusal = replaced(name) ? "" : NewNameRefusal(name);
            if (!refusal.empty()) {
                problems.push_back(where + refusal);
                continue;
            }
            const std::string group = where + "group \"" + name + "\": ";
            try {
                groups.push_back({name, LoadGroup(backup, name)});
                JudgeStoredIDs(backup.LoadedStoredIDs(), group, problems);
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
    const std::unique_ptr<TGroupRepository> live = OpenStore(tool);
    const bool madeFolder = PrepareFolder(dir);
    TBackupReport report;
    try {
        report = live->BackUp(dir);
    } catch (...) {
        // What the store wrote is gone again; the folder goes if this made it.
        std::error_code ec;
        if (madeFolder) fs::remove(dir, ec);
        throw;
    }
    tool.Out << "Backed up " << report.Groups << " groups to " << dir << "\n";
    std::vector<std::string> leftOut;
    for (const TBackupReport::TLeftOut& group : report.LeftOut)
        leftOut.push_back("group \"" + group.Name + "\" left out of the backup: " + group.Why);
    if (!leftOut.empty()) throw EToolFailure(Joined(leftOut));
}

void RestoreGroups(const TToolContext& tool, const std::string& dir, bool replace) {
    const std::unique_ptr<TGroupRepository> live = OpenStore(tool);
    std::vector<std::string> problems;
    const std::vector<TBackupGroup> groups = ReadBackup(
        tool, dir, [&](const std::string& name) { return replace && live->Has(name); }, problems);

    std::vector<TNewGroup> added;
    std::vector<const TBackupGroup*> replaced;
    for (const TBackupGroup& group : groups) {
        if (!live->Has(group.Name)) {
            added.push_back({group.Name, group.IDs});
        } else if (replace) {
            LoadGroup(*live, group.Name);  // a group that cannot take the IDs stops it here
            replaced.push_back(&group);
        } else {
            problems.push_back("group \"" + group.Name +
                               "\" is in the store already; --replace overwrites it");
        }
    }
    if (!problems.empty())
        throw ERefusedInput(Joined(problems) + "\n" + dir + ": refused; nothing was restored");

    if (!added.empty()) live->Add(added);
    std::size_t saved = 0;
    try {
        for (; saved < replaced.size(); ++saved)
            SaveGroup(*live, replaced[saved]->Name, replaced[saved]->IDs);
    } catch (const std::exception& e) {
        throw EToolFailure("group \"" + replaced[saved]->Name + "\": " + e.what() +
                           "\nrestore stopped there: " + std::to_string(added.size()) +
                           " groups were added and " + std::to_string(saved) + " of " +
                           std::to_string(replaced.size()) + " replaced before it");
    }
    tool.Out << "Restored " << groups.size() << " groups from " << dir << ": " << added.size()
             << " added, " << replaced.size() << " replaced\n";
}
