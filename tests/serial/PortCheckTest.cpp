// The port states that haltguard-ids-setup --check-ports reports, on pseudo-terminals, on
// things in the ports folder that are no serial device, and with lock files of the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "serial/LockFileText.h"
#include "serial/PermissionAdvice.h"
#include "serial/PortCheck.h"
#include "tests/common/TempHome.h"
#include "tests/serial/PtyPair.h"

using namespace serial_test;
namespace fs = std::filesystem;

class PortCheck : public ::testing::Test {
protected:
    std::string Words(unsigned n) const { return CheckPort(n, locks).words; }

    TempHome home;
    const std::string locks = home.root().string();
    PtyPair free;
};

TEST_F(PortCheck, EachStateInPlainWords) {
    PtyPair flocked, lockFiled;
    free.LinkAs(home.portsDir(), 1);
    fs::create_symlink(home.root() / "ttyUSB3", home.portsDir() / "com2");
    flocked.LinkAs(home.portsDir(), 3);
    lockFiled.LinkAs(home.portsDir(), 4);
    std::ofstream(home.root() / "file") << "x";
    ASSERT_EQ(::mkfifo((home.root() / "fifo").c_str(), 0600), 0);
    const char* kinds[] = {"file", "fifo", ""};  // COM5 to COM7; "" is the folder itself
    for (unsigned i = 0; i < 3; ++i)
        fs::create_symlink(home.root() / kinds[i],
                           home.portsDir() / ("com" + std::to_string(5 + i)));

    EXPECT_EQ(Words(1), "present and free");
    EXPECT_EQ(Words(2), "no such device: adapter unplugged, or the link mistyped");
    ChildHolder holder(flocked.SlavePath());
    ASSERT_TRUE(holder.Held());
    EXPECT_EQ(Words(3), "in use by serial_tests (PID " + std::to_string(holder.Pid()) + ")");
    // Never opened, so the FIFO cannot block the check.
    EXPECT_EQ(Words(5), "not a serial device: a regular file");
    EXPECT_EQ(Words(6), "not a serial device: a FIFO (named pipe)");
    EXPECT_EQ(Words(7), "not a serial device: a directory");

    // The holder of a lock file, however much it tells, in every form its writers use.
    const std::string lock = locks + "/" + lockFiled.LockName(), pid = std::to_string(::getpid());
    const std::string padded = std::string(10 - pid.size(), ' ') + pid;
    const int32_t pidNumber = ::getpid();
    std::vector<std::string> texts{padded + "\n", padded + " minicom root\n", "00" + pid,
                                   padded + "\r\n", padded + '\0'};
    // Four binary bytes that happen to be all digits or blanks (PID 13361 is "14") are
    // ASCII by the rule, and name another process: only a PID that cannot be read so.
    const std::string binary(reinterpret_cast<const char*>(&pidNumber), 4);
    if (!CouldBeAscii(binary)) texts.push_back(binary);
    for (const std::string& text : texts) {
        std::ofstream(lock, std::ios::binary) << text;
        EXPECT_EQ(Words(4), "in use by serial_tests (PID " + pid + "), lock file " + lock) << text;
    }
    std::ofstream{lock};
    EXPECT_EQ(Words(4), "in use by another program (its lock file " + lock +
                            " was made just now, its PID not yet in it)");
    if (::geteuid() != 0) {  // root reads every file
        ASSERT_EQ(::chmod(lock.c_str(), 0), 0);
        EXPECT_EQ(Words(4),
                  "in use by another program (its lock file " + lock + " you may not read)");
    }
}

// Programs that lock a device in no way we meet have it all the same: one that only has
// it open (minicom), one in exclusive mode. The other side of a pseudo-terminal, held
// by the program playing the tester, is no holder of the port.
TEST_F(PortCheck, ProgramsThatOnlyHaveTheDeviceOpen) {
    free.LinkAs(home.portsDir(), 1);
    const std::string inUse = "in use by serial_tests (PID ";
    {
        ChildHolder master(free.SlavePath(), ChildHolder::Nothing);
        ASSERT_TRUE(master.Held());
        EXPECT_EQ(Words(1), "present and free");
    }
    {
        ChildHolder opener(free.SlavePath(), ChildHolder::OpenOnly);
        ASSERT_TRUE(opener.Held());
        EXPECT_EQ(Words(1), inUse + std::to_string(opener.Pid()) + ")");
    }
    {
        // By another name of the same device: a link of its own.
        fs::create_symlink(free.SlavePath(), home.root() / "by-id");
        ChildHolder opener((home.root() / "by-id").string(), ChildHolder::OpenOnly);
        ASSERT_TRUE(opener.Held());
        EXPECT_EQ(Words(1), inUse + std::to_string(opener.Pid()) + ")");
    }
    {
        // A pseudo-terminal keeps the exclusive mode after its setter has gone: this one
        // has a device of its own.
        PtyPair other;
        other.LinkAs(home.portsDir(), 2);
        ChildHolder exclusive(other.SlavePath(), ChildHolder::Exclusive);
        ASSERT_TRUE(exclusive.Held());
        EXPECT_EQ(Words(2), inUse + std::to_string(exclusive.Pid()) + ")");
    }
    // This process itself is nobody else.
    const int own = ::open(free.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(own, 0);
    EXPECT_EQ(Words(1), "present and free");
    ::close(own);
}

TEST_F(PortCheck, ADeviceThisUserMayNotOpen) {
    if (::geteuid() == 0) GTEST_SKIP() << "root opens every device; make test-as-user runs this";
    free.LinkAs(home.portsDir(), 1);
    ASSERT_EQ(::chmod(free.SlavePath().c_str(), 0), 0);
    const std::string fix =
        "mode 0000 keeps even its owner (you) out: chmod u+rw " + free.SlavePath();
    EXPECT_EQ(Words(1), "present but not permitted: " + fix);
    EXPECT_EQ(
        PortPermissionWarnings(1, 8),
        std::vector<std::string>{"you may not open " + free.SlavePath() + " (COM1): " + fix + "."});
}

TEST(PermissionAdvice, AFixWhateverKeepsTheUserOut) {
    auto fix = [](unsigned mode, bool nodeInGroup, bool inGroup, bool inGroupNow) {
        return PermissionFix(
            {"/dev/ttyUSB0", mode, false, "root", "dialout", nodeInGroup, inGroup, inGroupNow});
    };
    EXPECT_EQ(fix(0660, true, false, false),
              "you are not in the group dialout: sudo adduser $USER dialout, then log in again");
    EXPECT_EQ(fix(0660, true, true, false),
              "you are in the group dialout, but this session "
              "began before that: log out and in again");
    EXPECT_EQ(fix(0600, true, true, true),
              "mode 0600 keeps all but root out: sudo chmod g+rw "
              "/dev/ttyUSB0 (until it is plugged in again)");
    EXPECT_EQ(fix(0660, false, false, false),
              "mode 0660 keeps all but root out: sudo chgrp dialout /dev/ttyUSB0 && sudo chmod "
              "g+rw /dev/ttyUSB0 (until it is plugged in again), and sudo adduser $USER dialout, "
              "then log in again");
}
