#pragma once
// What the three workers may do with their device layer: one call for each step of
// their loops. The device layer implements it; the workers see nothing else of it.
#include <chrono>

class TVarnWorkerSteps {
public:
    enum TOutputWake { OutputReady, FlushOrStop };

    // Every worker.
    virtual bool Stopping() const = 0;  // the stop flag
    virtual void Acknowledge() = 0;     // signals worker-acknowledged

    // The event worker (TComThread).
    virtual bool AwaitDeviceEvent() = 0;     // false when the device's wait failed
    virtual void HandOverDeviceEvent() = 0;  // until the dispatcher worker is done with it

    // The dispatcher worker (TDispThread).
    virtual bool AwaitHandedEvent(std::chrono::milliseconds limit) = 0;  // false: timed out
    virtual bool EventWorkerRunning() const = 0;
    virtual void FillInput() = 0;
    virtual void DispatchDone() = 0;  // signals dispatcher-done

    // The writer (TOutThread).
    virtual void WriterStarted() = 0;
    virtual void WriterEnded() = 0;
    virtual TOutputWake AwaitOutput() = 0;
    virtual void WriteOutput() = 0;  // for as long as the output ring holds characters
    virtual void AcknowledgeFlush() = 0;

protected:
    ~TVarnWorkerSteps() = default;
};
