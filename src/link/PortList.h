#pragma once
// The ports a user can choose: COM1..COM8 with the devices they map to, and
// the serial devices present on this machine.
#include <sys/types.h>

#include <string>
#include <vector>

class CSerialLink;

// Where udev names USB serial adapters by maker, model and serial number.
inline constexpr const char* kSerialByIdDir = "/dev/serial/by-id";

struct MappedPort {
    std::string name;     // "COM1"
    std::string device;   // "/dev/ttyS0" or the "Ports" mapping
    bool exists = false;
};

struct PresentDevice {
    std::string path;
    std::string target;   // where a /dev/serial/by-id link points, else empty
};

std::vector<MappedPort> MappedPorts();
// /dev/serial/by-id links, ttyUSB, ttyACM, and ttyS devices that have a UART.
std::vector<PresentDevice> PresentSerialDevices();

// "COM3" or "3" gives port number 3; any other text is a device path (0).
int PortNumberOf(const std::string& text);

// The link takes `text` as its port: a port number (PortNumberOf) or else a
// device path.
void SelectPort(CSerialLink& link, const std::string& text);

// "COM2 (/dev/ttyUSB0)": a port of the lists with the device it maps to.
std::string MappedPortText(const MappedPort& port);

// What a port word of the command line names: "COMn" or "n" (1..8) a port
// number; a word holding '/' a device path; any other word a name of
// `byIdDir` or of /dev ("ttyUSB0"). `error` says why a word names nothing.
struct PortChoice {
    int number = 0;          // 1..8, or 0 for a device path
    std::string device;      // the path when number is 0
    std::string error;
    bool Ok() const { return error.empty(); }
};
PortChoice ResolvePortWord(const std::string& word, const std::string& byIdDir = kSerialByIdDir);

// One serial device of this machine as `tavrel-cli ports` shows it.
struct SerialDeviceInfo {
    std::string path;      // "/dev/ttyUSB0"
    std::string byId;      // its name in /dev/serial/by-id; empty when none
    std::string driver;    // "ftdi_sio", "cdc_acm", "serial8250", "pty"; empty when unknown
    std::string comName;   // "COM2" when a port maps to it
    bool exists = false;
    pid_t lockedBy = 0;    // the process holding it (lock file, flock or open), 0 when free
};
// The present devices (PresentSerialDevices, by-id links folded into their
// device) and the devices COM1..COM8 map to, each once, sorted by path.
std::vector<SerialDeviceInfo> DescribeSerialDevices(const std::string& byIdDir = kSerialByIdDir);
// The kernel driver of a tty device; "pty" for a pseudo-terminal.
std::string SerialDriverOf(const std::string& canonicalDevice);
