#pragma once
// The pseudo-terminal that stands in for the RS-232 line. The simulator keeps
// its own handle on the device side, so the program may close and reopen the
// device, and reads through it the rate the program set.
#include <string>

namespace sim {

class Pty {
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool Open(std::string& error);
    int Master() const { return m_master; }
    const std::string& DevicePath() const { return m_device; }

    // The rate the program has set on the device side (bit/s); 0 when unknown.
    long CurrentRate() const;
    // Throws away what the program has not read yet: bytes that were sent at
    // a rate the program has just left would be garbage on a real line.
    void DiscardUnread() const;

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_device;
};

// Reads the output rate of a terminal, including rates set with BOTHER.
long TerminalRate(int fd);
// Sets a terminal to raw 8-bit mode at the given rate (tests and set-up).
bool SetTerminalRate(int fd, long rate);

}  // namespace sim
