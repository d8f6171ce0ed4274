// Figures of the groups tool, in a temporary data folder: medians of importing one
// group, exporting one (CSV, .xlsx and .ods), saving a file into an existing group,
// reading the largest file that is accepted (1 MiB of real cells, in each kind), and of
// a backup of 1,000 groups; for information, the import as a whole process (the tool as
// built), and the window's New on a freshly opened store, in the same run, to compare with.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "sheets/GroupFile.h"
#include "sheets/Ods.h"
#include "sheets/Xlsx.h"
#include "tools/groups/BackupCommands.h"
#include "tools/groups/GroupCommands.h"

namespace {

using namespace bench;

TGroupIDs Filled(int round) {
    TGroupIDs ids;
    for (int k = 0; k < kVehicleSlots; ++k)
        ids.Vehicle[k] = "V" + std::to_string(round) + "-" + std::to_string(k);
    for (int k = 0; k < kTrailerSlots; ++k)
        ids.Trailer[k] = "T" + std::to_string(round) + "-" + std::to_string(k);
    return ids;
}

// The largest group's file that is accepted: the 96 slot rows filled, and as many note
// columns of short real texts beside them as keep the CSV within 1 MiB (and the sheet
// within 49,000 cells, which every reader took before the readers were bounded).
TSheetTexts LargestAcceptedSheet() {
    const TGroupIDs ids = Filled(7);
    for (int notes = 600;; notes -= 5) {
        TSheetTexts rows{{"slot", "vehicle", "trailer"}};
        for (int n = 1; n <= notes; ++n) rows[0].push_back("note " + std::to_string(n));
        for (int k = 0; k < kVehicleSlots; ++k) {
            rows.push_back(
                {std::to_string(k), ids.Vehicle[k], k < kTrailerSlots ? ids.Trailer[k] : ""});
            for (int n = 1; n <= notes; ++n)
                rows.back().push_back("r" + std::to_string(k) + "c" + std::to_string(n) +
                                      " seen 2026-12-07");
        }
        if (WriteCsv(rows, {}).size() <= (1u << 20) && rows.size() * rows[0].size() <= 49000)
            return rows;
    }
}

}  // namespace

