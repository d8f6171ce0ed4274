#pragma once
// Test support that the POSIX and the Windows serial tests share.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace serial_test {

inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Bytes that tell their position: a fixed pseudo-random stream.
inline std::string PatternBytes(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    uint32_t x = seed ? seed : 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = static_cast<char>(x >> 24);
    }
    return s;
}

// Runs f and gives the text of the exception E it raises ("" when none is raised).
template <typename E, typename F>
std::string RaisedText(F&& f, int* code = nullptr) {
    try {
        f();
    } catch (const E& e) {
        if (code) *code = e.Code();
        return e.what();
    }
    return "";
}

}  // namespace serial_test
