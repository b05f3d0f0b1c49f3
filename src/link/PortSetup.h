#pragma once
// Line set-up of an open serial device through the kernel's termios2, so
// that any rate (128000 and 256000 included) can be set. Kept apart from
// <termios.h>, whose structure clashes with the kernel's.
// Also: who owns a device (lock files, flock) and how devices are named.
#include <sys/types.h>

#include <cstdint>
#include <string>

struct PortLineSettings {
    uint32_t nBaudRate = 9600;
    int nByteSize = 8;        // 5..8
    int nParity = 0;          // 0 none, 1 odd, 2 even
    bool bTwoStopBits = false;
    bool bHardwareFlow = true;   // RTS/CTS
};

// Raw 8-bit line with the given settings; 0 on success, else an errno value.
int ApplyPortSettings(int fd, const PortLineSettings& settings);
// Rate the line is set to (output speed); 0 when it cannot be read.
uint32_t ReadPortBaudRate(int fd);
// Discards what waits in the driver: 0 receive, 1 transmit, 2 both.
bool FlushPort(int fd, int queue);

// --- ownership of a device ---------------------------------------------------
// A port belongs to one process at a time: the UUCP-style lock file
// "LCK..<name>" holding the owner's pid (where the system keeps such files)
// and an exclusive flock on the device itself. Either one held by another
// live process makes the port busy.

// The directory of the lock files (/run/lock, /var/lock), or empty when
// this system keeps none we may write to.
std::string LockFileDirectory();
// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3: the device
// path below /dev with '/' turned into '_'.
std::string LockFileName(const std::string& canonicalDevice);
// The device a path leads to (symbolic links followed); empty with errno set
// when it does not exist.
std::string CanonicalDevice(const std::string& path);

class CPortLock {
public:
    CPortLock() = default;
    ~CPortLock() { Release(); }
    CPortLock(const CPortLock&) = delete;
    CPortLock& operator=(const CPortLock&) = delete;

    // Takes `devicePath` for this process. 0 when taken (or already held),
    // EBUSY when another process holds it (Holder() names it, 0 when it
    // cannot be known), else the errno that stopped it.
    int Acquire(const std::string& devicePath);
    void Release();
    bool Held() const { return m_nFd >= 0; }
    // The canonical device held (empty when none).
    const std::string& Device() const { return m_strDevice; }
    pid_t Holder() const { return m_nHolder; }

private:
    int TakeLockFile(const std::string& lockPath);
    int m_nFd = -1;
    std::string m_strDevice;
    std::string m_strLockFile;   // created by us, removed on release
    pid_t m_nHolder = 0;
};

// The process holding `devicePath` through a lock file or a flock; 0 when
// the port is free or its holder is this process.
pid_t PortLockHolder(const std::string& devicePath);
// Another process that has `devicePath` open (as far as /proc shows); 0 when none.
pid_t PortOpenedBy(const std::string& devicePath);
// The command name of a process ("tavrel-cli"); empty when unknown.
std::string ProcessName(pid_t pid);
// "process 1234, minicom" or "process 1234".
std::string ProcessText(pid_t pid);
