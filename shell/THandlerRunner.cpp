#include "shell/THandlerRunner.h"

#include <QMetaObject>
#include <QWidget>

#include "shell/ExceptionBox.h"
#include "tester/LinkSession.h"
#include "tester/SessionView.h"

THandlerRunner::THandlerRunner(QWidget& window, TLinkSession& session, TSessionView& view)
    : window_(window), session_(session), view_(view) {}

void THandlerRunner::Run(const std::function<void()>& handler) {
    ++depth_;
    try {
        handler();
    } catch (const std::exception& error) {
        Failed(error);
    }
    --depth_;
    if (depth_ == 0 && closePending_) {
        closePending_ = false;
        // From the modal show's own loop, once this handler's frames are gone.
        QMetaObject::invokeMethod(&window_, &QWidget::close, Qt::QueuedConnection);
    }
}

bool THandlerRunner::MayClose() {
    if (depth_ == 0) return true;
    // The running handler goes on (a transfer runs to its end or to Cancel).
    closePending_ = true;
    return false;
}

void THandlerRunner::Failed(const std::exception& error) {
    // A session whose poll runs was cut short: the poll stops before the box, or
    // every tick behind it would resend and beep, and the session ends after it.
    const bool interrupted = view_.PollTimerEnabled();
    view_.SetPollTimer(false);
    ShowExceptionBox(error);
    // Ending it is a handler step of its own: if closing the port fails too, that
    // error gets its box, and with the poll already stopped it ends there.
    if (interrupted) Run([this] { session_.EndSession(); });
}
