#pragma once
// CSerialLink: the one RS-232 port. Opens the device exclusively (lock file,
// flock and TIOCEXCL, see CPortLock), sets up
// the line, reads what waits, writes with a total time-out, and runs a watch
// thread that posts one "bytes waiting" event (CommNotifyEventType()) to the
// current notify target; it posts again only after the target has read.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "link/PortSetup.h"

class QObject;
struct CCommSettings;

// Event type of the watch thread's notification ("WM_COMMNOTIFY").
int CommNotifyEventType();

// The five time-outs of the port, in milliseconds.
struct CommTimeouts {
    int nReadIntervalMs = 0;
    int nReadMultiplierMs = 0;
    int nReadConstantMs = 0;
    int nWriteMultiplierMs = 10;
    int nWriteConstantMs = 1000;
};

enum LinkOpenResult {
    OPEN_OK = 1,
    OPEN_NOTHING = 0,        // already open, or no notify target
    OPEN_NO_PORT = -1,       // the device cannot be opened
    OPEN_SETUP_FAILED = -2,  // the line set-up was refused
    OPEN_NO_THREAD = -3,     // the watch thread cannot be started
};

class CSerialLink {
public:
    static constexpr int kWriteMsPerByte = 10;
    static constexpr int kDefaultWriteConstantMs = 1000;
    static constexpr int kMaxPortNumber = 8;
    // While the device reports a hang-up the watch thread looks again this often.
    static constexpr int kHangupRetryMs = 500;
    // Longest wait for queued output to leave before the port is closed.
    static constexpr int kCloseDrainMaxMs = 2000;
    // Time the device at the far end needs to take in the last bytes that
    // left the line before the port may be closed (and reopened at another rate).
    static constexpr int kFarEndTakeMs = 30;
    // Pause after the port was opened at a new rate. The last sentence at the
    // old rate has left the line when the port closes (Close drains it); the
    // board then switches its UART, which takes microseconds, and a USB
    // adapter applies the new rate with one control transfer of a few
    // milliseconds. The line is left idle ten times that long, so the first
    // byte at the new rate does not run into the switch at either end (the
    // simulator, on a pseudo-terminal, sees a new rate within 20 ms).
    static constexpr int kLineSettleMs = 50;

    CSerialLink();
    ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // Takes port number, byte size, parity, stop bits and rate (while closed).
    void ApplySettings(const CCommSettings& settings);

    // LinkOpenResult: 1 opened, 0 already open or no target, -1, -2, -3.
    int Open(QObject* notifyTarget);
    // Opens a device path instead of the mapped "COMn" (tavrel-cli --port);
    // the path is kept for later opens until SetDevicePath("") clears it.
    int Open(QObject* notifyTarget, const std::string& devicePath);
    // False when the port was not open.
    bool Close();
    bool IsOpen() const { return m_bConnected.load(); }

    // Reads at most `maxCount` of the bytes already waiting; 0 when none or on error.
    int Read(char* buffer, int maxCount);
    // Writes all bytes within the total write time-out; the count written
    // (short on time-out), or -1 when the write cannot be started.
    int Write(const char* bytes, int count);
    int Write(const std::string& bytes) { return Write(bytes.data(), static_cast<int>(bytes.size())); }
    // Writes what the driver takes now, without waiting for the line: the
    // count written (0 when the driver is full), or -1 when the port is
    // closed or fails before a byte is taken.
    int WriteAvailable(const char* bytes, int count);
    // The total write time-out for `count` bytes: per-byte time x count + constant, ms.
    long long WriteBudgetMs(int count) const;
    // Bytes the driver still holds for the line (0 when closed, or when the
    // device cannot tell, as a pseudo-terminal).
    int OutputQueued() const;
    // Mode 0 or 1: discard the driver's receive queue; other modes do nothing.
    void PurgeReceive(int mode);

    bool SetWriteTimeout(int ms);
    // Total write time-out constant in ms, or -1 when the port is not open.
    int GetWriteTimeout(CommTimeouts* all = nullptr) const;

    // Where notifications go; the auto-configure run takes the link and gives it back.
    void SetNotifyTarget(QObject* target);
    QObject* NotifyTarget() const;

    void SetPortNumber(int number) { m_nPortNumber = static_cast<uint8_t>(number); }
    int PortNumber() const { return m_nPortNumber; }
    void SetBaudRate(uint32_t rate) { m_nBaudRate = rate; }
    uint32_t BaudRate() const { return m_nBaudRate; }
    void SetByteSize(int bits) { m_nByteSize = static_cast<uint8_t>(bits); }
    int ByteSize() const { return m_nByteSize; }
    void SetParity(int parity) { m_nParity = static_cast<uint8_t>(parity); }
    int Parity() const { return m_nParity; }
    void SetStopBits(int stopBits) { m_nStopBits = static_cast<uint8_t>(stopBits); }
    int StopBits() const { return m_nStopBits; }
    void SetHardwareFlow(bool on) { m_bHardwareFlow = on; }
    bool HardwareFlow() const { return m_bHardwareFlow; }

    void SetDevicePath(const std::string& path) { m_strDevicePath = path; }
    // The device that Open uses: the explicit path, else the mapping of "COMn".
    std::string DevicePath() const;
    // "COMn", or the device path when one was given.
    std::string PortName() const;
    // errno of the last failed operation (0 when none).
    int LastError() const { return m_nLastError; }
    // Why the last Open failed, naming the device ("/dev/ttyUSB0: port busy
    // (process 1234, minicom)"); empty after an Open that succeeded.
    const std::string& OpenFailure() const { return m_strOpenFailure; }
    // On: the port stays locked for this process from one Close to the next
    // Open (a command that owns the port for its whole run, across the rate
    // changes of a process); the lock goes with the link or with the next
    // device. Off (the default): every Close releases it.
    void HoldLock(bool hold);

private:
    int ReadWaiting(char* buffer, int maxCount);
    void WatchThread();
    void PostNotification();
    void WakeWatchThread();
    void DrainWakePipe();
    void CloseDevice();
    void DrainOutput();
    // Line time of `count` bytes at the current rate and framing.
    std::chrono::microseconds WireTime(int count) const;
    // An Open that stops: the failure is noted and logged, the lock released.
    void FailOpen(const std::string& what, int error, const std::string& reason = std::string());

    uint8_t m_nPortNumber = 1;
    uint8_t m_nByteSize = 8;
    uint8_t m_nParity = 0;
    uint8_t m_nStopBits = 0;
    uint32_t m_nBaudRate = 9600;
    bool m_bHardwareFlow = true;
    std::string m_strDevicePath;

    int m_nFd = -1;
    // When the bytes written so far have left the line. A pseudo-terminal
    // reports no queued output (TIOCOUTQ is 0 at once), so Close waits for
    // this moment as well as for the driver's queue.
    std::chrono::steady_clock::time_point m_lineFreeAt{};
    int m_wakePipe[2] = {-1, -1};
    CommTimeouts m_timeouts;
    int m_nLastError = 0;
    std::string m_strOpenFailure;
    CPortLock m_lock;
    bool m_bHoldLock = false;

    std::atomic<bool> m_bConnected{false};
    std::atomic<bool> m_bNotifyPending{false};
    std::thread m_watchThread;
    mutable std::mutex m_targetMutex;   // guards m_pNotifyTarget against a post in flight
    QObject* m_pNotifyTarget = nullptr;
};
