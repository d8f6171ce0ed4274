// The port states that haltguard-ids-setup --check-ports reports, on pseudo-terminals
// and on things in the ports folder that are no serial device.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "serial/PortCheck.h"
#include "tests/common/TempHome.h"
#include "tests/serial/PtyPair.h"

using namespace serial_test;
namespace fs = std::filesystem;

namespace {

bool Says(const TPortReport& r, const std::string& words) {
    return r.words.find(words) != std::string::npos;
}

TEST(PortCheck, EachStateInPlainWords) {
    TempHome home;
    PtyPair free, flocked, lockFiled;
    free.LinkAs(home.portsDir(), 1);
    fs::create_symlink(home.root() / "gone", home.portsDir() / "com2");
    flocked.LinkAs(home.portsDir(), 3);
    lockFiled.LinkAs(home.portsDir(), 4);
    std::ofstream(home.root() / "file") << "x";
    fs::create_symlink(home.root() / "file", home.portsDir() / "com5");
    ASSERT_EQ(::mkfifo((home.root() / "fifo").c_str(), 0600), 0);
    fs::create_symlink(home.root() / "fifo", home.portsDir() / "com6");
    fs::create_symlink(home.root(), home.portsDir() / "com7");

    EXPECT_EQ(CheckPort(1).state, TPortState::Free);
    EXPECT_EQ(CheckPort(1).device, free.SlavePath());
    EXPECT_EQ(CheckPort(2).state, TPortState::NotPresent);
    EXPECT_EQ(CheckPort(8).state, TPortState::NotPresent);  // no link at all

    ChildHolder holder(flocked.SlavePath());
    ASSERT_TRUE(holder.Held());
    const TPortReport held = CheckPort(3);
    EXPECT_EQ(held.state, TPortState::InUse);
    EXPECT_TRUE(Says(held, "PID " + std::to_string(holder.Pid()))) << held.words;

    if (const TestLockFile lock(lockFiled.LockFile()); lock.Usable()) {
        std::ofstream(lock.File()) << std::string(4, ' ') << ::getppid() << '\n';
        const TPortReport claimed = CheckPort(4);
        EXPECT_EQ(claimed.state, TPortState::InUse);
        EXPECT_TRUE(Says(claimed, "PID " + std::to_string(::getppid()))) << claimed.words;
        EXPECT_TRUE(Says(claimed, lock.File())) << claimed.words;
    }

    // Never opened, so the FIFO cannot block the check.
    EXPECT_TRUE(Says(CheckPort(5), "a regular file"));
    EXPECT_TRUE(Says(CheckPort(6), "a FIFO"));
    EXPECT_TRUE(Says(CheckPort(7), "a directory"));
    for (unsigned n : {5u, 6u, 7u}) EXPECT_EQ(CheckPort(n).state, TPortState::NotSerial);

    // Root may open anything; the refusal shows only for an ordinary user.
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(free.SlavePath().c_str(), 0), 0);
        const TPortReport refused = CheckPort(1);
        EXPECT_EQ(refused.state, TPortState::NotPermitted);
        EXPECT_NE(refused.fix, "");
        const std::vector<std::string> warnings = PortPermissionWarnings(1, 8);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(free.SlavePath()), std::string::npos) << warnings[0];
    }
}

}  // namespace
