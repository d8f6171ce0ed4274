// Port numbers to devices, the availability test and the error table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "serial/PortNames.h"
#include "serial/ProbePort.h"
#include "serial/TVarnComPort.h"
#include "serial/VarnExceptions.h"
#include "serial/WorkerErrors.h"
#include "tests/common/TempHome.h"
#include "tests/serial/PtyPair.h"

using namespace serial_test;

namespace {

TEST(PortNames, DeviceNamesAndTheDefaultMapping) {
    EXPECT_EQ(ComDeviceName(1), "\\\\.\\COM1");
    EXPECT_EQ(ComDeviceName(254), "\\\\.\\COM254");
    EXPECT_EQ(DefaultDeviceOfPort(0), "");
    EXPECT_EQ(DefaultDeviceOfPort(1), "/dev/ttyS0");
    EXPECT_EQ(DefaultDeviceOfPort(32), "/dev/ttyS31");
    EXPECT_EQ(DefaultDeviceOfPort(33), "/dev/ttyUSB0");
    EXPECT_EQ(DefaultDeviceOfPort(64), "/dev/ttyUSB31");
    EXPECT_EQ(DefaultDeviceOfPort(65), "/dev/ttyACM0");
    EXPECT_EQ(DefaultDeviceOfPort(96), "/dev/ttyACM31");
    EXPECT_EQ(DefaultDeviceOfPort(97), "");
}

TEST(PortNames, PortsFolderFollowsTheConfigHome) {
    TempHome home;
    EXPECT_EQ(PortsFolder(), home.portsDir().string());
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(PortsFolder(), "/home/someone/.config/Quillon/ports");
    setenv("XDG_CONFIG_HOME", "relative/path", 1);  // not absolute: ignored
    EXPECT_EQ(PortsFolder(), "/home/someone/.config/Quillon/ports");
    if (oldHome)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST(PortNames, ResolvingThroughThePortsFolder) {
    TempHome home;
    // No folder: the default mapping (the names only; nothing is opened here).
    EXPECT_EQ(ResolveDeviceName(ComDeviceName(1)), "/dev/ttyS0");
    EXPECT_EQ(ResolveDeviceName(ComDeviceName(40)), "/dev/ttyUSB7");
    EXPECT_EQ(ResolveDeviceName(ComDeviceName(97)), "");

    std::filesystem::create_directories(home.portsDir());
    const auto target = home.root() / "device";
    { std::ofstream(target.string()) << ""; }
    std::filesystem::create_symlink(target, home.portsDir() / "com7");
    std::filesystem::create_symlink(home.root() / "gone", home.portsDir() / "com8");
    EXPECT_EQ(ResolveDeviceName(ComDeviceName(7)), (home.portsDir() / "com7").string());
    EXPECT_EQ(ResolveDeviceName(ComDeviceName(8)), "");  // dangling link: no port
    EXPECT_EQ(ResolveDeviceName(ComDeviceName(1)), "");  // folder there, no link
    EXPECT_EQ(ResolveDeviceName("\\\\.\\COM0"), "");
    EXPECT_EQ(ResolveDeviceName("\\\\.\\COM07"), "");
    EXPECT_EQ(ResolveDeviceName("\\\\.\\COM7x"), "");
    EXPECT_EQ(ResolveDeviceName("COM7"), "");
    EXPECT_EQ(ResolveDeviceName(""), "");
    EXPECT_EQ(ResolveDeviceName(target.string()), "");  // only port names are resolved
}

TEST(ProbePort, TellsPresentPortsFromMissingOnes) {
    TempHome home;
    PtyPair pty;
    pty.LinkAs(home.portsDir(), 2);
    std::filesystem::create_symlink(home.root() / "gone", home.portsDir() / "com5");
    EXPECT_FALSE(ProbePort(0));
    EXPECT_TRUE(ProbePort(2));
    EXPECT_FALSE(ProbePort(3));
    EXPECT_FALSE(ProbePort(5));
    EXPECT_FALSE(ProbePort(70000));
    // Nothing is left open: a port object opens it straight after.
    TVarnComPort port;
    port.SetComNumber(2);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    // An open port is held, and so still counts as present.
    EXPECT_TRUE(ProbePort(2));
}

TEST(ErrorTable, CodesBecomeTheirExceptions) {
    auto raised = [](int code) -> std::string {
        try {
            RaiseVarnError(code);
        } catch (const EBadArgument& e) {
            return "EBadArgument:" + std::string(e.what());
        } catch (const EBadId& e) {
            return "EBadId:" + std::string(e.what());
        } catch (const ECommNotOpen& e) {
            return "ECommNotOpen:" + std::string(e.what());
        } catch (const EAlreadyOpen& e) {
            return "EAlreadyOpen:" + std::string(e.what());
        } catch (const ENoPortSelected& e) {
            return "ENoPortSelected:" + std::string(e.what());
        } catch (const ENullApi& e) {
            return "ENullApi:" + std::string(e.what());
        } catch (const EOutputBufferTooSmall& e) {
            return "EOutputBufferTooSmall:" + std::string(e.what());
        } catch (const EBufferIsEmpty& e) {
            return "EBufferIsEmpty:" + std::string(e.what());
        } catch (const EOutOfMemory& e) {
            return "EOutOfMemory:" + std::string(e.what());
        } catch (const EInOutError& e) {
            return "EInOutError " + std::to_string(e.ErrorCode()) + ":" + e.what();
        } catch (const EVarnException& e) {
            return "EVarnException " + std::to_string(e.Code()) + ":" + e.what();
        }
        return "";
    };
    EXPECT_EQ(raised(-1002), "EBadArgument:Bad argument passed to function");
    EXPECT_EQ(raised(-2001), "EBadId:ie_BadId - Specified comport doesn't exist");
    EXPECT_EQ(raised(-2007), "ECommNotOpen:ie_NOpen - device not open");
    EXPECT_EQ(raised(-2008), "EAlreadyOpen:ie_Open - device already open");
    EXPECT_EQ(raised(-2011),
              "ENoPortSelected:The ComNumber property of the TVarnComPort has not been set");
    EXPECT_EQ(raised(-3001), "ENullApi:No device layer specified");
    EXPECT_EQ(raised(-3006), "EOutputBufferTooSmall:Output buffer too small for block");
    EXPECT_EQ(raised(-3007), "EBufferIsEmpty:Buffer is empty");
    EXPECT_EQ(raised(-8), "EOutOfMemory:Out of memory");
    EXPECT_EQ(raised(-2), "EInOutError 2:File not found");
    EXPECT_EQ(raised(-5), "EInOutError 5:File access denied");
    EXPECT_EQ(raised(-103), "EInOutError 103:File/device not open");
    EXPECT_EQ(raised(-162), "EInOutError 162:General failure");
    EXPECT_EQ(raised(-13), "EInOutError 13:Permission denied");  // the system's own text
    EXPECT_EQ(raised(-1), "EVarnException -1:Varn exception");
    EXPECT_EQ(raised(-163), "EVarnException -163:Varn exception");
    EXPECT_EQ(raised(-9999), "EVarnException -9999:Varn exception");

    // The group the link session catches.
    EXPECT_THROW(RaiseVarnError(-2001), EOpenComm);
    EXPECT_THROW(RaiseVarnError(-2008), EOpenComm);
    EXPECT_THROW(RaiseVarnError(-3007), ESerialIO);
    EXPECT_THROW(RaiseVarnError(-1002), EGeneral);
}

TEST(ErrorTable, SystemTextsAreOneTidyLine) {
    EXPECT_EQ(TidyMessageText("Access is denied.\r\n"), "Access is denied. ");
    EXPECT_EQ(TidyMessageText("a\t\tb  \x7f c"), "a b c");
    EXPECT_EQ(TidyMessageText(std::string(300, 'x')), std::string(255, 'x'));
    EXPECT_EQ(TidyMessageText(std::string(100, ' ') + std::string(300, 'y')),
              " " + std::string(254, 'y'));
    for (int n = 2; n <= 162; ++n) {
        const std::string text = VarnErrorText(n);
        ASSERT_FALSE(text.empty()) << n;
        EXPECT_LE(text.size(), 255u) << n;
        EXPECT_EQ(text.find("  "), std::string::npos) << n;
        for (char c : text) EXPECT_FALSE(static_cast<unsigned char>(c) < 32) << n;
    }
}

TEST(WorkerErrors, GoToTheReporterAndNeverThrow) {
    std::string seen;
    SetWorkerErrorReporter([&](const std::string& message) { seen = message; });
    ReportWorkerError("worker failed");
    EXPECT_EQ(seen, "worker failed");
    SetWorkerErrorReporter([](const std::string&) { throw std::runtime_error("display broke"); });
    EXPECT_NO_THROW(ReportWorkerError("still safe"));
    SetWorkerErrorReporter(nullptr);
}

}  // namespace
