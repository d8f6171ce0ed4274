// The device layer against pseudo-terminals: rings, workers, flushing, closing.
#include <gtest/gtest.h>
#include <termios.h>

#include <fstream>

#include "serial/PortNames.h"
#include "serial/WorkerErrors.h"
#include "tests/common/TempHome.h"
#include "tests/serial/PtyPair.h"
#include "tests/serial/TestDispatcher.h"

using namespace serial_test;
using namespace std::chrono_literals;

namespace {

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override { pty.LinkAs(home.portsDir(), 1); }

    int OpenPort(uint16_t outSize = 4096) {
        return d.Open(ComDeviceName(1), 9600, 3, outSize, 4096, 1, 8, 0);
    }
    void Feed(const std::string& data) { ASSERT_TRUE(pty.Write(data)); }
    std::string Take(int n) {
        std::string out(static_cast<size_t>(n), '\0');
        EXPECT_EQ(d.TakeBlock(out.data(), n), n);
        return out;
    }

    TempHome home;
    PtyPair pty;
    TestDispatcher d{home.root().string()};  // lock files in a folder of the test's own
};

TEST_F(DispatcherTest, TakingMoreThanWaitsChangesNothing) {
    ASSERT_EQ(OpenPort(), 0);
    const std::string data = PatternBytes(76, 7);
    Feed(data);
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 76; }));
    char buffer[77];
    EXPECT_EQ(d.TakeBlock(buffer, 77), kVarnBufferEmpty);
    EXPECT_EQ(d.InputCount(), 76);
    EXPECT_EQ(Take(76), data);
    EXPECT_EQ(d.InputCount(), 0);
}

TEST_F(DispatcherTest, InputWrappingRoundTheRingComesOutInOrder) {
    ASSERT_EQ(OpenPort(), 0);
    const std::string first = PatternBytes(8000, 1);
    Feed(first);
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 8000; }));
    EXPECT_EQ(Take(8000), first);
    // 192 characters fit before the end of the ring, the rest go to its start.
    const std::string second = PatternBytes(500, 2);
    Feed(second);
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 500; }));
    EXPECT_EQ(Take(300), second.substr(0, 300));
    EXPECT_EQ(Take(200), second.substr(300));
}

TEST_F(DispatcherTest, FullInputRingLeavesTheRestInTheDevice) {
    ASSERT_EQ(OpenPort(), 0);
    const std::string data = PatternBytes(8192 + 300, 3);
    Feed(data);
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 8192; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(d.InputCount(), 8192);

    // Taking makes room: the rest comes in behind, in order.
    EXPECT_EQ(Take(1000), data.substr(0, 1000));
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 8192 - 1000 + 300; }));
    EXPECT_EQ(Take(8192 - 1000 + 300), data.substr(1000));

    // Full again; a flush discards the ring and what waits in the device.
    Feed(PatternBytes(8192 + 300, 4));
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 8192; }));
    EXPECT_EQ(d.FlushInput(), 0);
    EXPECT_EQ(d.InputCount(), 0);
    Feed("abc");
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 3; }));
    EXPECT_EQ(Take(3), "abc");
}

TEST_F(DispatcherTest, FullRingDoesNotKeepTheWorkersBusy) {
    ASSERT_EQ(OpenPort(), 0);
    Feed(PatternBytes(8192 + 300, 5));
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 8192; }));
    std::this_thread::sleep_for(100ms);
    const uint64_t before = d.DeviceWaits();
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(d.DeviceWaits() - before, 2u);
}

TEST_F(DispatcherTest, FlushInputThenCount) {
    ASSERT_EQ(OpenPort(), 0);
    Feed(PatternBytes(50, 6));
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 50; }));
    EXPECT_EQ(d.FlushInput(), 0);
    EXPECT_EQ(d.InputCount(), 0);
    Feed("z");
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 1; }));
    EXPECT_EQ(Take(1), "z");
}

TEST_F(DispatcherTest, OutputRingTakesExactlyItsSize) {
    ASSERT_EQ(OpenPort(4096), 0);
    d.CloseGate();
    const std::string tooBig = PatternBytes(4097, 8);
    EXPECT_EQ(d.QueueBlock(tooBig.data(), 4097), kVarnOutputFull);
    EXPECT_EQ(d.OutputCount(), 0);
    EXPECT_EQ(d.QueueBlock(nullptr, 0), 0);

    const std::string block = PatternBytes(4096, 9);
    EXPECT_EQ(d.QueueBlock(block.data(), 4096), 0);
    EXPECT_EQ(d.OutputCount(), 4096);
    EXPECT_EQ(d.QueueBlock("x", 1), kVarnOutputFull);
    EXPECT_EQ(d.OutputCount(), 4096);

    d.Allow(-1);
    EXPECT_EQ(pty.ReadExactly(4096), block);
    ASSERT_TRUE(WaitUntil([&] { return d.OutputCount() == 0; }));
    EXPECT_EQ(pty.ReadSome(50ms), "");
}

