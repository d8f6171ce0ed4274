#pragma once
// Helpers for the simulator and reply-parser tests: the simulator as a child process
// on a COM link in a temporary ports folder, a raw pseudo-terminal line played by
// the test, and the real port object opened on either.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "serial/TVarnComPort.h"

extern char** environ;

namespace sim_test {

using namespace std::chrono_literals;

inline std::string SimulatorPath() {
#ifdef HG_TESTER_SIM_PATH
    return HG_TESTER_SIM_PATH;
#else
    const char* build = std::getenv("HG_BUILD_DIR");
    if (!build) throw std::runtime_error("HG_BUILD_DIR is not set");
    return std::string(build) + "/tools/haltguard-tester-sim";
#endif
}

// The simulator, started with the given options; logs to a file in `dir`.
class TSimProcess {
public:
    TSimProcess(const std::filesystem::path& dir, std::vector<std::string> options,
                bool expectPortLine = true)
        : log_(dir / ("sim-" + std::to_string(counter_++) + ".log")), err_(log_.string() + ".err") {
        std::vector<std::string> args = {SimulatorPath(), "--die-with-parent", "--log",
                                         log_.string()};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
        if (rc != 0) {
            ::close(out_);
            throw std::runtime_error("cannot start " + args[0]);
        }
        if (expectPortLine) ReadPortLine();
    }
    ~TSimProcess() {
        if (pid_ > 0) Stop(SIGTERM);
        if (out_ >= 0) ::close(out_);
    }
    TSimProcess(const TSimProcess&) = delete;
    TSimProcess& operator=(const TSimProcess&) = delete;

    const std::string& PortLine() const { return portLine_; }
    unsigned Com() const { return com_; }
    const std::string& Device() const { return device_; }

    // Sends the signal and waits for the end; the exit status (-1 when killed).
    int Stop(int signal) {
        if (pid_ <= 0) return status_;
        ::kill(pid_, signal);
        return Wait();
    }
    int Wait() {
        if (pid_ <= 0) return status_;
        int status = 0;
        for (int i = 0; i < 500; ++i) {  // 5 s, then it is killed
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return status_;
            }
            std::this_thread::sleep_for(10ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status_ = -1;
    }

    std::vector<std::string> LogLines() const { return Lines(log_); }
    // The log lines without their time stamps.
    std::vector<std::string> Events() const {
        std::vector<std::string> events;
        for (const std::string& line : LogLines())
            events.push_back(line.substr(line.find(' ') + 1));
        return events;
    }
    std::string Errors() const {
        std::ifstream in(err_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static std::vector<std::string> Lines(const std::filesystem::path& file) {
        std::vector<std::string> lines;
        std::ifstream in(file, std::ios::binary);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

private:
    void ReadPortLine() {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (portLine_.empty() || portLine_.back() != '\n') {
            pollfd p{out_, POLLIN, 0};
            if (std::chrono::steady_clock::now() > deadline || ::poll(&p, 1, 100) < 0)
                throw std::runtime_error("no port line from the simulator: " + Errors());
            if (!p.revents) continue;
            char c;
            if (::read(out_, &c, 1) != 1)
                throw std::runtime_error("the simulator ended: " + Errors());
            portLine_ += c;
        }
        portLine_.pop_back();
        const auto blank = portLine_.find(' ');
        if (portLine_.rfind("COM", 0) != 0 || blank == std::string::npos)
            throw std::runtime_error("bad port line: " + portLine_);
        com_ = static_cast<unsigned>(std::stoul(portLine_.substr(3, blank - 3)));
        device_ = portLine_.substr(blank + 1);
    }

    inline static int counter_ = 0;
    std::filesystem::path log_;
    std::string err_;
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::string portLine_;
    unsigned com_ = 0;
    std::string device_;
};

// A pseudo-terminal linked as COM n, whose other end the test plays.
class TRawLine {
public:
    TRawLine(const std::filesystem::path& portsDir, unsigned com) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        std::filesystem::create_directories(portsDir);
        link_ = portsDir / ("com" + std::to_string(com));
        std::filesystem::create_symlink(::ptsname(master_), link_);
    }
    ~TRawLine() {
        std::error_code ec;
        std::filesystem::remove(link_, ec);
        ::close(master_);
    }
    TRawLine(const TRawLine&) = delete;
    TRawLine& operator=(const TRawLine&) = delete;

    void Send(const std::string& bytes) {
        if (::write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("cannot write the test line");
    }

private:
    int master_ = -1;
    std::filesystem::path link_;
};

// The port object as the program sets it up, opened on COM n.
inline std::unique_ptr<TVarnComPort> OpenPort(unsigned com) {
    auto port = std::make_unique<TVarnComPort>("Commune");
    port->SetBaud(9600);
    port->SetAutoOpen(false);
    port->SetBufferFull(1000);
    port->SetBufferResume(1000);
    port->SetComNumber(static_cast<uint16_t>(com));
    port->SetOpen(true);
    return port;
}

// Waits until at least n characters wait in the port (or the time is up), then a
// little longer so that anything sent beyond them has arrived too.
inline int WaitForInput(TVarnCustomComPort& port, int n, std::chrono::milliseconds limit = 3s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (port.InputCount() < n && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    std::this_thread::sleep_for(60ms);
    return port.InputCount();
}

// Sends a frame the way the program does (input flushed first) and takes all
// that arrives once at least `expected` characters have come.
inline std::string Exchange(TVarnCustomComPort& port, const std::string& frame, int expected,
                            std::chrono::milliseconds limit = 3s) {
    port.FlushInput();
    port.WriteString(frame);
    const int n = WaitForInput(port, expected, limit);
    std::string reply(static_cast<std::size_t>(n), '\0');
    if (n > 0) port.ReadBlock(reply.data(), static_cast<uint16_t>(n));
    return reply;
}

}  // namespace sim_test
