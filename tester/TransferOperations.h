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
    // counted on the progress bar as they are answered.
    bool Begin(int commands);
    // AwaitReply with the stop and failure paths; true when the command was answered.
    bool Answered(const std::string& failureText);
    void Succeed(const std::string& text);
    // The 16 characters of the cell in the last reply, as window text.
    std::string ReceivedCell() const;

    TLinkSession& session_;
    TSessionView& view_;
    TMessageBoxes& boxes_;
    TGroupRepository& groups_;
    int answered_ = 0;  // commands of the running operation answered so far
    int commands_ = 0;
};