TEST_F(DispatcherTest, WrappedOutputRingGoesOutInArrivalOrder) {
    ASSERT_EQ(OpenPort(4096), 0);
    d.CloseGate();
    const std::string a = PatternBytes(3000, 10), b = PatternBytes(1000, 11),
                      c = PatternBytes(1500, 12);
    ASSERT_EQ(d.QueueBlock(a.data(), 3000), 0);
    ASSERT_TRUE(WaitUntil([&] { return d.WaitingWriters() == 1; }));
    ASSERT_EQ(d.QueueBlock(b.data(), 1000), 0);
    d.Allow(1);
    EXPECT_EQ(pty.ReadExactly(3000), a);
    ASSERT_TRUE(WaitUntil([&] { return d.WaitingWriters() == 1 && d.OutputCount() == 1000; }));
    // 96 characters fit before the end of the ring, 1404 go to its start.
    ASSERT_EQ(d.QueueBlock(c.data(), 1500), 0);
    d.Allow(1);
    EXPECT_EQ(pty.ReadExactly(1000), b);
    ASSERT_TRUE(WaitUntil([&] { return d.WaitingWriters() == 1; }));
    d.Allow(1);
    EXPECT_EQ(pty.ReadExactly(1500), c);
    // The wrapped contents went out as one turned piece.
    EXPECT_EQ(d.Chunks(), (std::vector<int>{3000, 1000, 1500}));
}

TEST_F(DispatcherTest, FlushOutputAbandonsAWriteAndEmptiesTheRing) {
    ASSERT_EQ(OpenPort(), 0);
    d.CloseGate();
    const std::string stale = PatternBytes(2000, 13);
    ASSERT_EQ(d.QueueBlock(stale.data(), 2000), 0);
    ASSERT_TRUE(WaitUntil([&] { return d.WaitingWriters() == 1; }));
    EXPECT_EQ(d.FlushOutput(), 0);
    EXPECT_EQ(d.OutputCount(), 0);
    d.Allow(-1);
    ASSERT_EQ(d.QueueBlock("fresh", 5), 0);
    EXPECT_EQ(pty.ReadExactly(5), "fresh");
    EXPECT_EQ(pty.ReadSome(50ms), "");
}

TEST_F(DispatcherTest, LineSettingsEqualToTheCurrentOnesWriteNothing) {
    ASSERT_EQ(OpenPort(), 0);
    // At open the device gets 9600 baud after a settle pause reckoned at 115200.
    EXPECT_EQ(d.Pauses(), std::vector<int>{2});
    const int writes = d.SettingsWrites();
    EXPECT_EQ(d.SetLine(9600, 0, 1, 8), 0);
    EXPECT_EQ(d.SetLine(0, 5, 3, 9), 0);  // keep everything
    EXPECT_EQ(d.SettingsWrites(), writes);
    EXPECT_EQ(d.Pauses().size(), 1u);

    // A change pauses for 18 character times at 9600 baud, then writes.
    EXPECT_EQ(d.SetLine(19200, 0, 1, 8), 0);
    EXPECT_EQ(d.SettingsWrites(), writes + 1);
    EXPECT_EQ(d.Pauses(), (std::vector<int>{2, 19}));
    termios t = pty.SlaveSettings();
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);

    // Stop bits and data bits are normalised.
    // Stop bits are normalised (a pseudo-terminal keeps 8 data bits and no parity
    // whatever it is given, so only the stop bits show here).
    EXPECT_EQ(d.SetLine(0, 2, 7, 7), 0);  // above 2 become 2
    t = pty.SlaveSettings();
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(d.SetLine(0, 5, 0, 9), 0);  // 0 becomes 1
    t = pty.SlaveSettings();
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(d.SetLine(0, 5, 1, 5), 0);  // 5 data bits always get one and a half
    t = pty.SlaveSettings();
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_LT(d.SetLine(12345, 0, 1, 8), 0);  // a rate the device has not
}

