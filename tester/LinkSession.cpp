#include "tester/LinkSession.h"

#include <exception>
#include <string>
#include <thread>

#include "base/Cp1252.h"
#include "serial/DeviceHolder.h"
#include "serial/ProbePort.h"
#include "serial/VarnExceptions.h"
#include "tester/Frames.h"

namespace {

// Characters `from` (counted from 1) to `from + count - 1` of text, as far as it reaches.
std::string Characters(const std::string& text, std::size_t from, std::size_t count) {
    if (from == 0 || from > text.size()) return {};
    return text.substr(from - 1, count);
}

const char* const kCancelCaption = "Cancel";
const char* const kExitCaption = "Exit";
const char* const kUnsuitableText =
    "The instrument is not suitable for use with this program\r\n"
    "(Needs to be software version 4.00 or later)";

}  // namespace

TLinkSession::TLinkSession(TSessionView& view, TMessageBoxes& boxes, TVarnCustomComPort& port,
                           TIDGroupStore& store)
    : Probe([](unsigned n) { return ProbePort(n); }),
      Sleep([](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }),
      HolderOf([](unsigned n) { return HolderWords(PortHolder(n)); }),
      view_(view),
      boxes_(boxes),
      port_(port),
      store_(store) {}

void TLinkSession::BeginSession() {
    view_.ShowUpperPage(TUpperPage::GroupName);
    view_.ShowStatusBox(true);
    view_.SetExitCaption(kCancelCaption);
    view_.SetExitRed(true);
    view_.SetStatusLineDefaultColour();
    view_.SetStatusLine("");
    view_.SetInstrumentLine("");
    view_.SetExplanationLine("");
    // The scan's length is unknown: only the operation's own commands are counted.
    view_.HideProgress();
    // A restore still pending from the last session would otherwise hide the status
    // box, show the group buttons and reload the slots in the middle of this one.
    view_.SetRestoreTimer(false);
    Reply.ReplyValid = false;
    ShortReplies = false;
    Stopped = false;
    Cancelled = false;
    TickCount = 0;
    CurrentPort = 1;
    view_.SetPollTimer(true);
    DataToSend.clear();
    FindTester();
    IdentifyTester();
}

TAwaitResult TLinkSession::WaitForReply(bool& processed) {
    processed = false;
    for (;;) {
        if (Stopped) return TAwaitResult::Stopped;
        // A reply taken in the tick of the last time-out comes too late.
        if (RetryCount >= kMaxTimeouts) return TAwaitResult::Failed;
        if (Reply.ReplyValid) return TAwaitResult::Succeeded;
        view_.ProcessMessages();
        processed = true;
    }
}

void TLinkSession::FindTester() {
    // Ports passed since window events last ran: with no port to wait on at all the
    // scan must still let Cancel in, so the events run once per round of the ports.
    unsigned passedWithoutEvents = 0;
    round_ = {};
    --CurrentPort;
    for (;;) {
        port_.SetOpen(false);
        ++CurrentPort;
        if (CurrentPort > kLastScannedPort) {
            CurrentPort = 1;
            ExplainRound();
        }
        if (Probe(CurrentPort)) TryPort();
        const bool opened = port_.Open();
        bool processed = false;
        WaitForReply(processed);
        if (Stopped) return;
        if (Reply.ReplyValid) {
            ReplyData = Characters(Reply.LastPayload, 5, 64);
            view_.SetExplanationLine("");
            return;
        }
        if (opened) round_.silent.push_back(CurrentPort);
        if (processed) {
            passedWithoutEvents = 0;
        } else if (++passedWithoutEvents >= kLastScannedPort) {
            passedWithoutEvents = 0;
            view_.ProcessMessages();
            if (Stopped) return;
        }
    }
}

void TLinkSession::TryPort() {
    view_.SetStatusLine("Looking for instrument on Com" + std::to_string(CurrentPort) + "...");
    port_.SetComNumber(CurrentPort);
    try {
        port_.SetOpen(true);
    } catch (const EOpenComm& e) {
        view_.Beep();
        // A port gone since the availability test is no more than one never there.
        if (e.Code() == kVarnAlreadyOpen)
            round_.held.emplace_back(CurrentPort, HolderOf(CurrentPort));
        return;
    }
    SendCommand(1, kIdentificationAddress);
}

