#include "serial/TVarnWin32Dispatcher.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "serial/PortNames.h"

namespace {

// The device events the event worker waits for; characters received only while the
// input ring has room.
constexpr DWORD kEventMask = EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING;
// The first number of the runtime's own input/output errors in the message table.
constexpr int kFirstRuntimeNumber = 100;
// How long a cancelled wait or read may take to give its operation back.
constexpr DWORD kCancelWait = 500;

// A handle that closes itself.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = nullptr; }
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Reset();
            h_ = other.h_;
            other.h_ = nullptr;
        }
        return *this;
    }

    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    void Reset() {
        if (Valid()) ::CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

HANDLE MakeEvent(bool manualReset) {
    return ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

int LastError() {
    return TVarnWin32Dispatcher::ErrorCode(::GetLastError());
}

// Gives an overlapped operation back once it has finished, cancelling it when it has
// not: its buffer and its OVERLAPPED must outlive it. Gives the count it moved.
DWORD Reclaim(HANDLE device, OVERLAPPED& ov, DWORD wait) {
    DWORD moved = 0;
    if (::WaitForSingleObject(ov.hEvent, wait) != WAIT_OBJECT_0) ::CancelIoEx(device, &ov);
    ::GetOverlappedResult(device, &ov, &moved, TRUE);
    return moved;
}

}  // namespace

struct TVarnWin32Dispatcher::Device {
    Handle claim;  // the named object that two port objects meet at
    Handle handle;
    Handle commEvent;  // completion of WaitCommEvent
    Handle readEvent;  // completion of ReadFile
    Handle writeDone;  // completion of WriteFile; reset by hand before each write
    Handle eventWake;  // ends the event worker's wait
    Handle writeWake;  // ends the writer's wait for the device
    DCB saved{};       // the settings found at open, put back at close
    COMMTIMEOUTS savedTimeouts{};
    DWORD mask = 0;  // the event mask as last set
};

std::unique_ptr<TVarnBaseDispatcher> CreateSystemDispatcher() {
    return std::make_unique<TVarnWin32Dispatcher>();
}

int TVarnWin32Dispatcher::ErrorCode(unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
            return kVarnNotFound;
        case ERROR_PATH_NOT_FOUND:
            return kVarnPathNotFound;
        // A device opened without sharing by another program; Wine reports it as a
        // sharing violation.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return kVarnAccessDenied;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return kVarnOutOfMemory;
        default:
            break;
    }
    // A failure must never read as success, nor overflow into a positive number.
    if (error == 0 || error > static_cast<unsigned long>(INT_MAX)) return kVarnGeneralFailure;
    // Below 100 the table's numbers mean on Windows what the table says; from 100 up
    // they are the runtime's input/output errors, which Windows numbers otherwise.
    const int number = static_cast<int>(error);
    const bool misnamed = number >= kFirstRuntimeNumber && VarnTableNames(number);
    return misnamed ? kVarnGeneralFailure : -number;
}

TVarnWin32Dispatcher::TVarnWin32Dispatcher() = default;

TVarnWin32Dispatcher::~TVarnWin32Dispatcher() {
    CloseOnDestroy();
    CloseDevice();
}

int TVarnWin32Dispatcher::OpenDevice(const std::string& deviceName) {
    if (device_) return kVarnAccessDenied;
    const std::string path = ResolveDeviceName(deviceName);
    if (path.empty()) return kVarnNotFound;

    // Exclusive use must not rest on the driver alone: some drivers (and Wine) let a
    // second opener in. Every port object claims the port by name before opening it.
    std::string claimName = "Local\\Quillon.HaltguardIDs." + path.substr(path.rfind('\\') + 1);
    Handle claim(::CreateEventA(nullptr, TRUE, FALSE, claimName.c_str()));
    if (!claim.Valid()) return LastError();
    if (::GetLastError() == ERROR_ALREADY_EXISTS) return kVarnAccessDenied;

    // No sharing, existing devices only, overlapped I/O.
    Handle handle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!handle.Valid()) return LastError();

    auto device = std::make_unique<Device>();
    device->saved.DCBlength = sizeof(DCB);
    // Something that is not a communication device is no port.
    if (!::GetCommState(handle.Get(), &device->saved) ||
        !::GetCommTimeouts(handle.Get(), &device->savedTimeouts))
        return kVarnNotFound;

    device->commEvent = Handle(MakeEvent(true));
    device->readEvent = Handle(MakeEvent(true));
    device->writeDone = Handle(MakeEvent(true));
    device->eventWake = Handle(MakeEvent(false));
    device->writeWake = Handle(MakeEvent(false));
    if (!device->commEvent.Valid() || !device->readEvent.Valid() || !device->writeDone.Valid() ||
        !device->eventWake.Valid() || !device->writeWake.Valid())
        return kVarnOutOfMemory;

    device->claim = std::move(claim);
    device->handle = std::move(handle);
    device_ = std::move(device);
    return 0;
}

