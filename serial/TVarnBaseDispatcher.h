#pragma once
// The device layer behind an open port: the input ring that the workers fill from
// the device, the output ring that they write to it, the locks and events they meet
// at, and the three workers. Every operation gives 0 (or the stated value) or a
// negative error code. The concrete class beside it (one per operating system) does
// the calls on the devices; nothing here touches the operating system.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "serial/DeviceHolder.h"
#include "serial/TVarnEvents.h"
#include "serial/TVarnLineSettings.h"
#include "serial/TVarnRing.h"
#include "serial/TVarnWorkerSteps.h"
#include "serial/VarnExceptions.h"

class TVarnDispatcherThread;

class TVarnBaseDispatcher : private TVarnWorkerSteps {
public:
    // Line-control word bits of Open.
    static constexpr unsigned kDtrLevel = 0x01;
    static constexpr unsigned kRtsLevel = 0x02;
    static constexpr unsigned kDtrHandshake = 0x10;
    static constexpr unsigned kRtsHandshake = 0x20;

    // Hardware flow option bits.
    static constexpr unsigned kHwDtrHandshake = 1;
    static constexpr unsigned kHwRtsHandshake = 2;
    static constexpr unsigned kHwRequireDsr = 4;
    static constexpr unsigned kHwRequireCts = 8;
    // Software flow option bits.
    static constexpr unsigned kSwObey = 1;
    static constexpr unsigned kSwSend = 2;

    TVarnBaseDispatcher();
    virtual ~TVarnBaseDispatcher();
    TVarnBaseDispatcher(const TVarnBaseDispatcher&) = delete;
    TVarnBaseDispatcher& operator=(const TVarnBaseDispatcher&) = delete;

    int Open(const std::string& deviceName, int32_t baud, unsigned lineControl, uint16_t outSize,
             uint16_t inSize, uint16_t stopBits, uint16_t dataBits, int parity);
    // Discards unsent output and unread input, stops the workers, closes the device and
    // frees the rings. The close always completes; gives the first purge failure, if any.
    int Done();

    int SetLine(int32_t baud, int parity, uint16_t stopBits, uint16_t dataBits);
    int SetHardwareFlow(uint16_t stopMark, uint16_t resumeMark, unsigned options);
    int SetSoftwareFlow(uint16_t stopMark, uint16_t resumeMark, unsigned options);
    int SoftwareFlowOff();
    int SetFlowChars(char xon, char xoff);
    int SetDTR(bool on);
    int SetRTS(bool on);

    int FlushInput();
    int FlushOutput();  // returns once the writer has let go of the output ring
    int InputCount();   // 0..8192
    int OutputCount();
    int TakeBlock(char* buffer, int n);       // n, or kVarnBufferEmpty
    int QueueBlock(const char* data, int n);  // 0, or kVarnOutputFull

    // Opens the device as Open does and closes it at once: 0 when it could be opened.
    int Probe(const std::string& deviceName);
    // Who keeps the device from us (a probe or an open gave access denied), as far as
    // the system tells. Looks only.
    TDeviceHolder Holder(const std::string& deviceName);

protected:
    enum TLine { LineDTR, LineRTS };
    enum TWriteOutcome { WriteComplete, WriteAbandoned, WriteFailed };

