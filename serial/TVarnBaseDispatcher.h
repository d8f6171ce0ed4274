#pragma once
// The device layer behind an open port: the input ring that the workers fill from
// the device, the output ring that they write to it, the locks and events they meet
// at, and the three workers. Every operation gives 0 (or the stated value) or a
// negative error code. The concrete class beside it (one per operating system) does
// the calls on the devices; nothing here touches the operating system.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class TVarnDispatcherThread;

// Error codes given by the device layer besides the negated operating-system numbers.
constexpr int kVarnNotFound = -2;        // no such device
constexpr int kVarnAccessDenied = -5;    // the device is held by another
constexpr int kVarnOutOfMemory = -8;     // events or rings could not be made
constexpr int kVarnBadArgument = -1002;  // flow-control marks out of order
constexpr int kVarnOutputFull = -3006;   // output ring has too little room
constexpr int kVarnBufferEmpty = -3007;  // fewer characters waiting than asked

// The settings block as last read from or written to the device.
struct TVarnLineSettings {
    enum TStop { OneStop, OneAndHalfStop, TwoStop };
    enum TControl { ControlOff, ControlOn, ControlHandshake };

    int32_t baud = 0;
    int parity = 0;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;
    TStop stopBits = OneStop;
    TControl dtrControl = ControlOn;
    TControl rtsControl = ControlOn;
    bool ctsOutFlow = false;  // hold output while CTS is low
    bool dsrOutFlow = false;  // hold output while DSR is low
    bool dsrSensitivity = false;
    bool outX = false;  // obey XOFF/XON from the other end
    bool inX = false;   // send XOFF/XON when the receive queue crosses the limits
    bool txContinueOnXoff = true;
    bool binary = true;  // no end-of-file character
    bool parityCheck = false;
    bool nullStrip = false;
    char xonChar = 17;
    char xoffChar = 19;
    int xoffLimit = 0;  // free characters in the receive queue at which the sender stops
    int xonLimit = 0;   // characters in the receive queue at which it may go on

    bool SameFormat(const TVarnLineSettings& o) const {
        return baud == o.baud && parity == o.parity && dataBits == o.dataBits &&
               stopBits == o.stopBits;
    }
};

class TVarnBaseDispatcher {
public:
    static constexpr int kInputRingSize = 8192;

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
    bool IsOpen() const { return open_; }

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

    // How often the event worker has come back from waiting for the device; a worker
    // spinning on a dead device shows here.
    uint64_t DeviceEventCount() const { return deviceEventCount_.load(); }
    // The line-error bits and the device's receive count as last refreshed.
    unsigned LineErrors() const { return lineErrors_.load(); }
    int DeviceInputCount() const { return deviceInCount_.load(); }

protected:
    enum TLine { LineDTR, LineRTS };
    enum TWriteOutcome { WriteComplete, WriteAbandoned, WriteFailed };
    // Device events reported by WaitDeviceEvent.
    static constexpr unsigned kEventChar = 1;        // characters arrived
    static constexpr unsigned kEventLineStatus = 2;  // line error or hang-up
    static constexpr unsigned kEventModem = 4;       // a modem line changed

    // The operating system's side, in the order the device needs them.
    virtual int OpenDevice(const std::string& deviceName) = 0;  // exclusive use
    // Opens the device as OpenDevice does and closes it at once, claiming nothing that
    // outlasts the call.
    virtual int ProbeDevice(const std::string& deviceName);
    virtual int ConfigureDevice() = 0;  // transparent mode, receiver on, modem lines ignored
    virtual void CloseDevice() = 0;     // restores the settings found at open
    virtual int SetQueueSizes(int inSize, int outSize) = 0;
    virtual int ReadSettings(TVarnLineSettings& settings) = 0;
    virtual int WriteSettings(const TVarnLineSettings& settings) = 0;
    virtual int LineControl(TLine line, bool raise) = 0;
    virtual int Purge(bool input) = 0;
    virtual int ReadStatus(unsigned& lineErrors, int& inQueue) = 0;
    virtual int ReadDevice(char* buffer, int n) = 0;  // never waits; gives the number read
    // Waits without a time limit for a device event or for WakeEventWait. wantInput
    // false leaves arriving characters out of the wait (the input ring is full).
    virtual int WaitDeviceEvent(bool wantInput, unsigned& events) = 0;
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
    friend class TComThread;
    friend class TDispThread;
    friend class TOutThread;

    enum TEvent : unsigned {
        EvDeviceEvent = 1,
        EvDispatcherDone = 2,
        EvWorkerAck = 4,
        EvOutputReady = 8,
        EvFlushOrStop = 16,
    };

    // Events: flags that reset when a waiter takes them, under one lock so that a
    // worker can wait for either of two.
    void Signal(unsigned event);
    std::condition_variable& WakeOf(unsigned mask);
    // Takes the first of the events in mask that is set, waiting at most timeout
    // (forever when absent); gives the event taken, or 0.
    unsigned WaitAny(unsigned mask,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds::max());

    int InCountLocked() const;
    int OutCountLocked() const;
    void SetInputFullLocked(bool full);
    void RefreshStatusLocked(int outCount);
    int WriteBlockLocked(TVarnLineSettings& settings);
    int ApplyLinesLocked();
    int CheckMarks(uint16_t stopMark, uint16_t resumeMark) const;

    // Worker steps.
    void FillInput();
    void WriteOutput();
    bool NextChunk(int& start, int& length);
    void AdvanceOutput(int length);
    void AcknowledgeFlush();
    void WriterStarted();
    void WriterEnded();

    int StartWorkers();
    void StopWorkers();
    void Release();

    bool open_ = false;
    int inSize_ = 0;
    int outSize_ = 0;

    std::mutex stateLock_;  // settings block, line states, last rate
    TVarnLineSettings settings_;
    int32_t lastRate_ = 115200;
    bool dtrState_ = true, rtsState_ = true;
    bool dtrHandshake_ = false, rtsHandshake_ = false;

    std::atomic<unsigned> lineErrors_{0};
    std::atomic<int> deviceInCount_{0};
    std::atomic<int> deviceOutCount_{0};

    std::mutex inLock_;  // taken before outLock_ when both are needed
    std::unique_ptr<char[]> inRing_;
    int inRead_ = 0, inWrite_ = 0;
    bool inFull_ = false;
    std::atomic<bool> inputBlocked_{false};  // inFull_ for the event worker's wait

    std::mutex outLock_;
    std::unique_ptr<char[]> outRing_;
    int outRead_ = 0, outWrite_ = 0;
    bool outFull_ = false;

    mutable std::mutex eventLock_;
    std::condition_variable comWake_, dispWake_, outWake_, callerWake_;
    unsigned events_ = 0;
    uint64_t flushAsked_ = 0, flushAcked_ = 0;  // under eventLock_
    bool writerRunning_ = false;                // under eventLock_

    std::atomic<bool> stop_{false};
    std::atomic<unsigned> lastDeviceEvents_{0};
    std::atomic<uint64_t> deviceEventCount_{0};
    bool started_ = false;
    std::unique_ptr<TVarnDispatcherThread> comThread_, dispThread_, outThread_;
};

// The serial device layer of the operating system this is built for.
std::unique_ptr<TVarnBaseDispatcher> CreateSystemDispatcher();
