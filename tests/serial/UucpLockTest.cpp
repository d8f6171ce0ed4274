// Lock files as other programs write them, and processes claiming at once, in a lock
// directory of the test's own. The device is /dev/null: only its lock file's name counts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "serial/TUucpLock.h"
#include "tests/common/TempHome.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kDevice = "/dev/null";

std::string Hdb(long pid) {  // ten characters, right-aligned, and a newline
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    return text;
}

long DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

class UucpLockTest : public ::testing::Test {
protected:
    // A lock file as another program leaves it, written ageSeconds ago.
    void Lay(const std::string& bytes, time_t ageSeconds = 0) const {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        const timespec when{std::time(nullptr) - ageSeconds, 0}, times[2] = {when, when};
        ::utimensat(AT_FDCWD, file.c_str(), times, 0);
    }
    std::string Text() const {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    TLockHolder::TKind Kind() const { return lock.Holder(kDevice).kind; }

    TempHome home;
    const std::string dir = home.root().string();
    const std::string file = dir + "/LCK..null";
    TUucpLock lock{dir};
};

TEST_F(UucpLockTest, FilesReadAsTheirWritersWriteThem) {
    const long me = ::getpid();
    const int32_t binary = static_cast<int32_t>(me);
    char minicom[40], zeros[16];
    std::snprintf(minicom, sizeof minicom, "%10ld minicom root\n", me);
    std::snprintf(zeros, sizeof zeros, "%05ld", me);
    const std::string hdb = Hdb(me).substr(0, 10);
    for (const std::string& text :
         {Hdb(me), std::string(minicom), std::string(zeros), hdb + "\r\n", hdb + '\0',
          std::string(reinterpret_cast<const char*>(&binary), 4)}) {
        Lay(text);
        EXPECT_EQ(Kind(), TLockHolder::Process) << text;
        EXPECT_EQ(lock.Holder(kDevice).pid, me);
        EXPECT_FALSE(lock.Claim(kDevice));
        EXPECT_EQ(Text(), text);  // a live holder's file is left alone
    }
    // Without a PID: held while its locker may still be writing it, stale after.
    for (const std::string& text : {std::string(), std::string("garbage\n")}) {
        Lay(text);
        EXPECT_EQ(Kind(), TLockHolder::BeingWritten);
        EXPECT_FALSE(lock.Claim(kDevice));
        Lay(text, 60);
        EXPECT_EQ(Kind(), TLockHolder::None);
    }
    // A stale file gives way to ours, which goes with the claim.
    ASSERT_TRUE(lock.Claim(kDevice));
    EXPECT_EQ(Text(), Hdb(me));
    lock.Release();
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(UucpLockTest, AFileThisUserMayNotReadIsHeld) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file; make test-as-user runs this";
    Lay(Hdb(DeadPid()));
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    EXPECT_EQ(Kind(), TLockHolder::Unreadable);
    EXPECT_FALSE(lock.Claim(kDevice));
}

// One claimer process: each byte on go starts a claim, answered on said ('W' won, 'L'
// lost); each byte on release lets go, answered with 'r'.
pid_t StartClaimer(const std::string& dir, int go, int release, int said) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    TUucpLock lock(dir);
    for (char c; ::read(go, &c, 1) == 1;) {
        const char won = lock.Claim(kDevice) ? 'W' : 'L';
        if (::write(said, &won, 1) != 1 || ::read(release, &c, 1) != 1) break;
        lock.Release();
        if (::write(said, "r", 1) != 1) break;
    }
    ::_exit(0);
}

TEST_F(UucpLockTest, OfTwoClaimersAtOnceExactlyOneWinsEveryRound) {
    int go[2][2], release[2][2], said[2][2];
    pid_t pids[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(::pipe(go[i]) | ::pipe(release[i]) | ::pipe(said[i]), 0);
        pids[i] = StartClaimer(dir, go[i][0], release[i][0], said[i][1]);
    }
    auto send = [&](int(&pipes)[2][2], int i) { return ::write(pipes[i][1], "x", 1) == 1; };
    auto answer = [&](int i) {
        char c = '?';
        return ::read(said[i][0], &c, 1) == 1 ? c : '?';
    };
    const long dead = DeadPid();
    int badRounds = 0;
    for (int round = 0; round < 2000; ++round) {
        // Half the rounds over a stale file: a dead PID, or old garbage.
        if (round >= 1000) Lay(round % 2 ? Hdb(dead) : "x", round % 2 ? 0 : 60);
        const bool started = send(go, 0) && send(go, 1);
        const char a = answer(0), b = answer(1);
        const int winner = a == 'W' ? 0 : 1, loser = 1 - winner;
        bool good = started && (a == 'W') + (b == 'W') == 1 && (a == 'L') + (b == 'L') == 1 &&
                    Text() == Hdb(pids[winner]);
        // The loser lets go first: the winner's file stays until the winner lets go.
        good = send(release, loser) && answer(loser) == 'r' && good && Text() == Hdb(pids[winner]);
        good = send(release, winner) && answer(winner) == 'r' && good && !fs::exists(file);
        badRounds += good ? 0 : 1;
    }
    EXPECT_EQ(badRounds, 0);
    for (const pid_t pid : pids) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

}  // namespace