    // The operating system's side, in the order the device needs them.
    virtual int OpenDevice(const std::string& deviceName) = 0;  // exclusive use
    // Opens the device as OpenDevice does and closes it at once, claiming nothing that
    // outlasts the call.
    virtual int ProbeDevice(const std::string& deviceName);
    virtual TDeviceHolder HolderOfDevice(const std::string& deviceName);  // Unknown
    virtual int ConfigureDevice() = 0;  // transparent mode, receiver on, modem lines ignored
    virtual void CloseDevice() = 0;     // restores the settings found at open
    virtual int SetQueueSizes(int inSize, int outSize) = 0;
    virtual int ReadSettings(TVarnLineSettings& settings) = 0;
    virtual int WriteSettings(const TVarnLineSettings& settings) = 0;
    virtual int LineControl(TLine line, bool raise) = 0;
    virtual int Purge(bool input) = 0;
    virtual int ReadStatus(unsigned& lineErrors, int& inQueue) = 0;
    virtual int ReadDevice(char* buffer, int n) = 0;  // never waits; gives the number read
    // Waits without a time limit for a device event (characters, a line error or
    // hang-up, a modem line) or for WakeEventWait. wantInput false leaves arriving
    // characters out of the wait (the input ring is full). Which event came does not
    // matter: every pass of the dispatcher worker refreshes the status and fills.
    virtual int WaitDeviceEvent(bool wantInput) = 0;
    virtual void WakeEventWait() = 0;
    // Writes all n characters, waiting for the device as long as needed, unless
    // WriteAbandonRequested turns true (checked after every WakeWriter).
    virtual TWriteOutcome WriteDevice(const char* data, int n) = 0;
    virtual void WakeWriter() = 0;

    // The pause after draining, before new line settings are written.
    virtual void SettlePause(int milliseconds);

    bool WriteAbandonRequested() const;
    // Concrete classes call this first in their destructor, while their part still exists.
    void CloseOnDestroy() noexcept;

private:
    struct TLineState {
        bool level = true;
        bool handshake = false;  // the line follows the receive queue; its level is kept
    };

    // The worker steps.
    bool Stopping() const override { return stop_.load(); }
    void Acknowledge() override { events_.Signal(TVarnEvents::WorkerAck); }
    bool AwaitDeviceEvent() override;
    void HandOverDeviceEvent() override;
    bool AwaitHandedEvent(std::chrono::milliseconds limit) override;
    bool EventWorkerRunning() const override;
    void FillInput() override;
    void DispatchDone() override { events_.Signal(TVarnEvents::DispatcherDone); }
    void WriterStarted() override { events_.WriterStarted(); }
    void WriterEnded() override { events_.WriterEnded(); }
    TOutputWake AwaitOutput() override;
    void WriteOutput() override;
    void AcknowledgeFlush() override;

    int StartWorkers();
    void StopWorkers();
    void Release();

    // The count of characters waiting in the device, or the code the device gave. The
    // line-error bits come with it; no notification is on to report them.
    int RefreshStatus();
    // The event worker leaves arriving characters out of its wait while the input ring
    // is full; called under the input lock whenever the ring's full flag may change.
    void InputFullChanged();

    TLineState& StateOf(TLine line) { return line == LineDTR ? dtr_ : rts_; }
    int ApplyLinesLocked();
    int WriteBlockLocked(TVarnLineSettings& settings);
    int CheckMarks(uint16_t stopMark, uint16_t resumeMark) const;
    // Reads the device's settings, lets change alter them and writes them back.
    template <class Change>
    int RewriteSettings(Change change);
    int SetLineLevel(TLine line, bool on);

    bool open_ = false;
    int inSize_ = 0;  // the device's receive queue, which the flow-control marks are of

    // Line states and last rate; each change of the settings reads the device afresh.
    std::mutex stateLock_;
    int32_t lastRate_ = 115200;
    TLineState dtr_, rts_;

    std::mutex inLock_;  // taken before outLock_ when both are needed
    TVarnInputRing inRing_;
    std::atomic<bool> inputBlocked_{false};  // the input ring's full flag, for the event worker

    std::mutex outLock_;
    TVarnOutputRing outRing_;

    TVarnEvents events_;
    std::atomic<bool> stop_{false};
    bool started_ = false;
    std::unique_ptr<TVarnDispatcherThread> comThread_, dispThread_, outThread_;
};

// The serial device layer of the operating system this is built for.
std::unique_ptr<TVarnBaseDispatcher> CreateSystemDispatcher();
