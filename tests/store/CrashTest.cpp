// A child process saves and creates groups in a loop and is killed with SIGKILL at
// random moments. After every kill each table must be sound, every group wholly old
// or wholly new, and every action the child finished must be on disk.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "tests/store/StoreSupport.h"

namespace {

using namespace storetest;

constexpr int kKills = 220;
constexpr auto kTimeBudget = std::chrono::seconds(60);  // typically well under 10 s

std::string Gen(int cycle, int j) {
    return "g" + std::to_string(cycle) + "." + std::to_string(j);
}
std::string NewName(int cycle, int j) {
    return "n" + std::to_string(cycle) + "." + std::to_string(j);
}

// Runs in the child: never returns.
[[noreturn]] void SaveAndCreateForever(const TStorePaths& paths, int cycle, int out) {
    auto say = [out](const std::string& line) {
        const std::string l = line + "\n";
        if (write(out, l.data(), l.size()) < 0) _exit(4);
    };
    try {
        ScriptedWindow win;
        TWindowStore opened(paths, win);
        TIDGroupStore& store = opened.Store;
        store.OpenStore();
        store.Select("base");
        store.LoadGroup();
        say("R");
        for (int j = 0;; ++j) {
            const std::string gen = Gen(cycle, j);
            win.vehicle.fill(gen);
            win.trailer.fill(gen);
            store.SaveGroup();
            say("S " + std::to_string(j));
            if (j % 2 == 0) {
                win.inputs.push_back(NewName(cycle, j));
                store.NewGroup();
                say("N " + NewName(cycle, j));
            }
        }
    } catch (const std::exception& e) {
        say(std::string("E ") + e.what());
    }
    _exit(1);
}

class StoreCrash : public ::testing::Test {
protected:
    // The one value every slot of the base group holds, or a failure.
    std::string BaseValue(ScriptedWindow& win, TWindowStore& opened) {
        TIDGroupStore& s = opened.Store;
        s.Select("base");
        s.LoadGroup();
        const std::string v = win.vehicle[0];
        for (int k = 0; k < kVehicleSlots; ++k) EXPECT_EQ(win.vehicle[k], v) << k;
        for (int k = 0; k < kTrailerSlots; ++k) EXPECT_EQ(win.trailer[k], v) << k;
        const RowList blankTrailers =
            Query(folder.ListFile(ListNameOf(opened.Groups, "base")),
                  "SELECT count(*) FROM records WHERE rowid > 32 AND \"Trailer ID\" = ''");
        EXPECT_EQ(blankTrailers, (RowList{{"64"}}));
        return v;
    }
    // A listed group has its complete table of 96 blank records.
    void CheckNewGroup(ScriptedWindow& win, TWindowStore& opened, const std::string& name) {
        TIDGroupStore& s = opened.Store;
        s.Select(name);
        ASSERT_TRUE(s.HasSelection()) << name;
        win.vehicle.fill("x");
        win.trailer.fill("x");
        s.LoadGroup();
        ASSERT_TRUE(s.IsLoaded()) << name;
        const fs::path file = folder.ListFile(ListNameOf(opened.Groups, name));
        EXPECT_EQ(IntegrityCheck(file), "ok") << name;
        EXPECT_EQ(Query(file,
                        "SELECT count(*), count(NULLIF(\"Trailer ID\", '')), "
                        "count(NULLIF(\"Vehicle ID\", '')) FROM records"),
                  (RowList{{"96", "0", "0"}}))
            << name;
        for (int k = 0; k < kVehicleSlots; ++k) ASSERT_EQ(win.vehicle[k], "") << name;
        for (int k = 0; k < kTrailerSlots; ++k) ASSERT_EQ(win.trailer[k], "") << name;
    }

