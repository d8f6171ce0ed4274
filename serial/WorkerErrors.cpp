#include "serial/WorkerErrors.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace {

std::mutex& ReporterLock() {
    static std::mutex lock;
    return lock;
}

std::function<void(const std::string&)>& Reporter() {
    static std::function<void(const std::string&)> reporter;
    return reporter;
}

void WriteToStderr(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
}

}  // namespace

void SetWorkerErrorReporter(std::function<void(const std::string& message)> reporter) {
    std::lock_guard<std::mutex> guard(ReporterLock());
    Reporter() = std::move(reporter);
}

void ReportWorkerError(const std::string& message) {
    // Called from worker threads that are about to end: whatever the reporter does,
    // nothing may escape from here.
    try {
        std::function<void(const std::string&)> reporter;
        {
            std::lock_guard<std::mutex> guard(ReporterLock());
            reporter = Reporter();
        }
        if (reporter)
            reporter(message);
        else
            WriteToStderr(message);
    } catch (...) {
        try {
            WriteToStderr(message);
        } catch (...) {
        }
    }
}
