#include "link/SerialLink.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "app/CommSettings.h"
#include "app/UpdateApp.h"
#include "link/PortSetup.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDrainPollMs = 5;

int MsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(left.count(), 0));
}

}  // namespace

int CommNotifyEventType()
{
    static const int type = QEvent::registerEventType();
    return type;
}

CSerialLink::CSerialLink() = default;

CSerialLink::~CSerialLink() { Close(); }

void CSerialLink::ApplySettings(const CCommSettings& settings)
{
    SetPortNumber(settings.nPortNumber);
    SetByteSize(settings.nByteSize);
    SetParity(settings.nParity);
    SetStopBits(settings.nStopBits);
    SetBaudRate(static_cast<uint32_t>(settings.nBaudRate));
}

std::string CSerialLink::DevicePath() const
{
    if (!m_strDevicePath.empty())
        return m_strDevicePath;
    return App().m_comm.DevicePath(m_nPortNumber);
}

std::string CSerialLink::PortName() const
{
    if (!m_strDevicePath.empty())
        return m_strDevicePath;
    return "COM" + std::to_string(m_nPortNumber);
}

void CSerialLink::FailOpen(const std::string& what, int error, const std::string& reason)
{
    m_nLastError = error;
    const std::string text = reason.empty() ? std::string(std::strerror(error)) : reason;
    m_strOpenFailure = DevicePath() + ": " + text;
    App().WriteLogNote(what + " " + DevicePath() + " : " + text + "\r\n");
    m_lock.Release();
}

void CSerialLink::HoldLock(bool hold)
{
    m_bHoldLock = hold;
    if (!hold && !IsOpen()) m_lock.Release();
}

int CSerialLink::Open(QObject* notifyTarget, const std::string& devicePath)
{
    if (IsOpen())
        return OPEN_NOTHING;
    SetDevicePath(devicePath);
    return Open(notifyTarget);
}

int CSerialLink::Open(QObject* notifyTarget)
{
    if (IsOpen() || notifyTarget == nullptr)
        return OPEN_NOTHING;
    SetNotifyTarget(notifyTarget);
    m_nLastError = 0;

    m_strOpenFailure.clear();

    std::string path = DevicePath();
    if (int error = m_lock.Acquire(path); error != 0) {
        FailOpen("Cannot open", error,
                 error == EBUSY ? "port busy (" + (m_lock.Holder() > 0 ? ProcessText(m_lock.Holder())
                                                                       : std::string("another process")) + ")"
                                : std::string());
        return OPEN_NO_PORT;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        FailOpen("Cannot open", errno);
        return OPEN_NO_PORT;
    }
    if (!isatty(fd)) {
        ::close(fd);
        FailOpen("Cannot open", ENOTTY, "not a serial port");
        return OPEN_NO_PORT;
    }
    // Other programs may not open the port while it is ours.
    if (ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd);
        FailOpen("Cannot lock", error);
        return OPEN_NO_PORT;
    }
    m_nFd = fd;
    m_lineFreeAt = {};
    // Stale input goes. Output is not flushed: on Linux a write is complete
    // once queued, and what the previous close left queued must still leave.
    FlushPort(fd, 0);
    m_timeouts = CommTimeouts{};

    PortLineSettings line;
    line.nBaudRate = m_nBaudRate;
    line.nByteSize = m_nByteSize;
    line.nParity = m_nParity;
    line.bTwoStopBits = m_nStopBits != 0;
    line.bHardwareFlow = m_bHardwareFlow;
    if (int error = ApplyPortSettings(fd, line); error != 0) {
        CloseDevice();
        FailOpen("Line set-up refused (" + std::to_string(m_nBaudRate) + " bit/s) on", error,
                 "the line cannot be set to " + std::to_string(m_nBaudRate) + " bit/s (" + std::strerror(error) + ")");
        return OPEN_SETUP_FAILED;
    }
    // DTR on; a pseudo-terminal has no modem lines and refuses: not an error.
    int dtr = TIOCM_DTR;
    (void)ioctl(fd, TIOCMBIS, &dtr);

    if (pipe2(m_wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        const int error = errno;
        CloseDevice();
        FailOpen("Cannot start the watch of", error);
        return OPEN_NO_THREAD;
    }
    m_bNotifyPending = false;
    m_bConnected = true;
    try {
        m_watchThread = std::thread(&CSerialLink::WatchThread, this);
    } catch (const std::system_error& e) {
        m_bConnected = false;
        CloseDevice();
        FailOpen("Cannot start the watch of", e.code().value());
        return OPEN_NO_THREAD;
    }
    return OPEN_OK;
}

