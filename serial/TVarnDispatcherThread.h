#pragma once
// The three workers of a device layer. Each runs on a thread of its own from Start
// until its loop ends; an unexpected exception is reported and ends only the worker.
// They reach their device layer only through its worker steps.
#include <atomic>
#include <thread>

#include "serial/TVarnWorkerSteps.h"

class TVarnDispatcherThread {
public:
    explicit TVarnDispatcherThread(TVarnWorkerSteps& steps) : steps_(steps) {}
    virtual ~TVarnDispatcherThread();  // waits for the thread to end
    TVarnDispatcherThread(const TVarnDispatcherThread&) = delete;
    TVarnDispatcherThread& operator=(const TVarnDispatcherThread&) = delete;

    void Start();  // may throw std::system_error when no thread can be made
    void Join();
    bool Running() const { return running_.load(); }

protected:
    virtual void Execute() = 0;
    TVarnWorkerSteps& Steps() { return steps_; }

private:
    void Run();

    TVarnWorkerSteps& steps_;
    std::thread thread_;
    std::atomic<bool> running_{false};
};

// Waits for device events and hands each to the dispatcher worker.
class TComThread : public TVarnDispatcherThread {
public:
    using TVarnDispatcherThread::TVarnDispatcherThread;

protected:
    void Execute() override;
};

// Moves received characters into the input ring when the event worker reports them,
// and on its own every 50 ms (every 500 ms once the port has been idle a while).
class TDispThread : public TVarnDispatcherThread {
public:
    using TVarnDispatcherThread::TVarnDispatcherThread;

protected:
    void Execute() override;
};

// Writes the output ring to the device.
class TOutThread : public TVarnDispatcherThread {
public:
    using TVarnDispatcherThread::TVarnDispatcherThread;

protected:
    void Execute() override;
};
