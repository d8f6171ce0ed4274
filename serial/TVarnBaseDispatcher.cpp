#include "serial/TVarnBaseDispatcher.h"

#include <new>
#include <thread>

#include "serial/TVarnDispatcherThread.h"

namespace {

constexpr auto kAckWait = std::chrono::milliseconds(3000);
// Pending output drains before new line settings: polled this often, at most so many times.
constexpr auto kDrainPoll = std::chrono::milliseconds(2);
constexpr int kDrainPolls = 5000;
// The rate taken as last written at open, for the first settle pause.
constexpr int32_t kRateBeforeOpen = 115200;

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

bool TVarnBaseDispatcher::WriteAbandonRequested() const {
    return stop_.load() || events_.FlushPending();
}

// ---- opening and closing ------------------------------------------------------

int TVarnBaseDispatcher::Open(const std::string& deviceName, int32_t baud, unsigned lineControl,
                              uint16_t outSize, uint16_t inSize, uint16_t stopBits,
                              uint16_t dataBits, int parity) {
    if (open_) return kVarnAccessDenied;
    events_.Reset();
    stop_ = false;
    inSize_ = inSize;

    int rc = OpenDevice(deviceName);
    if (rc != 0) return rc;
    // From here on a failure closes the device and frees the rings.
    auto fail = [&](int code) {
        Release();
        CloseDevice();
        open_ = false;
        return code;
    };
    if ((rc = ConfigureDevice()) != 0) return fail(rc);
    if ((rc = SetQueueSizes(inSize, outSize)) != 0) return fail(rc);
    try {
        inRing_.Allocate();
        outRing_.Allocate(outSize);
    } catch (const std::bad_alloc&) {
        return fail(kVarnOutOfMemory);
    }
    inputBlocked_ = false;

    {
        std::lock_guard<std::mutex> guard(stateLock_);
        // A device that cannot tell its settings cannot take new ones either.
        TVarnLineSettings found;
        if ((rc = ReadSettings(found)) != 0) return fail(rc);
        dtr_ = {(lineControl & kDtrLevel) != 0, (lineControl & kDtrHandshake) != 0};
        rts_ = {(lineControl & kRtsLevel) != 0, (lineControl & kRtsHandshake) != 0};
        if ((rc = ApplyLinesLocked()) != 0) return fail(rc);
        lastRate_ = kRateBeforeOpen;
    }
    open_ = true;
    if ((rc = SetLine(baud, parity, stopBits, dataBits)) != 0) return fail(rc);
    RefreshStatus();
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
    inRing_.Free();
    outRing_.Free();
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

TDeviceHolder TVarnBaseDispatcher::Holder(const std::string& deviceName) {
    return HolderOfDevice(deviceName);
}

TDeviceHolder TVarnBaseDispatcher::HolderOfDevice(const std::string&) {
    return {};
}

// ---- workers ------------------------------------------------------------------

int TVarnBaseDispatcher::StartWorkers() {
    stop_ = false;
    TVarnWorkerSteps& steps = *this;
    // Each worker says it is ready; a slow one does not hold up the open for long.
    auto start = [&](std::unique_ptr<TVarnDispatcherThread>& slot,
                     std::unique_ptr<TVarnDispatcherThread> worker) {
        slot = std::move(worker);
        slot->Start();
        events_.WaitAny(TVarnEvents::WorkerAck, kAckWait);
    };
    try {
        start(comThread_, std::make_unique<TComThread>(steps));
        start(dispThread_, std::make_unique<TDispThread>(steps));
        start(outThread_, std::make_unique<TOutThread>(steps));
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
    events_.Signal(TVarnEvents::DispatcherDone | TVarnEvents::DeviceEvent |
                   TVarnEvents::FlushOrStop);
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

// ---- the rings ------------------------------------------------------------------

int TVarnBaseDispatcher::InputCount() {
    std::lock_guard<std::mutex> guard(inLock_);
    return inRing_.Count();
}

int TVarnBaseDispatcher::OutputCount() {
    std::lock_guard<std::mutex> guard(outLock_);
    return outRing_.Count();
}

int TVarnBaseDispatcher::TakeBlock(char* buffer, int n) {
    if (n < 0 || (n > 0 && !buffer)) return kVarnBadArgument;
    std::lock_guard<std::mutex> guard(inLock_);
    if (!inRing_.Allocated()) return kVarnBadHandle;
    if (!inRing_.Take(buffer, n)) return kVarnBufferEmpty;
    InputFullChanged();
    return n;
}

int TVarnBaseDispatcher::FlushInput() {
    std::lock_guard<std::mutex> guard(inLock_);
    if (!open_) return kVarnBadHandle;
    const int rc = Purge(true);
    inRing_.Discard();
    InputFullChanged();
    return rc;
}

int TVarnBaseDispatcher::QueueBlock(const char* data, int n) {
    if (n == 0) return 0;
    if (n < 0 || !data) return kVarnBadArgument;
    {
        std::lock_guard<std::mutex> guard(outLock_);
        if (!outRing_.Allocated()) return kVarnBadHandle;
        RefreshStatus();
        if (!outRing_.Put(data, n)) return kVarnOutputFull;
    }
    events_.Signal(TVarnEvents::OutputReady);
    return 0;
}

int TVarnBaseDispatcher::FlushOutput() {
    if (!open_) return kVarnBadHandle;
    if (const uint64_t ticket = events_.AskFlush()) {
        WakeWriter();
        events_.AwaitFlush(ticket);
    }
    std::lock_guard<std::mutex> guard(outLock_);
    outRing_.Empty();
    return Purge(false);
}

// ---- line settings and flow control -------------------------------------------

int TVarnBaseDispatcher::ApplyLinesLocked() {
    int rc = 0;
    if (!dtr_.handshake) rc = LineControl(LineDTR, dtr_.level);
    if (rc == 0 && !rts_.handshake) rc = LineControl(LineRTS, rts_.level);
    return rc;
}

int TVarnBaseDispatcher::WriteBlockLocked(TVarnLineSettings& settings) {
    settings.dtrControl = LineControlOf(dtr_.handshake, dtr_.level);
    settings.rtsControl = LineControlOf(rts_.handshake, rts_.level);
    return WriteSettings(settings);
}

int TVarnBaseDispatcher::SetLine(int32_t baud, int parity, uint16_t stopBits, uint16_t dataBits) {
    if (!open_) return kVarnBadHandle;
    TVarnLineSettings wanted;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        TVarnLineSettings current;
        if (const int rc = ReadSettings(current); rc != 0) return rc;
        wanted = RequestedFormat(current, baud, parity, stopBits, dataBits);
        if (wanted.SameFormat(current)) return 0;
    }

    // Let what is queued go out at the old settings first, then let the line settle.
    for (int i = 0; i < kDrainPolls && OutputCount() > 0; ++i)
        std::this_thread::sleep_for(kDrainPoll);
    TVarnLineSettings current;
    int32_t rate = 0;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (const int rc = ReadSettings(current); rc != 0) return rc;
        rate = lastRate_;
    }
    if (const int ms = SettleMilliseconds(current, rate); ms > 0) SettlePause(ms);

    std::lock_guard<std::mutex> guard(stateLock_);
    TVarnLineSettings block;
    if (const int rc = ReadSettings(block); rc != 0) return rc;
    PutFormat(block, wanted);
    if (const int rc = WriteBlockLocked(block); rc != 0) return rc;
    lastRate_ = block.baud;
    return ApplyLinesLocked();
}

int TVarnBaseDispatcher::CheckMarks(uint16_t stopMark, uint16_t resumeMark) const {
    if (stopMark < resumeMark || stopMark > inSize_) return kVarnBadArgument;
    return 0;
}

int TVarnBaseDispatcher::SetHardwareFlow(uint16_t stopMark, uint16_t resumeMark, unsigned options) {
    if (const int rc = CheckMarks(stopMark, resumeMark); rc != 0) return rc;
    if (!open_) return kVarnBadHandle;
    std::lock_guard<std::mutex> guard(stateLock_);
    TVarnLineSettings s;
    if (const int rc = ReadSettings(s); rc != 0) return rc;
    dtr_.handshake = (options & kHwDtrHandshake) != 0;
    rts_.handshake = (options & kHwRtsHandshake) != 0;
    s.dsrOutFlow = (options & kHwRequireDsr) != 0;
    s.ctsOutFlow = (options & kHwRequireCts) != 0;
    s.xoffLimit = inSize_ - stopMark;
    s.xonLimit = resumeMark;
    if (const int rc = WriteBlockLocked(s); rc != 0) return rc;
    return ApplyLinesLocked();
}

template <class Change>
int TVarnBaseDispatcher::RewriteSettings(Change change) {
    if (!open_) return kVarnBadHandle;
    std::lock_guard<std::mutex> guard(stateLock_);
    TVarnLineSettings s;
    if (const int rc = ReadSettings(s); rc != 0) return rc;
    change(s);
    return WriteSettings(s);
}

int TVarnBaseDispatcher::SetSoftwareFlow(uint16_t stopMark, uint16_t resumeMark, unsigned options) {
    if (const int rc = CheckMarks(stopMark, resumeMark); rc != 0) return rc;
    return RewriteSettings([&](TVarnLineSettings& s) {
        if (options & kSwSend) {
            s.inX = true;
            s.xoffLimit = inSize_ - stopMark;
            s.xonLimit = resumeMark;
        }
        if (options & kSwObey) s.outX = true;
        if (options & (kSwSend | kSwObey)) {
            s.xonChar = TVarnLineSettings::kXon;
            s.xoffChar = TVarnLineSettings::kXoff;
        }
    });
}

int TVarnBaseDispatcher::SoftwareFlowOff() {
    return RewriteSettings([](TVarnLineSettings& s) { s.inX = s.outX = false; });
}

int TVarnBaseDispatcher::SetFlowChars(char xon, char xoff) {
    return RewriteSettings([&](TVarnLineSettings& s) {
        s.xonChar = xon;
        s.xoffChar = xoff;
    });
}

int TVarnBaseDispatcher::SetLineLevel(TLine line, bool on) {
    if (!open_) return kVarnBadHandle;
    std::lock_guard<std::mutex> guard(stateLock_);
    TLineState& state = StateOf(line);
    if (state.handshake) return 0;  // the handshake moves the line
    state.level = on;
    return LineControl(line, on);
}

int TVarnBaseDispatcher::SetDTR(bool on) {
    return SetLineLevel(LineDTR, on);
}

int TVarnBaseDispatcher::SetRTS(bool on) {
    return SetLineLevel(LineRTS, on);
}
