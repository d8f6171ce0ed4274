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

    uint16_t comNumber = 0;
    int32_t baud = 19200;
    TParity parity = pNone;
    uint16_t dataBits = 8;
    uint16_t stopBits = 1;
    uint16_t inSize = 4096;
    uint16_t outSize = 4096;
    bool open = false;
    bool autoOpen = true;
    bool promptForPort = true;
    bool dtr = true;
    bool rts = true;
    THWFlowOptions hwFlow = 0;
    TSWFlowOptions swFlow = swfNone;
    char xonChar = TVarnLineSettings::kXon;
    char xoffChar = TVarnLineSettings::kXoff;
    uint16_t bufferFull = 0;
    uint16_t bufferResume = 0;
    TDeviceLayer deviceLayer = dlWin32;
    TTapiMode tapiMode = tmAuto;

    TState state = Closed;
    // Set when Open is asked for during a close. Nothing acts on it: such a request
    // opens nothing. It is kept as the port object's record of the request.
    bool openRequestedWhileClosing = false;
    bool opening = false;  // a nested event loop (the port dialog) must not open twice
    std::unique_ptr<TVarnBaseDispatcher> dispatcher;
    std::function<uint16_t()> chooser;

    bool IsOpen() const { return state == Open && dispatcher; }

    // Line settings reach an open device at once; one the device refuses is not kept,
    // so the properties always tell what the device runs at.
    template <class T>
    void SetLineProperty(T& property, T value) {
        const T old = property;
        property = value;
        if (!IsOpen()) return;
        try {
            Check(dispatcher->SetLine(baud, static_cast<int>(parity), stopBits, dataBits));
        } catch (...) {
            property = old;
            throw;
        }
    }

    // The marks are made consistent for the flow control in use before it is applied.
    void ApplyHardwareFlow() {
        if (hwFlow != 0) {
            if (bufferFull == 0 || bufferFull > inSize) bufferFull = inSize * 9 / 10;
            if (bufferResume == 0 || bufferResume > bufferFull) bufferResume = inSize / 10;
        }
        Check(dispatcher->SetHardwareFlow(bufferFull, bufferResume, hwFlow & 15u));
    }

    void ApplySoftwareFlow() {
        if (swFlow == swfNone) {
            Check(dispatcher->SoftwareFlowOff());
            return;
        }
        if (bufferFull == 0 || bufferFull > inSize) bufferFull = inSize * 3 / 4;
        if (bufferResume == 0 || bufferResume > bufferFull) bufferResume = inSize / 4;
        unsigned options = 0;
        if (swFlow == swfReceive || swFlow == swfBoth) options |= TVarnBaseDispatcher::kSwSend;
        if (swFlow == swfTransmit || swFlow == swfBoth) options |= TVarnBaseDispatcher::kSwObey;
        Check(dispatcher->SetSoftwareFlow(bufferFull, bufferResume, options));
    }

    // The marks act through whichever flow control is on.
    void ApplyMarks() {
        ApplyHardwareFlow();
        if (swFlow != swfNone) ApplySoftwareFlow();
    }

    void ApplyFlowChars() { Check(dispatcher->SetFlowChars(xonChar, xoffChar)); }
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

uint16_t TVarnCustomComPort::ComNumber() const {
    return d->comNumber;
}

void TVarnCustomComPort::SetComNumber(uint16_t n) {
    if (d->state != Impl::Open) {
        d->comNumber = n;
        return;
    }
    ClosePort();
    d->comNumber = n;
    SetOpen(true);
}

int32_t TVarnCustomComPort::Baud() const {
    return d->baud;
}

void TVarnCustomComPort::SetBaud(int32_t baud) {
    d->SetLineProperty(d->baud, baud);
}

TParity TVarnCustomComPort::Parity() const {
    return d->parity;
}

void TVarnCustomComPort::SetParity(TParity parity) {
    d->SetLineProperty(d->parity, parity);
}

uint16_t TVarnCustomComPort::DataBits() const {
    return d->dataBits;
}

void TVarnCustomComPort::SetDataBits(uint16_t bits) {
    d->SetLineProperty(d->dataBits, bits);
}

uint16_t TVarnCustomComPort::StopBits() const {
    return d->stopBits;
}

void TVarnCustomComPort::SetStopBits(uint16_t bits) {
    d->SetLineProperty(d->stopBits, bits);
}

uint16_t TVarnCustomComPort::InSize() const {
    return d->inSize;
}
void TVarnCustomComPort::SetInSize(uint16_t size) {
    d->inSize = size;
}  // asked for at open
uint16_t TVarnCustomComPort::OutSize() const {
    return d->outSize;
}
void TVarnCustomComPort::SetOutSize(uint16_t size) {
    d->outSize = size;
}  // asked for at open

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

bool TVarnCustomComPort::AutoOpen() const {
    return d->autoOpen;
}
void TVarnCustomComPort::SetAutoOpen(bool autoOpen) {
    d->autoOpen = autoOpen;
}
bool TVarnCustomComPort::PromptForPort() const {
    return d->promptForPort;
}
void TVarnCustomComPort::SetPromptForPort(bool prompt) {
    d->promptForPort = prompt;
}

