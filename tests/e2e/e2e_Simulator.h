#pragma once
// The tester simulator as a separate process for the end-to-end tests: started on
// a COM link in the temporary ports folder, its frame log and state file read back.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

inline std::filesystem::path BuildDir() {
    const char* dir = std::getenv("HG_BUILD_DIR");
#ifdef HG_DEFAULT_BUILD_DIR
    if (!dir) dir = HG_DEFAULT_BUILD_DIR;
#endif
    if (!dir) throw std::runtime_error("HG_BUILD_DIR is not set");
    return dir;
}

// "\xHH" escapes of the log and state file back to bytes.
inline std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct TLogLine {
    long long Ms = 0;
    std::string Kind;     // RX, TX, NOREPLY, END
    std::string Command;  // for RX: 1, 2, 3, D or ?
    std::string Address;  // for RX 1, 2, 3
    std::string Data;     // write data or clock digits, unescaped
};

inline std::vector<TLogLine> ReadLog(const std::filesystem::path& path) {
    std::vector<TLogLine> lines;
    std::ifstream in(path, std::ios::binary);
    std::string text;
    while (std::getline(in, text)) {
        TLogLine l;
        std::size_t a = text.find(' ');
        if (a == std::string::npos) continue;
        l.Ms = std::stoll(text.substr(0, a));
        std::size_t b = text.find(' ', a + 1);
        l.Kind = text.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
        if (l.Kind == "RX" && b != std::string::npos) {
            std::size_t c = text.find(' ', b + 1);
            l.Command = text.substr(b + 1, c == std::string::npos ? std::string::npos : c - b - 1);
            std::string rest = c == std::string::npos ? "" : text.substr(c + 1);
            if (l.Command == "1" || l.Command == "2" || l.Command == "3") {
                l.Address = rest.substr(0, 4);
                l.Data = rest.size() > 5 ? Unescape(rest.substr(5)) : "";
            } else {
                l.Data = Unescape(rest);
            }
        } else if (b != std::string::npos) {
            l.Data = text.substr(b + 1);
        }
        lines.push_back(l);
    }
    return lines;
}

inline std::vector<TLogLine> Received(const std::vector<TLogLine>& log,
                                      const std::string& command) {
    std::vector<TLogLine> out;
    for (const auto& l : log)
        if (l.Kind == "RX" && l.Command == command) out.push_back(l);
    return out;
}

struct TSimState {
    std::map<std::string, std::string> Cells;  // address -> 16 Windows-1252 bytes
    std::string Clock;
};

inline TSimState ReadState(const std::filesystem::path& path) {
    TSimState state;
    std::ifstream in(path, std::ios::binary);
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#') continue;
        const std::size_t tab = text.find('\t');
        if (tab == std::string::npos) continue;
        const std::string key = text.substr(0, tab), value = Unescape(text.substr(tab + 1));
        if (key == "CLOCK")
            state.Clock = value;
        else
            state.Cells[key] = value;
    }
    return state;
}

inline void WriteState(const std::filesystem::path& path, const TSimState& state) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& [address, cell] : state.Cells) {
        out << address << '\t';
        for (unsigned char c : cell) {
            if (c < 32 || c >= 127 || c == '\\') {
                char esc[5];
                std::snprintf(esc, sizeof esc, "\\x%02X", c);
                out << esc;
            } else {
                out << c;
            }
        }
        out << '\n';
    }
    if (!state.Clock.empty()) out << "CLOCK\t" << state.Clock << '\n';
}

#ifndef _WIN32
// POSIX only: under Wine the simulator runs natively, started by the test script.
class TSimulator {
public:
    // Starts the simulator as COM `com`, with a log and a state file in `dir`.
    TSimulator(const std::filesystem::path& dir, unsigned com,
               const std::vector<std::string>& extra = {})
        : log_(dir / ("sim" + std::to_string(com) + ".log")),
          state_(dir / ("sim" + std::to_string(com) + ".state")) {
        std::vector<std::string> args = {(BuildDir() / "tools" / "haltguard-tester-sim").string(),
                                         "--com",
                                         std::to_string(com),
                                         "--log",
                                         log_.string(),
                                         "--state",
                                         state_.string(),
                                         "--die-with-parent"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            // Only async-signal-safe calls between fork and exec.
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        // The first line names the port once the link is in place.
        std::string first;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (first.find('\n') == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("the simulator did not start");
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                char buffer[256];
                const ssize_t n = read(out_, buffer, sizeof buffer);
                if (n <= 0) throw std::runtime_error("the simulator ended at start");
                first.append(buffer, static_cast<std::size_t>(n));
            }
        }
        FirstLine = first.substr(0, first.find('\n'));
    }
    ~TSimulator() { Stop(); }
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    // SIGTERM and wait: the simulator puts the link back.
    void Stop() { End(SIGTERM); }
    // SIGKILL: gone at once, link left dangling.
    void Kill() { End(SIGKILL); }
    bool Running() const { return pid_ > 0; }

    std::vector<TLogLine> Log() const { return ReadLog(log_); }
    TSimState State() const { return ReadState(state_); }
    const std::filesystem::path& StatePath() const { return state_; }

    std::string FirstLine;

private:
    void End(int signal) {
        if (pid_ <= 0) return;
        kill(pid_, signal);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        if (out_ >= 0) close(out_);
        out_ = -1;
    }

    std::filesystem::path log_, state_;
    pid_t pid_ = -1;
    int out_ = -1;
};
#endif

}  // namespace e2e
