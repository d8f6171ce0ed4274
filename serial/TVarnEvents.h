#pragma once
// The events at which a device layer's caller and its three workers meet. Each is a
// flag that resets when a waiter takes it; all are kept under one lock, so that a
// worker can wait for either of two. A flush of the output ring is also counted, so
// that the writer can tell in the middle of a write that one waits for it.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class TVarnEvents {
public:
    enum TEvent : unsigned {
        DeviceEvent = 1,
        DispatcherDone = 2,
        WorkerAck = 4,
        OutputReady = 8,
        FlushOrStop = 16,
    };
    static constexpr std::chrono::milliseconds kForever = std::chrono::milliseconds::max();

    void Reset();  // nothing set, no flush asked
    void Signal(unsigned events);
    // Takes the first of the events in mask that is set, waiting at most timeout; gives
    // the event taken, or 0. Flush-or-stop goes before output-ready.
    unsigned WaitAny(unsigned mask, std::chrono::milliseconds timeout = kForever);

    // The writer says when it runs, so that no flush waits for a writer that has gone.
    void WriterStarted();
    void WriterEnded();
    // Asks the writer to let go of the output ring: gives the ticket to wait for, or 0
    // when no writer runs.
    uint64_t AskFlush();
    void AwaitFlush(uint64_t ticket);  // until the writer has answered it, or has ended
    void FlushAnswered();              // by the writer: every flush asked so far
    bool FlushPending() const;

private:
    std::condition_variable& WakeOf(unsigned mask);

    mutable std::mutex lock_;
    // Each waiter has a wake-up of its own, so that an event wakes only who waits for it.
    std::condition_variable comWake_, dispWake_, outWake_, callerWake_;
    unsigned set_ = 0;
    uint64_t flushAsked_ = 0;
    uint64_t flushAnswered_ = 0;
    bool writerRunning_ = false;
};