TEST_F(DispatcherTest, FlowMarksAreChecked) {
    ASSERT_EQ(OpenPort(), 0);
    EXPECT_EQ(d.SetHardwareFlow(900, 1000, 0), kVarnBadArgument);
    EXPECT_EQ(d.SetHardwareFlow(4097, 10, 0), kVarnBadArgument);
    EXPECT_EQ(d.SetSoftwareFlow(900, 1000, 3), kVarnBadArgument);
    EXPECT_EQ(d.SetHardwareFlow(1000, 1000, 0), 0);
    EXPECT_EQ(d.SetHardwareFlow(4096, 0, 8), 0);
    EXPECT_EQ(d.SetSoftwareFlow(3072, 1024, 3), 0);
    EXPECT_EQ(d.SoftwareFlowOff(), 0);
    EXPECT_EQ(d.SetDTR(false), 0);  // no modem lines on a pseudo-terminal: skipped
    EXPECT_EQ(d.SetRTS(false), 0);
}

TEST_F(DispatcherTest, OpeningMissingAndHeldDevices) {
    TestDispatcher other{home.root().string()};
    EXPECT_EQ(other.Open(ComDeviceName(2), 9600, 3, 4096, 4096, 1, 8, 0), kVarnNotFound);
    std::filesystem::create_symlink(home.root() / "nothing", home.portsDir() / "com3");
    EXPECT_EQ(other.Open(ComDeviceName(3), 9600, 3, 4096, 4096, 1, 8, 0), kVarnNotFound);
    // A plain file is not a serial device.
    const auto file = home.root() / "plain";
    { std::ofstream(file.string()) << "x"; }
    std::filesystem::create_symlink(file, home.portsDir() / "com4");
    EXPECT_EQ(other.Open(ComDeviceName(4), 9600, 3, 4096, 4096, 1, 8, 0), kVarnNotFound);

    ChildHolder holder(pty.SlavePath());
    ASSERT_TRUE(holder.Held());
    EXPECT_EQ(OpenPort(), kVarnAccessDenied);
    EXPECT_EQ(d.FlushInput(), kVarnBadHandle);  // not open
    holder.Release();
    EXPECT_EQ(OpenPort(), 0);
    // Two layers in one program meet at the same lock.
    EXPECT_EQ(other.Open(ComDeviceName(1), 9600, 3, 4096, 4096, 1, 8, 0), kVarnAccessDenied);
}

// A program that only has the device open (no lock file, no flock) keeps it from us,
// and turned away we leave the device as we found it: not in exclusive mode, which
// would keep out every other user's program (root gets past it, so make test-as-user
// proves this). The other side of the pseudo-terminal is no holder, nor is this process.
TEST_F(DispatcherTest, AProgramThatOnlyHasTheDeviceOpen) {
    {
        ChildHolder plain(pty.SlavePath(), ChildHolder::OpenOnly);
        ASSERT_EQ(OpenPort(), kVarnAccessDenied);
        ChildHolder another(pty.SlavePath(), ChildHolder::OpenOnly);
        EXPECT_TRUE(another.Held());
    }
    ChildHolder master(pty.SlavePath(), ChildHolder::Nothing);
    ASSERT_TRUE(master.Held());
    const int own = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(own, 0);
    EXPECT_EQ(OpenPort(), 0);
    ::close(own);
    EXPECT_EQ(d.Done(), 0);
}

// A live lock file keeps the device off; a stale one is replaced by ours while open.
TEST_F(DispatcherTest, LockFilesOfOtherPrograms) {
    const std::string lock = home.root().string() + "/" + pty.LockName();
    std::ofstream(lock) << ::getppid() << '\n';  // alive, and not us
    EXPECT_EQ(OpenPort(), kVarnAccessDenied);
    EXPECT_EQ(d.Probe(ComDeviceName(1)), kVarnAccessDenied);  // there, but held
    std::ofstream(lock) << kDeadPid << '\n';
    EXPECT_EQ(d.Probe(ComDeviceName(1)), 0);
    long named = 0;
    std::ifstream(lock) >> named;
    EXPECT_EQ(named, kDeadPid);  // the availability test only looks
    ASSERT_EQ(OpenPort(), 0);
    std::ifstream(lock) >> named;
    EXPECT_EQ(named, ::getpid());
    EXPECT_EQ(d.Done(), 0);
    EXPECT_FALSE(std::filesystem::exists(lock));
}

