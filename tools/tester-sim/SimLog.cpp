#include "tools/tester-sim/SimLog.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

TSimLog::TSimLog(const std::string& path, bool quiet)
    : file_(path.empty() ? (quiet ? nullptr : stdout) : std::fopen(path.c_str(), "w")),
      owned_(!path.empty()),
      start_(std::chrono::steady_clock::now()) {
    if (!file_ && !(quiet && path.empty()))
        throw std::runtime_error("cannot write the log " + path + ": " + std::strerror(errno));
}

TSimLog::~TSimLog() {
    if (owned_ && file_) std::fclose(file_);
}

long long TSimLog::Milliseconds() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
}

void TSimLog::Line(const std::string& event) {
    if (!file_) return;
    // A reader that went away (a closed pipe) must not stop the tester.
    std::fprintf(file_, "%lld %s\n", Milliseconds(), event.c_str());
    std::fflush(file_);
}
