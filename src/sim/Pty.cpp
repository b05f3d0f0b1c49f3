#include "sim/Pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

Pty::~Pty()
{
    if (m_slave >= 0)
        close(m_slave);
    if (m_master >= 0)
        close(m_master);
}

bool Pty::Open(std::string& error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[256];
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    m_device = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0) {
        error = "cannot open " + m_device + ": " + std::strerror(errno);
        return false;
    }
    termios raw{};
    if (tcgetattr(m_slave, &raw) == 0) {
        cfmakeraw(&raw);
        raw.c_cflag |= CLOCAL | CREAD | CSTOPB;
        tcsetattr(m_slave, TCSANOW, &raw);
    }
    SetTerminalRate(m_slave, 9600);
    int flags = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    return true;
}

long Pty::CurrentRate() const
{
    return TerminalRate(m_slave);
}

void Pty::DiscardUnread() const
{
    tcflush(m_slave, TCIFLUSH);
}

}  // namespace sim
