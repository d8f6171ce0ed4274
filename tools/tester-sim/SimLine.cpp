#include "tools/tester-sim/SimLine.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "tools/tester-sim/SimText.h"

namespace {

// How often a line without a program on it is looked at again.
constexpr std::chrono::milliseconds kHangUpRecheck(20);

}  // namespace

TSimLine::TSimLine(int masterFd, const TSimOptions& options, TSimTester& tester, TSimLog& log,
                   std::function<void()> onChange)
    : master_(masterFd),
      options_(options),
      tester_(tester),
      log_(log),
      onChange_(std::move(onChange)),
      charTime_(options.Baud ? std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::nanoseconds(10'000'000'000LL / options.Baud))
                             : Clock::duration::zero()) {}

int TSimLine::Run(int stopFd) {
    for (;;) {
        const Clock::time_point next = SendDue(Clock::now());
        Clock::duration wait =
            next == Clock::time_point::max() ? Clock::duration::max() : next - Clock::now();
        if (hungUp_) wait = std::min<Clock::duration>(wait, kHangUpRecheck);
        if (blocked_) wait = std::min<Clock::duration>(wait, std::chrono::milliseconds(50));
        wait = std::max(wait, Clock::duration::zero());

        pollfd fds[2] = {{stopFd, POLLIN, 0}, {hungUp_ ? -1 : master_, POLLIN, 0}};
        if (blocked_ && !hungUp_) fds[1].events |= POLLOUT;
        timespec timeout{};
        timespec* timeoutPointer = nullptr;
        if (wait != Clock::duration::max()) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            timeoutPointer = &timeout;
        }
        const int ready = ::ppoll(fds, 2, timeoutPointer, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
        }
        if (fds[0].revents) {
            unsigned char reason = 0;
            if (::read(stopFd, &reason, 1) == 1) return reason;
            throw std::runtime_error("the signal pipe closed");
        }
        if (hungUp_) {
            hungUp_ = false;  // look again: a program may have opened the port meanwhile
            continue;
        }
        if (fds[1].revents & POLLOUT) blocked_ = false;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) Receive(Clock::now());
    }
}

void TSimLine::Receive(Clock::time_point now) {
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {  // EIO or end of file: nobody has the slave open
        hungUp_ = true;
        return;
    }
    for (TSimAction& action :
         tester_.Receive(std::string_view(buffer, static_cast<std::size_t>(n)))) {
        for (const std::string& line : action.Log) log_.Line(line);
        if (action.Changed) onChange_();
        if (action.Reply.empty()) continue;
        TPending pending;
        pending.Bytes = std::move(action.Reply);
        pending.Start = now + std::chrono::milliseconds(options_.DelayMs);
        if (!queue_.empty()) {
            const TPending& last = queue_.back();
            pending.Start = std::max(pending.Start,
                                     last.Start + charTime_ * static_cast<long>(last.Bytes.size()));
        }
        queue_.push_back(std::move(pending));
    }
}

TSimLine::Clock::time_point TSimLine::SendDue(Clock::time_point now) {
    while (!queue_.empty() && !blocked_) {
        TPending& p = queue_.front();
        if (now < p.Start) return p.Start;
        std::size_t due = p.Bytes.size();
        if (charTime_ > Clock::duration::zero())
            due = std::min<std::size_t>(due,
                                        static_cast<std::size_t>((now - p.Start) / charTime_) + 1);
        if (due > p.Sent) {
            if (p.Sent == 0) log_.Line("TX " + EscapeBytes(p.Bytes));
            const ssize_t n = ::write(master_, p.Bytes.data() + p.Sent, due - p.Sent);
            if (n < 0) {
                if (errno == EAGAIN) {
                    blocked_ = true;
                    break;
                }
                if (errno != EINTR) {
                    // The line cannot take it (no program on it): the reply is lost.
                    queue_.pop_front();
                }
                continue;
            }
            p.Sent += static_cast<std::size_t>(n);
        }
        if (p.Sent < p.Bytes.size()) return p.Start + charTime_ * static_cast<long>(p.Sent);
        queue_.pop_front();
    }
    return Clock::time_point::max();
}
