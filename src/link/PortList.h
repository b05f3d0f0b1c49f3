#pragma once
// The ports a user can choose: COM1..COM8 with the devices they map to, and
// the serial devices present on this machine.
#include <string>
#include <vector>

class CSerialLink;

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
