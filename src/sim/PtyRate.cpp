// Kept apart from <termios.h>: struct termios2 and BOTHER come from the
// kernel's own header, which clashes with the C library's.
#include "sim/Pty.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim {

namespace {

struct RateCode {
    unsigned code;
    long rate;
};

constexpr RateCode kRateCodes[] = {
    {B300, 300},     {B1200, 1200},     {B2400, 2400},     {B4800, 4800},   {B9600, 9600},
    {B19200, 19200}, {B38400, 38400},   {B57600, 57600},   {B115200, 115200}, {B230400, 230400},
};

}  // namespace

long TerminalRate(int fd)
{
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return 0;
    unsigned code = tio.c_cflag & CBAUD;
    if (code == BOTHER)
        return static_cast<long>(tio.c_ospeed);
    for (const RateCode& r : kRateCodes) {
        if (r.code == code)
            return r.rate;
    }
    return static_cast<long>(tio.c_ospeed);
}

bool SetTerminalRate(int fd, long rate)
{
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_ospeed = static_cast<speed_t>(rate);
    tio.c_cflag &= ~(CBAUD << IBSHIFT);
    tio.c_cflag |= BOTHER << IBSHIFT;
    tio.c_ispeed = static_cast<speed_t>(rate);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace sim
