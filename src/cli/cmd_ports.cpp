// tavrel-cli ports: COM1..COM8 with their devices, and the serial devices present.
#include <iostream>

#include "cli/CliCommand.h"
#include "link/PortList.h"

namespace {

int RunPorts(CliArgs& args)
{
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error))
        return CliUsageError(error);
    if (!rest.empty())
        return CliUsageError("ports takes no arguments");

    std::cout << "Ports (section \"Ports\" of Tavrel.ini maps COMn to a device):\n";
    for (const MappedPort& port : MappedPorts())
        std::cout << "  " << port.name << "  " << port.device
                  << (port.exists ? "" : "  (missing)") << "\n";
    std::vector<PresentDevice> devices = PresentSerialDevices();
    std::cout << "Serial devices present:" << (devices.empty() ? " none" : "") << "\n";
    for (const PresentDevice& device : devices) {
        std::cout << "  " << device.path;
        if (!device.target.empty())
            std::cout << " -> " << device.target;
        std::cout << "\n";
    }
    return 0;
}

CliRegistrar reg({"ports", "List COM1..COM8 with their devices and the serial devices present",
                  "usage: tavrel-cli ports\n"
                  "Lists the port names COM1..COM8 with the device each one opens (key COMn of\n"
                  "section \"Ports\" in Tavrel.ini, else /dev/ttyS<n-1>) and whether it exists,\n"
                  "then the serial devices of this machine: /dev/serial/by-id, ttyUSB, ttyACM\n"
                  "and the ttyS ports that have a UART.\n",
                  RunPorts});

}  // namespace
