#pragma once
// What the store benchmarks share: a temporary data folder with an empty groups
// table (XDG_DATA_HOME points there too, so nothing of the user's is read or
// written), a fixed clock, and medians reported against a target.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/TIDGroupStore.h"

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
        TTable t("setup");
        t.SetDatabaseName(paths.GroupsDir);
        t.SetTableName(kGroupsTableName);
        t.CreateTable({{kGroupNameField, 30}, {kIDListNameField, 150}}, {kGroupNameField});
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    fs::path root;
    TStorePaths paths;
};

// 7 December 2026, 14:05:33, in the default formats.
inline TDateTimeSource FixedClock() {
    TDateTimeSource c = DefaultDateTimeSource();
    c.Now = [] {
        std::tm t{};
        t.tm_year = 126;
        t.tm_mon = 11;
        t.tm_mday = 7;
        t.tm_hour = 14;
        t.tm_min = 5;
        t.tm_sec = 33;
        return t;
    };
    return c;
}

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
