#include "link/PortSetup.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace {

constexpr uint64_t kRateTolerancePercent = 3;

struct RateCode {
    uint32_t rate;
    tcflag_t code;
};

// Rates the kernel knows by a code; any other goes through BOTHER.
constexpr RateCode kRateCodes[] = {
    {300, B300},       {1200, B1200},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400},
};

tcflag_t RateCodeOf(uint32_t rate)
{
    for (const RateCode& r : kRateCodes)
        if (r.rate == rate)
            return r.code;
    return BOTHER;
}

tcflag_t ByteSizeFlag(int bits)
{
    switch (bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

}  // namespace

int ApplyPortSettings(int fd, const PortLineSettings& s)
{
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return errno;

    // Binary: no input or output processing, no echo, no signals, no XON/XOFF.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CBAUD |
                                          CIBAUD);
    tio.c_cflag |= ByteSizeFlag(s.nByteSize) | CREAD | CLOCAL;
    if (s.nParity != 0) {
        tio.c_cflag |= PARENB;
        if (s.nParity == 1)
            tio.c_cflag |= PARODD;
        tio.c_iflag |= INPCK;
    }
    if (s.bTwoStopBits)
        tio.c_cflag |= CSTOPB;
    if (s.bHardwareFlow)
        tio.c_cflag |= CRTSCTS;
    tio.c_cflag |= RateCodeOf(s.nBaudRate);
    tio.c_ispeed = s.nBaudRate;
    tio.c_ospeed = s.nBaudRate;
    // Reads never wait: the link asks only for what is already there.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    if (ioctl(fd, TCSETS2, &tio) != 0)
        return errno;
    // A driver clamps a rate it cannot make and keeps the nearest one it can:
    // a line more than kRateTolerancePercent away from the asked rate is
    // refused, as a port that cannot run at that rate.
    struct termios2 check {};
    if (ioctl(fd, TCGETS2, &check) != 0)
        return errno;
    uint64_t kept = check.c_ospeed;
    uint64_t asked = s.nBaudRate;
    uint64_t diff = kept > asked ? kept - asked : asked - kept;
    if (diff * 100 > asked * kRateTolerancePercent)
        return EINVAL;
    return 0;
}

uint32_t ReadPortBaudRate(int fd)
{
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return 0;
    return tio.c_ospeed;
}

bool FlushPort(int fd, int queue)
{
    int which = queue == 0 ? TCIFLUSH : queue == 1 ? TCOFLUSH : TCIOFLUSH;
    return ioctl(fd, TCFLSH, which) == 0;
}
