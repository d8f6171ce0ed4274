// Figures of the serial device layer, measured through a pseudo-terminal whose slave
// is port 1 of a temporary ports folder (nothing of the user's is touched):
//  - the delay from a character's arrival at the device to its presence in the input ring;
//  - throughput queue -> device -> peer and peer -> device -> ring, checked for loss;
//  - the processor time an open, idle port costs per second;
//  - what the scan's look at one present port costs: the availability test and the open,
//    each with the search of the processes for another program that has the device open.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "serial/PortNames.h"
#include "serial/ProcScan.h"
#include "serial/TVarnBaseDispatcher.h"

namespace {

using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

std::string Pattern(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    uint32_t x = seed;
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t put = ::write(fd, p, n);
        if (put > 0) {
            p += put;
            n -= static_cast<size_t>(put);
        } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd pf{fd, POLLOUT, 0};
            ::poll(&pf, 1, 100);
        }
    }
    return true;
}

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        char name[128];
        if (master < 0 || ::grantpt(master) || ::unlockpt(master) ||
            ::ptsname_r(master, name, sizeof name)) {
            std::perror("pseudo-terminal");
            std::exit(1);
        }
        slave = name;
    }
    ~Pty() { ::close(master); }
};

void Latency(TVarnBaseDispatcher& d, int master) {
    std::mt19937 rng(7);
    std::vector<double> us;
    char c = 'x';
    for (int i = 0; i < 2000; ++i) {
        // Let the workers go idle, as between a tester's replies.
        std::this_thread::sleep_for(std::chrono::microseconds(500 + rng() % 1500));
        const auto t0 = Clock::now();
        WriteAll(master, &c, 1);
        while (d.InputCount() == 0) std::this_thread::yield();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        d.TakeBlock(&c, 1);
    }
    std::printf("arrival -> input ring: median %.0f us, p99 %.0f us, max %.0f us (%zu samples)\n",
                Percentile(us, 0.5), Percentile(us, 0.99), Percentile(us, 1.0), us.size());
}

double Outbound(TVarnBaseDispatcher& d, int master, const std::string& data) {
    std::atomic<bool> ok{true};
    const auto t0 = Clock::now();
    std::thread peer([&] {
        std::string got;
        got.reserve(data.size());
        char buffer[65536];
        while (got.size() < data.size()) {
            pollfd pf{master, POLLIN, 0};
            if (::poll(&pf, 1, 2000) <= 0) break;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, static_cast<size_t>(n));
        }
        ok = got == data;
    });
    size_t at = 0;
    while (at < data.size()) {
        const int n = static_cast<int>(std::min<size_t>(4096, data.size() - at));
        if (d.QueueBlock(data.data() + at, n) == 0)
            at += static_cast<size_t>(n);
        else
            std::this_thread::yield();
    }
    peer.join();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (!ok) std::printf("  outbound: data lost or changed!\n");
    return data.size() / s / 1e6;
}

double Inbound(TVarnBaseDispatcher& d, int master, const std::string& data) {
    const auto t0 = Clock::now();
    std::thread peer([&] { WriteAll(master, data.data(), data.size()); });
    std::string got;
    got.reserve(data.size());
    std::vector<char> buffer(TVarnInputRing::kSize);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (got.size() < data.size() && Clock::now() < deadline) {
        const int n = d.InputCount();
        if (n == 0) {
            std::this_thread::yield();
            continue;
        }
        d.TakeBlock(buffer.data(), n);
        got.append(buffer.data(), static_cast<size_t>(n));
    }
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    peer.join();
    if (got != data) std::printf("  inbound: data lost or changed!\n");
    return data.size() / s / 1e6;
}

template <class F>
double Microseconds(F&& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// The scan tries each present port with the availability test and then an open; both
// search the processes for another program that has the device open. Measured in turns,
// so that a busy machine weighs on all three alike.
void PortLook(const std::filesystem::path& ports) {
    Pty pty;
    std::filesystem::create_symlink(pty.slave, ports / "com2");
    int processes = 0, descriptors = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        if (entry.path().filename().string().find_first_not_of("0123456789") != std::string::npos)
            continue;
        ++processes;
        std::error_code ec;
        for (std::filesystem::directory_iterator fd(entry.path() / "fd", ec), end; !ec && fd != end;
             fd.increment(ec))
            ++descriptors;
    }
    auto d = CreateSystemDispatcher();
    const int runs = 300;
    std::vector<double> probe, open, search, share;
    for (int i = 0; i < runs; ++i) {
        probe.push_back(Microseconds([&] { d->Probe(ComDeviceName(2)); }));
        open.push_back(Microseconds([&] {
            d->Open(ComDeviceName(2), 9600, 3, 4096, 4096, 1, 8, 0);
            d->Done();
        }));
        search.push_back(Microseconds([&] { Opener(pty.slave); }));
        share.push_back(search.back() / probe.back());
    }
    std::printf(
        "a present port (%d processes, %d descriptors to look through): availability "
        "test median %.1f ms, open and close %.1f ms; the search for another holder "
        "%.1f ms, %.0f%% of the test (medians of %d runs in turn)\n",
        processes, descriptors, Percentile(probe, 0.5) / 1000, Percentile(open, 0.5) / 1000,
        Percentile(search, 0.5) / 1000, Percentile(share, 0.5) * 100, runs);
}

}  // namespace

int main() {
    char dir[] = "/tmp/hg-serial-bench-XXXXXX";
    if (!::mkdtemp(dir)) return 1;
    const std::filesystem::path root(dir);
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    Pty pty;
    std::filesystem::create_directories(root / "Quillon" / "ports");
    std::filesystem::create_symlink(pty.slave, root / "Quillon" / "ports" / "com1");

    auto d = CreateSystemDispatcher();
    if (const int rc = d->Open(ComDeviceName(1), 9600, 3, 4096, 4096, 1, 8, 0); rc != 0) {
        std::printf("open failed: %d\n", rc);
        return 1;
    }
    std::printf("serial device layer through a pseudo-terminal\n");
    Latency(*d, pty.master);

    const std::string data = Pattern(8 << 20, 11);
    std::vector<double> out, in;
    for (int i = 0; i < 5; ++i) {
        out.push_back(Outbound(*d, pty.master, data));
        in.push_back(Inbound(*d, pty.master, data));
    }
    std::printf("queue -> device -> peer: median %.1f MB/s (5 runs of %zu bytes)\n",
                Percentile(out, 0.5), data.size());
    std::printf("peer -> device -> ring:  median %.1f MB/s (5 runs of %zu bytes)\n",
                Percentile(in, 0.5), data.size());

    std::vector<double> idle;
    for (int i = 0; i < 5; ++i) {
        const double c0 = CpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        idle.push_back((CpuSeconds() - c0) / wall * 1000.0);
    }
    std::printf("open idle port: median %.3f ms of processor time per second (5 runs of 2 s)\n",
                Percentile(idle, 0.5));

    d->Done();
    d.reset();
    PortLook(root / "Quillon" / "ports");
    std::filesystem::remove_all(root);
    return 0;
}
