#include "serial/TVarnPosixDispatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "serial/DeviceNodes.h"
#include "serial/PortNames.h"
#include "serial/PosixErrors.h"
#include "serial/PosixTermios.h"
#include "serial/ProcScan.h"

struct TVarnPosixDispatcher::Saved {
    termios settings;
};

namespace {

constexpr int kNoTimeLimit = -1;  // poll's time-out for waiting as long as it takes

void Drain(int fd) {
    uint64_t value = 0;
    while (::read(fd, &value, sizeof value) > 0) {
    }
}

void Poke(int fd) {
    if (fd < 0) return;
    const uint64_t one = 1;
    // A counter already set wakes the waiter just the same.
    [[maybe_unused]] ssize_t ignored = ::write(fd, &one, sizeof one);
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

std::unique_ptr<TVarnBaseDispatcher> CreateSystemDispatcher() {
    return std::make_unique<TVarnPosixDispatcher>(TUucpLock::SystemDirectory());
}

TVarnPosixDispatcher::TVarnPosixDispatcher(std::string lockDirectory)
    : lock_(std::move(lockDirectory)) {}

TVarnPosixDispatcher::~TVarnPosixDispatcher() {
    CloseOnDestroy();
    CloseDevice();
}

void TVarnPosixDispatcher::MarkGone() {
    gone_ = true;
}

int TVarnPosixDispatcher::OpenDevice(const std::string& deviceName) {
    std::string path;
    if (const int rc = Locate(deviceName, path); rc != 0) return rc;
    // Terminal programs that use neither flock nor TIOCEXCL meet us at the lock file.
    if (!lock_.Claim(path)) return kVarnAccessDenied;
    const int rc = OpenPath(path);
    if (rc != 0) lock_.Release();
    return rc;
}

int TVarnPosixDispatcher::ProbeDevice(const std::string& deviceName) {
    std::string path;
    if (const int rc = Locate(deviceName, path); rc != 0) return rc;
    // The availability test only looks at the lock file; it never writes one.
    if (lock_.Holder(path).Held()) return kVarnAccessDenied;
    const int rc = OpenPath(path);
    if (rc == 0) CloseDevice();
    return rc;
}

TDeviceHolder TVarnPosixDispatcher::HolderOfDevice(const std::string& deviceName) {
    TDeviceHolder holder;
    const std::string path = ResolveDeviceName(deviceName);
    if (path.empty()) return holder;
    // In the order an open meets them: the lock file, the flock, an open descriptor.
    const TLockHolder lock = lock_.Holder(path);
    switch (lock.kind) {
        case TLockHolder::Process:
            holder.pid = lock.pid;
            holder.lockFile = lock.file;
            break;
        case TLockHolder::BeingWritten:
            return {TDeviceHolder::LockBeingWritten, 0, "", lock.file};
        case TLockHolder::Unreadable:
            return {TDeviceHolder::LockUnreadable, 0, "", lock.file};
        case TLockHolder::NotAFile:
            return {TDeviceHolder::LockNotAFile, 0, "", lock.file};
        case TLockHolder::None:
            break;
    }
    struct stat st {};
    if (holder.pid == 0 && ::stat(path.c_str(), &st) == 0)
        holder.pid = FlockHolder(st.st_dev, st.st_ino);
    if (holder.pid == 0) holder.pid = Opener(path);
    if (holder.pid != 0) {
        holder.kind = TDeviceHolder::Process;
        holder.program = ProcessName(holder.pid);
    }
    return holder;
}

int TVarnPosixDispatcher::Locate(const std::string& deviceName, std::string& path) const {
    if (fd_ >= 0) return kVarnAccessDenied;
    path = ResolveDeviceName(deviceName);
    if (path.empty()) return kVarnNotFound;
    // Only a character device is opened: a FIFO could block or take what we write, a
    // regular file or a directory is no port at all.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return VarnCodeOfErrno(errno);
    if (!S_ISCHR(st.st_mode)) return kVarnNotFound;
    // A serial-core node with no UART behind it opens, but nothing can answer there.
    if (HasNoHardware(RealPath(path))) return kVarnNotFound;
    // Whoever may hold it, this user could not use it: said before any lock is looked
    // at, as the port check says it.
    if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES)
        return kVarnNotPermitted;
    return 0;
}

int TVarnPosixDispatcher::OpenPath(const std::string& path) {
    gone_ = false;
    hangupSeen_ = false;

    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return VarnCodeOfErrno(errno);
    // TIOCEXCL does not keep out a process running as root; the flock is what two
    // programs, or two port objects, meet at.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? kVarnAccessDenied : VarnCodeOfErrno(err);
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        // A node with no hardware behind it fails here with EIO: no such port.
        const int err = errno;
        ::close(fd);
        return err == EIO || UnsupportedByDevice(err) ? kVarnNotFound : VarnCodeOfErrno(err);
    }
    // Held all the same by a program that locks it in no way we meet (minicom keeps no
    // lock file and no flock) and merely has it open. Our exclusive mode goes on first,
    // so that nobody but root opens it between the look and our use; turned away, we
    // leave the mode as we found it (a program may have set it, and a pseudo-terminal
    // keeps it after its setter has gone).
    int wasExclusive = 0;
    ::ioctl(fd, TIOCGEXCL, &wasExclusive);
    ::ioctl(fd, TIOCEXCL);  // keeps out other users where it can; the lock decides
    if (Opener(path) != 0) {
        if (!wasExclusive) ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return kVarnAccessDenied;
    }

    eventWakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    writeWakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (eventWakeFd_ < 0 || writeWakeFd_ < 0) {
        CloseFd(eventWakeFd_);
        CloseFd(writeWakeFd_);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return kVarnOutOfMemory;
    }
    saved_ = std::make_unique<Saved>(Saved{settings});
    extra_ = TVarnLineSettings{};
    fd_ = fd;
    return 0;
}

int TVarnPosixDispatcher::ConfigureDevice() {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return VarnCodeOfErrno(errno);
    // Transparent: no translation, no echo, no signals, no software flow until asked.
    // The character format is left to the line settings.
    t.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    // Reads never wait (the descriptor is non-blocking); a read of 0 means hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return VarnCodeOfErrno(errno);
    return 0;
}

void TVarnPosixDispatcher::CloseDevice() {
    if (fd_ >= 0) {
        // Put back what the device had; a device that has gone cannot take it.
        if (saved_) ::tcsetattr(fd_, TCSANOW, &saved_->settings);
        ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
        CloseFd(fd_);
    }
    lock_.Release();
    CloseFd(eventWakeFd_);
    CloseFd(writeWakeFd_);
    saved_.reset();
}

int TVarnPosixDispatcher::SetQueueSizes(int, int) {
    // The kernel keeps its own queues; their sizes cannot be asked for.
    return 0;
}

int TVarnPosixDispatcher::ReadSettings(TVarnLineSettings& s) {
    if (fd_ < 0) return kVarnBadHandle;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return VarnCodeOfErrno(errno);
    s = SettingsOfTermios(t, extra_);
    return 0;
}

int TVarnPosixDispatcher::WriteSettings(const TVarnLineSettings& s) {
    if (fd_ < 0) return kVarnBadHandle;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return VarnCodeOfErrno(errno);
    if (const int rc = PutSettingsInTermios(s, t); rc != 0) return rc;
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return VarnCodeOfErrno(errno);
    extra_ = s;
    return 0;
}

int TVarnPosixDispatcher::LineControl(TLine line, bool raise) {
    if (fd_ < 0) return kVarnBadHandle;
    if (gone_) return 0;
    int bits = line == LineDTR ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(fd_, raise ? TIOCMBIS : TIOCMBIC, &bits) == 0) return 0;
    const int err = errno;
    if (UnsupportedByDevice(err)) return 0;  // a pseudo-terminal has no modem lines
    if (err == EIO) {
        MarkGone();
        return 0;
    }
    return VarnCodeOfErrno(err);
}

