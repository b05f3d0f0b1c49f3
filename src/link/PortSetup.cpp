#include "link/PortSetup.h"

#include <asm/termbits.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

// --- ownership of a device ---------------------------------------------------

namespace {

const char* const kLockDirs[] = {"/run/lock", "/var/lock"};
constexpr std::size_t kMaxLockFileBytes = 64;   // "%10d\n" and some slack
constexpr int kLockFileAttempts = 2;            // a stale file is removed once
constexpr int kMaxFdInfoLines = 64;             // "tty-index:" comes within the first few

bool ProcessAlive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// The pid written in a lock file ("%10d\n"); 0 when unreadable or not a number.
pid_t ReadLockFilePid(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[kMaxLockFileBytes + 1] = {};
    const ssize_t got = ::read(fd, text, kMaxLockFileBytes);
    ::close(fd);
    if (got <= 0) return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return end != text && pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

// "1: FLOCK  ADVISORY  WRITE 1234 00:19:7 0 EOF": the pid of a flock on the
// file `st`, 0 when none is listed.
pid_t FlockHolderOf(const struct stat& st)
{
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream words(line);
        std::string word;
        while (words >> word && word != "FLOCK") {
        }
        std::string kind, access, id;
        long pid = 0;
        if (!(words >> kind >> access >> pid >> id)) continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(id.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        if (major == ::major(st.st_dev) && minor == ::minor(st.st_dev) && inode == st.st_ino && pid > 0)
            return static_cast<pid_t>(pid);
    }
    return 0;
}

bool AllDigits(const char* text)
{
    if (*text == '\0') return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

}  // namespace

std::string LockFileDirectory()
{
    for (const char* dir : kLockDirs) {
        struct stat st {};
        if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir, W_OK) == 0) return dir;
    }
    return {};
}

std::string LockFileName(const std::string& canonicalDevice)
{
    std::string name = canonicalDevice.compare(0, 5, "/dev/") == 0 ? canonicalDevice.substr(5) : canonicalDevice;
    while (!name.empty() && name.front() == '/') name.erase(0, 1);
    for (char& c : name)
        if (c == '/') c = '_';
    return "LCK.." + name;
}

std::string CanonicalDevice(const std::string& path)
{
    char resolved[PATH_MAX];
    if (path.empty() || ::realpath(path.c_str(), resolved) == nullptr) {
        if (path.empty()) errno = ENOENT;
        return {};
    }
    return resolved;
}

int CPortLock::TakeLockFile(const std::string& lockPath)
{
    for (int attempt = 0; attempt < kLockFileAttempts; ++attempt) {
        const int fd = ::open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[16];
            const int n = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
            const bool written = ::write(fd, text, static_cast<size_t>(n)) == n;
            ::close(fd);
            if (!written) {
                ::unlink(lockPath.c_str());
                return 0;   // a lock file that cannot be written is no lock: the flock decides
            }
            m_strLockFile = lockPath;
            return 0;
        }
        if (errno != EEXIST) return 0;   // the directory refuses us: the flock still guards the port
        const pid_t owner = ReadLockFilePid(lockPath);
        if (owner == ::getpid()) return 0;   // another handle of ours: the flock decides
        if (ProcessAlive(owner)) {
            m_nHolder = owner;
            return EBUSY;
        }
        ::unlink(lockPath.c_str());   // left by a process that has gone
    }
    return 0;
}

int CPortLock::Acquire(const std::string& devicePath)
{
    m_nHolder = 0;
    const std::string device = CanonicalDevice(devicePath);
    if (device.empty()) return errno != 0 ? errno : ENOENT;
    if (Held() && device == m_strDevice) return 0;
    Release();

    const std::string dir = LockFileDirectory();
    if (!dir.empty()) {
        if (int error = TakeLockFile(dir + "/" + LockFileName(device)); error != 0) return error;
    }
    const int fd = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EBUSY) m_nHolder = PortOpenedBy(device);
        Release();
        return error;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        struct stat st {};
        if (error == EBUSY && ::fstat(fd, &st) == 0) m_nHolder = FlockHolderOf(st);
        ::close(fd);
        Release();
        return error;
    }
    // A program that takes no lock may still have the port open (as fuser
    // sees it): two programs on one line garble each other's sentences.
    if (const pid_t other = PortOpenedBy(device); other != 0) {
        m_nHolder = other;
        ::close(fd);
        Release();
        return EBUSY;
    }
    m_nFd = fd;
    m_strDevice = device;
    return 0;
}

