#include "serial/TVarnDispatcherThread.h"

#include <exception>
#include <string>

#include "serial/TVarnBaseDispatcher.h"
#include "serial/WorkerErrors.h"

TVarnDispatcherThread::~TVarnDispatcherThread() {
    Join();
}

void TVarnDispatcherThread::Start() {
    running_ = true;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        running_ = false;
        throw;
    }
}

void TVarnDispatcherThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void TVarnDispatcherThread::Run() {
    // A worker's failure ends the worker, never the program.
    try {
        Execute();
    } catch (const std::exception& e) {
        ReportWorkerError(e.what());
    } catch (...) {
        ReportWorkerError("Unknown error in a serial port worker");
    }
    running_ = false;
}

void TComThread::Execute() {
    TVarnBaseDispatcher& d = Dispatcher();
    d.Signal(TVarnBaseDispatcher::EvWorkerAck);
    for (;;) {
        unsigned events = 0;
        const int rc = d.WaitDeviceEvent(!d.inputBlocked_.load(), events);
        ++d.deviceEventCount_;
        if (rc < 0 || d.stop_.load()) {
            d.Signal(TVarnBaseDispatcher::EvWorkerAck);
            return;
        }
        d.lastDeviceEvents_.fetch_or(events);
        d.Signal(TVarnBaseDispatcher::EvDeviceEvent);
        // Wait until the characters are in the ring before asking the device again,
        // or the same characters would wake this loop over and over.
        d.WaitAny(TVarnBaseDispatcher::EvDispatcherDone);
    }
}

void TDispThread::Execute() {
    using std::chrono::milliseconds;
    TVarnBaseDispatcher& d = Dispatcher();
    d.Signal(TVarnBaseDispatcher::EvWorkerAck);
    int idlePasses = 0;
    for (;;) {
        // The timed pass is a safety net: the event worker reports every arrival, since
        // the device is asked level-triggered and cannot miss one. After a second
        // without any event the net is cast less often, which keeps an idle port
        // nearly free; without the event worker it stays at 50 ms.
        const bool resting = idlePasses >= 20 && d.comThread_ && d.comThread_->Running();
        const unsigned taken =
            d.WaitAny(TVarnBaseDispatcher::EvDeviceEvent, milliseconds(resting ? 500 : 50));
        if (d.stop_.load()) return;
        idlePasses = taken ? 0 : idlePasses + 1;
        // Filling refreshes the line status as well, so a status event needs no more.
        d.lastDeviceEvents_.exchange(0);
        d.FillInput();
        // Only an event that the event worker handed over is answered; a timed pass
        // must not release it early.
        if (taken) d.Signal(TVarnBaseDispatcher::EvDispatcherDone);
    }
}

void TOutThread::Execute() {
    TVarnBaseDispatcher& d = Dispatcher();
    struct Running {
        TVarnBaseDispatcher& d;
        explicit Running(TVarnBaseDispatcher& dispatcher) : d(dispatcher) { d.WriterStarted(); }
        ~Running() { d.WriterEnded(); }
    } running(d);
    d.Signal(TVarnBaseDispatcher::EvWorkerAck);
    for (;;) {
        const unsigned taken =
            d.WaitAny(TVarnBaseDispatcher::EvFlushOrStop | TVarnBaseDispatcher::EvOutputReady);
        if (taken == TVarnBaseDispatcher::EvFlushOrStop) {
            d.AcknowledgeFlush();
            if (d.stop_.load()) return;
            continue;
        }
        if (d.stop_.load()) return;
        d.WriteOutput();
        if (d.stop_.load()) return;
    }
}
