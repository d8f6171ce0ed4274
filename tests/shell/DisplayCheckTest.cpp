// Started without a display, the program says so in one line instead of letting Qt
// abort; a Wayland display or a chosen platform is honoured.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "shell/DisplayCheck.h"
#include "tests/common/CommandRun.h"

TEST(DisplayCheck, SaysWhatIsMissingOrStepsAside) {
    const char* build = std::getenv("HG_BUILD_DIR");
    if (!build) GTEST_SKIP() << "HG_BUILD_DIR is not set (run through ctest)";
    const auto [status, output] =
        RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + std::string(build) +
                   "/shell/haltguard-ids'");
    EXPECT_EQ(status, 1) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
    EXPECT_NE(output.find("xvfb-run -a haltguard-ids"), std::string::npos) << output;

    char program[] = "haltguard-ids", platform[] = "-platform", offscreen[] = "offscreen";
    char* chosen[] = {program, platform, offscreen};
    const std::string qpa = std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    ::unsetenv("DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    EXPECT_EQ(MissingDisplayMessage(3, chosen), "");
    ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    EXPECT_EQ(MissingDisplayMessage(1, chosen), "");
    ::unsetenv("WAYLAND_DISPLAY");
    if (!qpa.empty()) ::setenv("QT_QPA_PLATFORM", qpa.c_str(), 1);
}
