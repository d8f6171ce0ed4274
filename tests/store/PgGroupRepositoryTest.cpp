// The group server's repository where it differs from the local one: PCs as separate
// processes, many savers on one group, the server gone in the middle of a save, a
// server that cannot be used at start, and the store chosen by store.conf.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <sstream>
#include <thread>

#include "store/ChosenRepository.h"
#include "store/PgFailures.h"
#include "store/PgGroupRepository.h"
#include "store/PgSchema.h"
#include "store/StoreChoice.h"
#include "tests/store/ServerSupport.h"
#include "tests/store/StoreSupport.h"

namespace {

using namespace storetest;
using servertest::FreshDatabase;
using servertest::SharedServer;

// A database with the tables for the groups, and its connection string.
std::string SetUpDatabase() {
    const std::string connection = SharedServer().Connection(FreshDatabase());
    TPgConnection setup(connection);
    EnsureSchema(setup);
    return connection;
}

std::unique_ptr<TPgGroupRepository> OpenedPC(const std::string& connection) {
    auto pc = std::make_unique<TPgGroupRepository>(connection, FixedClock());
    pc->Open();
    return pc;
}

long long VersionOf(const std::string& connection, const std::string& name) {
    TPgConnection db(connection);
    return db.Exec("SELECT version FROM haltguard_ids.groups WHERE name = $1", {name})
        .Integer(0, 0);
}

// Whether every ID is the one saver `prefix` wrote: a save lands whole or not at all.
bool AllFrom(const TGroupIDs& ids, const std::string& prefix) {
    const TGroupIDs whole = NumberedIDs(prefix);
    return ids.Vehicle == whole.Vehicle && ids.Trailer == whole.Trailer;
}

// Another PC: `pc` run in a child process with connections of its own. Started from
// the test's main thread only (a fork copies no other thread).
class TOtherPC {
public:
    explicit TOtherPC(const std::function<std::string()>& pc) {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            std::string result;
            try {
                result = pc();
            } catch (const ERecordConflict& e) {
                result = std::string("conflict|") + e.what();
            } catch (const std::exception& e) {
                result = std::string("other|") + e.what();
            }
            (void)!write(fds[1], result.data(), result.size());
            // Nothing of the parent's (its connections, its server) is closed from here.
            _exit(0);
        }
        close(fds[1]);
        fd_ = fds[0];
    }
    // What it wrote, once it has ended.
    std::string Result() {
        std::string result;
        char buf[512];
        for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;)
            result.append(buf, static_cast<std::size_t>(n));
        close(fd_);
        int status = 0;
        waitpid(pid_, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : "child failed";
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

std::string OnAnotherPC(const std::function<std::string()>& pc) {
    return TOtherPC(pc).Result();
}

TEST(PgGroupRepository, TwoPCsAsTwoProcesses) {
    const std::string connection = SetUpDatabase();
    auto mine = OpenedPC(connection);
    mine->Add({{"A", NumberedIDs("a")}, {"B", NumberedIDs("b")}});
    ASSERT_TRUE(mine->Load("A"));

    // The other PC saves the group this one has loaded: this one's save is refused.
    EXPECT_EQ(OnAnotherPC([&] {
                  auto other = OpenedPC(connection);
                  other->Load("A");
                  other->LoadedGroup().Save(NumberedIDs("other"));
                  return std::string("saved");
              }),
              "saved");
    try {
        mine->LoadedGroup().Save(NumberedIDs("mine"));
        ADD_FAILURE() << "a save over another PC's was let through";
    } catch (const ERecordConflict& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.substr(0, 110),
                  ("IDListTable: Record was changed by another user: group \"A\" on the group "
                   "server the local socket " +
                   SharedServer().SocketDir())
                      .substr(0, 110));
        EXPECT_NE(text.find(", user " + std::string(TPgTestServer::kSuperuser)), std::string::npos)
            << text;
    }

    // A delete only of the group as read: one saved by another PC since stays.
    ASSERT_TRUE(mine->Load("B"));
    EXPECT_EQ(OnAnotherPC([&] {
                  auto other = OpenedPC(connection);
                  other->Load("B");
                  other->LoadedGroup().StoreVehicleID(0, "CHANGED");
                  return std::string("stored");
              }),
              "stored");
    EXPECT_THROW(mine->Delete("B"), ERecordConflict);
    EXPECT_FALSE(mine->IsLoaded());

    // The other PC deletes the group this one has loaded: its saves and transfers are
    // refused, never written into nothing.
    ASSERT_TRUE(mine->Load("B"));
    EXPECT_EQ(OnAnotherPC([&] {
                  auto other = OpenedPC(connection);
                  return std::string(other->Delete("B") ? "deleted" : "no IDs");
              }),
              "deleted");
    for (const auto& write : std::vector<std::function<void()>>{
             [&] { mine->LoadedGroup().Save(NumberedIDs("late")); },
             [&] { mine->LoadedGroup().StoreTrailerID(3, "late"); }}) {
        try {
            write();
            ADD_FAILURE() << "a write into a deleted group was let through";
        } catch (const ERecordConflict& e) {
            EXPECT_EQ(std::string(e.what()).rfind(
                          "IDListTable: Record was deleted by another user: group \"B\" on ", 0),
                      0u)
                << e.what();
        }
    }
    mine->Refresh();
    EXPECT_EQ(mine->Names(), (std::vector<std::string>{"A"}));
}

TEST(PgGroupRepository, EightSaversAtOnceOnOneGroupLoseNoSaveSilently) {
    const std::string connection = SetUpDatabase();
    OpenedPC(connection)->Add({{"Busy", {}}});
    constexpr int kSavers = 8;
    constexpr int kRounds = 6;
    // All load before any saves in the first round: exactly one of those saves lands.
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    std::vector<std::unique_ptr<TOtherPC>> savers;
    for (int s = 0; s < kSavers; ++s)
        savers.push_back(std::make_unique<TOtherPC>([&, s] {
            close(go[1]);
            auto pc = OpenedPC(connection);
            int landed = 0;
            int firstLanded = 0;
            for (int round = 0; round < kRounds; ++round) {
                pc->Load("Busy");
                if (round == 0) {
                    (void)!write(ready[1], "r", 1);
                    char c;
                    (void)!read(go[0], &c, 1);  // end of file once all have loaded
                }
                try {
                    pc->LoadedGroup().Save(
                        NumberedIDs("s" + std::to_string(s) + "r" + std::to_string(round)));
                    ++landed;
                    if (round == 0) firstLanded = 1;
                } catch (const ERecordConflict&) {
                }
            }
            return std::to_string(firstLanded) + " " + std::to_string(landed);
        }));
    for (int s = 0; s < kSavers; ++s) {
        char c;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
    }
    close(go[1]);
    int firstRound = 0;
    int landed = 0;
    for (auto& saver : savers) {
        std::istringstream result(saver->Result());
        int first = -1, count = -1;
        result >> first >> count;
        ASSERT_GE(count, 0) << result.str();
        firstRound += first;
        landed += count;
    }
    for (const int fd : {ready[0], ready[1], go[0]}) close(fd);
    EXPECT_EQ(firstRound, 1);
    // Every save that was not refused is one step of the version.
    EXPECT_EQ(VersionOf(connection, "Busy"), 1 + landed);
    auto check = OpenedPC(connection);
    ASSERT_TRUE(check->Load("Busy"));
    const TGroupIDs stored = check->LoadedGroup().IDs();
    const std::string last = stored.Vehicle[0].substr(0, stored.Vehicle[0].find("V-"));
    EXPECT_TRUE(AllFrom(stored, last)) << stored.Vehicle[0];
}

TEST(PgGroupRepository, TheServerStoppedMidSaveKeepsNothingOfItAndTheNextSaveLands) {
    const std::string connection = SetUpDatabase();
    auto mine = OpenedPC(connection);
    mine->Add({{"G", NumberedIDs("before")}});
    ASSERT_TRUE(mine->Load("G"));
    {
        // Another session holds the group's row, so the save waits in the middle of its
        // transaction when the server goes.
        TPgConnection holder(connection);
        TPgTransaction holding(holder);
        holder.Exec("SELECT 1 FROM haltguard_ids.groups WHERE name = 'G' FOR UPDATE");
        auto saving = std::async(std::launch::async, [&] {
            try {
                mine->LoadedGroup().Save(NumberedIDs("during"));
                return std::string("saved");
            } catch (const EServerLost& e) {
                return std::string("lost|") + e.what();
            } catch (const std::exception& e) {
                return std::string("other|") + e.what();
            }
        });
        // Until the save waits for the row.
        TPgConnection watcher(connection);
        for (int i = 0; i < 500; ++i) {
            if (watcher
                    .Exec("SELECT count(*) FROM pg_catalog.pg_stat_activity WHERE "
                          "wait_event_type = 'Lock'")
                    .Integer(0, 0) > 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        SharedServer().Stop();
        const std::string result = saving.get();
        EXPECT_EQ(result.substr(0, 5), "lost|") << result;
        EXPECT_NE(result.find("The connection to the group server"), std::string::npos) << result;
    }
    // Down: told at once, whichever operation.
    EXPECT_THROW(mine->LoadedGroup().Save(NumberedIDs("down")), EServerUnreachable);
    EXPECT_THROW(mine->Refresh(), EServerUnreachable);
    SharedServer().Start();

    auto check = OpenedPC(connection);
    ASSERT_TRUE(check->Load("G"));
    EXPECT_TRUE(AllFrom(check->LoadedGroup().IDs(), "before"));
    EXPECT_EQ(VersionOf(connection, "G"), 1);
    // Once the list is read again, the save goes through.
    mine->Refresh();
    ASSERT_TRUE(mine->Load("G"));
    mine->LoadedGroup().Save(NumberedIDs("after"));
    ASSERT_TRUE(check->Load("G"));
    EXPECT_TRUE(AllFrom(check->LoadedGroup().IDs(), "after"));

    // A connection the server dropped while idle is made again without a word.
    TPgConnection admin(connection);
    admin.Exec(
        "SELECT pg_catalog.pg_terminate_backend(pid) FROM pg_catalog.pg_stat_activity WHERE "
        "datname = pg_catalog.current_database() AND pid <> pg_catalog.pg_backend_pid()");
    for (int i = 0; i < 500; ++i) {  // until they are gone
        if (admin
                .Exec("SELECT count(*) FROM pg_catalog.pg_stat_activity WHERE datname = "
                      "pg_catalog.current_database() AND pid <> pg_catalog.pg_backend_pid()")
                .Integer(0, 0) == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    mine->LoadedGroup().Save(NumberedIDs("idle"));
    ASSERT_TRUE(check->Load("G"));
    EXPECT_TRUE(AllFrom(check->LoadedGroup().IDs(), "idle"));
}

// The error Open ends with, as the window's box would show it.
template <class Error>
Error OpenError(TGroupRepository& groups) {
    try {
        groups.Open();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "Open did not fail as expected";
    throw std::runtime_error("no error");
}

TEST(PgGroupRepository, AServerThatCannotBeUsedAtStartIsNamedWithWhy) {
    TempHome home;  // the chosen store and the password file are the test's own
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", home.root().c_str(), 1);
    const std::string db = FreshDatabase();

    // No tables: the setup tool's command to make them.
    TPgGroupRepository bare(SharedServer().Connection(db));
    const auto noSchema = OpenError<EServerSchema>(bare);
    EXPECT_EQ(noSchema.Fault(), TServerFault::NoSchema);
    EXPECT_NE(std::string(noSchema.what())
                  .find("has no tables for the groups yet; run " +
                        SetupCommandFor(SharedServer().Connection(db))),
              std::string::npos)
        << noSchema.what();
    EXPECT_TRUE(bare.Names().empty());
    EXPECT_THROW(bare.Add({{"X", {}}}), EDatabaseError);

    // A wrong password.
    SharedServer().CreatePasswordRole("lane_wrong", "right");
    {
        std::ofstream pgpass(home.root() / ".pgpass");
        pgpass << "*:*:*:lane_wrong:wrong\n";
    }
    fs::permissions(home.root() / ".pgpass", fs::perms::owner_read | fs::perms::owner_write);
    TPgGroupRepository wrong(SharedServer().TcpConnection(db, "lane_wrong"));
    const auto refused = OpenError<EServerUnreachable>(wrong);
    EXPECT_EQ(refused.Fault(), TServerFault::Authentication);
    EXPECT_NE(std::string(refused.what()).find("Cannot use the group server 127.0.0.1 port"),
              std::string::npos)
        << refused.what();

    // Chosen in store.conf: the server, never the local files, even with a store there.
    TStoreHome local;  // a local store set up beside it
    WriteServerChoice("host=" + SharedServer().SocketDir() + " port=1 dbname=" + db);
    auto chosen = ChosenRepository(local.paths, FixedClock());
    const auto nothing = OpenError<EServerUnreachable>(*chosen);
    EXPECT_EQ(nothing.Fault(), TServerFault::Refused);
    EXPECT_NE(std::string(nothing.what())
                  .find("the local socket " + SharedServer().SocketDir() + "/.s.PGSQL.1"),
              std::string::npos)
        << nothing.what();
    // A choice that cannot be read is told, with the fix.
    { std::ofstream(StoreChoiceFile()) << "sever host=depot\n"; }
    auto unreadable = ChosenRepository(local.paths, FixedClock());
    const auto why = OpenError<EDBEngineError>(*unreadable);
    EXPECT_NE(std::string(why.what()).find("haltguard-ids-setup --server"), std::string::npos)
        << why.what();
    EXPECT_TRUE(RemoveStoreChoice());
    auto localChosen = ChosenRepository(local.paths, FixedClock());
    EXPECT_NO_THROW(localChosen->Open());
    setenv("HOME", oldHome.c_str(), 1);
}

}  // namespace
