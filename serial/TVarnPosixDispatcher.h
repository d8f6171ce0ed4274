#pragma once
// The device layer on POSIX serial devices (terminals, USB adapters, pseudo-terminals).
// All operating-system calls of the device layer are made here; PosixErrors and
// PosixTermios beside it read the system's error numbers and terminal attributes.
#include <atomic>
#include <memory>
#include <string>

#include "serial/TUucpLock.h"
#include "serial/TVarnBaseDispatcher.h"

class TVarnPosixDispatcher : public TVarnBaseDispatcher {
public:
    // Lock files in lockDirectory: TUucpLock::SystemDirectory(), where other programs
    // look for them.
    explicit TVarnPosixDispatcher(std::string lockDirectory);
    ~TVarnPosixDispatcher() override;

protected:
    int OpenDevice(const std::string& deviceName) override;
    int ProbeDevice(const std::string& deviceName) override;
    TDeviceHolder HolderOfDevice(const std::string& deviceName) override;
    int ConfigureDevice() override;
    void CloseDevice() override;
    int SetQueueSizes(int inSize, int outSize) override;
    int ReadSettings(TVarnLineSettings& settings) override;
    int WriteSettings(const TVarnLineSettings& settings) override;
    int LineControl(TLine line, bool raise) override;
    int Purge(bool input) override;
    int ReadStatus(unsigned& lineErrors, int& inQueue) override;
    int ReadDevice(char* buffer, int n) override;
    int WaitDeviceEvent(bool wantInput) override;
    void WakeEventWait() override;
    TWriteOutcome WriteDevice(const char* data, int n) override;
    void WakeWriter() override;

private:
    struct Saved;  // the device's settings as found at open

    void MarkGone();
    // The character device that deviceName names, or the code saying why there is none.
    int Locate(const std::string& deviceName, std::string& path) const;
    // Opens path once the device is claimed, or looked at (a probe).
    int OpenPath(const std::string& path);

    int fd_ = -1;
    int eventWakeFd_ = -1;  // ends the event worker's wait
    int writeWakeFd_ = -1;  // ends the writer's wait for the device
    TUucpLock lock_;        // ours while the device is open
    std::unique_ptr<Saved> saved_;
    TVarnLineSettings extra_;  // what the device cannot hold itself (handshake modes, limits)
    // The device's other end has gone (hang-up): until it is closed, reads give nothing
    // and writes are dropped.
    std::atomic<bool> gone_{false};
    std::atomic<bool> hangupSeen_{false};
};
