#pragma once
// A pseudo-terminal for the link tests: the test plays the device on the
// master side; the link opens the slave path like a serial port.
#include <cstdint>
#include <functional>
#include <string>

struct PtyPair {
    int master = -1;
    int heldSlave = -1;   // a second handle on the slave, as a simulator keeps
    std::string slavePath;

    PtyPair() = default;
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    ~PtyPair();

    bool Create(bool holdSlave);
    void CloseMaster();
    // Rate the slave side is set to, read through the master (TCGETS2).
    uint32_t SlaveRate() const;
    // c_cflag of the slave side.
    uint32_t SlaveControlFlags() const;
    // Stops or restarts the slave's output (needs the held slave handle).
    bool StopSlaveOutput(bool stop) const;
    void Send(const std::string& bytes) const;
    // What the master can read now (does not wait).
    std::string ReadNow() const;
};

// Runs the event loop until `done` holds or `maxMs` has passed.
bool PumpUntil(const std::function<bool()>& done, int maxMs);
// Runs the event loop for `ms`.
void PumpFor(int ms);
