#include "shell/THandlerRunner.h"

#include <QMetaObject>
#include <QWidget>

#include "shell/ExceptionBox.h"
#include "tester/LinkSession.h"
#include "tester/SessionView.h"

// One handler's share of the depth, given back however the handler ends; a close
// that waited for the outermost handler goes then.
class THandlerRunner::TDepthGuard {
public:
    explicit TDepthGuard(THandlerRunner& runner) : runner_(runner) { ++runner_.depth_; }
    ~TDepthGuard() {
        if (--runner_.depth_ > 0 || !runner_.closePending_) return;
        runner_.closePending_ = false;
        // From the modal show's own loop, once this handler's frames are gone.
        QMetaObject::invokeMethod(&runner_.window_, &QWidget::close, Qt::QueuedConnection);
    }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;

private:
    THandlerRunner& runner_;
};

THandlerRunner::THandlerRunner(QWidget& window, TLinkSession& session, TSessionView& view)
    : window_(window), session_(session), view_(view) {}

void THandlerRunner::Run(const std::function<void()>& handler) {
    TDepthGuard depth(*this);
    try {
        handler();
    } catch (const std::exception& error) {
        Failed(error.what());
    } catch (...) {
        Failed(kUnknownErrorText);
    }
}

bool THandlerRunner::MayClose() {
    if (depth_ == 0) return true;
    // The running handler goes on (a transfer runs to its end or to Cancel).
    closePending_ = true;
    return false;
}

void THandlerRunner::Failed(const std::string& message) {
    // A session whose poll runs was cut short: the poll stops before the box, or
    // every tick behind it would resend and beep, and the session ends after it.
    const bool interrupted = view_.PollTimerEnabled();
    view_.SetPollTimer(false);
    ShowExceptionBox(message);
    // Ending it is a handler step of its own: if closing the port fails too, that
    // error gets its box, and with the poll already stopped it ends there.
    if (interrupted) Run([this] { session_.EndSession(); });
}
