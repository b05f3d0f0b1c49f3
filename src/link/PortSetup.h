#pragma once
// Line set-up of an open serial device through the kernel's termios2, so
// that any rate (128000 and 256000 included) can be set. Kept apart from
// <termios.h>, whose structure clashes with the kernel's.
#include <cstdint>

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