    TStoreHome folder;
};

TEST_F(StoreCrash, KilledSavesAndNewGroupsLeaveEveryGroupWhole) {
    const TStorePaths paths = folder.paths;
    {
        ScriptedWindow win;
        TWindowStore opened(paths, win);
        TIDGroupStore& s = opened.Store;
        s.OpenStore();
        win.inputs.push_back("base");
        s.NewGroup();
        s.Select("base");
        s.LoadGroup();
        win.vehicle.fill("init");
        win.trailer.fill("init");
        s.SaveGroup();
    }
    std::mt19937 random(20261207);
    double actionUs = 5000;  // running estimate of one save or new group
    int waited = 0;          // actions the parent saw finish before it killed
    std::string base = "init";
    std::set<std::string> checked{"base"};
    int kills = 0, saves = 0, created = 0;
    const auto deadline = std::chrono::steady_clock::now() + kTimeBudget;

    for (int cycle = 0; cycle < kKills && std::chrono::steady_clock::now() < deadline; ++cycle) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            SaveAndCreateForever(paths, cycle, fds[1]);
        }
        close(fds[1]);
        // Let the child finish 0 to 2 actions, then kill it somewhere inside the next
        // one: the pause is drawn from the time its actions are taking on this machine.
        std::string said;
        const auto readLine = [&] {
            for (char c = 0; read(fds[0], &c, 1) == 1;) {
                said += c;
                if (c == '\n') return true;
            }
            return false;
        };
        ASSERT_TRUE(readLine());
        ASSERT_EQ(said, "R\n");
        const int waitFor = std::uniform_int_distribution<int>(0, 2)(random);
        auto last = std::chrono::steady_clock::now();
        for (int i = 0; i < waitFor; ++i) {
            ASSERT_TRUE(readLine()) << said;
            const auto t = std::chrono::steady_clock::now();
            actionUs =
                (3 * actionUs + std::chrono::duration<double, std::micro>(t - last).count()) / 4;
            last = t;
        }
        waited += waitFor;
        const int pauseUs =
            std::uniform_int_distribution<int>(0, static_cast<int>(actionUs * 1.5))(random);
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status << said;
        ++kills;

        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0)
            said.append(buf, static_cast<std::size_t>(n));
        close(fds[0]);
        int lastSave = -1;
        std::set<std::string> reported;
        std::istringstream lines(said);
        std::string ready;
        std::getline(lines, ready);
        for (std::string line; std::getline(lines, line);) {
            ASSERT_NE(line[0], 'E') << line;
            if (line[0] == 'S') lastSave = std::stoi(line.substr(2)), ++saves;
            if (line[0] == 'N') reported.insert(line.substr(2)), ++created;
        }

        EXPECT_EQ(IntegrityCheck(folder.GroupsFile()), "ok") << "cycle " << cycle;
        ScriptedWindow win;
        TWindowStore opened(paths, win);
        TIDGroupStore& s = opened.Store;
        s.OpenStore();
        // A finished save is on disk; the one running when the kill came is all or nothing.
        const std::string now = BaseValue(win, opened);
        const std::string done = lastSave < 0 ? base : Gen(cycle, lastSave);
        EXPECT_TRUE(now == done || now == Gen(cycle, lastSave + 1))
            << "cycle " << cycle << ": base holds " << now << ", last finished save " << done;
        base = now;
        for (const std::string& name : s.GroupList()) {
            if (checked.count(name)) continue;
            CheckNewGroup(win, opened, name);
            checked.insert(name);
        }
        for (const std::string& name : reported)
            EXPECT_TRUE(checked.count(name)) << "finished NewGroup " << name << " is not listed";
        if (HasFatalFailure() || HasFailure()) break;
    }

    EXPECT_GE(kills, 200) << "kills within the time budget";
    EXPECT_GE(saves + created, waited);
    EXPECT_GT(created, 0);
    // Every file left behind is sound, orphans of a NewGroup killed between its two
    // commits included.
    int files = 0;
    for (const auto& e : fs::directory_iterator(folder.home.idListDir())) {
        if (e.path().extension() != ".db") continue;
        ++files;
        EXPECT_EQ(IntegrityCheck(e.path()), "ok") << e.path();
    }
    EXPECT_GE(files, static_cast<int>(checked.size()));
    EXPECT_EQ(IntegrityCheck(folder.GroupsFile()), "ok");
    std::cout << kills << " kills, " << saves << " finished saves, " << created
              << " finished new groups, " << checked.size() << " groups, " << files
              << " ID list files\n";
}

}  // namespace
