// Taking replies from the port object: only exactly 29 (77) waiting characters are
// taken, and a frame that fails still replaces the stored payload.
#include <gtest/gtest.h>

#include <string>

#include "tester/Frames.h"
#include "tester/ReplyParser.h"
#include "tests/common/TempHome.h"
#include "tests/tester/simulator_Support.h"

using namespace sim_test;

namespace {

std::string Reply(const std::string& payload) {
    return ":00000" + payload + ChecksumText(payload) + "\r";
}

const std::string kCell = "0000" + std::string("DAF XF 105      ");

class ReplyFromPort : public ::testing::Test {
protected:
    TempHome home;
    TRawLine line{home.portsDir(), 7};
    std::unique_ptr<TVarnComPort> port = OpenPort(7);
    TReplyState state;

    // Puts bytes in the port's input ring and waits until they are all there.
    void Arrive(const std::string& bytes) {
        const int before = port->InputCount();
        line.Send(bytes);
        ASSERT_EQ(WaitForInput(*port, before + static_cast<int>(bytes.size())),
                  before + static_cast<int>(bytes.size()));
    }
};

}  // namespace

TEST_F(ReplyFromPort, OnlyExactly29WaitingAreTaken) {
    const std::string frame = Reply(kCell);
    Arrive(frame.substr(0, 28));
    ParseShortReply(*port, state);
    EXPECT_EQ(port->InputCount(), 28);
    EXPECT_FALSE(state.ReplyValid);
    EXPECT_EQ(state.LastPayload, "");

    Arrive(frame.substr(28));
    ParseShortReply(*port, state);
    EXPECT_EQ(port->InputCount(), 0);
    EXPECT_TRUE(state.ReplyValid);
    EXPECT_EQ(state.LastPayload, kCell);

    // 30 waiting: nothing is taken and the state stays as it is.
    state = {};
    state.LastPayload = "old";
    Arrive(frame + "x");
    ParseShortReply(*port, state);
    EXPECT_EQ(port->InputCount(), 30);
    EXPECT_FALSE(state.ReplyValid);
    EXPECT_EQ(state.LastPayload, "old");
    // The long parser does not take a short reply either.
    ParseLongReply(*port, state);
    EXPECT_EQ(port->InputCount(), 30);
}

TEST_F(ReplyFromPort, LongReplyOf77) {
    const std::string payload = "0000" + std::string("42414443B8") + std::string(54, '0');
    const std::string frame = Reply(payload);
    Arrive(frame.substr(0, 76));
    ParseLongReply(*port, state);
    EXPECT_EQ(port->InputCount(), 76);
    Arrive(frame.substr(76));
    ParseShortReply(*port, state);  // the wrong length for the short parser
    EXPECT_EQ(port->InputCount(), 77);
    ParseLongReply(*port, state);
    EXPECT_EQ(port->InputCount(), 0);
    EXPECT_TRUE(state.ReplyValid);
    EXPECT_EQ(state.LastPayload, payload);
}

TEST_F(ReplyFromPort, ABadFrameIsTakenButLeavesTheFlag) {
    std::string frame = Reply(kCell);
    frame[27] = static_cast<char>(frame[27] == '0' ? '1' : '0');  // checksum
    state.ReplyValid = true;
    Arrive(frame);
    ParseShortReply(*port, state);
    EXPECT_EQ(port->InputCount(), 0);
    EXPECT_TRUE(state.ReplyValid);  // never cleared here
    EXPECT_EQ(state.LastPayload, kCell);

    // A NUL inside: the payload is cut at it, the frame fails.
    std::string withNul = Reply(kCell);
    withNul[15] = '\0';
    state = {};
    Arrive(withNul);
    ParseShortReply(*port, state);
    EXPECT_EQ(port->InputCount(), 0);
    EXPECT_FALSE(state.ReplyValid);
    EXPECT_EQ(state.LastPayload, kCell.substr(0, 9));
}

TEST(ReplyFromClosedPort, DoesNothing) {
    TempHome home;
    TVarnComPort port;
    TReplyState state;
    state.LastPayload = "kept";
    ParseShortReply(port, state);
    ParseLongReply(port, state);
    EXPECT_EQ(state.LastPayload, "kept");
    EXPECT_FALSE(state.ReplyValid);
}
