// The port object: states, the operations on open, closed and missing ports, the
// exceptions with their texts, the flow-control marks.
#include <gtest/gtest.h>
#include <termios.h>

#include <fstream>

#include "serial/PortNames.h"
#include "serial/ProbePort.h"
#include "serial/TVarnComPort.h"
#include "serial/VarnExceptions.h"
#include "tests/common/TempHome.h"
#include "tests/serial/PtyPair.h"

using namespace serial_test;
using namespace std::chrono_literals;

namespace {

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        pty1.LinkAs(home.portsDir(), 1);
        pty3.LinkAs(home.portsDir(), 3);
        // As the configuration window has it.
        port.SetComNumber(1);
        port.SetBaud(9600);
        port.SetAutoOpen(false);
        port.SetBufferFull(1000);
        port.SetBufferResume(1000);
    }

    TempHome home;
    PtyPair pty1, pty3;
    TVarnComPort port{"Commune"};
};

TEST_F(ComPortTest, ReadBlockWithTooFewWaiting) {
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    const std::string reply = PatternBytes(76, 21);
    ASSERT_TRUE(pty1.Write(reply));
    ASSERT_TRUE(WaitUntil([&] { return port.InputCount() == 76; }));
    char buffer[77];
    int code = 0;
    EXPECT_EQ(RaisedText<EBufferIsEmpty>([&] { port.ReadBlock(buffer, 77); }, &code),
              "Buffer is empty");
    EXPECT_EQ(code, -3007);
    EXPECT_EQ(port.InputCount(), 76);
    port.ReadBlock(buffer, 76);
    EXPECT_EQ(std::string(buffer, 76), reply);
    port.ReadBlock(nullptr, 0);  // nothing asked, nothing taken
}

TEST_F(ComPortTest, OperationsOnAClosedPort) {
    EXPECT_EQ(port.InputCount(), 0);
    int code = 0;
    EXPECT_EQ(RaisedText<ECommNotOpen>([&] { port.FlushInput(); }, &code),
              "ie_NOpen - device not open");
    EXPECT_EQ(code, -2007);
    EXPECT_NE(RaisedText<EOpenComm>([&] { port.FlushOutput(); }), "");
    char c;
    EXPECT_NE(RaisedText<ECommNotOpen>([&] { port.ReadBlock(&c, 1); }), "");
    EXPECT_NE(RaisedText<ECommNotOpen>([&] { port.WriteString(""); }), "");
    EXPECT_NE(RaisedText<ECommNotOpen>([&] { port.WriteString("x"); }), "");
    EXPECT_FALSE(port.Open());

    // With AutoOpen an operation opens the port first.
    port.SetAutoOpen(true);
    port.WriteString("auto");
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(pty1.ReadExactly(4), "auto");
}

TEST_F(ComPortTest, WriteStringQueuesAllOrNothing) {
    port.SetOpen(true);
    port.WriteString("");  // nothing, and no error
    EXPECT_EQ(RaisedText<EOutputBufferTooSmall>([&] { port.WriteString(std::string(4097, 'a')); }),
              "Output buffer too small for block");
    port.WriteString("x");
    EXPECT_EQ(pty1.ReadExactly(1), "x");
    EXPECT_EQ(pty1.ReadSome(50ms), "");  // nothing of the refused block went out

    const std::string block = PatternBytes(4096, 22);
    port.WriteString(block);
    EXPECT_EQ(pty1.ReadExactly(4096), block);
}

TEST_F(ComPortTest, OpeningAPortWithNoDevice) {
    port.SetComNumber(2);
    int code = 0;
    EXPECT_EQ(RaisedText<EBadId>([&] { port.SetOpen(true); }, &code),
              "ie_BadId - Specified comport doesn't exist");
    EXPECT_EQ(code, -2001);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.ComNumber(), 2);
    EXPECT_EQ(port.Baud(), 9600);
    port.SetComNumber(3);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
}

TEST_F(ComPortTest, OpeningAPortHeldByAnotherProgram) {
    ChildHolder holder(pty1.SlavePath());
    ASSERT_TRUE(holder.Held());
    EXPECT_TRUE(ProbePort(1));  // held counts as available
    int code = 0;
    EXPECT_EQ(RaisedText<EOpenComm>([&] { port.SetOpen(true); }, &code),
              "ie_Open - device already open");
    EXPECT_EQ(code, -2008);
    EXPECT_NE(RaisedText<EAlreadyOpen>([&] { port.SetOpen(true); }), "");
    EXPECT_FALSE(port.Open());
    holder.Release();
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());

    // A second port object meets the same lock.
    TVarnComPort other;
    other.SetComNumber(1);
    EXPECT_NE(RaisedText<EAlreadyOpen>([&] { other.SetOpen(true); }), "");
}

TEST_F(ComPortTest, SettingOpenToItsValueDoesNothing) {
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
    port.SetOpen(true);
    ASSERT_TRUE(pty1.Write("kept"));
    ASSERT_TRUE(WaitUntil([&] { return port.InputCount() == 4; }));
    port.SetOpen(true);  // not reopened: the input is still there
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.InputCount(), 4);
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.InputCount(), 0);
    // Closed means closed: the device can be held by someone else now.
    ChildHolder holder(pty1.SlavePath());
    EXPECT_TRUE(holder.Held());
}