int main() {
    constexpr int kRounds = 60;
    Folder folder;
    std::ostream quiet(nullptr);
    const TToolContext tool{folder.paths, FixedClock(), quiet};
    const std::string file = (folder.root / "group.csv").string();
    std::ofstream(file, std::ios::binary) << GroupFileBytes(Filled(1), TSheetKind::Csv);

    std::vector<double> importMs, exportMs, replaceMs, processMs, newMs;
    // Import and New take turns, so that both meet the same load of the machine.
    for (int i = 0; i < kRounds; ++i) {
        importMs.push_back(
            TimeMs([&] { ImportGroup(tool, file, "Group " + std::to_string(i), false); }));
        BenchWindow window;
        window.nextName = "New group " + std::to_string(i);
        newMs.push_back(TimeMs([&] {
            TLocalGroupRepository groups(folder.paths, FixedClock());
            TIDGroupStore store(window, window, groups);
            store.OpenStore();
            store.NewGroup();
        }));
    }
    for (int i = 0; i < kRounds; ++i) {
        const std::string out = (folder.root / ("out" + std::to_string(i) + ".csv")).string();
        exportMs.push_back(
            TimeMs([&] { ExportGroup(tool, "Group " + std::to_string(i), out, TSheetKind::Csv); }));
    }
    for (int i = 0; i < kRounds; ++i)
        replaceMs.push_back(
            TimeMs([&] { ImportGroup(tool, file, "Group " + std::to_string(i), true); }));
    for (int i = 0; i < 20; ++i) {
        const std::string command = std::string("'") + HG_GROUPS_TOOL + "' import '" + file +
                                    "' 'Process " + std::to_string(i) + "' > /dev/null";
        processMs.push_back(TimeMs([&] {
            if (std::system(command.c_str()) != 0) std::exit(1);
        }));
    }
    Report("import one group", importMs, 20);
    Report("OpenStore + New, for comparison", newMs, 0);
    std::printf("%-34s %.2f\n", "import / (OpenStore + New)", Median(importMs) / Median(newMs));
    Report("export one group", exportMs, 5);
    Report("import --replace one group", replaceMs, 0);
    Report("import as a process", processMs, 0);

    // The spreadsheet files beside CSV, taking turns so that all meet the same load:
    // read and checked alone, imported (read, checked, the group made) and exported.
    const std::string kinds[] = {".csv", ".xlsx", ".ods"};
    std::vector<double> readMs[3], sheetImportMs[3], sheetExportMs[3];
    for (int k = 0; k < 3; ++k) {
        std::ofstream(folder.root / ("group" + kinds[k]), std::ios::binary)
            << GroupFileBytes(Filled(1), SheetKindOf(kinds[k]));
    }
    for (int i = 0; i < kRounds; ++i) {
        for (int k = 0; k < 3; ++k) {
            const std::string sheet = (folder.root / ("group" + kinds[k])).string();
            const std::string name = kinds[k] + std::to_string(i);
            readMs[k].push_back(TimeMs([&] { ReadGroupFile(sheet); }));
            sheetImportMs[k].push_back(TimeMs([&] { ImportGroup(tool, sheet, name, false); }));
            const std::string out = (folder.root / ("out" + name + kinds[k])).string();
            sheetExportMs[k].push_back(
                TimeMs([&] { ExportGroup(tool, name, out, SheetKindOf(kinds[k])); }));
        }
    }
    for (int k = 0; k < 3; ++k) {
        const double target = k == 0 ? 0 : 30;
        Report(("read and check " + kinds[k]).c_str(), readMs[k], 0);
        Report(("import one group " + kinds[k]).c_str(), sheetImportMs[k], target);
        Report(("export one group " + kinds[k]).c_str(), sheetExportMs[k], target);
        if (k > 0)
            std::printf("%-34s %.2f\n", ("import " + kinds[k] + " / import .csv").c_str(),
                        Median(sheetImportMs[k]) / Median(sheetImportMs[0]));
    }

    // The largest accepted file of each kind, read and checked.
    const TSheetTexts largest = LargestAcceptedSheet();
    const std::string largestBytes[] = {WriteCsv(largest, {}), WriteXlsx(largest),
                                        WriteOds(largest)};
    std::vector<double> largestMs[3];
    for (int k = 0; k < 3; ++k)
        std::ofstream(folder.root / ("largest" + kinds[k]), std::ios::binary) << largestBytes[k];
    for (int i = 0; i < 15; ++i)
        for (int k = 0; k < 3; ++k) {
            const std::string sheet = (folder.root / ("largest" + kinds[k])).string();
            largestMs[k].push_back(TimeMs([&] {
                if (!ReadGroupFile(sheet).Problems.empty()) std::exit(1);
            }));
        }
    for (int k = 0; k < 3; ++k)
        Report(("read largest " + kinds[k] + " (" + std::to_string(largestBytes[k].size() / 1024) +
                " KiB)")
                   .c_str(),
               largestMs[k], 0);

    // 1,000 groups (added as one whole, as a restore would), then backed up.
    constexpr int kGroups = 1000;
    std::vector<TNewGroup> groups;
    for (int i = 0; i < kGroups; ++i) groups.push_back({"Fleet " + std::to_string(i), Filled(i)});
    const double addMs = TimeMs([&] {
        const std::unique_ptr<TGroupRepository> store = OpenStore(tool);
        store->Add(groups);
    });
    Report("add 1,000 groups as one whole", {addMs}, 0);
    std::vector<double> backupMs;
    for (int i = 0; i < 3; ++i) {
        const std::string dir = (folder.root / ("backup" + std::to_string(i))).string();
        backupMs.push_back(TimeMs([&] { BackupGroups(tool, dir); }));
    }
    Report("backup of 1,000 groups", backupMs, 10000);
    return 0;
}