int TVarnWin32Dispatcher::ConfigureDevice() {
    if (!device_) return kVarnBadHandle;
    HANDLE h = device_->handle.Get();
    // Reads give at once whatever waits; writes have no time limit.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(h, &timeouts)) return LastError();

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) return LastError();
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    // A line error must not stall reads and writes until someone clears it.
    dcb.fAbortOnError = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    if (dcb.XonChar == dcb.XoffChar) {  // refused by the device otherwise
        dcb.XonChar = 17;
        dcb.XoffChar = 19;
    }
    if (!::SetCommState(h, &dcb)) return LastError();

    device_->mask = kEventMask | EV_RXCHAR;
    if (!::SetCommMask(h, device_->mask)) return LastError();
    DWORD errors = 0;
    ::ClearCommError(h, &errors, nullptr);  // a stale error state from before the open
    return 0;
}

void TVarnWin32Dispatcher::CloseDevice() {
    if (!device_) return;
    HANDLE h = device_->handle.Get();
    ::SetCommMask(h, 0);
    ::CancelIoEx(h, nullptr);
    // Put back what the device had; a device that has gone cannot take it.
    ::SetCommState(h, &device_->saved);
    ::SetCommTimeouts(h, &device_->savedTimeouts);
    device_.reset();
}

int TVarnWin32Dispatcher::SetQueueSizes(int inSize, int outSize) {
    if (!device_) return kVarnBadHandle;
    if (!::SetupComm(device_->handle.Get(), static_cast<DWORD>(inSize),
                     static_cast<DWORD>(outSize)))
        return LastError();
    return 0;
}

int TVarnWin32Dispatcher::ReadSettings(TVarnLineSettings& s) {
    if (!device_) return kVarnBadHandle;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(device_->handle.Get(), &dcb)) return LastError();
    using S = TVarnLineSettings;
    s = S{};
    s.baud = static_cast<int32_t>(dcb.BaudRate);
    s.parity = dcb.Parity <= SPACEPARITY ? dcb.Parity : 0;
    s.dataBits = dcb.ByteSize;
    s.stopBits = dcb.StopBits == TWOSTOPBITS    ? S::TwoStop
                 : dcb.StopBits == ONE5STOPBITS ? S::OneAndHalfStop
                                                : S::OneStop;
    s.dtrControl = dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ? S::ControlHandshake
                   : dcb.fDtrControl == DTR_CONTROL_DISABLE ? S::ControlOff
                                                            : S::ControlOn;
    // Toggling RTS around each transmission is not a mode of this layer: read as on.
    s.rtsControl = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ? S::ControlHandshake
                   : dcb.fRtsControl == RTS_CONTROL_DISABLE ? S::ControlOff
                                                            : S::ControlOn;
    s.ctsOutFlow = dcb.fOutxCtsFlow != 0;
    s.dsrOutFlow = dcb.fOutxDsrFlow != 0;
    s.dsrSensitivity = dcb.fDsrSensitivity != 0;
    s.outX = dcb.fOutX != 0;
    s.inX = dcb.fInX != 0;
    s.txContinueOnXoff = dcb.fTXContinueOnXoff != 0;
    s.binary = dcb.fBinary != 0;
    s.parityCheck = dcb.fParity != 0;
    s.nullStrip = dcb.fNull != 0;
    s.xonChar = dcb.XonChar;
    s.xoffChar = dcb.XoffChar;
    s.xonLimit = dcb.XonLim;
    s.xoffLimit = dcb.XoffLim;
    return 0;
}

