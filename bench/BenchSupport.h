#pragma once
// What the store benchmarks share: a temporary data folder with an empty groups
// table (XDG_DATA_HOME points there too, so nothing of the user's is read or
// written), a fixed clock, the window as the store operations see it, and medians
// reported against a target.
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/LocalGroupRepository.h"
#include "store/TIDGroupStore.h"
#include "tests/common/FixedTime.h"

namespace bench {

namespace fs = std::filesystem;

struct Folder {
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "hg-store-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root = pattern;
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        paths = DefaultStorePaths();
        fs::create_directories(paths.IDListDir);
        CreateGroupsTable(paths);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    fs::path root;
    TStorePaths paths;
};

// The window's slots, group list and boxes: New is answered with `nextName`, every
// question with Yes, and a message ends the run (none is expected).
class BenchWindow : public TStoreWindow, public TMessageBoxes {
public:
    std::array<std::string, kVehicleSlots> vehicle;
    std::array<std::string, kTrailerSlots> trailer;
    std::vector<std::string> names;
    std::string nextName;

    std::string VehicleSlot(int slot) const override { return vehicle.at(slot); }
    void SetVehicleSlot(int slot, const std::string& text) override { vehicle.at(slot) = text; }
    std::string TrailerSlot(int slot) const override { return trailer.at(slot); }
    void SetTrailerSlot(int slot, const std::string& text) override { trailer.at(slot) = text; }
    void ShowGroupList(const std::vector<std::string>& list, const std::string&) override {
        names = list;
    }
    void Information(const std::string& text) override {
        std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        std::exit(1);
    }
    TConfirmAnswer Confirm(const std::string&) override { return TConfirmAnswer::Yes; }
    std::string InputBox(const std::string&, const std::string&, const std::string&) override {
        return nextName;
    }
};

inline double TimeMs(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// target <= 0: none set.
inline void Report(const char* what, const std::vector<double>& ms, double target) {
    const auto [lo, hi] = std::minmax_element(ms.begin(), ms.end());
    const double median = Median(ms);
    std::printf("%-34s median %8.3f ms  (min %.3f, max %.3f, n=%zu)", what, median, *lo, *hi,
                ms.size());
    if (target > 0)
        std::printf("  target <= %g ms  %s", target, median <= target ? "ok" : "MISSED");
    std::printf("\n");
}

}  // namespace bench
