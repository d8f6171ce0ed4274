// Figures of the ID group store, in a temporary data folder (XDG_DATA_HOME is pointed
// there too, so nothing of the user's is read or written): medians of LoadGroup,
// SaveGroup, NewGroup and DeleteGroup, and of OpenStore with its group list and of
// NewGroup at 10,000 groups (for the local files also with their table files); the same
// on a group server started for the run (over its Unix socket and over loopback TCP),
// and 20 clients saving at once there.
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sqlite3.h>

#include "bench/BenchSupport.h"
#include "store/LocalGroupRepository.h"
#include "store/TIDGroupStore.h"
#ifdef HG_BENCH_SERVER
#include "store/PgConnection.h"
#include "store/PgGroupRepository.h"
#include "store/PgSchema.h"
#include "tests/common/PgTestServer.h"
#endif

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

// The window's operations on `groups` (open, with no groups): New, Load, Save, Delete;
// then the list at 10,000 groups that `append` puts in, read by a fresh repository
// from `another`; and, where a table is a file, New again once `layTableFiles` has put
// the 10,000 groups' files beside it.
void MeasureStore(const char* kind, TGroupRepository& groups,
                  const std::function<void(int)>& append,
                  const std::function<std::unique_ptr<TGroupRepository>()>& another,
                  const std::function<void(int)>& layTableFiles = {}) {
    constexpr int kRounds = 60;
    std::printf("-- %s\n", kind);
    BenchWindow win;
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
        std::exit(1);
    }
    Report("NewGroup", newMs, 20);
    Report("LoadGroup", loadMs, 5);
    Report("SaveGroup", saveMs, 20);
    Report("DeleteGroup", deleteMs, 20);

    // 10,000 groups, which this window's store then reads.
    constexpr int kGroups = 10000;
    append(kGroups);
    groups.Refresh();
    std::vector<double> listMs;
    for (int i = 0; i < 30; ++i) {
        BenchWindow w;
        const std::unique_ptr<TGroupRepository> g = another();
        TIDGroupStore s(w, w, *g);
        listMs.push_back(TimeMs([&] { s.OpenStore(); }));
        if (w.names.size() != static_cast<std::size_t>(kGroups)) {
            std::fprintf(stderr, "the list holds %zu groups\n", w.names.size());
            std::exit(1);
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
    if (!layTableFiles) return;
    layTableFiles(kGroups);
    std::vector<double> filesNewMs;
    for (int i = 0; i < 20; ++i) {
        win.nextName = "Later " + std::to_string(i);
        filesNewMs.push_back(TimeMs([&] { store.NewGroup(); }));
    }
    Report("NewGroup at 10,000 groups and their table files", filesNewMs, 20);
}

#ifdef HG_BENCH_SERVER
// `clients` PCs saving their own group at once, `saves` times each: the saves per
// second of them all and the 99th percentile of one save.
void MeasureClients(const std::string& connection, int clients, int saves) {
    {
        TPgGroupRepository setup(connection, FixedClock());
        setup.Open();
        std::vector<TNewGroup> lanes;
        for (int c = 0; c < clients; ++c) lanes.push_back({"Lane " + std::to_string(c), {}});
        setup.Add(lanes);
    }
    std::vector<std::vector<double>> each(static_cast<std::size_t>(clients));
    std::atomic<int> ready = 0;
    std::atomic<bool> go = false;
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            TPgGroupRepository pc(connection, FixedClock());
            pc.Open();
            pc.Load("Lane " + std::to_string(c));
            TGroupIDs ids;
            ++ready;
            while (!go) std::this_thread::yield();
            for (int i = 0; i < saves; ++i) {
                ids.Vehicle[static_cast<std::size_t>(i % kVehicleSlots)] = "S" + std::to_string(i);
                each[static_cast<std::size_t>(c)].push_back(
                    TimeMs([&] { pc.LoadedGroup().Save(ids); }));
            }
        });
    while (ready < clients) std::this_thread::yield();
    const double wallMs = TimeMs([&] {
        go = true;
        for (std::thread& t : threads) t.join();
    });
    std::vector<double> all;
    for (const auto& ms : each) all.insert(all.end(), ms.begin(), ms.end());
    std::sort(all.begin(), all.end());
    const double p99 = all[static_cast<std::size_t>(0.99 * static_cast<double>(all.size() - 1))];
    std::printf("%d clients saving at once: %.0f saves/s, median %.3f ms, p99 %.3f ms (n=%zu)\n",
                clients, 1000.0 * static_cast<double>(all.size()) / wallMs, Median(all), p99,
                all.size());
}

void MeasureServer(const std::string& how, const std::string& connection) {
    {
        TPgConnection setup(connection);
        EnsureSchema(setup);
    }
    TPgGroupRepository groups(connection, FixedClock());
    const auto append = [&](int count) {
        // As another program could write them, with their records.
        TPgConnection db(connection);
        db.Exec(
            "INSERT INTO haltguard_ids.groups (name, id_list_name) SELECT 'Fleet ' || n,"
            " 'Fleet ' || n || ' 07-12-2026 14_05_33 by ' FROM generate_series(1, $1::int) n",
            {std::to_string(count)});
        db.Exec(
            "INSERT INTO haltguard_ids.ids (group_id, record) SELECT g.id, r FROM "
            "haltguard_ids.groups g, generate_series(0, 95) r ON CONFLICT DO NOTHING");
    };
    MeasureStore(("group server over " + how).c_str(), groups, append,
                 [&] { return std::make_unique<TPgGroupRepository>(connection, FixedClock()); });
}
#endif

}  // namespace

int main() {
    {
        Folder folder;
        TLocalGroupRepository groups(folder.paths, FixedClock());
        MeasureStore(
            "local files", groups,
            [&](int count) {
                AppendGroups(fs::path(folder.paths.GroupsDir) / kGroupsTableName, count);
            },
            [&] { return std::make_unique<TLocalGroupRepository>(folder.paths, FixedClock()); },
            [&](int count) {
                for (int i = 0; i < count; ++i)
                    std::ofstream(fs::path(folder.paths.IDListDir) /
                                  ("Fleet " + std::to_string(i) + " 07-12-2026 14_05_33 by .db"));
            });
    }
#ifdef HG_BENCH_SERVER
    std::string why;
    if (!TPgTestServer::Installed(&why)) {
        std::printf("-- group server: skipped (%s)\n", why.c_str());
        return 0;
    }
    TPgTestServer server({.tcp = true});
    server.CreateDatabase("bench_socket");
    server.CreateDatabase("bench_tcp");
    server.CreateDatabase("bench_clients");
    MeasureServer("its Unix socket", server.Connection("bench_socket"));
    MeasureServer("loopback TCP", server.TcpConnection("bench_tcp"));
    std::printf("-- group server over its Unix socket\n");
    const std::string clients = server.Connection("bench_clients");
    {
        TPgConnection setup(clients);
        EnsureSchema(setup);
    }
    MeasureClients(clients, 20, 50);
#endif
    return 0;
}
