#include "link/PortList.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/UpdateApp.h"
#include "link/PortSetup.h"
#include "link/SerialLink.h"

namespace fs = std::filesystem;

namespace {

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A ttyS node exists for every possible UART; only one with hardware behind
// it opens and reports its line settings.
bool SerialDeviceAnswers(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool answers = ReadPortBaudRate(fd) != 0;
    ::close(fd);
    return answers;
}

}  // namespace

std::vector<MappedPort> MappedPorts()
{
    std::vector<MappedPort> ports;
    for (int n = 1; n <= CSerialLink::kMaxPortNumber; ++n) {
        MappedPort port;
        port.name = "COM" + std::to_string(n);
        port.device = App().m_comm.DevicePath(n);
        std::error_code ec;
        port.exists = fs::exists(port.device, ec);
        ports.push_back(port);
    }
    return ports;
}

std::vector<PresentDevice> PresentSerialDevices()
{
    std::vector<PresentDevice> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec)) {
        PresentDevice device;
        device.path = entry.path().string();
        device.target = fs::canonical(entry.path(), ec).string();
        found.push_back(device);
    }
    std::vector<std::string> nodes;
    for (const auto& entry : fs::directory_iterator("/dev", ec)) {
        std::string name = entry.path().filename().string();
        bool usb = StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM");
        if (usb || (StartsWith(name, "ttyS") && SerialDeviceAnswers(entry.path().string())))
            nodes.push_back(entry.path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    for (const std::string& node : nodes)
        found.push_back(PresentDevice{node, ""});
    return found;
}

int PortNumberOf(const std::string& text)
{
    std::string digits = StartsWith(text, "COM") ? text.substr(3) : text;
    if (digits.empty() || digits.size() > 2 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    int number = std::stoi(digits);
    return number >= 1 && number <= CSerialLink::kMaxPortNumber ? number : 0;
}

void SelectPort(CSerialLink& link, const std::string& text)
{
    const int number = PortNumberOf(text);
    if (number > 0) {
        link.SetPortNumber(number);
        link.SetDevicePath(std::string());
    } else {
        link.SetDevicePath(text);
    }
}

std::string MappedPortText(const MappedPort& port)
{
    return port.name + " (" + port.device + ")";
}