void TLinkSession::ExplainRound() {
    view_.SetExplanationLine(PrintableLine(ExplainScanRound(round_)));
    round_ = {};
}

void TLinkSession::IdentifyTester() {
    SendCommand(1, kSecondIdentificationAddress);
    AwaitSecondReply();
    const std::string instrument = DecodeHexWords(Characters(ReplyData, 1, 8));
    const int version = VersionNumber(ReplyData);
    // After a cancelled scan the instrument number is decoded from whatever payload was
    // kept; shown, it must still be characters.
    view_.SetInstrumentLine(
        PrintableLine(Cp1252ToUtf8(" No:" + instrument + " on COM" + std::to_string(CurrentPort))));
    Identified = true;
    ShortReplies = true;
    if (version < kLowestSuitableVersion && !Stopped) {
        EndSession();
        boxes_.Information(kUnsuitableText);
    }
}

void TLinkSession::AwaitSecondReply() {
    // The tester answers the second request with a long reply. Left to arrive on its
    // own it lands behind the flush of the next command, in front of that command's
    // reply, and costs a time-out with a beep. Its reply is still not used.
    if (!port_.Open() || Stopped) return;
    while (!Stopped && !Reply.ReplyValid && TickCount < kSecondReplyTicks) view_.ProcessMessages();
}

void TLinkSession::ResetReplyState() {
    TickCount = 0;
    RetryCount = 0;
    Reply.ReplyValid = false;
}

void TLinkSession::SendCommand(int command, uint16_t address) {
    ReplyData = Characters(Reply.LastPayload, 5, 64);
    if (port_.Open() && !Stopped) {
        port_.FlushInput();
        port_.FlushOutput();
        LastCommand = BuildCommandFrame(command, address, DataToSend);
        Sleep(std::chrono::milliseconds(1));
        port_.WriteString(LastCommand);
    }
    ResetReplyState();
}

void TLinkSession::SendDateTime(const std::tm& moment) {
    ReplyData = Characters(Reply.LastPayload, 5, 64);
    if (port_.Open() && !Stopped) {
        port_.FlushInput();
        port_.FlushOutput();
        Sleep(std::chrono::milliseconds(1));
        LastCommand = BuildClockFrame(moment);
        port_.WriteString(LastCommand);
    }
    ResetReplyState();
}

TAwaitResult TLinkSession::AwaitReply() {
    bool processed = false;
    return WaitForReply(processed);
}

void TLinkSession::EndSession() {
    // The window is put back to rest even when closing the port fails; the failure
    // is passed on afterwards.
    std::exception_ptr closeFailure;
    try {
        if (port_.Open()) port_.SetOpen(false);
    } catch (...) {
        closeFailure = std::current_exception();
    }
    Stopped = true;
    view_.SetPollTimer(false);
    view_.SetStatusLineDefaultColour();
    view_.SetExitCaption(kExitCaption);
    view_.SetExitRed(false);
    view_.SetRestoreTimer(true);
    if (closeFailure) std::rethrow_exception(closeFailure);
}

void TLinkSession::Timer1Timer() {
    if (ShortReplies)
        ParseShortReply(port_, Reply);
    else
        ParseLongReply(port_, Reply);
    ++TickCount;
    if (TickCount < kTimeoutTicks) return;
    if (port_.Open()) {
        port_.FlushInput();
        port_.WriteString(LastCommand);
    }
    ++RetryCount;
    TickCount = 0;
    view_.Beep();
}

void TLinkSession::Timer2Timer() {
    view_.ShowStatusBox(false);
    const std::string status = view_.StatusLine();
    const bool companyName =
        status == "Company ID successfully acquired" || status == "Company ID successfully sent";
    view_.ShowUpperPage(companyName ? TUpperPage::CompanyName : TUpperPage::GroupName);
    view_.SetRestoreTimer(false);
    store_.LoadGroup();
}

bool TLinkSession::ExitButtonClick() {
    if (view_.ExitCaption() != kCancelCaption) return false;
    Stopped = true;
    Cancelled = true;
    view_.SetStatusLine("Communications aborted");
    view_.SetExitCaption(kExitCaption);
    return true;
}
