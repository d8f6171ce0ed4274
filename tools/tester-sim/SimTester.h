#pragma once
// What the simulated tester answers: it cuts received bytes into frames, keeps
// its cells and clock, and builds the replies, faults included. No I/O here.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tester-sim/SimOptions.h"

struct TSimCells {
    std::map<uint16_t, std::string> Cells;  // written cells, 16 Windows-1252 bytes each
    std::string Clock;                      // the last clock digits; "" until set
};

// The addresses this tester keeps a cell for: 01C2 and FC00 to FFF8 in steps of 8.
bool IsSimCellAddress(uint16_t address);

struct TSimAction {
    std::vector<std::string> Log;  // log lines without time stamps ("RX 1 0190", ...)
    std::string Reply;             // bytes to send after the reply delay; "" for none
    bool Changed = false;          // the cells or the clock changed
};

class TSimTester {
public:
    TSimTester(const TSimOptions& options, TSimCells initial);

    // Takes received bytes; one action for each frame they complete.
    std::vector<TSimAction> Receive(std::string_view bytes);
    const TSimCells& State() const { return state_; }

    // Frames longer than this are noise; a write frame is the longest.
    static constexpr std::size_t kLongestFrame = 27;
    static constexpr const char* kNoise = "~#~#~";

private:
    TSimAction Answer(const std::string& frame);
    // What becomes of a command this tester knows: answered; done but its reply lost
    // on the line; or neither, from a tester that is silent or has failed.
    enum class TFate { Answered, Lost, Dead };
    TFate Fate(TSimAction& action);
    std::string ReplyFrame(std::string payload);

    TSimOptions options_;
    TSimCells state_;
    std::string frame_;  // the frame being received; starts with '!' when not empty
    unsigned commands_ = 0;
    unsigned replies_ = 0;
};
