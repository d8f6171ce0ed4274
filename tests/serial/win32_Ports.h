#pragma once
// The COM ports that `make wine-tests` gives the Windows tests: A and B are joined by
// a pseudo-terminal relay like a null-modem cable, the control port steers the relay,
// the dangling port links to nothing and the missing port is not there. Their
// numbers come from the environment; without them the tests that need a port skip.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "serial/TVarnComPort.h"
#include "tests/serial/TestSupport.h"

namespace win32_test {

using serial_test::PatternBytes;
using serial_test::WaitUntil;

struct TestPorts {
    uint16_t a = 0, b = 0, control = 0, dangling = 0, missing = 0;
    bool Linked() const { return a && b && control && dangling && missing; }
};

inline uint16_t PortFromEnv(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return 0;
    const long n = std::strtol(value, nullptr, 10);
    return n >= 1 && n <= 254 ? static_cast<uint16_t>(n) : 0;
}

inline TestPorts Ports() {
    TestPorts p;
    p.a = PortFromEnv("HG_WINE_PORT_A");
    p.b = PortFromEnv("HG_WINE_PORT_B");
    p.control = PortFromEnv("HG_WINE_PORT_CONTROL");
    p.dangling = PortFromEnv("HG_WINE_PORT_DANGLING");
    p.missing = PortFromEnv("HG_WINE_PORT_MISSING");
    return p;
}

#define HG_NEED_TEST_PORTS(ports)                                                             \
    do {                                                                                      \
        if (!(ports).Linked())                                                                \
            GTEST_SKIP() << "no COM ports linked to pseudo-terminals; run `make wine-tests`"; \
    } while (0)

// The port settings of the configuration window.
inline void SetUpPort(TVarnComPort& port, uint16_t n) {
    port.SetComNumber(n);
    port.SetBaud(9600);
    port.SetAutoOpen(false);
    port.SetPromptForPort(false);
    port.SetBufferFull(1000);
    port.SetBufferResume(1000);
}

// Exactly n characters from an open port, or what came within timeout.
inline std::string Receive(TVarnComPort& port, size_t n,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (got.size() < n && std::chrono::steady_clock::now() < end) {
        const int waiting = port.InputCount();
        const size_t take = std::min<size_t>(static_cast<size_t>(waiting), n - got.size());
        if (take == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        std::string chunk(take, '\0');
        port.ReadBlock(chunk.data(), static_cast<uint16_t>(take));
        got += chunk;
    }
    return got;
}

// Queues all of data, waiting for room in the output ring as long as timeout allows.
inline bool Send(TVarnComPort& port, const std::string& data, size_t piece = 1024,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (size_t done = 0; done < data.size();) {
        const std::string part = data.substr(done, piece);
        try {
            port.WriteString(part);
            done += part.size();
        } catch (const std::exception&) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

// Holds and releases the line from A to B, through the control port.
class Relay {
public:
    explicit Relay(uint16_t controlPort) {
        SetUpPort(port_, controlPort);
        port_.SetOpen(true);
    }
    bool Hold() { return Command('P', 'p'); }
    bool Release() { return Command('R', 'r'); }

private:
    bool Command(char command, char answer) {
        port_.WriteString(std::string(1, command));
        return Receive(port_, 1) == std::string(1, answer);
    }
    TVarnComPort port_;
};

}  // namespace win32_test