int TVarnWin32Dispatcher::WriteSettings(const TVarnLineSettings& s) {
    if (!device_) return kVarnBadHandle;
    HANDLE h = device_->handle.Get();
    // Start from the device's own block, so that fields this layer does not keep stay.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) return LastError();
    using S = TVarnLineSettings;
    dcb.BaudRate = static_cast<DWORD>(s.baud);
    dcb.Parity = static_cast<BYTE>(s.parity);
    dcb.ByteSize = static_cast<BYTE>(s.dataBits);
    dcb.StopBits = s.stopBits == S::TwoStop          ? TWOSTOPBITS
                   : s.stopBits == S::OneAndHalfStop ? ONE5STOPBITS
                                                     : ONESTOPBIT;
    dcb.fDtrControl = s.dtrControl == S::ControlHandshake ? DTR_CONTROL_HANDSHAKE
                      : s.dtrControl == S::ControlOff     ? DTR_CONTROL_DISABLE
                                                          : DTR_CONTROL_ENABLE;
    dcb.fRtsControl = s.rtsControl == S::ControlHandshake ? RTS_CONTROL_HANDSHAKE
                      : s.rtsControl == S::ControlOff     ? RTS_CONTROL_DISABLE
                                                          : RTS_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = s.ctsOutFlow;
    dcb.fOutxDsrFlow = s.dsrOutFlow;
    dcb.fDsrSensitivity = s.dsrSensitivity;
    dcb.fOutX = s.outX;
    dcb.fInX = s.inX;
    dcb.fTXContinueOnXoff = s.txContinueOnXoff;
    dcb.fBinary = TRUE;  // the only mode Windows has
    dcb.fParity = s.parityCheck;
    dcb.fNull = s.nullStrip;
    dcb.fAbortOnError = FALSE;
    dcb.XonChar = s.xonChar;
    dcb.XoffChar = s.xoffChar;
    if (dcb.XonChar == dcb.XoffChar) {
        dcb.XonChar = 17;
        dcb.XoffChar = 19;
    }
    dcb.XonLim = static_cast<WORD>(std::clamp(s.xonLimit, 0, 0xFFFF));
    dcb.XoffLim = static_cast<WORD>(std::clamp(s.xoffLimit, 0, 0xFFFF));
    if (!::SetCommState(h, &dcb)) return LastError();
    return 0;
}

int TVarnWin32Dispatcher::LineControl(TLine line, bool raise) {
    if (!device_) return kVarnBadHandle;
    const DWORD function = line == LineDTR ? (raise ? SETDTR : CLRDTR) : (raise ? SETRTS : CLRRTS);
    if (::EscapeCommFunction(device_->handle.Get(), function)) return 0;
    // A device without modem lines (a virtual port, a pseudo-terminal under Wine) is
    // still a port.
    const DWORD error = ::GetLastError();
    return error == ERROR_NOT_SUPPORTED ? 0 : ErrorCode(error);
}

int TVarnWin32Dispatcher::Purge(bool input) {
    if (!device_) return kVarnBadHandle;
    const DWORD flags = input ? PURGE_RXABORT | PURGE_RXCLEAR : PURGE_TXABORT | PURGE_TXCLEAR;
    if (!::PurgeComm(device_->handle.Get(), flags)) return LastError();
    return 0;
}

int TVarnWin32Dispatcher::ReadStatus(unsigned& lineErrors, int& inQueue) {
    lineErrors = 0;
    inQueue = 0;
    if (!device_) return kVarnBadHandle;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(device_->handle.Get(), &errors, &status)) return LastError();
    lineErrors = errors;
    inQueue = static_cast<int>(std::min<DWORD>(status.cbInQue, INT_MAX));
    return 0;
}

