#include "serial/TVarnComPort.h"

#include <algorithm>
#include <climits>
#include <exception>

#include "serial/PortNames.h"
#include "serial/TVarnBaseDispatcher.h"
#include "serial/VarnExceptions.h"
#include "serial/WorkerErrors.h"

namespace {

void Check(int rc) {
    if (rc < 0) RaiseVarnError(rc);
}

}  // namespace

struct TVarnCustomComPort::Impl {
    enum TState { Closed, Open, Closing };

    bool open = false;
    TState state = Closed;
    // Set when Open is asked for during a close, which opens nothing. Nothing acts on
    // it; it is kept as the port's record of the request.
    bool openRequestedWhileClosing = false;
    bool opening = false;  // a nested event loop (the port dialog) must not open twice
    std::unique_ptr<TVarnBaseDispatcher> dispatcher;
    std::function<uint16_t()> chooser;

    bool IsOpen() const { return state == Open && dispatcher; }
};

TVarnCustomComPort::TVarnCustomComPort(std::string name)
    : TVarnBaseComponent(std::move(name)), d(std::make_unique<Impl>()) {}

TVarnCustomComPort::~TVarnCustomComPort() {
    if (d->state != Impl::Open) return;
    try {
        ClosePort();
    } catch (const std::exception& e) {
        ReportWorkerError(e.what());  // a destructor cannot raise; the error is still shown
    }
}

// ---- properties -----------------------------------------------------------------

void TVarnCustomComPort::SetComNumber(uint16_t n) {
    if (d->state != Impl::Open) {
        p_.comNumber = n;
        return;
    }
    ClosePort();
    p_.comNumber = n;
    SetOpen(true);
}

bool TVarnCustomComPort::Open() const {
    return d->open;
}

void TVarnCustomComPort::SetOpen(bool open) {
    if (open == d->open) return;
    if (open) {
        if (d->state == Impl::Closing) {
            d->openRequestedWhileClosing = true;
            return;
        }
        if (d->state == Impl::Closed && !d->opening) OpenPort();
    } else if (d->state == Impl::Open) {
        ClosePort();
    }
}

// A stop mark beyond the device's receive queue cannot be met; it becomes the whole
// queue, so that a later open does not fail on it.
void TVarnCustomComPort::SetBufferFull(uint16_t mark) {
    Store(p_.bufferFull, std::min(mark, p_.inSize), &TVarnCustomComPort::ApplyMarks);
}

void TVarnCustomComPort::SetBufferResume(uint16_t mark) {
    const uint16_t resume = mark > p_.bufferFull ? p_.bufferFull / 10 : mark;
    Store(p_.bufferResume, resume, &TVarnCustomComPort::ApplyMarks);
}

void TVarnCustomComPort::SetPortChooser(std::function<uint16_t()> chooser) {
    d->chooser = std::move(chooser);
}

bool TVarnCustomComPort::DeviceOpen() const {
    return d->IsOpen();
}

void TVarnCustomComPort::ApplyLine() {
    Check(d->dispatcher->SetLine(p_.baud, static_cast<int>(p_.parity), p_.stopBits, p_.dataBits));
}

// The marks are made consistent for the flow control in use before it is applied.
void TVarnCustomComPort::ApplyHardwareFlow() {
    if (p_.hwFlow != 0) {
        if (p_.bufferFull == 0 || p_.bufferFull > p_.inSize) p_.bufferFull = p_.inSize * 9 / 10;
        if (p_.bufferResume == 0 || p_.bufferResume > p_.bufferFull)
            p_.bufferResume = p_.inSize / 10;
    }
    Check(d->dispatcher->SetHardwareFlow(p_.bufferFull, p_.bufferResume, p_.hwFlow & 15u));
}

void TVarnCustomComPort::ApplySoftwareFlow() {
    if (p_.swFlow == swfNone) {
        Check(d->dispatcher->SoftwareFlowOff());
        return;
    }
    if (p_.bufferFull == 0 || p_.bufferFull > p_.inSize) p_.bufferFull = p_.inSize * 3 / 4;
    if (p_.bufferResume == 0 || p_.bufferResume > p_.bufferFull) p_.bufferResume = p_.inSize / 4;
    unsigned options = 0;
    if (p_.swFlow == swfReceive || p_.swFlow == swfBoth) options |= TVarnBaseDispatcher::kSwSend;
    if (p_.swFlow == swfTransmit || p_.swFlow == swfBoth) options |= TVarnBaseDispatcher::kSwObey;
    Check(d->dispatcher->SetSoftwareFlow(p_.bufferFull, p_.bufferResume, options));
}

// The marks act through whichever flow control is on.
void TVarnCustomComPort::ApplyMarks() {
    ApplyHardwareFlow();
    if (p_.swFlow != swfNone) ApplySoftwareFlow();
}

void TVarnCustomComPort::ApplyFlowChars() {
    Check(d->dispatcher->SetFlowChars(p_.xonChar, p_.xoffChar));
}

