#pragma once
// What the link session shows beyond its fixed status texts: the explanation of a
// round of the scan that found no tester, and any text from outside (the line, the
// system) made fit to show.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One round of the scan over the ports, as far as it tells why no tester answered.
struct TScanRound {
    std::vector<unsigned> silent;                        // opened and asked: no valid reply
    std::vector<std::pair<unsigned, std::string>> held;  // another program has it: who
};

// "COM1 in use by minicom (PID 4711); no answer on COM3: is the tester on and
// connected?", or, when the round tried no port at all, what to do about that.
std::string ExplainScanRound(const TScanRound& round);

// The UTF-8 text with every character that shows nothing (control characters, the
// invisible formatting and direction marks, malformed sequences) as "?".
std::string PrintableLine(std::string_view utf8);
