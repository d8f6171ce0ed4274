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

TEST(PortCheck, EachStateInPlainWords) {
    TempHome home;
    PtyPair free, flocked, lockFiled;
    free.LinkAs(home.portsDir(), 1);
    fs::create_symlink(home.root() / "gone", home.portsDir() / "com2");
    flocked.LinkAs(home.portsDir(), 3);
    lockFiled.LinkAs(home.portsDir(), 4);
    std::ofstream(home.root() / "file") << "x";
    ASSERT_EQ(::mkfifo((home.root() / "fifo").c_str(), 0600), 0);
    const char* kinds[] = {"file", "fifo", ""};  // COM5 to COM7; "" is the folder itself
    for (unsigned i = 0; i < 3; ++i)
        fs::create_symlink(home.root() / kinds[i],
                           home.portsDir() / ("com" + std::to_string(5 + i)));
    auto says = [](unsigned n, const std::string& words) {
        const TPortReport r = CheckPort(n);
        return r.words.find(words) != std::string::npos ? "" : r.words;
    };

    EXPECT_EQ(CheckPort(1).state, TPortState::Free);
    EXPECT_EQ(CheckPort(1).device, free.SlavePath());
    EXPECT_EQ(CheckPort(2).state, TPortState::NotPresent);
    EXPECT_EQ(CheckPort(8).state, TPortState::NotPresent);  // no link at all
    ChildHolder holder(flocked.SlavePath());
    ASSERT_TRUE(holder.Held());
    EXPECT_EQ(CheckPort(3).state, TPortState::InUse);
    EXPECT_EQ(says(3, "PID " + std::to_string(holder.Pid())), "");
    if (const TestLockFile lock(lockFiled.LockFile()); lock.Usable()) {
        std::ofstream(lock.File()) << std::string(4, ' ') << ::getppid() << '\n';
        EXPECT_EQ(CheckPort(4).state, TPortState::InUse);
        EXPECT_EQ(says(4, "PID " + std::to_string(::getppid()) + " "), "");
        EXPECT_EQ(says(4, lock.File()), "");
    }
    // Never opened, so the FIFO cannot block the check.
    for (unsigned n : {5u, 6u, 7u}) EXPECT_EQ(CheckPort(n).state, TPortState::NotSerial);
    EXPECT_EQ(says(5, "a regular file"), "");
    EXPECT_EQ(says(6, "a FIFO"), "");
    EXPECT_EQ(says(7, "a directory"), "");

    // Root may open anything; the refusal shows only for an ordinary user.
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(free.SlavePath().c_str(), 0), 0);
        EXPECT_EQ(CheckPort(1).state, TPortState::NotPermitted);
        const std::vector<std::string> warnings = PortPermissionWarnings(1, 8);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(free.SlavePath()), std::string::npos) << warnings[0];
    }
}
