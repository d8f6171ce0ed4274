#pragma once
// Test helpers: a pseudo-terminal pair whose slave stands in for a serial device (the
// test holds the master, the port opens the slave through a link in the ports folder),
// a child process holding a device, and waiting for a condition.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/serial/TestSupport.h"

namespace serial_test {

class PtyPair {
public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal name");
        slave_ = name;
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slave_; }
    int Master() const { return master_; }

    // The slave's line settings, read through the master: a port holding the slave
    // with TIOCEXCL refuses a second open to anyone but root.
    termios SlaveSettings() const {
        termios t{};
        if (::tcgetattr(master_, &t) != 0) throw std::runtime_error("tcgetattr on the master");
        return t;
    }

    // The name of the UUCP lock file that claims the slave: LCK..pts_N.
    std::string LockName() const {
        std::string below = slave_.substr(std::string("/dev/").size());
        std::replace(below.begin(), below.end(), '/', '_');
        return "LCK.." + below;
    }

    // Makes the slave port n of the ports folder.
    void LinkAs(const std::filesystem::path& portsDir, unsigned n) const {
        std::filesystem::create_directories(portsDir);
        std::filesystem::create_symlink(slave_, portsDir / ("com" + std::to_string(n)));
    }

    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // Writes all of data, waiting for room as long as timeout allows.
    bool Write(const std::string& data,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const {
        return Write(data.data(), data.size(), timeout);
    }
    bool Write(const char* data, size_t n,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const {
        const auto end = std::chrono::steady_clock::now() + timeout;
        size_t done = 0;
        while (done < n) {
            const ssize_t put = ::write(master_, data + done, n - done);
            if (put > 0) {
                done += static_cast<size_t>(put);
                continue;
            }
            if (put < 0 && errno != EAGAIN && errno != EINTR) return false;
            if (std::chrono::steady_clock::now() > end) return false;
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
        return true;
    }

    // Whatever has arrived, waiting at most wait for the first of it.
    std::string ReadSome(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) const {
        std::string got;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return got;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

    // Exactly n characters, or fewer when they do not come within timeout.
    std::string ReadExactly(
        size_t n, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const {
        const auto end = std::chrono::steady_clock::now() + timeout;
        std::string got;
        char buffer[4096];
        while (got.size() < n && std::chrono::steady_clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            const ssize_t r = ::read(master_, buffer, std::min(sizeof buffer, n - got.size()));
            if (r > 0)
                got.append(buffer, static_cast<size_t>(r));
            else if (r < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
        return got;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// Another process that holds a device until released: opened and locked with flock,
// only opened (as minicom does), opened in exclusive mode (TIOCEXCL) without a lock, or
// not opened at all (it still has what it inherited, such as a pseudo-terminal's master).
class ChildHolder {
public:
    enum THold { Flock, OpenOnly, Exclusive, Nothing };

    explicit ChildHolder(const std::string& path, THold hold = Flock) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            // Only async-signal-safe calls in the child.
            bool ok = true;
            if (hold != Nothing) {
                const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                ok = fd >= 0 && (hold != Flock || ::flock(fd, LOCK_EX | LOCK_NB) == 0) &&
                     (hold != Exclusive || ::ioctl(fd, TIOCEXCL) == 0);
            }
            const char answer = ok ? 'y' : 'n';
            (void)!::write(ready[1], &answer, 1);
            char c;
            (void)!::read(release[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char ok = 'n';
        held_ = ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
    }
    ~ChildHolder() { Release(); }
    ChildHolder(const ChildHolder&) = delete;
    ChildHolder& operator=(const ChildHolder&) = delete;

    bool Held() const { return held_; }
    long Pid() const { return pid_; }
    void Release() {
        if (pid_ <= 0) return;
        const char c = 'x';
        (void)!::write(release_, &c, 1);
        ::close(release_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool held_ = false;
};

// A PID that no process has (above the highest any system gives out), as a stale lock
// file names it.
inline constexpr long kDeadPid = 4194305;

// Threads of this process, to see that a closed port leaves none behind.
inline int ThreadCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

}  // namespace serial_test
