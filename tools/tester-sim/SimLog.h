#pragma once
// The simulator's log: "<ms since start> <event>" lines, each flushed at once so
// that a test reading the file sees every line as soon as it happened.
#include <chrono>
#include <cstdio>
#include <string>

class TSimLog {
public:
    // path "" logs to standard output, unless quiet; otherwise the file is created
    // (truncated).
    explicit TSimLog(const std::string& path, bool quiet = false);
    ~TSimLog();
    TSimLog(const TSimLog&) = delete;
    TSimLog& operator=(const TSimLog&) = delete;

    void Line(const std::string& event);
    long long Milliseconds() const;

private:
    std::FILE* file_;
    bool owned_;
    std::chrono::steady_clock::time_point start_;
};