void CPortLock::Release()
{
    if (m_nFd >= 0) ::close(m_nFd);   // closing drops the flock
    m_nFd = -1;
    m_strDevice.clear();
    if (!m_strLockFile.empty() && ReadLockFilePid(m_strLockFile) == ::getpid()) ::unlink(m_strLockFile.c_str());
    m_strLockFile.clear();
}

pid_t PortLockHolder(const std::string& devicePath)
{
    const std::string device = CanonicalDevice(devicePath);
    if (device.empty()) return 0;
    const std::string dir = LockFileDirectory();
    const pid_t owner = dir.empty() ? 0 : ReadLockFilePid(dir + "/" + LockFileName(device));
    if (owner != ::getpid() && ProcessAlive(owner)) return owner;
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return 0;
    const pid_t flocker = FlockHolderOf(st);
    return flocker != ::getpid() ? flocker : 0;
}

namespace {

// The number of a pseudo-terminal device ("/dev/pts/3" -> 3); -1 for any other.
long PtsNumber(const std::string& device)
{
    const std::string prefix = "/dev/pts/";
    if (device.compare(0, prefix.size(), prefix) != 0) return -1;
    const std::string number = device.substr(prefix.size());
    if (number.empty() || number.size() > 9 || !AllDigits(number.c_str())) return -1;
    return std::atol(number.c_str());
}

// The pseudo-terminal a master handle ("/dev/ptmx") of process `pid` drives:
// "tty-index:" of its fdinfo; -1 when unknown.
long MasterIndex(const std::string& pid, const char* fd)
{
    std::ifstream info("/proc/" + pid + "/fdinfo/" + fd);
    std::string line;
    for (int lines = 0; lines < kMaxFdInfoLines && std::getline(info, line); ++lines) {
        if (line.compare(0, 10, "tty-index:") != 0) continue;
        char* end = nullptr;
        const long index = std::strtol(line.c_str() + 10, &end, 10);
        return end != line.c_str() + 10 ? index : -1;
    }
    return -1;
}

bool IsPtyMaster(const char* target)
{
    const std::string path = target;
    return path == "/dev/ptmx" || path == "/dev/pts/ptmx";
}

// What one process holds of `device`: the device itself, and for a
// pseudo-terminal, its master side (the far end of the line).
struct DeviceUse {
    bool device = false;
    bool master = false;
};

DeviceUse UseOf(const std::string& pid, const std::string& device, long ptsNumber)
{
    DeviceUse use;
    const std::string fdDir = "/proc/" + pid + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (fds == nullptr) return use;
    while (const dirent* fd = ::readdir(fds)) {
        char target[PATH_MAX];
        const std::string link = fdDir + "/" + fd->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (device == target) use.device = true;
        else if (ptsNumber >= 0 && IsPtyMaster(target) && MasterIndex(pid, fd->d_name) == ptsNumber)
            use.master = true;
    }
    ::closedir(fds);
    return use;
}

}  // namespace

pid_t PortOpenedBy(const std::string& devicePath)
{
    const std::string device = CanonicalDevice(devicePath);
    DIR* proc = device.empty() ? nullptr : ::opendir("/proc");
    if (proc == nullptr) return 0;
    const long ptsNumber = PtsNumber(device);
    pid_t found = 0;
    const pid_t self = ::getpid();
    while (found == 0) {
        const dirent* entry = ::readdir(proc);
        if (entry == nullptr) break;
        if (!AllDigits(entry->d_name) || std::atol(entry->d_name) == self) continue;
        // A process that also holds the master of a pseudo-terminal is the
        // other end of the line (a simulated receiver), not a rival on it.
        const DeviceUse use = UseOf(entry->d_name, device, ptsNumber);
        if (use.device && !use.master) found = static_cast<pid_t>(std::atol(entry->d_name));
    }
    ::closedir(proc);
    return found;
}

std::string ProcessName(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

std::string ProcessText(pid_t pid)
{
    const std::string name = ProcessName(pid);
    return "process " + std::to_string(pid) + (name.empty() ? "" : ", " + name);
}
