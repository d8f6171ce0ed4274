#include "serial/TVarnBaseDispatcher.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "serial/TVarnDispatcherThread.h"

namespace {

// Given for operations on a dispatcher whose device is not open.
constexpr int kVarnNoDevice = -6;
constexpr auto kAckWait = std::chrono::milliseconds(3000);
constexpr auto kDispatchPeriod = std::chrono::milliseconds(50);

}  // namespace

TVarnBaseDispatcher::TVarnBaseDispatcher() = default;

// Concrete classes close in their own destructor (CloseOnDestroy): by the time this
// runs, the workers must be gone, since they call into the concrete part.
TVarnBaseDispatcher::~TVarnBaseDispatcher() = default;

void TVarnBaseDispatcher::CloseOnDestroy() noexcept {
    if (open_)
        Done();
    else
        Release();
}

void TVarnBaseDispatcher::SettlePause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// ---- events -------------------------------------------------------------------

// Each waiter has a wake-up of its own, so that an event wakes only who waits for it.
std::condition_variable& TVarnBaseDispatcher::WakeOf(unsigned mask) {
    if (mask & EvDispatcherDone) return comWake_;
    if (mask & EvDeviceEvent) return dispWake_;
    if (mask & (EvOutputReady | EvFlushOrStop)) return outWake_;
    return callerWake_;
}

void TVarnBaseDispatcher::Signal(unsigned event) {
    {
        std::lock_guard<std::mutex> guard(eventLock_);
        events_ |= event;
    }
    if (event & EvDispatcherDone) comWake_.notify_all();
    if (event & EvDeviceEvent) dispWake_.notify_all();
    if (event & (EvOutputReady | EvFlushOrStop)) outWake_.notify_all();
    if (event & EvWorkerAck) callerWake_.notify_all();
}

unsigned TVarnBaseDispatcher::WaitAny(unsigned mask, std::chrono::milliseconds timeout) {
    std::condition_variable& wake = WakeOf(mask);
    std::unique_lock<std::mutex> lock(eventLock_);
    auto ready = [&] { return (events_ & mask) != 0; };
    if (timeout == std::chrono::milliseconds::max())
        wake.wait(lock, ready);
    else if (!wake.wait_for(lock, timeout, ready))
        return 0;
    // The higher event wins: flush-or-stop goes before output-ready.
    const unsigned taken = std::bit_floor(events_ & mask);
    events_ &= ~taken;
    return taken;
}

bool TVarnBaseDispatcher::WriteAbandonRequested() const {
    if (stop_.load()) return true;
    std::lock_guard<std::mutex> guard(eventLock_);
    return flushAsked_ != flushAcked_;
}

// ---- opening and closing ------------------------------------------------------

int TVarnBaseDispatcher::Open(const std::string& deviceName, int32_t baud, unsigned lineControl,
                              uint16_t outSize, uint16_t inSize, uint16_t stopBits,
                              uint16_t dataBits, int parity) {
    if (open_) return kVarnAccessDenied;
    {
        std::lock_guard<std::mutex> guard(eventLock_);
        events_ = 0;
        flushAsked_ = flushAcked_ = 0;
    }
    stop_ = false;
    lastDeviceEvents_ = 0;
    inSize_ = inSize;
    outSize_ = outSize;

    int rc = OpenDevice(deviceName);
    if (rc != 0) return rc;
    auto fail = [&](int code) {
        Release();
        CloseDevice();
        open_ = false;
        return code;
    };
    if ((rc = ConfigureDevice()) != 0) return fail(rc);
    if ((rc = SetQueueSizes(inSize, outSize)) != 0) return fail(rc);

    try {
        inRing_.reset(new char[kInputRingSize]());
        outRing_.reset(new char[outSize_ > 0 ? outSize_ : 1]());
    } catch (const std::bad_alloc&) {
        return fail(kVarnOutOfMemory);
    }
    inRead_ = inWrite_ = 0;
    inFull_ = false;
    inputBlocked_ = false;
    outRead_ = outWrite_ = 0;
    outFull_ = false;

    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if ((rc = ReadSettings(settings_)) != 0) return fail(rc);
        dtrHandshake_ = (lineControl & kDtrHandshake) != 0;
        rtsHandshake_ = (lineControl & kRtsHandshake) != 0;
        dtrState_ = (lineControl & kDtrLevel) != 0;
        rtsState_ = (lineControl & kRtsLevel) != 0;
        if ((rc = ApplyLinesLocked()) != 0) return fail(rc);
        lastRate_ = 115200;
    }
    open_ = true;
    if ((rc = SetLine(baud, parity, stopBits, dataBits)) != 0) return fail(rc);
    {
        std::lock_guard<std::mutex> guard(inLock_);
        RefreshStatusLocked(0);
    }
    if ((rc = StartWorkers()) != 0) return fail(rc);
    return 0;
}

