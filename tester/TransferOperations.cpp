#include "tester/TransferOperations.h"

#include <string>

#include "base/Cp1252.h"
#include "base/DateTimeSource.h"
#include "base/Utf8.h"
#include "store/IDRules.h"
#include "tester/Frames.h"

namespace {

// Switches the session buttons off for as long as one handler runs.
class TSessionButtonsOff {
public:
    explicit TSessionButtonsOff(TSessionView& view) : view_(view) {
        view_.SetSessionButtonsEnabled(false);
    }
    ~TSessionButtonsOff() { view_.SetSessionButtonsEnabled(true); }
    TSessionButtonsOff(const TSessionButtonsOff&) = delete;
    TSessionButtonsOff& operator=(const TSessionButtonsOff&) = delete;

private:
    TSessionView& view_;
};

const char* const kUnableToSend = "Unable to send data";
const char* const kUnableToRead = "Unable to read data";
// Why an operation came to nothing, after what it did not do.
const char* const kCancelledInScan = ": cancelled before the tester was found";
const char* const kUnsuitable = ": the instrument needs software version 4.00 or later";
const char* const kNoAnswer = ": the tester did not answer";

// The commands of the two ID transfers and of the company name operations.
constexpr int kIDCommands = kTrailerSlots + kVehicleSlots;
constexpr int kNameCommands = 1;

// Why a stored text cannot go on the line as it is, or "" when it can: another
// program may have stored a character without a Windows-1252 code, which the line
// would carry as a substitute. `what` names the text ("Vehicle slot 7").
std::string Unsendable(const std::string& what, const std::string& utf8) {
    for (char32_t c : DecodeUtf8(utf8))
        if (!Cp1252Code(c))
            return what + " holds " + QuotedText({&c, 1}) + " (" + CodePointText(c) +
                   "), which is not in Windows-1252 and cannot be sent. Nothing was sent";
    return "";
}

// Why the group cannot be sent as stored (the first slot in line order that cannot),
// or "" when it can.
std::string UnsendableID(const TGroupIDs& ids) {
    for (int k = 0; k < kVehicleSlots; ++k) {
        std::string fault;
        if (k < kTrailerSlots)
            fault = Unsendable("Trailer slot " + std::to_string(k), ids.Trailer[k]);
        if (fault.empty()) fault = Unsendable("Vehicle slot " + std::to_string(k), ids.Vehicle[k]);
        if (!fault.empty()) return fault;
    }
    return "";
}

}  // namespace

TTransferOperations::TTransferOperations(TLinkSession& session, TSessionView& view,
                                         TMessageBoxes& boxes, TGroupRepository& groups)
    : Now(DefaultDateTimeSource().Now),
      session_(session),
      view_(view),
      boxes_(boxes),
      groups_(groups) {}

void TTransferOperations::SendButtonClick() {
    Run(&TTransferOperations::SendIDs);
}
void TTransferOperations::ReadButtonClick() {
    Run(&TTransferOperations::ReadIDs);
}
void TTransferOperations::SendNameButtonClick() {
    Run(&TTransferOperations::SendName);
}
void TTransferOperations::ReadNameButtonClick() {
    Run(&TTransferOperations::ReadName);
}
void TTransferOperations::DateSpeedButtonClick() {
    Run(&TTransferOperations::SetDate);
}

void TTransferOperations::Run(void (TTransferOperations::*body)()) {
    TSessionButtonsOff buttonsOff(view_);
    view_.ShowOutcome("");
    (this->*body)();
}

bool TTransferOperations::Begin(int commands, const std::string& notDone) {
    session_.BeginSession();
    if (session_.Stopped) {
        session_.EndSession();
        view_.ShowOutcome(notDone + (session_.Cancelled ? kCancelledInScan : kUnsuitable));
        return false;
    }
    answered_ = 0;
    commands_ = commands;
    view_.ShowProgress(answered_, commands_);
    return true;
}

bool TTransferOperations::Answered(const std::string& failureText) {
    failed_ = false;
    switch (session_.AwaitReply()) {
        case TAwaitResult::Succeeded:
            view_.ShowProgress(++answered_, commands_);
            return true;
        case TAwaitResult::Stopped:
            view_.SetInstrumentLine("");
            session_.EndSession();
            return false;
        case TAwaitResult::Failed:
            break;
    }
    // Failed: the port stays open and Cancel stays offered, so the user sees where it
    // stopped and leaves the state with Cancel.
    failed_ = true;
    boxes_.Information(failureText);
    view_.SetPollTimer(false);
    return false;
}

void TTransferOperations::CutShort(const std::string& cancelled, const std::string& failed) {
    if (!failed_) return view_.ShowOutcome(cancelled);
    // The status box stays up in this state, its bar stopped where the line went
    // quiet: the explanation in the bar's place says what that left behind.
    view_.HideProgress();
    view_.SetExplanationLine(failed);
    view_.ShowOutcome(failed);
}

void TTransferOperations::Succeed(const std::string& statusText, const std::string& outcome) {
    view_.SetStatusLine(statusText);
    view_.SetInstrumentLine("");
    session_.EndSession();
    view_.ShowOutcome(outcome);
}

std::string TTransferOperations::Answers() const {
    return std::to_string(answered_) + " of " + std::to_string(commands_);
}

