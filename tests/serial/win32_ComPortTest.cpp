// The port object on Windows communication devices: names, the open failures the
// link session tells apart, exclusive use, and traffic both ways.
#include <gtest/gtest.h>
#include <windows.h>

#include "serial/PortNames.h"
#include "serial/ProbePort.h"
#include "serial/TVarnComPort.h"
#include "serial/TVarnWin32Dispatcher.h"
#include "serial/VarnExceptions.h"
#include "tests/serial/win32_Ports.h"

using namespace win32_test;
using serial_test::RaisedText;

namespace {

TEST(Win32PortNames, TheDeviceNameIsTheComNameItself) {
    EXPECT_EQ(ComDeviceName(7), "\\\\.\\COM7");
    EXPECT_EQ(ResolveDeviceName(ComDeviceName(7)), "\\\\.\\COM7");
    EXPECT_EQ(ResolveDeviceName(ComDeviceName(254)), "\\\\.\\COM254");
    EXPECT_EQ(DefaultDeviceOfPort(3), "\\\\.\\COM3");
    EXPECT_EQ(DefaultDeviceOfPort(0), "");
    // Only port names reach the device layer: no files, no other devices.
    EXPECT_EQ(ResolveDeviceName("COM7"), "");
    EXPECT_EQ(ResolveDeviceName("\\\\.\\COM0"), "");
    EXPECT_EQ(ResolveDeviceName("\\\\.\\COM7\\..\\PhysicalDrive0"), "");
    EXPECT_EQ(ResolveDeviceName("C:\\Quillon\\Haltguard IDs\\IDGroup.db"), "");
    EXPECT_EQ(PortsFolder(), "");
}

TEST(Win32ErrorCodes, OpenFailuresKeepTheirMeaning) {
    // Missing ports and ports in use are what the port object turns into EBadId
    // and EAlreadyOpen.
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(2), -2);   // file not found
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(3), -3);   // path not found
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(55), -2);  // device no longer exists
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(5), -5);   // access denied
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(32), -5);  // sharing violation (Wine)
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(8), -8);
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(14), -8);
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(87), -87);
    // Never success, never a number the message table would misname.
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(0), -162);
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(0xFFFFFFFFul), -162);
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(101), -162);
    EXPECT_EQ(TVarnWin32Dispatcher::ErrorCode(158), -162);
}

class Win32ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        HG_NEED_TEST_PORTS(ports);
        SetUpPort(a, ports.a);
        SetUpPort(b, ports.b);
    }

    TestPorts ports = Ports();
    TVarnComPort a, b;
};

TEST_F(Win32ComPortTest, TrafficBothWaysIsTransparent) {
    a.SetOpen(true);
    b.SetOpen(true);
    ASSERT_TRUE(a.Open());
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    const std::string there = "\r\n\x11\x13\x1a" + all + "end";
    a.WriteString(there);
    EXPECT_EQ(Receive(b, there.size()), there);

    const std::string back = PatternBytes(3000, 7);
    b.WriteString(back);
    EXPECT_EQ(Receive(a, back.size()), back);
    EXPECT_EQ(a.InputCount(), 0);
    EXPECT_EQ(b.InputCount(), 0);

    a.SetOpen(false);
    b.SetOpen(false);
    EXPECT_FALSE(a.Open());
    EXPECT_EQ(a.InputCount(), 0);
}

TEST_F(Win32ComPortTest, APortInUseIsAlreadyOpenAndFreeAgainAfterClose) {
    a.SetOpen(true);
    TVarnComPort second;
    SetUpPort(second, ports.a);
    int code = 0;
    EXPECT_EQ(RaisedText<EOpenComm>([&] { second.SetOpen(true); }, &code),
              "ie_Open - device already open");
    EXPECT_EQ(code, -2008);
    EXPECT_FALSE(second.Open());
    EXPECT_TRUE(ProbePort(ports.a));  // held, but there

    // The holder is not disturbed by the refused open.
    b.SetOpen(true);
    a.WriteString("still mine");
    EXPECT_EQ(Receive(b, 10), "still mine");

    a.SetOpen(false);
    second.SetOpen(true);
    EXPECT_TRUE(second.Open());
    second.SetOpen(false);
}