TEST_F(DispatcherTest, DoneEndsTheWorkersAndClosesTheDevice) {
    const int threadsBefore = ThreadCount();
    ASSERT_EQ(OpenPort(), 0);
    EXPECT_EQ(ThreadCount(), threadsBefore + 3);
    Feed("unread");
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 6; }));
    d.CloseGate();
    ASSERT_EQ(d.QueueBlock("queued", 6), 0);  // held by the gate: lost at done
    ASSERT_TRUE(WaitUntil([&] { return d.WaitingWriters() == 1; }));
    EXPECT_EQ(d.Done(), 0);
    EXPECT_EQ(d.FlushInput(), kVarnBadHandle);  // not open
    EXPECT_EQ(ThreadCount(), threadsBefore);
    EXPECT_EQ(d.InputCount(), 0);
    // With its only user gone, the slave reports closed to the master.
    char c;
    EXPECT_EQ(::read(pty.Master(), &c, 1), -1);
    EXPECT_EQ(errno, EIO);
    // And the device can be opened again at once.
    d.Allow(-1);
    EXPECT_EQ(OpenPort(), 0);
}

TEST_F(DispatcherTest, DeviceWhoseOtherEndHasGone) {
    ASSERT_EQ(OpenPort(), 0);
    Feed("before");
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 6; }));
    pty.CloseMaster();
    std::this_thread::sleep_for(200ms);  // the hang-up has reached the workers
    const uint64_t before = d.DeviceWaits();
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(d.DeviceWaits() - before, 2u);  // no spinning on the hang-up
    // What was taken in stays takeable; writes are dropped, not stuck.
    EXPECT_EQ(Take(6), "before");
    ASSERT_EQ(d.QueueBlock("lost", 4), 0);
    EXPECT_TRUE(WaitUntil([&] { return d.OutputCount() == 0; }));
    EXPECT_EQ(d.FlushOutput(), 0);
    EXPECT_EQ(d.FlushInput(), 0);
    EXPECT_EQ(d.Done(), 0);
    EXPECT_EQ(d.FlushInput(), kVarnBadHandle);  // not open
}

}  // namespace

namespace {

TEST(Rings, AFullRingWithItsIndicesInsideGoesOutInOnePieceInOrder) {
    TVarnOutputRing ring;
    ring.Allocate(4096);
    const std::string a = PatternBytes(3000, 1), b = PatternBytes(1000, 2),
                      c = PatternBytes(3096, 3);
    ASSERT_TRUE(ring.Put(a.data(), 3000) && ring.NextChunk().size() == 3000);
    ASSERT_TRUE(ring.Put(b.data(), 1000));
    ring.Sent(3000);
    ASSERT_TRUE(ring.Put(c.data(), 3096) && ring.Full());  // the indices meet at 3000
    const std::span<const char> chunk = ring.NextChunk();
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), b + c);
    ring.Sent(4096);
    EXPECT_EQ(ring.Count(), 0);
}

// A device layer whose receiving side breaks, to see what a failing worker does.
class BrokenReader : public TestDispatcher {
public:
    using TestDispatcher::TestDispatcher;
    ~BrokenReader() override { CloseOnDestroy(); }

protected:
    int ReadDevice(char*, int) override { throw std::runtime_error("receiving side broke"); }
};

TEST(DispatcherWorkers, AFailingWorkerIsReportedAndEndsAlone) {
    TempHome home;
    PtyPair pty;
    pty.LinkAs(home.portsDir(), 1);
    std::mutex lock;
    std::vector<std::string> reports;
    SetWorkerErrorReporter([&](const std::string& message) {
        std::lock_guard<std::mutex> guard(lock);
        reports.push_back(message);
    });
    const int threads = ThreadCount();
    {
        BrokenReader d(home.root().string());
        ASSERT_EQ(d.Open(ComDeviceName(1), 9600, 3, 4096, 4096, 1, 8, 0), 0);
        ASSERT_TRUE(pty.Write("boom"));
        ASSERT_TRUE(WaitUntil([&] {
            std::lock_guard<std::mutex> guard(lock);
            return !reports.empty();
        }));
        // The writer still works, and closing does not wait for the worker that ended.
        ASSERT_EQ(d.QueueBlock("still", 5), 0);
        EXPECT_EQ(pty.ReadExactly(5), "still");
        EXPECT_EQ(d.Done(), 0);
    }
    SetWorkerErrorReporter(nullptr);
    EXPECT_EQ(reports, std::vector<std::string>{"receiving side broke"});
    EXPECT_EQ(ThreadCount(), threads);
}

}  // namespace