bool CSerialLink::Close()
{
    if (!IsOpen())
        return false;
    m_bConnected = false;
    WakeWatchThread();
    if (m_watchThread.joinable())
        m_watchThread.join();
    DrainOutput();
    CloseDevice();
    if (!m_bHoldLock) m_lock.Release();
    return true;
}

void CSerialLink::CloseDevice()
{
    if (m_nFd >= 0) {
        FlushPort(m_nFd, 0);   // output was drained, not thrown away
        // The exclusive flag stays on the device while another handle is
        // open (a simulator keeps one): clear it so the port can be reopened.
        (void)ioctl(m_nFd, TIOCNXCL);
        ::close(m_nFd);
        m_nFd = -1;
    }
    for (int& end : m_wakePipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
    m_bNotifyPending = false;
}

int CSerialLink::OutputQueued() const
{
    int queued = 0;
    if (m_nFd < 0 || ioctl(m_nFd, TIOCOUTQ, &queued) != 0)
        return 0;
    return std::max(queued, 0);
}

void CSerialLink::DrainOutput()
{
    // The last sentence written (a rate change, a relay command) must leave
    // the line and reach the far end before the port is flushed and closed.
    const auto limit = Clock::now() + std::chrono::milliseconds(kCloseDrainMaxMs);
    int queued = 0;
    if (ioctl(m_nFd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        int budget = std::min(kCloseDrainMaxMs,
                              queued * m_timeouts.nWriteMultiplierMs + m_timeouts.nWriteConstantMs);
        auto deadline = Clock::now() + std::chrono::milliseconds(budget);
        while (ioctl(m_nFd, TIOCOUTQ, &queued) == 0 && queued > 0 && MsLeft(deadline) > 0)
            poll(nullptr, 0, kDrainPollMs);
    }
    if (m_lineFreeAt == Clock::time_point{})
        return;
    const auto taken = std::min(m_lineFreeAt + std::chrono::milliseconds(kFarEndTakeMs), limit);
    if (taken > Clock::now())
        poll(nullptr, 0, MsLeft(taken) + 1);
    m_lineFreeAt = {};
}

std::chrono::microseconds CSerialLink::WireTime(int count) const
{
    // Start bit, data bits, parity bit, stop bits (1, 1.5 rounded up, 2).
    const long long bits = 1 + m_nByteSize + (m_nParity != 0 ? 1 : 0) + (m_nStopBits == 0 ? 1 : 2);
    const long long rate = std::max<uint32_t>(m_nBaudRate, 1);
    return std::chrono::microseconds(static_cast<long long>(count) * bits * 1000000LL / rate);
}

int CSerialLink::Read(char* buffer, int maxCount)
{
    if (!IsOpen() || buffer == nullptr || maxCount <= 0)
        return 0;
    int got = ReadWaiting(buffer, maxCount);
    // The reader has been here: the watch thread may notify again. Cleared
    // after the read, so bytes just taken do not raise a notification.
    if (m_bNotifyPending.exchange(false))
        WakeWatchThread();
    return got;
}

int CSerialLink::ReadWaiting(char* buffer, int maxCount)
{
    int waiting = 0;
    if (ioctl(m_nFd, FIONREAD, &waiting) != 0) {
        m_nLastError = errno;
        return 0;
    }
    int count = std::min(waiting, maxCount);
    if (count <= 0)
        return 0;
    ssize_t got = ::read(m_nFd, buffer, static_cast<size_t>(count));
    if (got < 0) {
        m_nLastError = errno;
        return 0;
    }
    return static_cast<int>(got);
}

int CSerialLink::Write(const char* bytes, int count)
{
    if (!IsOpen() || count < 0 || (count > 0 && bytes == nullptr))
        return -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(WriteBudgetMs(count));
    int written = 0;
    while (written < count) {
        const int n = WriteAvailable(bytes + written, count - written);
        if (n < 0)
            return written == 0 ? -1 : written;
        written += n;
        if (written == count)
            break;
        int left = MsLeft(deadline);
        if (left <= 0)
            break;
        pollfd pfd{m_nFd, POLLOUT, 0};
        int ready = poll(&pfd, 1, left);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && !(pfd.revents & POLLOUT) && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
            break;
    }
    return written;
}

int CSerialLink::WriteAvailable(const char* bytes, int count)
{
    if (!IsOpen() || count < 0 || (count > 0 && bytes == nullptr))
        return -1;
    int written = 0;
    while (written < count) {
        ssize_t n = ::write(m_nFd, bytes + written, static_cast<size_t>(count - written));
        if (n > 0) {
            written += static_cast<int>(n);
            const auto now = Clock::now();
            m_lineFreeAt = std::max(m_lineFreeAt, now) + WireTime(static_cast<int>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            m_nLastError = errno;
            return written == 0 ? -1 : written;
        }
        break;   // the driver is full
    }
    return written;
}

long long CSerialLink::WriteBudgetMs(int count) const
{
    return static_cast<long long>(m_timeouts.nWriteMultiplierMs) * std::max(count, 0) +
           m_timeouts.nWriteConstantMs;
}

void CSerialLink::PurgeReceive(int mode)
{
    if ((mode == 0 || mode == 1) && IsOpen())
        FlushPort(m_nFd, 0);
}

bool CSerialLink::SetWriteTimeout(int ms)
{
    if (!IsOpen() || ms < 0)
        return false;
    m_timeouts.nWriteConstantMs = ms;
    return true;
}

int CSerialLink::GetWriteTimeout(CommTimeouts* all) const
{
    if (!IsOpen())
        return -1;
    if (all)
        *all = m_timeouts;
    return m_timeouts.nWriteConstantMs;
}

void CSerialLink::SetNotifyTarget(QObject* target)
{
    {
        std::lock_guard<std::mutex> lock(m_targetMutex);
        m_pNotifyTarget = target;
    }
    // A notification still owed to the previous target would hold back the
    // next one: let the watch thread look at the port afresh.
    if (m_bNotifyPending.exchange(false))
        WakeWatchThread();
}

QObject* CSerialLink::NotifyTarget() const
{
    std::lock_guard<std::mutex> lock(m_targetMutex);
    return m_pNotifyTarget;
}

void CSerialLink::WakeWatchThread()
{
    if (m_wakePipe[1] >= 0) {
        char byte = 1;
        (void)!::write(m_wakePipe[1], &byte, 1);
    }
}

void CSerialLink::DrainWakePipe()
{
    char sink[64];
    while (::read(m_wakePipe[0], sink, sizeof sink) > 0) {
    }
}

void CSerialLink::PostNotification()
{
    std::lock_guard<std::mutex> lock(m_targetMutex);
    if (m_pNotifyTarget)
        QCoreApplication::postEvent(m_pNotifyTarget,
                                    new QEvent(static_cast<QEvent::Type>(CommNotifyEventType())));
}

void CSerialLink::WatchThread()
{
    // The port is watched only while no notification is owed; after a
    // hang-up it is looked at again every kHangupRetryMs, never in a loop.
    Clock::time_point quietUntil{};
    while (m_bConnected.load()) {
        bool hungUp = Clock::now() < quietUntil;
        bool watchPort = !hungUp && !m_bNotifyPending.load();
        pollfd fds[2] = {{m_wakePipe[0], POLLIN, 0}, {m_nFd, POLLIN, 0}};
        int timeout = hungUp ? std::max(MsLeft(quietUntil), 1) : -1;
        int ready = poll(fds, watchPort ? 2 : 1, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents & POLLIN)
            DrainWakePipe();
        if (!watchPort || fds[1].revents == 0)
            continue;
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
            quietUntil = Clock::now() + std::chrono::milliseconds(kHangupRetryMs);
        if (!m_bNotifyPending.exchange(true))
            PostNotification();
    }
}
