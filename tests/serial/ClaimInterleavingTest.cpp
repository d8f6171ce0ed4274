// Claims that meet at every step. One claimer is stopped before each of its changes to
// the lock folder (link, rename, flock) while a second, and later a third, claims in
// full; whatever the order, exactly one wins and its file is the one that stays. The
// steps are caught by standing in for those C library functions in this program (its
// own executable, so that no other test runs through them).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>

#include "serial/TUucpLock.h"
#include "tests/common/TempHome.h"

namespace {

thread_local bool tStopping = false;  // on while the stopped claimer claims
int gStep = 0;
std::function<void(int step)> gAtStep;

// Lets the others in before the stopped claimer's next step.
void Step() {
    if (!tStopping) return;
    tStopping = false;
    gAtStep(gStep++);
    tStopping = true;
}

template <class F>
F Real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int link(const char* from, const char* to) noexcept {
    static const auto real = Real<int (*)(const char*, const char*)>("link");
    Step();
    return real(from, to);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    static const auto real = Real<int (*)(const char*, const char*)>("rename");
    Step();
    return real(from, to);
}

extern "C" int flock(int fd, int operation) noexcept {
    static const auto real = Real<int (*)(int, int)>("flock");
    Step();
    return real(fd, operation);
}

namespace {

constexpr const char* kDevice = "/dev/null";
constexpr int kSteps = 8;  // more than a claim takes, however the others cut in

TEST(ClaimInterleavings, ExactlyOneWinsWhereverTheOthersCutIn) {
    // No file, a dead PID's (above any PID), an old one without a PID.
    const char* const starts[] = {nullptr, "   4194305\n", "garbage"};
    int scenarios = 0;
    for (const char* start : starts) {
        for (int second = 0; second < kSteps; ++second) {
            for (int third = second; third < kSteps; ++third) {
                TempHome home;
                const std::string dir = home.root().string(), file = dir + "/LCK..null";
                if (start) {
                    std::ofstream(file) << start;
                    const timespec old{std::time(nullptr) - 60, 0}, times[2] = {old, old};
                    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
                }
                TUucpLock stopped(dir), cutIn(dir), late(dir);
                bool won[3] = {false, false, false}, ran[3] = {true, false, false};
                gStep = 0;
                gAtStep = [&](int step) {
                    if (step == second) won[1] = cutIn.Claim(kDevice), ran[1] = true;
                    if (step == third) won[2] = late.Claim(kDevice), ran[2] = true;
                };
                tStopping = true;
                won[0] = stopped.Claim(kDevice);
                tStopping = false;
                if (!ran[1]) won[1] = cutIn.Claim(kDevice);
                if (!ran[2]) won[2] = late.Claim(kDevice);

                const std::string scenario = std::string(start ? start : "no file") + ", in at " +
                                             std::to_string(second) + " and " +
                                             std::to_string(third);
                EXPECT_EQ(won[0] + won[1] + won[2], 1) << scenario;
                // The winner's file stands (the losers took nothing away) and goes with it.
                EXPECT_TRUE(std::filesystem::exists(file)) << scenario;
                TUucpLock* const claimers[3] = {&stopped, &cutIn, &late};
                for (int i = 0; i < 3; ++i)
                    if (!won[i]) claimers[i]->Release();
                EXPECT_TRUE(std::filesystem::exists(file)) << scenario;
                for (int i = 0; i < 3; ++i)
                    if (won[i]) claimers[i]->Release();
                EXPECT_FALSE(std::filesystem::exists(file)) << scenario;
                ++scenarios;
            }
        }
    }
    EXPECT_EQ(scenarios, 3 * kSteps * (kSteps + 1) / 2);
}

}  // namespace
