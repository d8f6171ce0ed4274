// TVarnBaseDispatcher's worker steps (the TVarnWorkerSteps it serves its workers): what
// the event worker, the dispatcher worker and the writer each do with the rings, the
// events and the device in one step of their loops.
#include <algorithm>

#include "serial/TVarnBaseDispatcher.h"
#include "serial/TVarnDispatcherThread.h"

// ---- the event worker's and the dispatcher worker's steps -----------------------

bool TVarnBaseDispatcher::AwaitDeviceEvent() {
    return WaitDeviceEvent(!inputBlocked_.load()) >= 0;
}

void TVarnBaseDispatcher::HandOverDeviceEvent() {
    events_.Signal(TVarnEvents::DeviceEvent);
    // Wait until the characters are in the ring before asking the device again, or the
    // same characters would wake the event worker over and over.
    events_.WaitAny(TVarnEvents::DispatcherDone);
}

bool TVarnBaseDispatcher::AwaitHandedEvent(std::chrono::milliseconds limit) {
    return events_.WaitAny(TVarnEvents::DeviceEvent, limit) != 0;
}

bool TVarnBaseDispatcher::EventWorkerRunning() const {
    return comThread_ && comThread_->Running();
}

int TVarnBaseDispatcher::RefreshStatus() {
    unsigned errors = 0;
    int waiting = 0;
    if (const int rc = ReadStatus(errors, waiting); rc != 0) return rc;
    return waiting;
}

void TVarnBaseDispatcher::InputFullChanged() {
    const bool full = inRing_.Full();
    // Once the ring has room again, the event worker waits for arriving characters too.
    if (inputBlocked_.exchange(full) && !full) WakeEventWait();
}

// One pass: what waits in the device moves into the ring, as far as there is room. The
// device gives at once what it holds; a read that gives less than it asked ends the pass.
void TVarnBaseDispatcher::FillInput() {
    std::lock_guard<std::mutex> guard(inLock_);
    if (!inRing_.Allocated() || inRing_.Full()) return;
    const int waiting = RefreshStatus();
    if (waiting <= 0) return;
    const int total = std::min(inRing_.Room(), waiting);
    const int contiguous = inRing_.ContiguousRoom();

    const int got = ReadDevice(inRing_.WritePlace(), contiguous);
    if (got <= 0) return;
    inRing_.Filled(got);
    InputFullChanged();
    if (got < contiguous || total <= contiguous) return;

    // The rest goes to the start of the ring.
    const int more = ReadDevice(inRing_.WritePlace(), total - contiguous);
    if (more <= 0) return;
    inRing_.Filled(more);
    InputFullChanged();
}

// ---- the writer's steps ---------------------------------------------------------

TVarnWorkerSteps::TOutputWake TVarnBaseDispatcher::AwaitOutput() {
    const unsigned taken = events_.WaitAny(TVarnEvents::FlushOrStop | TVarnEvents::OutputReady);
    return taken == TVarnEvents::FlushOrStop ? FlushOrStop : OutputReady;
}

void TVarnBaseDispatcher::WriteOutput() {
    for (;;) {
        std::span<const char> chunk;
        {
            std::lock_guard<std::mutex> guard(outLock_);
            chunk = outRing_.NextChunk();
        }
        if (chunk.empty()) return;
        // The writer alone reads the occupied part, and the queueing side writes only
        // into the free part, so the chunk is written without the lock.
        const int length = static_cast<int>(chunk.size());
        if (WriteDevice(chunk.data(), length) == WriteAbandoned) {
            AcknowledgeFlush();
            return;
        }
        // A failed write drops its chunk, so a broken line never blocks the ring.
        std::lock_guard<std::mutex> guard(outLock_);
        outRing_.Sent(length);
    }
}

void TVarnBaseDispatcher::AcknowledgeFlush() {
    // Empty the ring before saying so: once the writer has answered, nothing queued
    // before the flush may go out any more.
    {
        std::lock_guard<std::mutex> guard(outLock_);
        outRing_.Empty();
    }
    events_.FlushAnswered();
}
