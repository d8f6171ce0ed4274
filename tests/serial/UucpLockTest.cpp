// Lock files as other programs write them, and processes claiming at once, in a lock
// directory of the test's own. The device is /dev/null: only its lock file's name counts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <climits>
#include <fstream>
#include <functional>
#include <new>
#include <random>

#include "serial/LockFileText.h"
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

// Every form its writers use, read as the PID they meant.
TEST(LockFileText, ThePidItsWriterMeant) {
    const long pidMax = 32768;
    const auto binary = [](int32_t pid) { return std::string(reinterpret_cast<char*>(&pid), 4); };
    const std::pair<std::string, long> forms[] = {
        {"      4711\n", 4711},               // ten characters, right-aligned
        {"      4711 minicom root\n", 4711},  // name and user after it
        {"0000004711\n", 4711},               // zero-padded
        {"000000000000004711\n", 4711},       // zero-padded beyond ten
        {"4711\r\n", 4711},                   // CR LF
        {std::string("4711\0", 5), 4711},     // a NUL
        {"\t 4711", 4711},                    // blanks first
        // Four bytes that can be ASCII are ASCII, whatever int they would make.
        {std::string("123\0", 4), 123},
        {std::string("1\r\n\0", 4), 1},
        {"12\r\n", 12},
        {"1234", 1234},
        {"  1\n", 1},
        {std::string("1\0\0\0", 4), 1},
        // Four bytes that cannot be: binary, up to the system's highest PID.
        {binary(30080), 30080},
        {binary(0x00ABCDEF), 0},  // above it: no PID at all
        {binary(-5), 0},
        // No PID.
        {"", 0},
        {std::string(4, '\0'), 0},
        {"\n", 0},
        {"0000000000\n", 0},
        {"pid 4711\n", 0},
        {"-4711\n", 0},
        {"99999999999\n", 0},  // more digits than any PID
    };
    for (const auto& [text, pid] : forms)
        EXPECT_EQ(PidOfLockText(text, pidMax), pid) << testing::PrintToString(text);
    EXPECT_EQ(PidOfLockText(binary(30080), 30000), 0);
    EXPECT_EQ(LockFileText(4711), "      4711\n");
    EXPECT_EQ(LockFileName("/dev/serial/by-id/usb-x"), "LCK..serial_by-id_usb-x");
    EXPECT_EQ(LockFileName("/tmp/ttyUSB0"), "");
}

// Any bytes at all, as a hostile or broken writer leaves them: never more than a PID,
// binary only by its rule, and our own text always read back.
TEST(LockFileText, AnyBytesGiveAPidOrNone) {
    std::mt19937 random(27);
    const long pidMax = 4194304;
    const char alphabet[] = "0123456789 \r\n\t\0-+x\xFF\x80";
    for (int i = 0; i < 200000; ++i) {
        std::string text(random() % 70, '\0');
        for (char& c : text)
            c = random() % 4 ? alphabet[random() % (sizeof alphabet - 1)]
                             : static_cast<char>(random());
        const long pid = PidOfLockText(text, pidMax);
        ASSERT_GE(pid, 0);
        ASSERT_LE(pid, INT_MAX);
        if (pid != AsciiPid(text)) {
            ASSERT_EQ(text.size(), 4u) << testing::PrintToString(text);
            ASSERT_FALSE(CouldBeAscii(text));
            ASSERT_LE(pid, pidMax);
        }
        // What follows the PID is the writer's own.
        const long ours = static_cast<long>(random() % pidMax) + 1;
        ASSERT_EQ(PidOfLockText(LockFileText(ours), pidMax), ours);
        ASSERT_EQ(PidOfLockText(LockFileText(ours) + text, pidMax), ours);
    }
}

// Process 1 always runs: its files, in the short forms that are four bytes long too,
// keep the device and stay.
TEST_F(UucpLockTest, ALiveProcessIsKnownInEveryFormItsFileTakes) {
    for (const std::string& text :
         {std::string("1\r\n\0", 4), std::string("1\0\0\0", 4), std::string("  1\n"),
          std::string("001\n"), std::string("1\n"), Hdb(1)}) {
        Lay(text, 600);
        const TLockHolder holder = lock.Holder(kDevice);
        EXPECT_EQ(holder.kind, TLockHolder::Process) << testing::PrintToString(text);
        EXPECT_EQ(holder.pid, 1);
        EXPECT_FALSE(lock.Claim(kDevice));
        EXPECT_EQ(Text(), text);
    }
}

