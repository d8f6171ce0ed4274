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
#include <cstdint>

#include "serial/PortNames.h"

struct TVarnPosixDispatcher::Saved {
    termios settings;
};

namespace {

// Operating-system error numbers as the port's message table knows them: a missing
// device is "file not found" (2), a device held by another "access denied" (5).
// Numbers that the table would misname get the general failure (162); all others
// pass through and are shown with the system's own text.
int ErrorCode(int err) {
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTTY:
        case EISDIR:
            return -2;
        case ENOTDIR:
            return -3;
        case EMFILE:
        case ENFILE:
            return -4;
        case EBUSY:
            return -5;
        case EBADF:
            return -6;
        case ENOMEM:
            return -8;
        case EPERM:
            return -EACCES;
        default:
            break;
    }
    const bool namedByTable = (err >= 2 && err <= 6) || err == 8 || err == 15 || err == 18 ||
                              (err >= 100 && err <= 105) || (err >= 150 && err <= 162);
    return namedByTable ? -162 : -err;
}

// Things a pseudo-terminal or a plain terminal cannot do are not errors.
bool Unsupported(int err) {
    return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

struct SpeedEntry {
    int32_t baud;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

bool SpeedOf(int32_t baud, speed_t& speed) {
    for (const SpeedEntry& e : kSpeeds)
        if (e.baud == baud) {
            speed = e.speed;
            return true;
        }
    return false;
}

int32_t BaudOf(speed_t speed) {
    for (const SpeedEntry& e : kSpeeds)
        if (e.speed == speed) return e.baud;
    return 0;
}

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
    return std::make_unique<TVarnPosixDispatcher>();
}

TVarnPosixDispatcher::TVarnPosixDispatcher() = default;

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
    if (!lock_.Claim(path)) return -5;
    const int rc = OpenPath(path);
    if (rc != 0) lock_.Release();
    return rc;
}

int TVarnPosixDispatcher::ProbeDevice(const std::string& deviceName) {
    std::string path;
    if (const int rc = Locate(deviceName, path); rc != 0) return rc;
    // The availability test only looks at the lock file; it never writes one.
    if (TUucpLock::Holder(path) != 0) return -5;
    const int rc = OpenPath(path);
    if (rc == 0) CloseDevice();
    return rc;
}

int TVarnPosixDispatcher::Locate(const std::string& deviceName, std::string& path) const {
    if (fd_ >= 0) return -5;
    path = ResolveDeviceName(deviceName);
    if (path.empty()) return -2;
    // Only a character device is opened: a FIFO could block or take what we write, a
    // regular file or a directory is no port at all.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return ErrorCode(errno);
    return S_ISCHR(st.st_mode) ? 0 : -2;
}

int TVarnPosixDispatcher::OpenPath(const std::string& path) {
    gone_ = false;
    hangupSeen_ = false;

    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return ErrorCode(errno);
    // TIOCEXCL does not keep out a process running as root; the flock is what two
    // programs, or two port objects, meet at.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? -5 : ErrorCode(err);
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        // A node with no hardware behind it fails here with EIO: no such port.
        const int err = errno;
        ::close(fd);
        return err == EIO || Unsupported(err) ? -2 : ErrorCode(err);
    }
    ::ioctl(fd, TIOCEXCL);  // keeps out other users where it can; the lock decides

    eventWakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    writeWakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (eventWakeFd_ < 0 || writeWakeFd_ < 0) {
        CloseFd(eventWakeFd_);
        CloseFd(writeWakeFd_);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return -8;
    }
    saved_ = std::make_unique<Saved>(Saved{settings});
    extra_ = TVarnLineSettings{};
    fd_ = fd;
    path_ = path;
    return 0;
}

int TVarnPosixDispatcher::ConfigureDevice() {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return ErrorCode(errno);
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
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return ErrorCode(errno);
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
    path_.clear();
}

int TVarnPosixDispatcher::SetQueueSizes(int, int) {
    // The kernel keeps its own queues; their sizes cannot be asked for.
    return 0;
}

int TVarnPosixDispatcher::ReadSettings(TVarnLineSettings& s) {
    if (fd_ < 0) return -6;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return ErrorCode(errno);
    s = extra_;
    s.baud = BaudOf(::cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
            break;
    }
    s.parity = 0;
    if (t.c_cflag & PARENB) {
        const bool odd = (t.c_cflag & PARODD) != 0;
#ifdef CMSPAR
        if (t.c_cflag & CMSPAR)
            s.parity = odd ? 3 : 4;
        else
#endif
            s.parity = odd ? 1 : 2;
    }
    if (t.c_cflag & CSTOPB)
        s.stopBits =
            s.dataBits == 5 ? TVarnLineSettings::OneAndHalfStop : TVarnLineSettings::TwoStop;
    else
        s.stopBits = TVarnLineSettings::OneStop;
#ifdef CRTSCTS
    const bool rtscts = (t.c_cflag & CRTSCTS) != 0;
#else
    const bool rtscts = false;
#endif
    if (rtscts) {
        if (extra_.rtsControl != TVarnLineSettings::ControlHandshake) s.ctsOutFlow = true;
    } else {
        s.ctsOutFlow = false;
        if (s.rtsControl == TVarnLineSettings::ControlHandshake)
            s.rtsControl = TVarnLineSettings::ControlOn;
    }
    s.outX = (t.c_iflag & IXON) != 0;
    s.inX = (t.c_iflag & IXOFF) != 0;
    s.parityCheck = (t.c_iflag & INPCK) != 0;
    s.xonChar = static_cast<char>(t.c_cc[VSTART]);
    s.xoffChar = static_cast<char>(t.c_cc[VSTOP]);
    return 0;
}

