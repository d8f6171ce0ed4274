// Figures of the ID group store, in a temporary data folder (XDG_DATA_HOME is pointed
// there too, so nothing of the user's is read or written): medians of LoadGroup,
// SaveGroup, NewGroup and DeleteGroup, and of OpenStore with its group list and of
// NewGroup at 10,000 groups.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "bench/BenchSupport.h"
#include "store/LocalGroupRepository.h"
#include "store/TIDGroupStore.h"

namespace {

using namespace bench;

void Fill(BenchWindow& win, int round) {
    for (int k = 0; k < kVehicleSlots; ++k)
        win.vehicle[k] = "V" + std::to_string(round) + "-" + std::to_string(k);
    for (int k = 0; k < kTrailerSlots; ++k)
        win.trailer[k] = "T" + std::to_string(round) + "-" + std::to_string(k);
}

// `count` groups appended to the groups table in one transaction, as another program
// could write them (their ID list tables are not needed to list them).
void AppendGroups(const fs::path& groupsTable, int count) {
    sqlite3* db = nullptr;
    sqlite3_stmt* insert = nullptr;
    bool done = sqlite3_open(groupsTable.c_str(), &db) == SQLITE_OK &&
                sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK &&
                sqlite3_prepare_v2(db, "INSERT INTO records VALUES (?1, ?2)", -1, &insert,
                                   nullptr) == SQLITE_OK;
    for (int i = 0; done && i < count; ++i) {
        const std::string name = "Fleet " + std::to_string(i);
        const std::string list = name + " 07-12-2026 14_05_33 by ";
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, list.c_str(), -1, SQLITE_TRANSIENT);
        done = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
    }
    sqlite3_finalize(insert);
    done = done && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!done) {
        std::fprintf(stderr, "the groups could not be written\n");
        std::exit(1);
    }
}

}  // namespace

int main() {
    constexpr int kRounds = 60;
    Folder folder;
    BenchWindow win;
    TLocalGroupRepository groups(folder.paths, FixedClock());
    TIDGroupStore store(win, win, groups);
    store.OpenStore();

    std::vector<double> newMs, loadMs, saveMs, deleteMs;
    for (int i = 0; i < kRounds; ++i) {
        win.nextName = "Group " + std::to_string(i);
        newMs.push_back(TimeMs([&] { store.NewGroup(); }));
    }
    // Loading alternates between groups, so each load opens another table.
    for (int i = 0; i < kRounds * 2; ++i) {
        store.Select("Group " + std::to_string(i % kRounds));
        loadMs.push_back(TimeMs([&] { store.LoadGroup(); }));
    }
    for (int i = 0; i < kRounds; ++i) {
        store.Select("Group " + std::to_string(i));
        store.LoadGroup();
        Fill(win, i);
        saveMs.push_back(TimeMs([&] { store.SaveGroup(); }));
    }
    for (int i = 0; i < kRounds; ++i) {
        store.Select("Group " + std::to_string(i));
        store.LoadGroup();
        deleteMs.push_back(TimeMs([&] { store.DeleteGroup(); }));
    }
    if (!win.names.empty()) {
        std::fprintf(stderr, "groups left after deleting them all\n");
        return 1;
    }
    Report("NewGroup", newMs, 20);
    Report("LoadGroup", loadMs, 5);
    Report("SaveGroup", saveMs, 20);
    Report("DeleteGroup", deleteMs, 0);

    // 10,000 groups, which this window's store then reads.
    constexpr int kGroups = 10000;
    AppendGroups(fs::path(folder.paths.GroupsDir) / kGroupsTableName, kGroups);
    groups.Refresh();
    std::vector<double> listMs;
    for (int i = 0; i < 30; ++i) {
        BenchWindow w;
        TLocalGroupRepository g(folder.paths, FixedClock());
        TIDGroupStore s(w, w, g);
        listMs.push_back(TimeMs([&] { s.OpenStore(); }));
        if (w.names.size() != static_cast<std::size_t>(kGroups)) {
            std::fprintf(stderr, "the list holds %zu groups\n", w.names.size());
            return 1;
        }
    }
    Report("OpenStore + list of 10,000 groups", listMs, 100);

    // For information: the operations that walk the groups table, at 10,000 groups.
    std::vector<double> bigNewMs, bigDeleteMs;
    for (int i = 0; i < 20; ++i) {
        win.nextName = "Late " + std::to_string(i);
        bigNewMs.push_back(TimeMs([&] { store.NewGroup(); }));
    }
    for (int i = 0; i < 20; ++i) {
        store.Select("Late " + std::to_string(i));
        store.LoadGroup();
        bigDeleteMs.push_back(TimeMs([&] { store.DeleteGroup(); }));
    }
    Report("NewGroup at 10,000 groups", bigNewMs, 20);
    Report("DeleteGroup at 10,000 groups", bigDeleteMs, 0);

    // A new table's name is chosen free of every file in the ID list directory: the
    // same with the 10,000 groups' table files there (empty: only their names count).
    for (int i = 0; i < kGroups; ++i)
        std::ofstream(fs::path(folder.paths.IDListDir) /
                      ("Fleet " + std::to_string(i) + " 07-12-2026 14_05_33 by .db"));
    std::vector<double> filesNewMs;
    for (int i = 0; i < 20; ++i) {
        win.nextName = "Later " + std::to_string(i);
        filesNewMs.push_back(TimeMs([&] { store.NewGroup(); }));
    }
    Report("NewGroup at 10,000 groups and their table files", filesNewMs, 20);
    return 0;
}
