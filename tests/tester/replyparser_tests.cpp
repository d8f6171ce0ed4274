// The check of one reply frame: what is stored, and when the frame counts as valid.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "tester/Frames.h"
#include "tester/ReplyParser.h"

namespace {

std::string Frame(const std::string& payload, const std::string& checksum, char first = ':',
                  char last = '\r') {
    return std::string(1, first) + "00000" + payload + checksum + std::string(1, last);
}

std::string ShortPayload() {
    return "0000" + std::string("SCANIA R450     ");
}
std::string LongPayload() {
    return "0000" + std::string("42414443B8") + std::string(54, '0');
}

}  // namespace

TEST(ReplyFrame, ValidShortAndLongFrames) {
    for (const std::string& payload : {ShortPayload(), LongPayload()}) {
        const std::string frame = Frame(payload, ChecksumText(payload));
        TReplyState state;
        ParseReplyFrame(frame, frame.size(), state);
        EXPECT_TRUE(state.ReplyValid) << frame.size();
        EXPECT_EQ(state.LastPayload, payload);
    }
    EXPECT_EQ(Frame(ShortPayload(), "00").size(), kShortReplyLength);
    EXPECT_EQ(Frame(LongPayload(), "00").size(), kLongReplyLength);
}

TEST(ReplyFrame, EachFailedCheckKeepsTheFlagButReplacesThePayload) {
    const std::string payload = ShortPayload();
    const std::string sum = ChecksumText(payload);
    ASSERT_EQ(sum.find_first_of("ABCDEF") != std::string::npos, true) << sum;
    std::string lower = sum;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string bad[] = {
        Frame(payload, sum, '!'),                   // first character
        Frame(payload, sum, ':', '\n'),             // last character
        Frame(payload, sum == "00" ? "01" : "00"),  // checksum
        Frame(payload, lower),                      // same value in lower case
    };
    for (const std::string& frame : bad) {
        ASSERT_EQ(frame.size(), kShortReplyLength);
        for (bool before : {false, true}) {
            TReplyState state;
            state.ReplyValid = before;
            state.LastPayload = "old";
            ParseReplyFrame(frame, kShortReplyLength, state);
            EXPECT_EQ(state.ReplyValid, before) << frame;
            EXPECT_EQ(state.LastPayload, payload) << frame;
        }
    }
}

TEST(ReplyFrame, ANulEndsTheTextAndFailsTheFrame) {
    std::string payload = ShortPayload();
    std::string frame = Frame(payload, ChecksumText(payload));
    frame[12] = '\0';  // payload position 7
    TReplyState state;
    ParseReplyFrame(frame, kShortReplyLength, state);
    EXPECT_FALSE(state.ReplyValid);
    EXPECT_EQ(state.LastPayload, payload.substr(0, 6));

    // A NUL before the payload leaves an empty payload.
    frame[3] = '\0';
    state.LastPayload = "old";
    ParseReplyFrame(frame, kShortReplyLength, state);
    EXPECT_EQ(state.LastPayload, "");
    EXPECT_FALSE(state.ReplyValid);

    // Even a payload whose checksum matches up to the NUL does not make it valid.
    const std::string withNul = std::string("0000") + '\0' + std::string(15, ' ');
    frame = Frame(withNul, ChecksumText(withNul));
    ParseReplyFrame(frame, kShortReplyLength, state);
    EXPECT_FALSE(state.ReplyValid);
    EXPECT_EQ(state.LastPayload, "0000");
}

TEST(ReplyFrame, FramesOfTheWrongLengthNeverPass) {
    const std::string payload = ShortPayload();
    const std::string frame = Frame(payload, ChecksumText(payload));
    TReplyState state;
    ParseReplyFrame(frame + "x", kShortReplyLength, state);
    EXPECT_FALSE(state.ReplyValid);
    // Whole frame, then a NUL and more: still longer than a reply.
    ParseReplyFrame(frame + std::string(1, '\0') + "xy", kShortReplyLength, state);
    EXPECT_FALSE(state.ReplyValid);
    EXPECT_EQ(state.LastPayload, payload);
    ParseReplyFrame(frame.substr(1), kShortReplyLength, state);
    EXPECT_FALSE(state.ReplyValid);
    ParseReplyFrame(frame, kLongReplyLength, state);
    EXPECT_FALSE(state.ReplyValid);
    ParseReplyFrame("", kShortReplyLength, state);
    EXPECT_FALSE(state.ReplyValid);
    EXPECT_EQ(state.LastPayload, "");
}