int TVarnBaseDispatcher::Done() {
    if (!open_) return 0;
    const int outRc = FlushOutput();
    const int inRc = FlushInput();
    StopWorkers();
    CloseDevice();
    Release();
    open_ = false;
    return outRc != 0 ? outRc : inRc;
}

void TVarnBaseDispatcher::Release() {
    if (started_ || comThread_ || dispThread_ || outThread_) StopWorkers();
    std::lock_guard<std::mutex> in(inLock_);
    std::lock_guard<std::mutex> out(outLock_);
    inRing_.reset();
    outRing_.reset();
    inRead_ = inWrite_ = outRead_ = outWrite_ = 0;
    inFull_ = outFull_ = false;
    inputBlocked_ = false;
}

int TVarnBaseDispatcher::Probe(const std::string& deviceName) {
    if (open_) return kVarnAccessDenied;
    return ProbeDevice(deviceName);
}

int TVarnBaseDispatcher::ProbeDevice(const std::string& deviceName) {
    const int rc = OpenDevice(deviceName);
    if (rc == 0) CloseDevice();
    return rc;
}

// ---- workers ------------------------------------------------------------------

int TVarnBaseDispatcher::StartWorkers() {
    stop_ = false;
    try {
        // Each worker says it is ready; a slow one does not hold up the open for long.
        comThread_ = std::make_unique<TComThread>(*this);
        comThread_->Start();
        WaitAny(EvWorkerAck, kAckWait);
        dispThread_ = std::make_unique<TDispThread>(*this);
        dispThread_->Start();
        WaitAny(EvWorkerAck, kAckWait);
        outThread_ = std::make_unique<TOutThread>(*this);
        outThread_->Start();
        WaitAny(EvWorkerAck, kAckWait);
    } catch (const std::exception&) {
        StopWorkers();
        return kVarnOutOfMemory;
    }
    started_ = true;
    return 0;
}

void TVarnBaseDispatcher::StopWorkers() {
    stop_ = true;
    WakeEventWait();
    Signal(EvDispatcherDone | EvDeviceEvent | EvFlushOrStop);
    WakeWriter();
    // No lock is held while waiting for the workers to end.
    if (outThread_) outThread_->Join();
    if (comThread_) comThread_->Join();
    if (dispThread_) dispThread_->Join();
    outThread_.reset();
    comThread_.reset();
    dispThread_.reset();
    started_ = false;
}

void TVarnBaseDispatcher::WriterStarted() {
    {
        std::lock_guard<std::mutex> guard(eventLock_);
        writerRunning_ = true;
    }
    callerWake_.notify_all();
}

void TVarnBaseDispatcher::WriterEnded() {
    {
        std::lock_guard<std::mutex> guard(eventLock_);
        writerRunning_ = false;
    }
    // A flush waiting for the writer must not wait for a writer that has gone.
    callerWake_.notify_all();
}

// ---- counts -------------------------------------------------------------------

int TVarnBaseDispatcher::InCountLocked() const {
    if (inRead_ == inWrite_) return inFull_ ? kInputRingSize : 0;
    int n = inWrite_ - inRead_;
    return n < 0 ? n + kInputRingSize : n;
}

int TVarnBaseDispatcher::OutCountLocked() const {
    if (outFull_) return outSize_;
    if (outRead_ < outWrite_) return outWrite_ - outRead_;
    if (outWrite_ < outRead_) return outWrite_ + outSize_ - outRead_;
    return 0;
}

void TVarnBaseDispatcher::SetInputFullLocked(bool full) {
    const bool was = inFull_;
    inFull_ = full;
    inputBlocked_ = full;
    // The event worker left arriving characters out of its wait while the ring was
    // full; let it wait for them again.
    if (was && !full) WakeEventWait();
}

void TVarnBaseDispatcher::RefreshStatusLocked(int outCount) {
    unsigned errors = 0;
    int waiting = 0;
    if (ReadStatus(errors, waiting) != 0) return;
    lineErrors_ = errors;
    deviceInCount_ = waiting;
    deviceOutCount_ = outCount;
}

int TVarnBaseDispatcher::InputCount() {
    std::lock_guard<std::mutex> guard(inLock_);
    return InCountLocked();
}

