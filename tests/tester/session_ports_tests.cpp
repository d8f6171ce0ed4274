// The scan and haltguard-ids-setup --check-ports judge each port alike: a port the check
// calls free the scan opens and asks; one it calls in use the scan passes with the beep
// of a held port, naming the holder in the same words; any other it never tries. Real
// pseudo-terminals, real holders in processes of their own, lock files where other
// programs look for them.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "serial/PortCheck.h"
#include "serial/ProbePort.h"
#include "serial/TUucpLock.h"
#include "tests/serial/PtyPair.h"
#include "tests/tester/session_Support.h"

using namespace session_test;
using serial_test::ChildHolder;
using serial_test::PtyPair;
namespace fs = std::filesystem;

namespace {

// A lock file in the system's lock folder, as a program that keeps only lock files
// leaves it; removed again afterwards. Laid only where this user may.
class TLaidLock {
public:
    TLaidLock(const std::string& directory, const PtyPair& pty, const std::string& text)
        : file_(directory + "/" + pty.LockName()) {
        if (directory.empty() || ::access(directory.c_str(), W_OK) != 0 || fs::exists(file_))
            return;
        std::ofstream(file_, std::ios::binary) << text;
        Laid = fs::exists(file_);
    }
    ~TLaidLock() {
        std::error_code ec;
        if (Laid) fs::remove(file_, ec);
    }
    TLaidLock(const TLaidLock&) = delete;
    TLaidLock& operator=(const TLaidLock&) = delete;
    bool Laid = false;

private:
    std::string file_;
};

}  // namespace

TEST(ScanAndPortCheck, JudgeEachPortAlike) {
    TRig rig;
    const fs::path ports = rig.home.portsDir();
    const std::string locks = TUucpLock::SystemDirectory();
    PtyPair free, simulated, flocked, opened, exclusive, lockFiled, young, refused;
    free.LinkAs(ports, 1);
    simulated.LinkAs(ports, 2);
    flocked.LinkAs(ports, 3);
    opened.LinkAs(ports, 4);
    exclusive.LinkAs(ports, 5);
    lockFiled.LinkAs(ports, 6);
    young.LinkAs(ports, 7);
    refused.LinkAs(ports, 8);
    fs::create_symlink(rig.home.root() / "ttyUSB9", ports / "com9");
    std::ofstream(rig.home.root() / "file") << "x";
    ASSERT_EQ(::mkfifo((rig.home.root() / "fifo").c_str(), 0600), 0);
    fs::create_symlink(rig.home.root() / "file", ports / "com10");
    fs::create_symlink(rig.home.root() / "fifo", ports / "com11");
    fs::create_symlink(rig.home.root(), ports / "com12");

    // COM2's other side held by another process, as the tester simulator holds it.
    ChildHolder simulator(simulated.SlavePath(), ChildHolder::Nothing);
    ChildHolder flock(flocked.SlavePath(), ChildHolder::Flock);
    ChildHolder minicom(opened.SlavePath(), ChildHolder::OpenOnly);
    ChildHolder exclusiveHolder(exclusive.SlavePath(), ChildHolder::Exclusive);
    const std::string pid = std::to_string(simulator.Pid());
    const TLaidLock live(locks, lockFiled, std::string(10 - pid.size(), ' ') + pid + "\n");
    const TLaidLock writing(locks, young, "");
    const bool asUser = ::geteuid() != 0;
    if (asUser) {
        ASSERT_EQ(::chmod(refused.SlavePath().c_str(), 0), 0);
    }
    ASSERT_TRUE(simulator.Held() && flock.Held() && minicom.Held() && exclusiveHolder.Held());

    // Each case of the check is here (but a node without hardware, which needs a real
    // serial port).
    std::map<unsigned, TPortState> states;
    for (unsigned n = 1; n <= 13; ++n) states[n] = CheckPort(n, locks).state;
    using S = TPortState;
    const std::map<unsigned, TPortState> meant = {
        {1, S::Free},
        {2, S::Free},
        {3, S::InUse},
        {4, S::InUse},
        {5, S::InUse},
        {6, live.Laid ? S::InUse : S::Free},
        {7, writing.Laid ? S::InUse : S::Free},
        {8, asUser ? S::NotPermitted : S::Free},
        {9, S::NoDevice},
        {10, S::NotSerial},
        {11, S::NotSerial},
        {12, S::NotSerial},
        {13, S::NotLinked},
    };
    EXPECT_EQ(states, meant);

    // One round of the real scan over every port.
    std::map<unsigned, std::string> held;
    rig.session->Probe = [](unsigned n) { return ProbePort(n); };
    rig.session->HolderOf = [&held](unsigned n) { return held[n] = HolderWords(PortHolder(n)); };
    rig.view.OnRound = [&rig](int) {
        if (!rig.view.Explanation.empty()) rig.session->ExitButtonClick();
    };
    rig.ops->SendNameButtonClick();
    ASSERT_EQ(rig.view.Status, "Communications aborted");
    std::set<unsigned> tried;
    for (const std::string& line : rig.view.StatusHistory)
        if (line.rfind("Looking for instrument on Com", 0) == 0)
            tried.insert(std::stoul(line.substr(29)));

    for (unsigned n = 1; n <= 254; ++n) {
        const TPortReport report = CheckPort(n, locks);
        SCOPED_TRACE("COM" + std::to_string(n) + ": " + report.words);
        switch (report.state) {
            case S::Free:
                EXPECT_TRUE(tried.count(n) && !held.count(n));
                break;
            case S::InUse:
                ASSERT_TRUE(tried.count(n) && held.count(n));
                EXPECT_EQ(report.words.rfind("in use by " + held[n], 0), 0u);
                break;
            default:
                EXPECT_FALSE(tried.count(n));
        }
    }
    // Held ports beep once each; the silent ones time out three times.
    const int silent = static_cast<int>(tried.size() - held.size());
    EXPECT_EQ(rig.view.Beeps, static_cast<int>(held.size()) + 3 * silent);
}