TEST_F(ComPortTest, ChangingTheNumberOfAnOpenPortReopensIt) {
    port.SetOpen(true);
    port.SetComNumber(3);
    EXPECT_TRUE(port.Open());
    port.WriteString("three");
    EXPECT_EQ(pty3.ReadExactly(5), "three");
    ChildHolder holder(pty1.SlavePath());  // port 1 was let go
    EXPECT_TRUE(holder.Held());
}

TEST_F(ComPortTest, FlowMarks) {
    port.SetBufferResume(1000);
    port.SetBufferFull(900);
    int code = 0;
    EXPECT_EQ(RaisedText<EBadArgument>([&] { port.SetOpen(true); }, &code),
              "Bad argument passed to function");
    EXPECT_EQ(code, -1002);
    EXPECT_FALSE(port.Open());
    port.SetBufferFull(1000);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    port.SetOpen(false);

    // A resume mark above the stop mark is replaced by a tenth of the stop mark.
    port.SetBufferResume(2000);
    EXPECT_EQ(port.BufferResume(), 100);
    // A stop mark beyond the receive queue becomes the whole queue, and opens.
    port.SetBufferFull(60000);
    EXPECT_EQ(port.BufferFull(), 4096);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    port.SetOpen(false);

    // With hardware flow on, unset marks get their defaults from InSize.
    TVarnComPort p;
    p.SetComNumber(3);
    p.SetHWFlowOptions(hwfRequireCTS);
    p.SetOpen(true);
    EXPECT_EQ(p.BufferFull(), 3686);
    EXPECT_EQ(p.BufferResume(), 409);
    p.SetOpen(false);
    TVarnComPort q;
    q.SetComNumber(3);
    q.SetSWFlowOptions(swfBoth);
    q.SetOpen(true);
    EXPECT_EQ(q.BufferFull(), 3072);
    EXPECT_EQ(q.BufferResume(), 1024);
}

TEST_F(ComPortTest, NoPortChosen) {
    const std::string text = "The ComNumber property of the TVarnComPort has not been set";
    port.SetComNumber(0);
    port.SetPromptForPort(false);
    int code = 0;
    EXPECT_EQ(RaisedText<ENoPortSelected>([&] { port.SetOpen(true); }, &code), text);
    EXPECT_EQ(code, -2011);
    port.SetPromptForPort(true);
    EXPECT_EQ(RaisedText<EOpenComm>([&] { port.SetOpen(true); }), text);  // nobody to ask
    port.SetPortChooser([] { return uint16_t{0}; });
    EXPECT_EQ(RaisedText<ENoPortSelected>([&] { port.SetOpen(true); }), text);
    EXPECT_FALSE(port.Open());
    // While the user is asked, a second open (from the nested event loop) does nothing.
    port.SetPortChooser([&] {
        port.SetOpen(true);
        EXPECT_FALSE(port.Open());
        return uint16_t{3};
    });
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber(), 3);
}

TEST_F(ComPortTest, OnlyTheSystemDeviceLayerExists) {
    port.SetDeviceLayer(dlFossil);
    int code = 0;
    EXPECT_EQ(RaisedText<ENullApi>([&] { port.SetOpen(true); }, &code),
              "No device layer specified");
    EXPECT_EQ(code, -3001);
    EXPECT_FALSE(port.Open());
}

TEST_F(ComPortTest, LineSettingsReachAnOpenDeviceAtOnce) {
    port.SetOpen(true);
    auto slaveSpeed = [&] {
        const termios t = pty1.SlaveSettings();
        return ::cfgetospeed(&t);
    };
    EXPECT_EQ(slaveSpeed(), static_cast<speed_t>(B9600));
    port.SetBaud(19200);
    EXPECT_EQ(slaveSpeed(), static_cast<speed_t>(B19200));
    // A rate the device refuses is not kept.
    EXPECT_THROW(port.SetBaud(12345), EInOutError);
    EXPECT_EQ(port.Baud(), 19200);
    EXPECT_EQ(slaveSpeed(), static_cast<speed_t>(B19200));
}

TEST_F(ComPortTest, DestroyingAnOpenPortClosesIt) {
    const int threads = ThreadCount();
    {
        TVarnComPort p;
        p.SetComNumber(3);
        p.SetOpen(true);
        EXPECT_EQ(ThreadCount(), threads + 3);
    }
    EXPECT_EQ(ThreadCount(), threads);
    ChildHolder holder(pty3.SlavePath());
    EXPECT_TRUE(holder.Held());
}

TEST_F(ComPortTest, TheOtherEndGoingAwayWhileOpen) {
    port.SetOpen(true);
    pty1.CloseMaster();
    std::this_thread::sleep_for(100ms);
    port.WriteString("nobody listens");
    port.FlushInput();
    EXPECT_EQ(port.InputCount(), 0);
    char c;
    EXPECT_THROW(port.ReadBlock(&c, 1), EBufferIsEmpty);
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
}

}  // namespace