int TVarnBaseDispatcher::OutputCount() {
    std::lock_guard<std::mutex> guard(outLock_);
    return OutCountLocked();
}

// ---- input ring ---------------------------------------------------------------

void TVarnBaseDispatcher::FillInput() {
    std::lock_guard<std::mutex> guard(inLock_);
    if (!inRing_ || inFull_) return;
    {
        unsigned errors = 0;
        int waiting = 0;
        if (ReadStatus(errors, waiting) != 0) return;
        lineErrors_ = errors;
        deviceInCount_ = waiting;
        // Input lock before output lock: the only order in which both are held.
        std::lock_guard<std::mutex> out(outLock_);
        deviceOutCount_ = OutCountLocked();
    }
    const int waiting = deviceInCount_.load();
    if (waiting <= 0) return;

    const int room = kInputRingSize - InCountLocked();
    const int contiguous = inRead_ <= inWrite_ ? kInputRingSize - inWrite_ : room;
    const int total = std::min(room, waiting);

    const int got = ReadDevice(inRing_.get() + inWrite_, contiguous);
    if (got <= 0) return;
    inWrite_ += got;
    if (inWrite_ == kInputRingSize) inWrite_ = 0;
    SetInputFullLocked(inWrite_ == inRead_);
    if (got < contiguous || total <= contiguous) return;

    const int more = ReadDevice(inRing_.get() + inWrite_, total - contiguous);
    if (more <= 0) return;
    inWrite_ += more;
    SetInputFullLocked(inWrite_ == inRead_);
}

int TVarnBaseDispatcher::TakeBlock(char* buffer, int n) {
    if (n < 0 || (n > 0 && !buffer)) return kVarnBadArgument;
    std::lock_guard<std::mutex> guard(inLock_);
    if (!inRing_) return kVarnNoDevice;
    if (InCountLocked() < n) return kVarnBufferEmpty;
    if (n == 0) return 0;  // a full ring stays full
    const int first = std::min(n, kInputRingSize - inRead_);
    std::memcpy(buffer, inRing_.get() + inRead_, first);
    std::memcpy(buffer + first, inRing_.get(), n - first);
    inRead_ += n;
    if (inRead_ >= kInputRingSize) inRead_ -= kInputRingSize;
    SetInputFullLocked(false);
    return n;
}

int TVarnBaseDispatcher::FlushInput() {
    std::lock_guard<std::mutex> guard(inLock_);
    if (!open_) return kVarnNoDevice;
    const int rc = Purge(true);
    inRead_ = inWrite_;
    SetInputFullLocked(false);
    return rc;
}

// ---- output ring --------------------------------------------------------------

int TVarnBaseDispatcher::QueueBlock(const char* data, int n) {
    if (n == 0) return 0;
    if (n < 0 || !data) return kVarnBadArgument;
    {
        std::lock_guard<std::mutex> guard(outLock_);
        if (!outRing_) return kVarnNoDevice;
        const int count = OutCountLocked();
        RefreshStatusLocked(count);
        const int room = outSize_ - count;
        if (n > room) return kVarnOutputFull;
        if (n == room) outFull_ = true;
        const int first = std::min(n, outSize_ - outWrite_);
        std::memcpy(outRing_.get() + outWrite_, data, first);
        std::memcpy(outRing_.get(), data + first, n - first);
        outWrite_ += n;
        if (outWrite_ >= outSize_) outWrite_ -= outSize_;
    }
    Signal(EvOutputReady);
    return 0;
}

bool TVarnBaseDispatcher::NextChunk(int& start, int& length) {
    std::lock_guard<std::mutex> guard(outLock_);
    if (!outRing_) return false;
    const int count = OutCountLocked();
    if (count == 0) return false;
    if (outRead_ < outWrite_) {
        start = outRead_;
        length = outWrite_ - outRead_;
    } else if (outWrite_ != 0) {
        // The contents wrap round the end: turn the ring so they start at 0 and go
        // out in one piece. The free part between them ends up behind them.
        char* ring = outRing_.get();
        std::rotate(ring, ring + outRead_, ring + outSize_);
        outRead_ = 0;
        outWrite_ = count == outSize_ ? 0 : count;
        start = 0;
        length = count;
    } else {
        start = outRead_;
        length = outSize_ - outRead_;
    }
    return true;
}

void TVarnBaseDispatcher::AdvanceOutput(int length) {
    std::lock_guard<std::mutex> guard(outLock_);
    outRead_ += length;
    if (outRead_ >= outSize_) outRead_ -= outSize_;
    if (outRead_ == outWrite_) outRead_ = outWrite_ = 0;
    outFull_ = false;
}