bool TVarnCustomComPort::DTR() const {
    return d->dtr;
}

void TVarnCustomComPort::SetDTR(bool on) {
    d->dtr = on;
    if (d->IsOpen()) Check(d->dispatcher->SetDTR(on));
}

bool TVarnCustomComPort::RTS() const {
    return d->rts;
}

void TVarnCustomComPort::SetRTS(bool on) {
    d->rts = on;
    if (d->IsOpen()) Check(d->dispatcher->SetRTS(on));
}

THWFlowOptions TVarnCustomComPort::HWFlowOptions() const {
    return d->hwFlow;
}

void TVarnCustomComPort::SetHWFlowOptions(THWFlowOptions options) {
    d->hwFlow = options;
    if (d->IsOpen()) d->ApplyHardwareFlow();
}

TSWFlowOptions TVarnCustomComPort::SWFlowOptions() const {
    return d->swFlow;
}

void TVarnCustomComPort::SetSWFlowOptions(TSWFlowOptions options) {
    d->swFlow = options;
    if (d->IsOpen()) d->ApplySoftwareFlow();
}

char TVarnCustomComPort::XOnChar() const {
    return d->xonChar;
}

void TVarnCustomComPort::SetXOnChar(char c) {
    d->xonChar = c;
    if (d->IsOpen()) d->ApplyFlowChars();
}

char TVarnCustomComPort::XOffChar() const {
    return d->xoffChar;
}

void TVarnCustomComPort::SetXOffChar(char c) {
    d->xoffChar = c;
    if (d->IsOpen()) d->ApplyFlowChars();
}

uint16_t TVarnCustomComPort::BufferFull() const {
    return d->bufferFull;
}

// A stop mark beyond the device's receive queue cannot be met; it becomes the whole
// queue, so that a later open does not fail on it.
void TVarnCustomComPort::SetBufferFull(uint16_t mark) {
    d->bufferFull = std::min(mark, d->inSize);
    if (d->IsOpen()) d->ApplyMarks();
}

uint16_t TVarnCustomComPort::BufferResume() const {
    return d->bufferResume;
}

void TVarnCustomComPort::SetBufferResume(uint16_t mark) {
    d->bufferResume = mark > d->bufferFull ? d->bufferFull / 10 : mark;
    if (d->IsOpen()) d->ApplyMarks();
}

TDeviceLayer TVarnCustomComPort::DeviceLayer() const {
    return d->deviceLayer;
}
void TVarnCustomComPort::SetDeviceLayer(TDeviceLayer layer) {
    d->deviceLayer = layer;
}
TTapiMode TVarnCustomComPort::TapiMode() const {
    return d->tapiMode;
}
void TVarnCustomComPort::SetTapiMode(TTapiMode mode) {
    d->tapiMode = mode;
}

void TVarnCustomComPort::SetPortChooser(std::function<uint16_t()> chooser) {
    d->chooser = std::move(chooser);
}

// ---- operations -----------------------------------------------------------------

// Whether an operation goes ahead: on an open port yes; on a closing one it does
// nothing; on a closed one it opens first (AutoOpen) or raises.
bool TVarnCustomComPort::ReadyForUse() {
    if (d->state == Impl::Open) return true;
    if (d->state == Impl::Closing) return false;
    if (!d->autoOpen) RaiseVarnError(kVarnNotOpen);
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
        d->ApplyHardwareFlow();
        d->ApplySoftwareFlow();
        d->ApplyFlowChars();
        Check(d->dispatcher->SetDTR(d->dtr));
        Check(d->dispatcher->SetRTS(d->rts));
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
    if (d->deviceLayer != dlWin32) RaiseVarnError(kVarnNullApi);
    return CreateSystemDispatcher();
}

void TVarnCustomComPort::OpenDispatcher() {
    unsigned lineControl = 0;
    if (d->dtr) lineControl |= TVarnBaseDispatcher::kDtrLevel;
    if (d->rts) lineControl |= TVarnBaseDispatcher::kRtsLevel;
    if (d->hwFlow & hwfUseDTR) lineControl |= TVarnBaseDispatcher::kDtrHandshake;
    if (d->hwFlow & hwfUseRTS) lineControl |= TVarnBaseDispatcher::kRtsHandshake;
    int rc = d->dispatcher->Open(ComDeviceName(d->comNumber), d->baud, lineControl, d->outSize,
                                 d->inSize, d->stopBits, d->dataBits, static_cast<int>(d->parity));
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
    if (d->comNumber != 0) return;
    if (!d->promptForPort) RaiseVarnError(kVarnNoPortSelected);
    const uint16_t chosen = d->chooser ? d->chooser() : 0;
    if (chosen == 0) RaiseVarnError(kVarnNoPortSelected);
    d->comNumber = chosen;
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