int TVarnWin32Dispatcher::ReadDevice(char* buffer, int n) {
    if (!device_) return kVarnBadHandle;
    if (n <= 0) return 0;
    HANDLE h = device_->handle.Get();
    OVERLAPPED ov{};
    ov.hEvent = device_->readEvent.Get();
    ::ResetEvent(ov.hEvent);
    DWORD got = 0;
    if (::ReadFile(h, buffer, static_cast<DWORD>(n), &got, &ov)) {
        ::GetOverlappedResult(h, &ov, &got, FALSE);
        return static_cast<int>(got);
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_OPERATION_ABORTED) return 0;  // a purge took the characters
    if (error != ERROR_IO_PENDING) return ErrorCode(error);
    // The time-outs make the read come back at once; should a device keep it, it is
    // cut short rather than left to hold the input lock.
    return static_cast<int>(Reclaim(h, ov, kCancelWait));
}

int TVarnWin32Dispatcher::WaitDeviceEvent(bool wantInput) {
    if (!device_) return kVarnBadHandle;
    HANDLE h = device_->handle.Get();
    const DWORD mask = kEventMask | (wantInput ? EV_RXCHAR : 0);
    if (mask != device_->mask) {
        if (!::SetCommMask(h, mask)) return LastError();
        device_->mask = mask;
    }
    OVERLAPPED ov{};
    ov.hEvent = device_->commEvent.Get();
    ::ResetEvent(ov.hEvent);
    DWORD happened = 0;  // written by the device until the wait has been given back
    if (!::WaitCommEvent(h, &happened, &ov)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) return ErrorCode(error);
        HANDLE waits[2] = {ov.hEvent, device_->eventWake.Get()};
        const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0 + 1) {
            // Woken: a cleared mask ends the device's wait; the next call sets it again.
            ::SetCommMask(h, 0);
            device_->mask = 0;
            Reclaim(h, ov, kCancelWait);
        } else if (woke != WAIT_OBJECT_0) {
            const int rc = LastError();
            Reclaim(h, ov, 0);
            return rc;
        } else {
            DWORD unused = 0;
            if (!::GetOverlappedResult(h, &ov, &unused, FALSE)) {
                // A mask change or a purge ends the wait early; that is no failure.
                const DWORD failure = ::GetLastError();
                if (failure != ERROR_OPERATION_ABORTED) return ErrorCode(failure);
            }
        }
    }
    return 0;
}

void TVarnWin32Dispatcher::WakeEventWait() {
    if (device_) ::SetEvent(device_->eventWake.Get());
}

void TVarnWin32Dispatcher::WakeWriter() {
    if (device_) ::SetEvent(device_->writeWake.Get());
}

TVarnBaseDispatcher::TWriteOutcome TVarnWin32Dispatcher::WriteDevice(const char* data, int n) {
    if (!device_) return WriteFailed;
    HANDLE h = device_->handle.Get();
    int done = 0;
    while (done < n) {
        if (WriteAbandonRequested()) return WriteAbandoned;
        OVERLAPPED ov{};
        ov.hEvent = device_->writeDone.Get();
        ::ResetEvent(ov.hEvent);
        DWORD put = 0;
        if (!::WriteFile(h, data + done, static_cast<DWORD>(n - done), &put, &ov)) {
            if (::GetLastError() != ERROR_IO_PENDING) return WriteFailed;
            HANDLE waits[2] = {ov.hEvent, device_->writeWake.Get()};
            for (;;) {
                const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
                if (woke == WAIT_OBJECT_0) break;
                if (woke == WAIT_OBJECT_0 + 1 && !WriteAbandonRequested()) continue;
                // Abandoned (or the wait failed): the write is cancelled and given back
                // before the ring it reads from can be emptied.
                Reclaim(h, ov, 0);
                return woke == WAIT_OBJECT_0 + 1 ? WriteAbandoned : WriteFailed;
            }
        }
        if (!::GetOverlappedResult(h, &ov, &put, FALSE)) return WriteFailed;
        if (put == 0) return WriteFailed;  // nothing moves: dropped, never spun on
        done += static_cast<int>(put);
    }
    return WriteComplete;
}