void TVarnBaseDispatcher::WriteOutput() {
    int start = 0, length = 0;
    while (NextChunk(start, length)) {
        // The writer alone reads the occupied part, and the queueing side writes only
        // into the free part, so the chunk is written without the lock.
        const TWriteOutcome outcome = WriteDevice(outRing_.get() + start, length);
        if (outcome == WriteAbandoned) {
            AcknowledgeFlush();
            return;
        }
        // A failed write drops its chunk, so a broken line never blocks the ring.
        AdvanceOutput(length);
    }
}

void TVarnBaseDispatcher::AcknowledgeFlush() {
    // Empty the ring before saying so: once the writer has acknowledged, nothing
    // queued before the flush may go out any more.
    {
        std::lock_guard<std::mutex> guard(outLock_);
        outRead_ = outWrite_ = 0;
        outFull_ = false;
    }
    {
        std::lock_guard<std::mutex> guard(eventLock_);
        events_ &= ~static_cast<unsigned>(EvFlushOrStop);
        flushAcked_ = flushAsked_;
    }
    callerWake_.notify_all();
}

int TVarnBaseDispatcher::FlushOutput() {
    if (!open_) return kVarnNoDevice;
    {
        std::unique_lock<std::mutex> lock(eventLock_);
        if (writerRunning_) {
            const uint64_t ticket = ++flushAsked_;
            events_ |= EvFlushOrStop;
            outWake_.notify_all();
            lock.unlock();
            WakeWriter();
            lock.lock();
            callerWake_.wait(lock, [&] { return flushAcked_ >= ticket || !writerRunning_; });
        }
    }
    std::lock_guard<std::mutex> guard(outLock_);
    outFull_ = false;
    outRead_ = outWrite_ = 0;
    return Purge(false);
}

// ---- line settings and flow control -------------------------------------------

int TVarnBaseDispatcher::ApplyLinesLocked() {
    int rc = 0;
    if (!dtrHandshake_) rc = LineControl(LineDTR, dtrState_);
    if (rc == 0 && !rtsHandshake_) rc = LineControl(LineRTS, rtsState_);
    return rc;
}

int TVarnBaseDispatcher::WriteBlockLocked(TVarnLineSettings& settings) {
    using C = TVarnLineSettings;
    settings.dtrControl = dtrHandshake_ ? C::ControlHandshake
                          : dtrState_   ? C::ControlOn
                                        : C::ControlOff;
    settings.rtsControl = rtsHandshake_ ? C::ControlHandshake
                          : rtsState_   ? C::ControlOn
                                        : C::ControlOff;
    const int rc = WriteSettings(settings);
    if (rc != 0) return rc;
    settings_ = settings;
    return 0;
}

int TVarnBaseDispatcher::SetLine(int32_t baud, int parity, uint16_t stopBits, uint16_t dataBits) {
    if (!open_) return kVarnNoDevice;
    using S = TVarnLineSettings;
    S wanted;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        S current;
        if (const int rc = ReadSettings(current); rc != 0) return rc;
        wanted = current;
        wanted.baud = baud == 0 ? current.baud : baud;
        wanted.parity = parity == 5 ? current.parity : parity;
        wanted.dataBits = dataBits == 9 ? current.dataBits : dataBits;
        if (stopBits == 3) {
            wanted.stopBits = current.stopBits;
        } else {
            const int stops = stopBits == 0 ? 1 : stopBits > 2 ? 2 : stopBits;
            wanted.stopBits = stops == 1 ? S::OneStop : S::TwoStop;
        }
        if (wanted.dataBits == 5) wanted.stopBits = S::OneAndHalfStop;
        if (wanted.SameFormat(current)) return 0;
    }

    // Let what is queued go out at the old settings first.
    for (int i = 0; i < 5000 && OutputCount() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));

    int32_t rate = 0;
    S current;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (const int rc = ReadSettings(current); rc != 0) return rc;
        rate = lastRate_;
    }
    // Settle for 18 character times at the last rate written (100 ns units).
    if (rate > 0) {
        const int bits = current.dataBits + 2 + (current.parity != 0 ? 1 : 0) +
                         (current.stopBits != S::OneStop ? 1 : 0);
        int64_t t = static_cast<int64_t>(10000000 / rate) * bits * 18;
        if (t < 10000) t *= 2;
        const int ms = static_cast<int>((t + 9999) / 10000);
        if (ms > 0) SettlePause(ms);
    }

    std::lock_guard<std::mutex> guard(stateLock_);
    S settings;
    if (const int rc = ReadSettings(settings); rc != 0) return rc;
    settings.baud = wanted.baud;
    settings.parity = wanted.parity;
    settings.dataBits = wanted.dataBits;
    settings.stopBits = wanted.stopBits;
    settings.binary = true;
    settings.parityCheck = false;
    settings.dsrSensitivity = false;
    settings.nullStrip = false;
    settings.txContinueOnXoff = true;
    if (const int rc = WriteBlockLocked(settings); rc != 0) return rc;
    lastRate_ = settings.baud;
    return ApplyLinesLocked();
}

