#include "tools/groups/GroupCommands.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "sheets/GroupFile.h"
#include "sheets/SheetFiles.h"
#include "store/ChosenRepository.h"
#include "store/IDRules.h"
#include "store/StoreErrors.h"
#include "tools/groups/ToolErrors.h"

namespace {

int NonBlank(const auto& slots) {
    return static_cast<int>(std::count_if(slots.begin(), slots.end(),
                                          [](const std::string& id) { return !IsBlankID(id); }));
}

// How one group loads, for the long list; false when it does not.
bool DescribeLoad(TGroupRepository& store, const std::string& name, std::string& line) {
    try {
        const TGroupIDs ids = LoadGroup(store, name);
        line += std::to_string(NonBlank(ids.Vehicle)) + "\t" +
                std::to_string(NonBlank(ids.Trailer)) + "\tok";
        return true;
    } catch (const std::exception& e) {
        line += "-\t-\t" + std::string(e.what());
        return false;
    }
}

}  // namespace

std::unique_ptr<TGroupRepository> OpenStore(const TToolContext& tool) {
    std::unique_ptr<TGroupRepository> store = ChosenRepository(tool.Paths, tool.Clock);
    store->Open();
    return store;
}

TGroupIDs LoadGroup(TGroupRepository& store, const std::string& name) {
    if (name.empty() || !store.Has(name)) throw ERefusedInput("no group is named \"" + name + "\"");
    if (!store.Load(name))
        throw EToolFailure("group \"" + name + "\" names no ID list table, so it cannot be loaded");
    return store.LoadedGroup().IDs();
}

void SaveGroup(TGroupRepository& store, const std::string& name, const TGroupIDs& ids) {
    LoadGroup(store, name);
    try {
        store.LoadedGroup().Save(ids);
    } catch (const ERecordConflict& e) {
        // Between this tool's load and its save: there is no window to choose again in.
        throw ERecordConflict(std::string(e.what()) + "\ngroup \"" + name +
                              "\": nothing was saved; another program changed it meanwhile: "
                              "run the command again");
    }
}

std::string NewNameRefusal(const std::string& name) {
    return JudgeNewGroupName(name).Message;
}

int ListGroups(const TToolContext& tool, bool longForm) {
    const std::unique_ptr<TGroupRepository> store = OpenStore(tool);
    if (store->Names().empty())
        tool.Note(
            "the store holds no groups yet; make one in the window (New) or with "
            "import FILE NAME\n");
    if (!longForm) {
        for (const std::string& name : store->Names()) tool.Out << name << '\n';
        return 0;
    }
    bool allLoad = true;
    std::set<std::string> seen;
    for (const TGroupEntry& group : store->Entries()) {
        std::string line = group.Name + "\t" + group.Where + "\t";
        if (!seen.insert(group.Name).second) {
            // The store finds a group by its name, so it only ever reaches the first.
            line += "-\t-\tnot reachable: an earlier group has the same name";
            allLoad = false;
        } else if (!DescribeLoad(*store, group.Name, line)) {
            allLoad = false;
        }
        tool.Out << line << '\n';
    }
    return allLoad ? 0 : 2;
}

void ExportGroup(const TToolContext& tool, const std::string& name, const std::string& file,
                 TSheetKind kind, const TCsvFormat& csv) {
    const TGroupIDs ids = LoadGroup(*OpenStore(tool), name);
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
    tool.Note(warnings);

    const std::unique_ptr<TGroupRepository> store = OpenStore(tool);
    if (replace) {
        SaveGroup(*store, name, sheet.IDs);
        tool.Out << "Saved " << CountedIDs(sheet.IDs) << " from " << label << " into group \""
                 << name << "\"\n";
        return;
    }
    // The groups table's key would refuse the name too, but only as a store error.
    if (store->Has(name))
        throw ERefusedInput("a group named \"" + name +
                            "\" exists already; --replace saves the file into it");
    store->Add({TNewGroup{name, sheet.IDs}});
    tool.Out << "Made group \"" << name << "\" with " << CountedIDs(sheet.IDs) << " from " << label
             << "\n";
}