int TVarnPosixDispatcher::Purge(bool input) {
    if (fd_ < 0) return kVarnBadHandle;
    if (gone_) return 0;
    if (::tcflush(fd_, input ? TCIFLUSH : TCOFLUSH) == 0) return 0;
    const int err = errno;
    if (err == EIO) {
        MarkGone();
        return 0;
    }
    return VarnCodeOfErrno(err);
}

int TVarnPosixDispatcher::ReadStatus(unsigned& lineErrors, int& inQueue) {
    // Line errors are not counted on POSIX devices; nothing here asks for them.
    lineErrors = 0;
    inQueue = 0;
    if (fd_ < 0) return kVarnBadHandle;
    if (gone_) return 0;
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0) {
        const int err = errno;
        if (err == EIO) {
            MarkGone();
            return 0;
        }
        if (!UnsupportedByDevice(err)) return VarnCodeOfErrno(err);
        waiting = INT_MAX;  // no count: read whatever the device gives
    }
    if (waiting == 0 && hangupSeen_) MarkGone();  // the rest after a hang-up has been read
    inQueue = waiting;
    return 0;
}

int TVarnPosixDispatcher::ReadDevice(char* buffer, int n) {
    if (fd_ < 0) return kVarnBadHandle;
    if (gone_ || n <= 0) return 0;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, static_cast<size_t>(n));
        if (got > 0) return static_cast<int>(got);
        if (got == 0) {  // end of file: hang-up
            MarkGone();
            return 0;
        }
        const int err = errno;
        if (err == EINTR) continue;
        if (err == EAGAIN || err == EWOULDBLOCK) return 0;
        if (err == EIO) {  // the other end has closed
            MarkGone();
            return 0;
        }
        return VarnCodeOfErrno(err);
    }
}

int TVarnPosixDispatcher::WaitDeviceEvent(bool wantInput) {
    pollfd fds[2] = {{eventWakeFd_, POLLIN, 0}, {fd_, 0, 0}};
    nfds_t count = 1;
    // A device that has gone reports hang-up for ever; it is left out of the wait.
    if (!gone_) {
        fds[1].events = wantInput ? POLLIN : 0;
        count = 2;
    }
    for (;;) {
        if (::poll(fds, count, kNoTimeLimit) >= 0) break;
        if (errno != EINTR) return VarnCodeOfErrno(errno);
    }
    if (fds[0].revents & POLLIN) Drain(eventWakeFd_);
    if (count == 2) {
        const short got = fds[1].revents;
        if (got & (POLLHUP | POLLERR | POLLNVAL)) {
            hangupSeen_ = true;
            // Characters still waiting are read first; without them the device is done.
            if (!(got & POLLIN) || !wantInput) MarkGone();
        }
    }
    return 0;
}

void TVarnPosixDispatcher::WakeEventWait() {
    Poke(eventWakeFd_);
}

void TVarnPosixDispatcher::WakeWriter() {
    Poke(writeWakeFd_);
}

TVarnBaseDispatcher::TWriteOutcome TVarnPosixDispatcher::WriteDevice(const char* data, int n) {
    if (gone_) return WriteComplete;  // nobody to send to: dropped
    int done = 0;
    while (done < n) {
        if (WriteAbandonRequested()) return WriteAbandoned;
        const ssize_t put = ::write(fd_, data + done, static_cast<size_t>(n - done));
        if (put > 0) {
            done += static_cast<int>(put);
            continue;
        }
        const int err = put < 0 ? errno : EAGAIN;
        if (err == EINTR) continue;
        if (err != EAGAIN && err != EWOULDBLOCK) {
            if (err == EIO) MarkGone();
            return WriteFailed;
        }
        pollfd fds[2] = {{fd_, POLLOUT, 0}, {writeWakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, kNoTimeLimit) < 0) {
            if (errno == EINTR) continue;
            return WriteFailed;
        }
        if (fds[1].revents & POLLIN) Drain(writeWakeFd_);
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            MarkGone();
            return WriteFailed;
        }
    }
    return WriteComplete;
}
