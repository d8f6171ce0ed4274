#include "tools/groups/GroupCommands.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "sheets/GroupFile.h"
#include "sheets/SheetFiles.h"
#include "tools/groups/ToolErrors.h"
#include "tools/groups/ToolStore.h"

namespace {

int NonBlank(const auto& slots) {
    return static_cast<int>(std::count_if(slots.begin(), slots.end(),
                                          [](const std::string& id) { return !id.empty(); }));
}

struct TGroupRecord {
    std::string Name, IDListName;
};

// Every record of the groups table, in table order.
std::vector<TGroupRecord> GroupRecords(TToolStore& store) {
    std::vector<TGroupRecord> records;
    TTable& groups = store.Store().IDGroupTable();
    for (groups.First(); !groups.Eof(); groups.Next())
        records.push_back(
            {groups.FieldAsString(kGroupNameField), groups.FieldAsString(kIDListNameField)});
    return records;
}

// How one group loads, for the long list; false when it does not.
bool DescribeLoad(TToolStore& store, const std::string& name, std::string& line) {
    try {
        const TGroupIDs ids = store.Load(name);
        line += std::to_string(NonBlank(ids.Vehicle)) + "\t" +
                std::to_string(NonBlank(ids.Trailer)) + "\tok";
        return true;
    } catch (const std::exception& e) {
        line += "-\t-\t" + std::string(e.what());
        return false;
    }
}

}  // namespace

std::string NewNameRefusal(const std::string& name) {
    return JudgeNewGroupName(name).Message;
}

int ListGroups(const TToolContext& tool, bool longForm) {
    TToolStore store(tool.Paths, tool.Clock);
    if (!longForm) {
        for (const std::string& name : store.Names()) tool.Out << name << '\n';
        return 0;
    }
    bool allLoad = true;
    std::set<std::string> seen;
    for (const TGroupRecord& record : GroupRecords(store)) {
        std::string line = record.Name + "\t" + record.IDListName + "\t";
        if (!seen.insert(record.Name).second) {
            // The store finds a group by its name, so it only ever reaches the first.
            line += "-\t-\tnot reachable: an earlier group has the same name";
            allLoad = false;
        } else if (!DescribeLoad(store, record.Name, line)) {
            allLoad = false;
        }
        tool.Out << line << '\n';
    }
    return allLoad ? 0 : 2;
}

void ExportGroup(const TToolContext& tool, const std::string& name, const std::string& file,
                 const TCsvFormat& csv) {
    TToolStore store(tool.Paths, tool.Clock);
    const TGroupIDs ids = store.Load(name);
    const TSheetKind kind = SheetKindOf(file);
    if (kind == TSheetKind::Csv && csv.Encoding == TTextEncoding::Windows1252) {
        const std::string refusal = Windows1252Refusal(ids);
        if (!refusal.empty()) throw ERefusedInput(refusal + FileLabel(file) + ": not written");
    }
    WriteOutputFile(file, GroupFileBytes(ids, kind, csv));
}

void ImportGroup(const TToolContext& tool, const std::string& file, const std::string& name,
                 bool replace) {
    const std::string label = FileLabel(file);
    const TGroupSheet sheet = ReadGroupFile(file);
    const std::string warnings = ProblemLines(label, sheet.Warnings);
    std::string refused = ProblemLines(label, sheet.Problems);
    const std::string nameRefusal = replace ? "" : NewNameRefusal(name);
    if (!nameRefusal.empty()) refused += nameRefusal + "\n";
    if (!refused.empty())
        throw ERefusedInput(refused + warnings + label + ": refused; nothing was stored");
    tool.Out << warnings;

    TToolStore store(tool.Paths, tool.Clock);
    if (replace) {
        store.Save(name, sheet.IDs);
        tool.Out << "Saved " << CountedIDs(sheet.IDs) << " from " << label << " into group \""
                 << name << "\"\n";
        return;
    }
    // The groups table's key would refuse the name too, but only as a store error.
    if (store.Has(name))
        throw ERefusedInput("a group named \"" + name +
                            "\" exists already; --replace saves the file into it");
    store.Store().AddGroups({TNewGroup{name, sheet.IDs}});
    tool.Out << "Made group \"" << name << "\" with " << CountedIDs(sheet.IDs) << " from " << label
             << "\n";
}
