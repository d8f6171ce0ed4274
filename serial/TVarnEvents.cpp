#include "serial/TVarnEvents.h"

#include <bit>

void TVarnEvents::Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    set_ = 0;
    flushAsked_ = flushAnswered_ = 0;
}

// The event worker waits for dispatcher-done, the dispatcher worker for device-event,
// the writer for output-ready and flush-or-stop, the caller for the rest.
std::condition_variable& TVarnEvents::WakeOf(unsigned mask) {
    if (mask & DispatcherDone) return comWake_;
    if (mask & DeviceEvent) return dispWake_;
    if (mask & (OutputReady | FlushOrStop)) return outWake_;
    return callerWake_;
}

void TVarnEvents::Signal(unsigned events) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        set_ |= events;
    }
    if (events & DispatcherDone) comWake_.notify_all();
    if (events & DeviceEvent) dispWake_.notify_all();
    if (events & (OutputReady | FlushOrStop)) outWake_.notify_all();
    if (events & WorkerAck) callerWake_.notify_all();
}

unsigned TVarnEvents::WaitAny(unsigned mask, std::chrono::milliseconds timeout) {
    std::condition_variable& wake = WakeOf(mask);
    std::unique_lock<std::mutex> lock(lock_);
    auto ready = [&] { return (set_ & mask) != 0; };
    if (timeout == kForever)
        wake.wait(lock, ready);
    else if (!wake.wait_for(lock, timeout, ready))
        return 0;
    // The higher event wins.
    const unsigned taken = std::bit_floor(set_ & mask);
    set_ &= ~taken;
    return taken;
}

void TVarnEvents::WriterStarted() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        writerRunning_ = true;
    }
    callerWake_.notify_all();
}

void TVarnEvents::WriterEnded() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        writerRunning_ = false;
    }
    callerWake_.notify_all();
}

uint64_t TVarnEvents::AskFlush() {
    uint64_t ticket = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!writerRunning_) return 0;
        ticket = ++flushAsked_;
        set_ |= FlushOrStop;
    }
    outWake_.notify_all();
    return ticket;
}

void TVarnEvents::AwaitFlush(uint64_t ticket) {
    std::unique_lock<std::mutex> lock(lock_);
    callerWake_.wait(lock, [&] { return flushAnswered_ >= ticket || !writerRunning_; });
}

void TVarnEvents::FlushAnswered() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        set_ &= ~static_cast<unsigned>(FlushOrStop);
        flushAnswered_ = flushAsked_;
    }
    callerWake_.notify_all();
}

bool TVarnEvents::FlushPending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return flushAsked_ != flushAnswered_;
}
