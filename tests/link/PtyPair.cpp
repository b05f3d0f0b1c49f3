#include "PtyPair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <asm/termbits.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

PtyPair::~PtyPair()
{
    CloseMaster();
    if (heldSlave >= 0)
        close(heldSlave);
}

bool PtyPair::Create(bool holdSlave)
{
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return false;
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0)
        return false;
    slavePath = name;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    if (holdSlave) {
        heldSlave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (heldSlave < 0)
            return false;
    }
    return true;
}

void PtyPair::CloseMaster()
{
    if (master >= 0)
        close(master);
    master = -1;
}

uint32_t PtyPair::SlaveRate() const
{
    struct termios2 tio {};
    if (ioctl(master, TCGETS2, &tio) != 0)
        return 0;
    return tio.c_ospeed;
}

uint32_t PtyPair::SlaveControlFlags() const
{
    struct termios2 tio {};
    if (ioctl(master, TCGETS2, &tio) != 0)
        return 0;
    return tio.c_cflag;
}

bool PtyPair::StopSlaveOutput(bool stop) const
{
    return heldSlave >= 0 && ioctl(heldSlave, TCXONC, stop ? TCOOFF : TCOON) == 0;
}

void PtyPair::Send(const std::string& bytes) const
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
}

std::string PtyPair::ReadNow() const
{
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(master, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(n));
    return out;
}

bool PumpUntil(const std::function<bool()>& done, int maxMs)
{
    QDeadlineTimer deadline(maxMs);
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}
