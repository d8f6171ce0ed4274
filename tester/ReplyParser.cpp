#include "tester/ReplyParser.h"

#include <algorithm>
#include <string_view>

#include "serial/TVarnComPort.h"
#include "tester/Frames.h"

namespace {

// Characters `from` (counted from 1) to `to` of text, as far as the text reaches.
std::string_view Positions(std::string_view text, std::size_t from, std::size_t to) {
    if (from == 0 || to < from || from > text.size()) return {};
    return text.substr(from - 1, to - from + 1);
}

void TakeReply(TVarnCustomComPort& port, std::size_t length, TReplyState& state) {
    if (port.InputCount() != static_cast<int>(length)) return;
    std::string frame(length, '\0');
    port.ReadBlock(frame.data(), static_cast<uint16_t>(length));
    ParseReplyFrame(frame, length, state);
}

}  // namespace

void ParseReplyFrame(const std::string& frame, std::size_t length, TReplyState& state) {
    // A NUL ends the text: what follows it is not part of the frame.
    const std::string_view text(frame.data(), std::min(frame.find('\0'), frame.size()));
    state.LastPayload = std::string(Positions(text, 7, length >= 3 ? length - 3 : 0));
    if (length < 9 || frame.size() != length || text.size() != length) return;
    const std::string_view checksum = Positions(text, length - 2, length - 1);
    if (text.front() == ':' && text.back() == kCR && VerifyChecksum(state.LastPayload, checksum))
        state.ReplyValid = true;
}

void ParseLongReply(TVarnCustomComPort& port, TReplyState& state) {
    TakeReply(port, kLongReplyLength, state);
}

void ParseShortReply(TVarnCustomComPort& port, TReplyState& state) {
    TakeReply(port, kShortReplyLength, state);
}
