#pragma once
// The bookkeeping of the configuration window's event handlers. Every handler runs
// through Run: a close request made meanwhile waits until the outermost handler has
// returned, and every exception that leaves a handler, of whatever type, ends in the
// error box here, the one place that decides what such an exception does to a
// running link session.
#include <functional>
#include <string>

class QWidget;
class TLinkSession;
class TSessionView;

class THandlerRunner {
public:
    // `window` is closed once a deferred close request may go ahead.
    THandlerRunner(QWidget& window, TLinkSession& session, TSessionView& view);

    void Run(const std::function<void()>& handler);
    // A close request: true when the window may close now; otherwise the close
    // follows, from the event loop, once the outermost handler has returned.
    bool MayClose();
    // Whether a handler is running now (its box or its wait is where the user is).
    bool Running() const { return depth_ > 0; }

private:
    class TDepthGuard;
    void Failed(const std::string& message);

    QWidget& window_;
    TLinkSession& session_;
    TSessionView& view_;
    int depth_ = 0;
    bool closePending_ = false;
};