int TVarnBaseDispatcher::CheckMarks(uint16_t stopMark, uint16_t resumeMark) const {
    if (stopMark < resumeMark || stopMark > inSize_) return kVarnBadArgument;
    return 0;
}

int TVarnBaseDispatcher::SetHardwareFlow(uint16_t stopMark, uint16_t resumeMark, unsigned options) {
    if (const int rc = CheckMarks(stopMark, resumeMark); rc != 0) return rc;
    if (!open_) return kVarnNoDevice;
    std::lock_guard<std::mutex> guard(stateLock_);
    TVarnLineSettings s;
    if (const int rc = ReadSettings(s); rc != 0) return rc;
    dtrHandshake_ = (options & kHwDtrHandshake) != 0;
    rtsHandshake_ = (options & kHwRtsHandshake) != 0;
    s.dsrOutFlow = (options & kHwRequireDsr) != 0;
    s.ctsOutFlow = (options & kHwRequireCts) != 0;
    s.xoffLimit = inSize_ - stopMark;
    s.xonLimit = resumeMark;
    if (const int rc = WriteBlockLocked(s); rc != 0) return rc;
    return ApplyLinesLocked();
}

int TVarnBaseDispatcher::SetSoftwareFlow(uint16_t stopMark, uint16_t resumeMark, unsigned options) {
    if (const int rc = CheckMarks(stopMark, resumeMark); rc != 0) return rc;
    if (!open_) return kVarnNoDevice;
    std::lock_guard<std::mutex> guard(stateLock_);
    TVarnLineSettings s;
    if (const int rc = ReadSettings(s); rc != 0) return rc;
    if (options & kSwSend) {
        s.inX = true;
        s.xoffLimit = inSize_ - stopMark;
        s.xonLimit = resumeMark;
    }
    if (options & kSwObey) s.outX = true;
    if (options & (kSwSend | kSwObey)) {
        s.xonChar = 17;
        s.xoffChar = 19;
    }
    if (const int rc = WriteSettings(s); rc != 0) return rc;
    settings_ = s;
    return 0;
}

int TVarnBaseDispatcher::SoftwareFlowOff() {
    if (!open_) return kVarnNoDevice;
    std::lock_guard<std::mutex> guard(stateLock_);
    TVarnLineSettings s;
    if (const int rc = ReadSettings(s); rc != 0) return rc;
    s.inX = false;
    s.outX = false;
    if (const int rc = WriteSettings(s); rc != 0) return rc;
    settings_ = s;
    return 0;
}

int TVarnBaseDispatcher::SetFlowChars(char xon, char xoff) {
    if (!open_) return kVarnNoDevice;
    std::lock_guard<std::mutex> guard(stateLock_);
    TVarnLineSettings s;
    if (const int rc = ReadSettings(s); rc != 0) return rc;
    s.xonChar = xon;
    s.xoffChar = xoff;
    if (const int rc = WriteSettings(s); rc != 0) return rc;
    settings_ = s;
    return 0;
}

int TVarnBaseDispatcher::SetDTR(bool on) {
    if (!open_) return kVarnNoDevice;
    std::lock_guard<std::mutex> guard(stateLock_);
    if (dtrHandshake_) return 0;
    dtrState_ = on;
    settings_.dtrControl = on ? TVarnLineSettings::ControlOn : TVarnLineSettings::ControlOff;
    return LineControl(LineDTR, on);
}

int TVarnBaseDispatcher::SetRTS(bool on) {
    if (!open_) return kVarnNoDevice;
    std::lock_guard<std::mutex> guard(stateLock_);
    if (rtsHandshake_) return 0;
    rtsState_ = on;
    settings_.rtsControl = on ? TVarnLineSettings::ControlOn : TVarnLineSettings::ControlOff;
    return LineControl(LineRTS, on);
}