// This test program started again, holding a port until it is let go.
class OtherProgram {
public:
    explicit OtherProgram(uint16_t port) {
        char path[MAX_PATH];
        ::GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string command = "\"" + std::string(path) + "\" --hold-port=" + std::to_string(port);
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE childIn = nullptr, childOut = nullptr;
        if (!::CreatePipe(&childIn, &toChild_, &inherit, 0) ||
            !::CreatePipe(&fromChild_, &childOut, &inherit, 0))
            return;
        ::SetHandleInformation(toChild_, HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(fromChild_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childIn;
        startup.hStdOutput = childOut;
        startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION info{};
        if (::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &info)) {
            process_ = info.hProcess;
            ::CloseHandle(info.hThread);
        }
        ::CloseHandle(childIn);
        ::CloseHandle(childOut);
        char answer = 0;
        DWORD got = 0;
        held_ = process_ && ::ReadFile(fromChild_, &answer, 1, &got, nullptr) && got == 1 &&
                answer == 'y';
    }
    ~OtherProgram() { Release(); }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    bool Held() const { return held_; }
    void Release() {
        if (toChild_) ::CloseHandle(toChild_);
        toChild_ = nullptr;
        if (process_) {
            ::WaitForSingleObject(process_, 10000);
            ::CloseHandle(process_);
        }
        process_ = nullptr;
        if (fromChild_) ::CloseHandle(fromChild_);
        fromChild_ = nullptr;
    }

private:
    HANDLE toChild_ = nullptr, fromChild_ = nullptr, process_ = nullptr;
    bool held_ = false;
};

TEST_F(Win32ComPortTest, APortAnotherProgramHoldsIsAlreadyOpen) {
    OtherProgram other(ports.a);
    ASSERT_TRUE(other.Held());
    int code = 0;
    EXPECT_EQ(RaisedText<EOpenComm>([&] { a.SetOpen(true); }, &code),
              "ie_Open - device already open");
    EXPECT_EQ(code, -2008);
    EXPECT_FALSE(a.Open());
    EXPECT_TRUE(ProbePort(ports.a));
    other.Release();
    a.SetOpen(true);
    EXPECT_TRUE(a.Open());
}

TEST_F(Win32ComPortTest, MissingAndDanglingPortsDoNotExist) {
    for (uint16_t n : {ports.missing, ports.dangling}) {
        TVarnComPort port;
        SetUpPort(port, n);
        int code = 0;
        EXPECT_EQ(RaisedText<EOpenComm>([&] { port.SetOpen(true); }, &code),
                  "ie_BadId - Specified comport doesn't exist")
            << "COM" << n;
        EXPECT_EQ(code, -2001);
        EXPECT_FALSE(port.Open());
        EXPECT_FALSE(ProbePort(n)) << "COM" << n;
    }
    EXPECT_TRUE(ProbePort(ports.b));
    // The probe leaves nothing open.
    b.SetOpen(true);
    EXPECT_TRUE(b.Open());
}

TEST_F(Win32ComPortTest, FlushInputDiscardsWhatHasArrived) {
    a.SetOpen(true);
    b.SetOpen(true);
    b.WriteString(std::string(100, 'x'));
    ASSERT_TRUE(WaitUntil([&] { return a.InputCount() == 100; }));
    a.FlushInput();
    EXPECT_EQ(a.InputCount(), 0);
    b.WriteString("after");
    EXPECT_EQ(Receive(a, 5), "after");
}

TEST_F(Win32ComPortTest, OpeningAndClosingOverAndOver) {
    b.SetOpen(true);
    for (int i = 0; i < 20; ++i) {
        a.SetOpen(true);
        const std::string text = "round " + std::to_string(i);
        a.WriteString(text);
        ASSERT_EQ(Receive(b, text.size()), text);
        a.SetOpen(false);
    }
}

}  // namespace
