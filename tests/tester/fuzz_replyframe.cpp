// libFuzzer target: arbitrary bytes as a reply frame of either length.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tester/Frames.h"
#include "tester/ReplyParser.h"

namespace {

void Expect(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckFrame(const std::string& frame, std::size_t length) {
    TReplyState state;
    ParseReplyFrame(frame, length, state);
    Expect(state.LastPayload.size() <= length - 9);
    Expect(state.LastPayload.find('\0') == std::string::npos);
    if (state.ReplyValid) {
        // Only a whole frame of the right length without a NUL passes.
        Expect(frame.size() == length && frame.find('\0') == std::string::npos);
        Expect(frame.front() == ':' && frame.back() == '\r');
        Expect(state.LastPayload == frame.substr(6, length - 9));
        Expect(frame.substr(length - 3, 2) == ChecksumText(state.LastPayload));
    }
    // The flag is never cleared.
    TReplyState valid;
    valid.ReplyValid = true;
    ParseReplyFrame(frame, length, valid);
    Expect(valid.ReplyValid && valid.LastPayload == state.LastPayload);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckFrame(bytes, kLongReplyLength);
    CheckFrame(bytes, kShortReplyLength);
    // The same bytes made into frames that pass, whatever their payload.
    for (std::size_t length : {kShortReplyLength, kLongReplyLength}) {
        std::string payload = bytes.substr(0, length - 9);
        payload.resize(length - 9, ' ');
        std::string frame = ":00000" + payload + ChecksumText(payload) + "\r";
        TReplyState state;
        ParseReplyFrame(frame, length, state);
        Expect(state.ReplyValid == (payload.find('\0') == std::string::npos));
    }
    return 0;
}
