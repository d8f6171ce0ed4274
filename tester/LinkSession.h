#pragma once
// The link session of the configuration window: finds the tester on the serial
// ports, identifies it, checks its version, and carries one command at a time
// with time-out and resend. Its fields are the window's session state.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "base/MessageBoxes.h"
#include "serial/TVarnComPort.h"
#include "store/TIDGroupStore.h"
#include "tester/LinkSessionTexts.h"
#include "tester/ReplyParser.h"
#include "tester/SessionView.h"

enum class TAwaitResult { Stopped, Failed, Succeeded };

class TLinkSession {
public:
    TLinkSession(TSessionView& view, TMessageBoxes& boxes, TVarnCustomComPort& port,
                 TIDGroupStore& store);

    // Session fields; LastPayload and ReplyValid live in Reply.
    uint8_t CurrentPort = 0;
    uint8_t RetryCount = 0;
    uint8_t TickCount = 0;
    bool Stopped = true;
    bool ShortReplies = false;
    bool Identified = false;
    // The running or last session was ended by the user's Cancel.
    bool Cancelled = false;
    TReplyState Reply;
    std::string ReplyData;    // Windows-1252 bytes, as on the line
    std::string LastCommand;  // Windows-1252 bytes
    std::string DataToSend;   // Windows-1252 bytes

    void BeginSession();
    void FindTester();
    void IdentifyTester();
    void SendCommand(int command, uint16_t address);
    void SendDateTime(const std::tm& moment);
    TAwaitResult AwaitReply();
    void EndSession();

    void Timer1Timer();  // the poll, every 100 ms while Timer1 runs
    void Timer2Timer();  // the panel restore
    // ExitButtonClick: true when the caption read "Cancel" and the session was cancelled;
    // false when the button should close the window instead.
    bool ExitButtonClick();

    TVarnCustomComPort& Port() { return port_; }

    // Highest port number the scan tries; it then starts again at 1.
    static constexpr uint8_t kLastScannedPort = 254;
    static constexpr uint8_t kTimeoutTicks = 11;  // poll ticks without a valid reply
    static constexpr uint8_t kMaxTimeouts = 3;    // the wait fails at the third
    // Poll ticks allowed for the reply to the second identification request.
    static constexpr uint8_t kSecondReplyTicks = 3;

    // Seams for tests; the defaults are the real availability test and sleep.
    std::function<bool(unsigned)> Probe;
    std::function<void(std::chrono::milliseconds)> Sleep;
    // Who holds a port that would not open because it is in use ("minicom (PID 4711)");
    // the default asks the system.
    std::function<std::string(unsigned)> HolderOf;

private:
    // Keeps the window's events running until Cancel, the third time-out or a valid
    // reply; `processed` tells whether events were processed at all.
    TAwaitResult WaitForReply(bool& processed);
    void ResetReplyState();
    void AwaitSecondReply();
    // Tries CurrentPort as the scan does, noting in round_ what came of it.
    void TryPort();
    // A round of the ports has ended without a tester: says why on the explanation line.
    void ExplainRound();

    TScanRound round_;

    TSessionView& view_;
    TMessageBoxes& boxes_;
    TVarnCustomComPort& port_;
    TIDGroupStore& store_;
};
