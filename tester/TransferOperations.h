#pragma once
// The five operations a user starts from the configuration window to exchange
// data with the tester; each runs one link session.
#include <ctime>
#include <exception>
#include <functional>

#include "store/MessageBoxes.h"
#include "store/TIDGroupStore.h"
#include "tester/LinkSession.h"
#include "tester/SessionView.h"

class TTransferOperations {
public:
    TTransferOperations(TLinkSession& session, TSessionView& view, TMessageBoxes& boxes,
                        TIDGroupStore& store);

    void SendButtonClick();
    void ReadButtonClick();
    void SendNameButtonClick();
    void ReadNameButtonClick();
    void DateSpeedButtonClick();

    // The PC's local date and time (the clock frame); tests fix it.
    std::function<std::tm()> Now;
    // The default error display, for an exception that ends an operation; the
    // session is ended after the display.
    std::function<void(const std::exception&)> ShowError;

private:
    TLinkSession& session_;
    TSessionView& view_;
    TMessageBoxes& boxes_;
    TIDGroupStore& store_;
};
