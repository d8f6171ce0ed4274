#include "serial/PosixTermios.h"

#include <cerrno>
#include <cstdint>

#include "serial/PosixErrors.h"

namespace {

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

struct SizeEntry {
    int dataBits;
    tcflag_t size;
};

constexpr SizeEntry kSizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};

#ifdef CMSPAR
constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;
#else
constexpr tcflag_t kParityBits = PARENB | PARODD;
#endif

struct ParityEntry {
    int parity;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
    tcflag_t bits;
};

constexpr ParityEntry kParities[] = {
    {0, 0},
    {1, PARENB | PARODD},
    {2, PARENB},
#ifdef CMSPAR
    {3, PARENB | PARODD | CMSPAR},
    {4, PARENB | CMSPAR},
#endif
};

int DataBitsOf(tcflag_t cflag) {
    for (const SizeEntry& e : kSizes)
        if (e.size == (cflag & CSIZE)) return e.dataBits;
    return 8;
}

int ParityOf(tcflag_t cflag) {
    if (!(cflag & PARENB)) return 0;
    for (const ParityEntry& e : kParities)
        if (e.bits == (cflag & kParityBits)) return e.parity;
    return 0;
}

#ifdef CRTSCTS
constexpr tcflag_t kHardwareFlow = CRTSCTS;
#else
constexpr tcflag_t kHardwareFlow = 0;
#endif

}  // namespace

TVarnLineSettings SettingsOfTermios(const termios& t, const TVarnLineSettings& kept) {
    using S = TVarnLineSettings;
    S s = kept;
    s.baud = BaudOf(::cfgetospeed(&t));
    s.dataBits = DataBitsOf(t.c_cflag);
    s.parity = ParityOf(t.c_cflag);
    if (t.c_cflag & CSTOPB)
        s.stopBits = s.dataBits == 5 ? S::OneAndHalfStop : S::TwoStop;
    else
        s.stopBits = S::OneStop;
    // The one hardware flow switch serves both CTS flow and the RTS handshake.
    if (t.c_cflag & kHardwareFlow) {
        if (kept.rtsControl != S::ControlHandshake) s.ctsOutFlow = true;
    } else {
        s.ctsOutFlow = false;
        if (s.rtsControl == S::ControlHandshake) s.rtsControl = S::ControlOn;
    }
    s.outX = (t.c_iflag & IXON) != 0;
    s.inX = (t.c_iflag & IXOFF) != 0;
    s.parityCheck = (t.c_iflag & INPCK) != 0;
    s.xonChar = static_cast<char>(t.c_cc[VSTART]);
    s.xoffChar = static_cast<char>(t.c_cc[VSTOP]);
    return s;
}

int PutSettingsInTermios(const TVarnLineSettings& s, termios& t) {
    speed_t speed{};
    if (!SpeedOf(s.baud, speed)) return VarnCodeOfErrno(EINVAL);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);

    const SizeEntry* size = nullptr;
    for (const SizeEntry& e : kSizes)
        if (e.dataBits == s.dataBits) size = &e;
    if (!size) return VarnCodeOfErrno(EINVAL);
    t.c_cflag = (t.c_cflag & ~CSIZE) | size->size;

    const ParityEntry* parity = nullptr;
    for (const ParityEntry& e : kParities)
        if (e.parity == s.parity) parity = &e;
    if (!parity) return VarnCodeOfErrno(EINVAL);
    t.c_cflag = (t.c_cflag & ~kParityBits) | parity->bits;

    // One and a half stop bits are what the hardware sends for two at 5 data bits.
    if (s.stopBits == TVarnLineSettings::OneStop)
        t.c_cflag &= ~CSTOPB;
    else
        t.c_cflag |= CSTOPB;

    if (s.ctsOutFlow || s.rtsControl == TVarnLineSettings::ControlHandshake)
        t.c_cflag |= kHardwareFlow;
    else
        t.c_cflag &= ~kHardwareFlow;
    // DSR flow and DTR handshaking have no POSIX form; they are kept but do nothing.
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (s.outX) t.c_iflag |= IXON;
    if (s.inX) t.c_iflag |= IXOFF;
    if (s.parityCheck) t.c_iflag |= INPCK;
    t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
    t.c_cflag |= CLOCAL | CREAD;
    return 0;
}
