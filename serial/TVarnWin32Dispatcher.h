#pragma once
// The device layer on Windows communication devices ("\\.\COM<n>"), opened for
// overlapped I/O. All operating-system calls of the device layer on Windows are made
// in its source file; this header keeps the system's headers out of its users.
#include <memory>
#include <string>

#include "serial/TVarnBaseDispatcher.h"

class TVarnWin32Dispatcher : public TVarnBaseDispatcher {
public:
    TVarnWin32Dispatcher();
    ~TVarnWin32Dispatcher() override;

    // A Windows error number as the port object reads it: a missing device is "file
    // not found" or "path not found", a device in use "access denied"; numbers that the
    // port's message table would misname become the general failure; all others are
    // negated.
    static int ErrorCode(unsigned long error);

protected:
    int OpenDevice(const std::string& deviceName) override;
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
    struct Device;  // the handle, its I/O events and the settings found at open
    std::unique_ptr<Device> device_;
};