void TVarnCustomComPort::ApplyDTR() {
    Check(d->dispatcher->SetDTR(p_.dtr));
}

void TVarnCustomComPort::ApplyRTS() {
    Check(d->dispatcher->SetRTS(p_.rts));
}

// ---- operations -----------------------------------------------------------------

// Whether an operation goes ahead: on an open port yes; on a closing one it does
// nothing; on a closed one it opens first (AutoOpen) or raises.
bool TVarnCustomComPort::ReadyForUse() {
    if (d->state == Impl::Open) return true;
    if (d->state == Impl::Closing) return false;
    if (!p_.autoOpen) RaiseVarnError(kVarnNotOpen);
    SetOpen(true);
    if (!d->IsOpen()) RaiseVarnError(kVarnNotOpen);
    return true;
}

void TVarnCustomComPort::FlushInput() {
    if (ReadyForUse()) Check(d->dispatcher->FlushInput());
}

void TVarnCustomComPort::FlushOutput() {
    if (ReadyForUse()) Check(d->dispatcher->FlushOutput());
}

int TVarnCustomComPort::InputCount() {
    return d->IsOpen() ? d->dispatcher->InputCount() : 0;
}

void TVarnCustomComPort::ReadBlock(char* buffer, uint16_t n) {
    if (!ReadyForUse()) return;
    if (n > 0 && !buffer) RaiseVarnError(kVarnBadArgument);
    Check(d->dispatcher->TakeBlock(buffer, n));
}

void TVarnCustomComPort::WriteString(const std::string& bytes) {
    if (!ReadyForUse() || bytes.empty()) return;
    if (bytes.size() > static_cast<size_t>(INT_MAX)) RaiseVarnError(kVarnOutputFull);
    Check(d->dispatcher->QueueBlock(bytes.data(), static_cast<int>(bytes.size())));
}

// ---- opening and closing --------------------------------------------------------

void TVarnCustomComPort::OpenPort() {
    // Asking for the port runs a nested event loop, in which the port must not be
    // opened a second time.
    struct Opening {
        bool& flag;
        explicit Opening(bool& f) : flag(f) { flag = true; }
        ~Opening() { flag = false; }
    } opening(d->opening);
    ValidatePortNumber();
    try {
        d->dispatcher = CreateDispatcher();
        OpenDispatcher();
        d->state = Impl::Open;
        ApplyHardwareFlow();
        ApplySoftwareFlow();
        ApplyFlowChars();
        ApplyDTR();
        ApplyRTS();
        CreateNotifyWindow(true);
        d->open = true;
    } catch (...) {
        d->open = false;
        d->state = Impl::Closed;
        d->dispatcher.reset();  // closes the device and stops its workers
        throw;
    }
}

std::unique_ptr<TVarnBaseDispatcher> TVarnCustomComPort::CreateDispatcher() {
    if (p_.deviceLayer != dlWin32) RaiseVarnError(kVarnNullApi);
    return CreateSystemDispatcher();
}

void TVarnCustomComPort::OpenDispatcher() {
    unsigned lineControl = 0;
    if (p_.dtr) lineControl |= TVarnBaseDispatcher::kDtrLevel;
    if (p_.rts) lineControl |= TVarnBaseDispatcher::kRtsLevel;
    if (p_.hwFlow & hwfUseDTR) lineControl |= TVarnBaseDispatcher::kDtrHandshake;
    if (p_.hwFlow & hwfUseRTS) lineControl |= TVarnBaseDispatcher::kRtsHandshake;
    int rc = d->dispatcher->Open(ComDeviceName(p_.comNumber), p_.baud, lineControl, p_.outSize,
                                 p_.inSize, p_.stopBits, p_.dataBits, static_cast<int>(p_.parity));
    // A port in use and a missing port are told apart for the link session's scan.
    if (rc == kVarnAccessDenied)
        rc = kVarnAlreadyOpen;
    else if (rc == kVarnNotFound || rc == kVarnPathNotFound)
        rc = kVarnBadId;
    Check(rc);
}

void TVarnCustomComPort::CreateNotifyWindow(bool) {
    // Nothing is delivered to the GUI thread: no notifications are switched on.
}

void TVarnCustomComPort::ValidatePortNumber() {
    if (p_.comNumber != 0) return;
    if (!p_.promptForPort) RaiseVarnError(kVarnNoPortSelected);
    const uint16_t chosen = d->chooser ? d->chooser() : 0;
    if (chosen == 0) RaiseVarnError(kVarnNoPortSelected);
    p_.comNumber = chosen;
}

void TVarnCustomComPort::ClosePort() {
    d->open = false;
    d->state = Impl::Closing;
    int rc = 0;
    if (d->dispatcher) rc = d->dispatcher->Done();
    d->dispatcher.reset();
    CreateNotifyWindow(false);
    d->state = Impl::Closed;
    // The port is closed either way; a purge the device refused on the way is still told.
    Check(rc);
}
