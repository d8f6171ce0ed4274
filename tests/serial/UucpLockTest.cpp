// Lock files as other programs write them, and processes claiming at once, in a lock
// directory of the test's own. The device is /dev/null: only its lock file's name counts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <fstream>

#include "serial/TUucpLock.h"
#include "tests/common/TempHome.h"
#include "tests/serial/PtyPair.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kDevice = "/dev/null";

std::string Hdb(long pid) {  // ten characters, right-aligned, and a newline
    const std::string digits = std::to_string(pid);
    return std::string(10 - digits.size(), ' ') + digits + '\n';
}

class UucpLockTest : public ::testing::Test {
protected:
    // A lock file as another program leaves it, written ageSeconds ago.
    void Lay(const std::string& bytes, time_t ageSeconds = 0) const {
        std::ofstream(file, std::ios::binary) << bytes;
        const timespec when{std::time(nullptr) - ageSeconds, 0}, times[2] = {when, when};
        ::utimensat(AT_FDCWD, file.c_str(), times, 0);
    }
    std::string Text() const {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    TempHome home;
    const std::string dir = home.root().string(), file = dir + "/LCK..null";
    TUucpLock lock{dir};
};

TEST_F(UucpLockTest, AFileWithoutAPidIsHeldWhileYoungAndAStaleOneGivesWay) {
    for (const std::string& text : {std::string(), std::string("garbage\n")}) {
        Lay(text);
        EXPECT_EQ(lock.Holder(kDevice).kind, TLockHolder::BeingWritten);
        EXPECT_FALSE(lock.Claim(kDevice));
        EXPECT_EQ(Text(), text);
        Lay(text, 60);
        EXPECT_EQ(lock.Holder(kDevice).kind, TLockHolder::None);
    }
    // Ours is named after the device's real path, however a link reaches it, and goes
    // with the claim.
    fs::create_symlink(kDevice, home.root() / "by-id");
    ASSERT_TRUE(lock.Claim((home.root() / "by-id").string()));
    EXPECT_EQ(Text(), Hdb(::getpid()));
    lock.Release();
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(UucpLockTest, AFileThisUserMayNotReadIsHeld) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file; make test-as-user runs this";
    Lay(Hdb(serial_test::kDeadPid));
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    EXPECT_EQ(lock.Holder(kDevice).kind, TLockHolder::Unreadable);
}

// A claimer in a process of its own: 'c' claims and answers 'W' (won) or 'L' (lost),
// 'r' lets go and answers 'r'.
pid_t StartClaimer(const std::string& dir, int fd) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    TUucpLock lock(dir);
    for (char c; ::read(fd, &c, 1) == 1;) {
        if (c == 'r') lock.Release();
        const char answer = c == 'r' ? 'r' : lock.Claim(kDevice) ? 'W' : 'L';
        if (::write(fd, &answer, 1) != 1) break;
    }
    ::_exit(0);
}

TEST_F(UucpLockTest, OfTwoClaimersAtOnceExactlyOneWinsEveryRound) {
    int ends[2][2];
    pid_t pids[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends[i]), 0);
        pids[i] = StartClaimer(dir, ends[i][1]);
    }
    auto tell = [&](int i, char c) { ASSERT_EQ(::write(ends[i][0], &c, 1), 1); };
    auto answer = [&](int i) {
        char c = '?';
        return ::read(ends[i][0], &c, 1) == 1 ? c : '?';
    };
    int badRounds = 0;
    for (int round = 0; round < 2000; ++round) {
        // From round 1000 on over a stale file: a dead PID, or old garbage.
        if (round >= 1000) Lay(round % 2 ? Hdb(serial_test::kDeadPid) : "x", round % 2 ? 0 : 60);
        tell(0, 'c'), tell(1, 'c');
        const std::string said{answer(0), answer(1)};
        const int winner = said == "WL" ? 0 : 1;
        bool good = (said == "WL" || said == "LW") && Text() == Hdb(pids[winner]);
        // The loser lets go first: the winner's file stays until the winner lets go.
        tell(1 - winner, 'r');
        good = answer(1 - winner) == 'r' && Text() == Hdb(pids[winner]) && good;
        tell(winner, 'r');
        badRounds += answer(winner) == 'r' && !fs::exists(file) && good ? 0 : 1;
    }
    EXPECT_EQ(badRounds, 0);
    for (const pid_t pid : pids) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

}  // namespace
