// The device layer on Windows communication devices: settings, modem lines, the
// full input ring, overlapped writes that a flush abandons, and done.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <future>

#include "serial/PortNames.h"
#include "serial/TVarnWin32Dispatcher.h"
#include "tests/serial/win32_Ports.h"

using namespace win32_test;
using namespace std::chrono_literals;

namespace {

// Settings as the device holds them, and how often they were written.
class Win32Dispatcher : public TVarnWin32Dispatcher {
public:
    ~Win32Dispatcher() override { CloseOnDestroy(); }
    TVarnLineSettings Settings() {
        TVarnLineSettings s;
        EXPECT_EQ(ReadSettings(s), 0);
        return s;
    }
    int SettingsWrites() const { return writes_.load(); }

protected:
    int WriteSettings(const TVarnLineSettings& s) override {
        ++writes_;
        return TVarnWin32Dispatcher::WriteSettings(s);
    }

private:
    std::atomic<int> writes_{0};
};

constexpr unsigned kLinesUp = TVarnBaseDispatcher::kDtrLevel | TVarnBaseDispatcher::kRtsLevel;

class Win32DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        HG_NEED_TEST_PORTS(ports);
        SetUpPort(peer, ports.b);
        peer.SetOpen(true);
    }
    int OpenA(Win32Dispatcher& d, uint16_t outSize = 4096) {
        return d.Open(ComDeviceName(ports.a), 9600, kLinesUp, outSize, 4096, 1, 8, 0);
    }
    // Everything the peer receives until the line has been quiet for quiet.
    std::string Drain(std::chrono::milliseconds quiet = 300ms) {
        std::string got;
        auto last = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - last < quiet) {
            const int n = peer.InputCount();
            if (n > 0) {
                std::string chunk(static_cast<size_t>(n), '\0');
                peer.ReadBlock(chunk.data(), static_cast<uint16_t>(n));
                got += chunk;
                last = std::chrono::steady_clock::now();
            } else {
                std::this_thread::sleep_for(2ms);
            }
        }
        return got;
    }

    TestPorts ports = Ports();
    TVarnComPort peer;  // the far end of the cable, on B
};

TEST_F(Win32DispatcherTest, LineSettingsReachTheDeviceAndEqualOnesWriteNothing) {
    Win32Dispatcher d;
    ASSERT_EQ(OpenA(d), 0);
    TVarnLineSettings s = d.Settings();
    EXPECT_EQ(s.baud, 9600);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.stopBits, TVarnLineSettings::OneStop);
    EXPECT_FALSE(s.outX);
    EXPECT_FALSE(s.inX);
    EXPECT_FALSE(s.ctsOutFlow);

    const int writes = d.SettingsWrites();
    EXPECT_EQ(d.SetLine(9600, 0, 1, 8), 0);
    EXPECT_EQ(d.SettingsWrites(), writes);

    EXPECT_EQ(d.SetLine(19200, 5, 2, 9), 0);  // parity and data bits kept
    s = d.Settings();
    EXPECT_EQ(s.baud, 19200);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, TVarnLineSettings::TwoStop);
    EXPECT_GT(d.SettingsWrites(), writes);

    EXPECT_EQ(d.SetSoftwareFlow(1000, 1000, TVarnBaseDispatcher::kSwObey), 0);
    EXPECT_TRUE(d.Settings().outX);
    EXPECT_EQ(d.SoftwareFlowOff(), 0);
    EXPECT_FALSE(d.Settings().outX);
    EXPECT_EQ(d.SetHardwareFlow(900, 1000, 0), kVarnBadArgument);
    EXPECT_EQ(d.SetHardwareFlow(1000, 1000, 0), 0);
}

TEST_F(Win32DispatcherTest, ParityAndDataBits) {
    Win32Dispatcher d;
    ASSERT_EQ(OpenA(d), 0);
    EXPECT_EQ(d.SetLine(9600, 2, 1, 7), 0);
    const TVarnLineSettings s = d.Settings();
    if (s.parity == 0 && s.dataBits == 8)
        GTEST_SKIP() << "the device keeps 8 data bits without parity (a pseudo-terminal under "
                        "Wine); rate and stop bits are checked in the test before";
    EXPECT_EQ(s.parity, 2);
    EXPECT_EQ(s.dataBits, 7);
}