std::string TTransferOperations::ReceivedCell() const {
    const std::string& payload = session_.Reply.LastPayload;
    return Cp1252ToUtf8(payload.size() > 4 ? payload.substr(4, kCellLength) : std::string());
}

void TTransferOperations::SendIDs() {
    if (!groups_.IsLoaded()) {
        boxes_.Information("Please select a group to read from");
        return;
    }
    // What is stored is sent, not what the slots show.
    const TGroupIDs ids = groups_.LoadedGroup().IDs();
    if (const std::string fault = UnsendableID(ids); !fault.empty()) {
        boxes_.Information(fault + ": correct the ID, save the group and send again.");
        return;
    }
    if (!Begin(kIDCommands, "IDs not sent")) return;
    view_.SetStatusLine("Sending IDs on Com" + std::to_string(session_.Port().ComNumber()));
    // Every written cell stays written: a send cut short leaves the tester with the
    // first cells of this group and the rest of whatever it held.
    const auto cutShort = [this] {
        const std::string mix = " commands: the tester holds a mix of both groups; send again";
        CutShort("Cancelled after " + Answers() + mix, "No answer after " + Answers() + mix);
    };
    for (int k = 0; k < kVehicleSlots; ++k) {
        if (k < kTrailerSlots) {
            session_.DataToSend = PadToCell(Utf8ToCp1252(ids.Trailer[k]));
            session_.SendCommand(2, TrailerCellAddress(k));
            if (!Answered(kUnableToSend)) return cutShort();
        }
        session_.DataToSend = PadToCell(Utf8ToCp1252(ids.Vehicle[k]));
        session_.SendCommand(2, VehicleCellAddress(k));
        if (!Answered(kUnableToSend)) return cutShort();
    }
    Succeed("IDs successfully sent", "IDs sent to the tester, " + Answers());
}

void TTransferOperations::ReadIDs() {
    if (!groups_.IsLoaded()) {
        boxes_.Information("Please select a group to write to");
        return;
    }
    if (boxes_.Confirm("Overwrite all current IDs?") != TConfirmAnswer::Yes) return;
    if (!Begin(kIDCommands, "IDs not read")) return;
    view_.SetStatusLine("Receiving IDs on Com" + std::to_string(session_.Port().ComNumber()));
    TLoadedGroup& group = groups_.LoadedGroup();
    // One pass over the slots of one kind, each cell stored as it arrives, so that a
    // cancel part-way keeps what was read; false when the operation has ended.
    auto readCells = [&](int count, uint16_t (*address)(int),
                         void (TLoadedGroup::*store)(int, const std::string&)) {
        for (int k = 0; k < count; ++k) {
            session_.SendCommand(3, address(k));
            if (!Answered(kUnableToRead)) return false;
            (group.*store)(k, ReceivedCell());
        }
        return true;
    };
    if (readCells(kTrailerSlots, TrailerCellAddress, &TLoadedGroup::StoreTrailerID) &&
        readCells(kVehicleSlots, VehicleCellAddress, &TLoadedGroup::StoreVehicleID))
        return Succeed("IDs successfully acquired", "IDs read from the tester, " + Answers());
    // Each answered cell was stored as it came.
    const std::string kept = " commands: " + std::to_string(answered_) +
                             " IDs read and stored, the rest of the group as it was; read again";
    CutShort("Cancelled after " + Answers() + kept, "No answer after " + Answers() + kept);
}

void TTransferOperations::SendName() {
    if (const std::string fault = Unsendable("The company name", view_.CompanyName());
        !fault.empty()) {
        boxes_.Information(fault + ".");
        return;
    }
    if (!Begin(kNameCommands, "Company name not sent")) return;
    session_.DataToSend = PadToCell(Utf8ToCp1252(view_.CompanyName()));
    session_.SendCommand(2, kCompanyNameAddress);
    if (!Answered(kUnableToSend))
        return CutShort("Company name not sent: cancelled",
                        std::string("Company name not sent") + kNoAnswer);
    Succeed("Company ID successfully sent", "Company name sent to the tester");
}

void TTransferOperations::ReadName() {
    if (!Begin(kNameCommands, "Company name not read")) return;
    session_.SendCommand(3, kCompanyNameAddress);
    if (!Answered(kUnableToRead))
        return CutShort("Company name not read: cancelled",
                        std::string("Company name not read") + kNoAnswer);
    view_.SetCompanyName(ReceivedCell());
    Succeed("Company ID successfully acquired", "Company name read from the tester");
}

void TTransferOperations::SetDate() {
    const std::string notSet = "The tester's clock was not set";
    session_.BeginSession();
    std::string outcome = notSet + (session_.Cancelled ? kCancelledInScan : kUnsuitable);
    if (!session_.Stopped && session_.ShortReplies && session_.Identified &&
        session_.Port().Open()) {
        session_.SendDateTime(Now());
        const TAwaitResult result = session_.AwaitReply();
        if (session_.RetryCount > 2) {
            view_.SetStatusLine("Unable to set date");
            outcome = notSet + kNoAnswer;
        } else if (result != TAwaitResult::Stopped) {
            view_.SetStatusLine("Date set");
            outcome = "The tester's clock set to the PC's time";
        } else {
            outcome = notSet + ": cancelled";
        }
    }
    view_.SetInstrumentLine("");
    session_.EndSession();
    view_.ShowOutcome(outcome);
}
