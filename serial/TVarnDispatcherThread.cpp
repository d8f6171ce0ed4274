#include "serial/TVarnDispatcherThread.h"

#include <exception>
#include <string>

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
    TVarnWorkerSteps& d = Steps();
    d.Acknowledge();
    while (d.AwaitDeviceEvent() && !d.Stopping()) d.HandOverDeviceEvent();
    d.Acknowledge();
}

void TDispThread::Execute() {
    using std::chrono::milliseconds;
    TVarnWorkerSteps& d = Steps();
    d.Acknowledge();
    int idlePasses = 0;
    for (;;) {
        // The timed pass is a safety net: the event worker reports every arrival, since
        // the device is asked level-triggered and cannot miss one. After a second
        // without any event the net is cast less often, which keeps an idle port
        // nearly free; without the event worker it stays at 50 ms.
        const bool resting = idlePasses >= 20 && d.EventWorkerRunning();
        const bool handed = d.AwaitHandedEvent(milliseconds(resting ? 500 : 50));
        if (d.Stopping()) return;
        idlePasses = handed ? 0 : idlePasses + 1;
        // Filling refreshes the line-error bits whatever the event was; the modem lines
        // are not kept, since no notification is on.
        d.FillInput();
        // Only an event that the event worker handed over is answered; a timed pass
        // must not release it early.
        if (handed) d.DispatchDone();
    }
}

void TOutThread::Execute() {
    TVarnWorkerSteps& d = Steps();
    struct Running {
        TVarnWorkerSteps& d;
        explicit Running(TVarnWorkerSteps& steps) : d(steps) { d.WriterStarted(); }
        ~Running() { d.WriterEnded(); }
    } running(d);
    d.Acknowledge();
    for (;;) {
        if (d.AwaitOutput() == TVarnWorkerSteps::FlushOrStop) {
            d.AcknowledgeFlush();
            if (d.Stopping()) return;
            continue;
        }
        if (d.Stopping()) return;
        d.WriteOutput();
        if (d.Stopping()) return;
    }
}
