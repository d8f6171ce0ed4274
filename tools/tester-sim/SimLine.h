#pragma once
// The simulator's main loop: reads what arrives on the pseudo-terminal, lets the
// tester answer, and sends the replies paced at the line rate after the reply delay.
#include <chrono>
#include <deque>
#include <functional>
#include <string>

#include "tools/tester-sim/SimLog.h"
#include "tools/tester-sim/SimOptions.h"
#include "tools/tester-sim/SimTester.h"

class TSimLine {
public:
    TSimLine(int masterFd, const TSimOptions& options, TSimTester& tester, TSimLog& log,
             std::function<void()> onChange);

    // Runs until a byte arrives on stopFd (the signal pipe); gives that byte.
    int Run(int stopFd);

private:
    using Clock = std::chrono::steady_clock;
    struct TPending {
        std::string Bytes;
        std::size_t Sent = 0;
        Clock::time_point Start;
    };

    void Receive(Clock::time_point now);
    // Writes what is due by now; the time the next byte is due, or max() for none.
    Clock::time_point SendDue(Clock::time_point now);

    int master_;
    TSimOptions options_;
    TSimTester& tester_;
    TSimLog& log_;
    std::function<void()> onChange_;
    std::deque<TPending> queue_;
    Clock::duration charTime_;
    bool hungUp_ = false;   // no program has the slave open
    bool blocked_ = false;  // the last write found the line full
};
