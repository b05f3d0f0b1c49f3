// tavrel-cli ports: COM1..COM8 with their devices, and the serial devices
// present, each with its /dev/serial/by-id name, driver and owner.
#include <iostream>

#include "cli/CliCommand.h"
#include "link/PortList.h"
#include "link/PortSetup.h"

namespace {

std::string StateText(const SerialDeviceInfo& device)
{
    if (!device.exists) return "missing";
    return device.lockedBy > 0 ? "busy (" + ProcessText(device.lockedBy) + ")" : "free";
}

void PrintDevice(const SerialDeviceInfo& device)
{
    std::cout << "  " << device.path << "\n";
    if (!device.comName.empty()) std::cout << "    port    " << device.comName << "\n";
    if (!device.byId.empty()) std::cout << "    by-id   " << device.byId << "\n";
    if (!device.driver.empty()) std::cout << "    driver  " << device.driver << "\n";
    std::cout << "    state   " << StateText(device) << "\n";
}

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
        std::cout << "  " << port.name << "  " << port.device << (port.exists ? "" : "  (missing)") << "\n";
    const std::vector<SerialDeviceInfo> devices = DescribeSerialDevices();
    std::cout << "Serial devices:" << (devices.empty() ? " none" : "") << "\n";
    for (const SerialDeviceInfo& device : devices)
        if (device.exists) PrintDevice(device);
    return 0;
}

CliRegistrar reg({"ports", "List COM1..COM8 and the serial devices with their names, drivers and owners",
                  "usage: tavrel-cli ports\n"
                  "Lists the port names COM1..COM8 with the device each one opens (key COMn of\n"
                  "section \"Ports\" in Tavrel.ini, else /dev/ttyS<n-1>) and whether it exists,\n"
                  "then every serial device of this machine (/dev/serial/by-id, ttyUSB, ttyACM,\n"
                  "the ttyS ports that have a UART, and the devices COMn maps to) with the COMn\n"
                  "that maps to it, its /dev/serial/by-id name, its driver and whether a program\n"
                  "holds it (\"busy (process N, name)\") or it is free.\n"
                  "Any of these names goes to --port: COM2, /dev/ttyUSB0, or the by-id name.\n",
                  RunPorts});

}  // namespace