int TVarnPosixDispatcher::WriteSettings(const TVarnLineSettings& s) {
    if (fd_ < 0) return -6;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return ErrorCode(errno);
    speed_t speed{};
    if (!SpeedOf(s.baud, speed)) return ErrorCode(EINVAL);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);

    tcflag_t size = 0;
    switch (s.dataBits) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            return ErrorCode(EINVAL);
    }
    t.c_cflag = (t.c_cflag & ~CSIZE) | size;

    t.c_cflag &= ~(PARENB | PARODD);
#ifdef CMSPAR
    t.c_cflag &= ~CMSPAR;
#endif
    switch (s.parity) {
        case 0:
            break;
        case 1:
            t.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            t.c_cflag |= PARENB;
            break;
#ifdef CMSPAR
        case 3:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            t.c_cflag |= PARENB | CMSPAR;
            break;
#endif
        default:
            return ErrorCode(EINVAL);
    }
    // One and a half stop bits are what the hardware sends for two at 5 data bits.
    if (s.stopBits == TVarnLineSettings::OneStop)
        t.c_cflag &= ~CSTOPB;
    else
        t.c_cflag |= CSTOPB;

#ifdef CRTSCTS
    if (s.ctsOutFlow || s.rtsControl == TVarnLineSettings::ControlHandshake)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~CRTSCTS;
#endif
    // DSR flow and DTR handshaking have no POSIX form; they are kept but do nothing.
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (s.outX) t.c_iflag |= IXON;
    if (s.inX) t.c_iflag |= IXOFF;
    if (s.parityCheck) t.c_iflag |= INPCK;
    t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
    t.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return ErrorCode(errno);
    extra_ = s;
    return 0;
}

int TVarnPosixDispatcher::LineControl(TLine line, bool raise) {
    if (fd_ < 0) return -6;
    if (gone_) return 0;
    int bits = line == LineDTR ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(fd_, raise ? TIOCMBIS : TIOCMBIC, &bits) == 0) return 0;
    const int err = errno;
    if (Unsupported(err)) return 0;  // a pseudo-terminal has no modem lines
    if (err == EIO) {
        MarkGone();
        return 0;
    }
    return ErrorCode(err);
}

int TVarnPosixDispatcher::Purge(bool input) {
    if (fd_ < 0) return -6;
    if (gone_) return 0;
    if (::tcflush(fd_, input ? TCIFLUSH : TCOFLUSH) == 0) return 0;
    const int err = errno;
    if (err == EIO) {
        MarkGone();
        return 0;
    }
    return ErrorCode(err);
}

int TVarnPosixDispatcher::ReadStatus(unsigned& lineErrors, int& inQueue) {
    // Line errors are not counted on POSIX devices; nothing here asks for them.
    lineErrors = 0;
    inQueue = 0;
    if (fd_ < 0) return -6;
    if (gone_) return 0;
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0) {
        const int err = errno;
        if (err == EIO) {
            MarkGone();
            return 0;
        }
        if (!Unsupported(err)) return ErrorCode(err);
        waiting = INT_MAX;  // no count: read whatever the device gives
    }
    if (waiting == 0 && hangupSeen_) MarkGone();  // the rest after a hang-up has been read
    inQueue = waiting;
    return 0;
}

int TVarnPosixDispatcher::ReadDevice(char* buffer, int n) {
    if (fd_ < 0) return -6;
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
        return ErrorCode(err);
    }
}

int TVarnPosixDispatcher::WaitDeviceEvent(bool wantInput, unsigned& events) {
    events = 0;
    pollfd fds[2] = {{eventWakeFd_, POLLIN, 0}, {fd_, 0, 0}};
    nfds_t count = 1;
    // A device that has gone reports hang-up for ever; it is left out of the wait.
    if (!gone_) {
        fds[1].events = wantInput ? POLLIN : 0;
        count = 2;
    }
    for (;;) {
        if (::poll(fds, count, -1) >= 0) break;
        if (errno != EINTR) return ErrorCode(errno);
    }
    if (fds[0].revents & POLLIN) Drain(eventWakeFd_);
    if (count == 2) {
        const short got = fds[1].revents;
        if (got & POLLIN) events |= kEventChar;
        if (got & (POLLHUP | POLLERR | POLLNVAL)) {
            events |= kEventLineStatus;
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
        if (::poll(fds, 2, -1) < 0) {
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
