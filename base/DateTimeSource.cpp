#include "base/DateTimeSource.h"

#include <chrono>

namespace {

std::string Format(const std::tm& moment, const char* pattern) {
    char buffer[64];
    const std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &moment);
    return std::string(buffer, n);
}

}  // namespace

TDateTimeSource DefaultDateTimeSource() {
    TDateTimeSource source;
    source.Now = [] {
        const std::time_t now =
            std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        return *std::localtime(&now);  // GUI thread only
    };
    source.ShortDate = [](const std::tm& m) { return Format(m, "%d/%m/%Y"); };
    source.LongTime = [](const std::tm& m) { return Format(m, "%H:%M:%S"); };
    return source;
}
