#pragma once
// Taking reply frames from the serial port: long replies (77 characters) until
// the tester is identified, short ones (29) afterwards.
#include <cstddef>
#include <string>

class TVarnCustomComPort;

struct TReplyState {
    std::string LastPayload;  // Windows-1252 bytes of the last frame's payload
    bool ReplyValid = false;  // set by a frame that passes every check; never cleared here
};

inline constexpr std::size_t kLongReplyLength = 77;
inline constexpr std::size_t kShortReplyLength = 29;

// Checks one frame of `length` characters (already taken from the port) into state.
void ParseReplyFrame(const std::string& frame, std::size_t length, TReplyState& state);
// Take a reply when exactly 77 (29) characters wait in the port's input ring.
void ParseLongReply(TVarnCustomComPort& port, TReplyState& state);
void ParseShortReply(TVarnCustomComPort& port, TReplyState& state);