// A link, a FIFO or a folder under the lock name is no lock file: the device is held,
// nothing is removed, and the FIFO is never waited on.
TEST_F(UucpLockTest, SomethingElseUnderTheLockNameIsLeftAlone) {
    const std::string victim = dir + "/victim";
    Lay("");
    fs::rename(file, victim);
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(victim, old);
    fs::create_symlink(victim, file);
    EXPECT_EQ(lock.Holder(kDevice).kind, TLockHolder::NotAFile);
    EXPECT_FALSE(lock.Claim(kDevice));
    EXPECT_TRUE(fs::is_symlink(file));
    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    EXPECT_EQ(lock.Holder(kDevice).kind, TLockHolder::NotAFile);
    EXPECT_FALSE(lock.Claim(kDevice));
    fs::remove(file);
    fs::create_directory(file);
    EXPECT_EQ(lock.Holder(kDevice).kind, TLockHolder::NotAFile);
    EXPECT_FALSE(lock.Claim(kDevice));
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_TRUE(fs::exists(victim));
}

// Claimers in processes of their own, as copies of the program are, let go at the same
// moment each round by a barrier in memory they share. Once all have claimed, the
// winner looks at the file, lets go and lays the next round's stale file.
class TClaimers {
public:
    static constexpr int kCount = 8;

    explicit TClaimers(std::string dir) : dir_(std::move(dir)) {
        void* memory = ::mmap(nullptr, sizeof(TShared), PROT_READ | PROT_WRITE,
                              MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) throw std::runtime_error("mmap");
        shared_ = new (memory) TShared;
        pthread_barrierattr_t attr;
        ::pthread_barrierattr_init(&attr);
        ::pthread_barrierattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
        for (pthread_barrier_t* b : {&shared_->start, &shared_->claimed})
            ::pthread_barrier_init(b, &attr, kCount);
        ::pthread_barrierattr_destroy(&attr);
    }
    ~TClaimers() {
        for (const pid_t pid : pids_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::munmap(shared_, sizeof(TShared));
    }
    TClaimers(const TClaimers&) = delete;
    TClaimers& operator=(const TClaimers&) = delete;

    // Runs the rounds, with lay(round) laying each round's stale file (or none) and
    // names(pid) telling whether the lock file names pid. Gives the rounds that went
    // wrong: not exactly one winner, the file not the winner's, or not gone with it.
    int Run(int rounds, const std::function<void(int)>& lay,
            const std::function<bool(pid_t)>& names) {
        lay(0);
        for (int i = 0; i < kCount; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) Claimer(i, rounds, lay, names);
            pids_.push_back(pid);
        }
        for (const pid_t pid : pids_) ::waitpid(pid, nullptr, 0);
        pids_.clear();
        return shared_->bad;
    }

private:
    struct TShared {
        pthread_barrier_t start, claimed;
        std::atomic<int> winners[2] = {};  // this round's and the next one's
        std::atomic<int> bad{0};
    };

    [[noreturn]] void Claimer(int i, int rounds, const std::function<void(int)>& lay,
                              const std::function<bool(pid_t)>& names) {
        TUucpLock lock(dir_);
        for (int round = 0; round < rounds; ++round) {
            std::atomic<int>& winners = shared_->winners[round % 2];
            ::pthread_barrier_wait(&shared_->start);
            const bool won = lock.Claim(kDevice);
            if (won) ++winners;
            ::pthread_barrier_wait(&shared_->claimed);
            const int count = winners.load();
            if (i == 0) shared_->winners[(round + 1) % 2] = 0;
            // The first claimer speaks for a round nobody won.
            if (count == 0 && i == 0) {
                ++shared_->bad;
                lock.Release();
                std::filesystem::remove(dir_ + "/LCK..null");
                lay(round + 1);
            }
            if (!won) continue;
            if (count != 1 || !names(::getpid())) ++shared_->bad;
            lock.Release();
            if (::access((dir_ + "/LCK..null").c_str(), F_OK) == 0) ++shared_->bad;
            lay(round + 1);
        }
        ::_exit(0);
    }

    std::string dir_;
    TShared* shared_ = nullptr;
    std::vector<pid_t> pids_;
};

// A stale file one claimer removes while others judge it, link theirs or find it gone:
// a fresh file must never be taken for it.
TEST(UucpLockClaims, OfEightClaimersAtOnceExactlyOneWinsEveryRound) {
    // In memory, as the system's lock folder is (/run/lock), where there is such a place.
    char dir[] = "/dev/shm/hg-claims-XXXXXX";
    TempHome home;
    const std::string locks = ::mkdtemp(dir) ? dir : home.root().string();
    const std::string file = locks + "/LCK..null";
    const auto text = [&file] {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    TClaimers claimers(locks);
    const int wrong = claimers.Run(
        10000,
        [&file](int round) {
            // No file, a dead PID's, old garbage.
            if (round % 3 == 1) std::ofstream(file) << Hdb(serial_test::kDeadPid);
            if (round % 3 == 2) {
                std::ofstream(file) << "garbage";
                const timespec old{std::time(nullptr) - 60, 0}, times[2] = {old, old};
                ::utimensat(AT_FDCWD, file.c_str(), times, 0);
            }
        },
        [&text](pid_t winner) { return text() == Hdb(winner); });
    EXPECT_EQ(wrong, 0);
    fs::remove_all(locks);
}

}  // namespace
