#pragma once
// The five operations a user starts from the configuration window to exchange
// data with the tester; each runs one link session. Send IDs and Read IDs work on the
// repository's loaded group, ID by ID.
#include <ctime>
#include <functional>
#include <string>

#include "base/MessageBoxes.h"
#include "store/GroupRepository.h"
#include "tester/LinkSession.h"
#include "tester/SessionView.h"

class TTransferOperations {
public:
    TTransferOperations(TLinkSession& session, TSessionView& view, TMessageBoxes& boxes,
                        TGroupRepository& groups);

    void SendButtonClick();
    void ReadButtonClick();
    void SendNameButtonClick();
    void ReadNameButtonClick();
    void DateSpeedButtonClick();

    // The PC's local date and time (the clock frame); tests fix it.
    std::function<std::tm()> Now;

private:
    // Runs one handler with the session buttons off meanwhile. An exception goes on
    // to the window's handler, which ends a session it cut short.
    void Run(void (TTransferOperations::*body)());
    void SendIDs();
    void ReadIDs();
    void SendName();
    void ReadName();
    void SetDate();
    // BeginSession, and whether the operation may go on; its `commands` are then
    // counted on the progress bar as they are answered. When it may not, the outcome
    // is `notDone` and why.
    bool Begin(int commands, const std::string& notDone);
    // AwaitReply with the stop and failure paths; true when the command was answered.
    bool Answered(const std::string& failureText);
    // The outcome of an operation that Answered ended: `cancelled` or `failed`. A
    // failure's is told in the status box too, which stays until the user's Cancel.
    void CutShort(const std::string& cancelled, const std::string& failed);
    void Succeed(const std::string& statusText, const std::string& outcome);
    // "28 of 128": the commands answered so far of the operation's.
    std::string Answers() const;
    // The 16 characters of the cell in the last reply, as window text.
    std::string ReceivedCell() const;

    TLinkSession& session_;
    TSessionView& view_;
    TMessageBoxes& boxes_;
    TGroupRepository& groups_;
    int answered_ = 0;  // commands of the running operation answered so far
    int commands_ = 0;
    bool failed_ = false;  // Answered's last false was a failure, not Cancel
};
