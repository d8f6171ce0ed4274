// The Windows tests' entry point. Started as `serial_win32_tests --hold-port=N` the
// program instead plays another program holding COM N: it opens the port, answers
// "y" (or "n" when the open failed) on its output and keeps the port until its input
// closes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/serial/win32_Ports.h"

namespace {

int HoldPort(uint16_t n) {
    TVarnComPort port;
    win32_test::SetUpPort(port, n);
    bool held = false;
    try {
        port.SetOpen(true);
        held = true;
    } catch (const std::exception&) {
    }
    std::fputc(held ? 'y' : 'n', stdout);
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    constexpr const char* kHold = "--hold-port=";
    if (argc == 2 && std::strncmp(argv[1], kHold, std::strlen(kHold)) == 0)
        return HoldPort(static_cast<uint16_t>(std::atoi(argv[1] + std::strlen(kHold))));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
