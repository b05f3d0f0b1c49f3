#include "link/PortList.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
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
    for (const auto& entry : fs::directory_iterator(kSerialByIdDir, ec)) {
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

namespace {

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

bool Exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace

PortChoice ResolvePortWord(const std::string& word, const std::string& byIdDir)
{
    PortChoice choice;
    if (word.empty()) {
        choice.error = "an empty port name";
        return choice;
    }
    const bool comWord = word.size() > 3 && EqualsNoCase(word.substr(0, 3), "COM");
    const std::string digits = comWord ? word.substr(3) : word;
    if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const int number = PortNumberOf(digits);
        if (number == 0)
            choice.error = word + ": the port numbers are COM1 to COM8 (or 1 to 8)";
        choice.number = number;
        return choice;
    }
    if (word.find('/') != std::string::npos) {
        choice.device = word;
        return choice;
    }
    for (const std::string& dir : {byIdDir, std::string("/dev")}) {
        if (!dir.empty() && Exists(dir + "/" + word)) {
            choice.device = dir + "/" + word;
            return choice;
        }
    }
    choice.error = "no port named \"" + word + "\": give COM1..COM8, a device path or a name of " + byIdDir +
                   " (tavrel-cli ports lists them)";
    return choice;
}

std::string SerialDriverOf(const std::string& canonicalDevice)
{
    if (canonicalDevice.compare(0, 9, "/dev/pts/") == 0 || canonicalDevice == "/dev/ptmx") return "pty";
    const std::string name = fs::path(canonicalDevice).filename().string();
    std::error_code ec;
    const fs::path driver = fs::read_symlink("/sys/class/tty/" + name + "/device/driver", ec);
    return ec ? std::string() : driver.filename().string();
}

std::vector<SerialDeviceInfo> DescribeSerialDevices(const std::string& byIdDir)
{
    std::map<std::string, SerialDeviceInfo> devices;   // by canonical path
    auto entry = [&](const std::string& path) -> SerialDeviceInfo& {
        const std::string canonical = CanonicalDevice(path);
        const std::string key = canonical.empty() ? path : canonical;
        SerialDeviceInfo& info = devices[key];
        if (info.path.empty()) {
            info.path = key;
            info.exists = !canonical.empty();
        }
        return info;
    };
    std::error_code ec;
    for (const auto& link : fs::directory_iterator(byIdDir, ec))
        entry(link.path().string()).byId = link.path().filename().string();
    for (const PresentDevice& device : PresentSerialDevices())
        if (device.target.empty()) entry(device.path);
    for (const MappedPort& port : MappedPorts()) {
        SerialDeviceInfo& info = entry(port.device);
        if (info.comName.empty()) info.comName = port.name;
    }
    std::vector<SerialDeviceInfo> list;
    for (auto& [path, info] : devices) {
        if (info.exists) {
            info.driver = SerialDriverOf(info.path);
            info.lockedBy = PortLockHolder(info.path);
            if (info.lockedBy == 0) info.lockedBy = PortOpenedBy(info.path);
        }
        list.push_back(info);
    }
    return list;
}