TEST_F(Win32DispatcherTest, ModemLines) {
    {
        // Whether the device has modem lines at all, asked of the system directly.
        const std::string name = ComDeviceName(ports.a);
        HANDLE h = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        const bool lines = ::EscapeCommFunction(h, SETDTR) != 0;
        const DWORD error = ::GetLastError();
        ::CloseHandle(h);
        if (!lines && error == ERROR_NOT_SUPPORTED)
            GTEST_SKIP() << "the device has no modem lines (a pseudo-terminal under Wine); "
                            "opening with DTR and RTS raised is covered by every other test";
    }
    Win32Dispatcher d;
    ASSERT_EQ(OpenA(d), 0);
    EXPECT_EQ(d.SetDTR(false), 0);
    EXPECT_EQ(d.SetRTS(false), 0);
    EXPECT_EQ(d.SetDTR(true), 0);
    EXPECT_EQ(d.SetRTS(true), 0);
}

TEST_F(Win32DispatcherTest, AFullInputRingLeavesTheRestInTheDevice) {
    Win32Dispatcher d;
    ASSERT_EQ(OpenA(d), 0);
    const std::string sent = PatternBytes(8192 + 1500, 3);
    ASSERT_TRUE(Send(peer, sent));
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == 8192; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(d.InputCount(), 8192);

    // Taking makes room; the rest comes in after, in order.
    std::string got(sent.size(), '\0');
    ASSERT_EQ(d.TakeBlock(got.data(), 4096), 4096);
    ASSERT_TRUE(WaitUntil([&] { return d.InputCount() == static_cast<int>(sent.size()) - 4096; }));
    const int rest = static_cast<int>(sent.size()) - 4096;
    ASSERT_EQ(d.TakeBlock(got.data() + 4096, rest), rest);
    EXPECT_EQ(got, sent);
    EXPECT_EQ(d.TakeBlock(got.data(), 1), kVarnBufferEmpty);
}

TEST_F(Win32DispatcherTest, AWrappedOutputRingGoesOutInOrder) {
    Win32Dispatcher d;
    ASSERT_EQ(OpenA(d, 1024), 0);
    // Pieces of 700 into a ring of 1024 wrap round its end again and again.
    const std::string sent = PatternBytes(700 * 40, 11);
    for (size_t done = 0; done < sent.size(); done += 700) {
        ASSERT_TRUE(WaitUntil([&] { return d.QueueBlock(sent.data() + done, 700) == 0; }));
    }
    EXPECT_EQ(Receive(peer, sent.size()), sent);
}

TEST_F(Win32DispatcherTest, FlushOutputAbandonsAWriteTheLineHolds) {
    Relay relay(ports.control);
    Win32Dispatcher d;
    ASSERT_EQ(OpenA(d), 0);
    ASSERT_TRUE(relay.Hold());

    // Queue until the writer is stuck on the held line: the ring stops emptying.
    const std::string block = PatternBytes(4096, 5);
    size_t queued = 0;
    for (int quiet = 0; quiet < 50 && queued < (64u << 20);) {
        if (d.QueueBlock(block.data(), 4096) == 0) {
            queued += 4096;
            quiet = 0;
        } else {
            ++quiet;
            std::this_thread::sleep_for(5ms);
        }
    }
    ASSERT_GT(d.OutputCount(), 0) << "the held line never stopped the writer";

    auto flushed = std::async(std::launch::async, [&] { return d.FlushOutput(); });
    ASSERT_EQ(flushed.wait_for(5s), std::future_status::ready) << "flush output hangs";
    EXPECT_EQ(flushed.get(), 0);
    EXPECT_EQ(d.OutputCount(), 0);

    ASSERT_TRUE(relay.Release());
    const std::string before = Drain();
    EXPECT_LT(before.size(), queued) << "nothing was discarded";

    // The line works on after the flush, and nothing queued before it follows.
    const std::string mark = "after the flush";
    ASSERT_EQ(d.QueueBlock(mark.data(), static_cast<int>(mark.size())), 0);
    EXPECT_EQ(Drain(), mark);
}

TEST_F(Win32DispatcherTest, DoneClosesTheDeviceAndEndsTheWorkers) {
    {
        Win32Dispatcher d;
        ASSERT_EQ(OpenA(d), 0);
        Win32Dispatcher other;
        EXPECT_EQ(OpenA(other), kVarnAccessDenied);
        EXPECT_EQ(other.FlushInput(), kVarnBadHandle);  // not open

        const std::string text = "queued before done";
        ASSERT_EQ(d.QueueBlock(text.data(), static_cast<int>(text.size())), 0);
        EXPECT_EQ(d.Done(), 0);
        EXPECT_EQ(d.FlushInput(), kVarnBadHandle);  // not open
        EXPECT_EQ(d.InputCount(), 0);
        // The device is free at once.
        EXPECT_EQ(OpenA(other), 0);
        EXPECT_EQ(other.Done(), 0);
    }
    // Destroying an open one closes it as well.
    {
        Win32Dispatcher d;
        ASSERT_EQ(OpenA(d), 0);
    }
    Win32Dispatcher again;
    EXPECT_EQ(OpenA(again), 0);
}

}  // namespace
