// Started without a display, the program says so in one line instead of letting Qt
// abort; a display or a chosen platform lets it start.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/DisplayCheck.h"

namespace {

TEST(DisplayCheck, WithoutADisplayOneLineAndNoQt) {
    const char* build = std::getenv("HG_BUILD_DIR");
    if (!build) GTEST_SKIP() << "HG_BUILD_DIR is not set (run through ctest)";
    const std::string command =
        std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '") + build +
        "/shell/haltguard-ids' 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string output;
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) output.append(buffer, n);
    const int status = ::pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
    EXPECT_NE(output.find("xvfb-run -a haltguard-ids"), std::string::npos) << output;
}

TEST(DisplayCheck, AWaylandDisplayOrAChosenPlatformIsHonoured) {
    char program[] = "haltguard-ids";
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    char* plain[] = {program};
    char* chosen[] = {program, platform, offscreen};
    ::unsetenv("DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    EXPECT_EQ(MissingDisplayMessage(1, plain), "");
    ::unsetenv("WAYLAND_DISPLAY");
    EXPECT_NE(MissingDisplayMessage(1, plain), "");
    EXPECT_EQ(MissingDisplayMessage(3, chosen), "");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EXPECT_EQ(MissingDisplayMessage(1, plain), "");
}

}  // namespace
