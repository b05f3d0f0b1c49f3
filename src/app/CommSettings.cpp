// The serial keys of section "Communication", the "Ports" map and the baud table.
#include "app/CommSettings.h"

#include <algorithm>

#include "app/IniFile.h"

namespace {

// Rates the "BAUDRATE" key keeps when read, and the wider list it may be written with.
constexpr int kReadableRates[] = {300, 1200, 2400, 4800, 9600, 19200,
                                  38400, 57600, 115200, 128000, 256000};
constexpr int kWritableRates[] = {300, 1200, 2400, 4800, 9600, 19200,
                                  38400, 56000, 57600, 115200, 128000, 256000};
constexpr int kDefaultRate = 9600;

// Longest "PARITY" text looked at.
constexpr std::size_t kMaxParityText = 79;

// Port numbers are kept in 8 bits; 0 names no port.
constexpr int kMinPortNumber = 1;
constexpr int kMaxPortNumber = 255;

const char* const kPortsSection = "Ports";

struct ParityName {
    const char* text;
    int value;
};
constexpr ParityName kParityNames[] = {{"NO", 0}, {"ODD", 1}, {"EVEN", 2}};
constexpr int kParityForUnknownText = 2;

template <std::size_t N>
bool Contains(const int (&list)[N], int value)
{
    return std::find(std::begin(list), std::end(list), value) != std::end(list);
}

int ParityFromText(const std::string& text)
{
    const std::string t = text.substr(0, kMaxParityText);
    for (const ParityName& p : kParityNames)
        if (t == p.text) return p.value;
    return kParityForUnknownText;
}

std::string ParityText(int parity)
{
    for (const ParityName& p : kParityNames)
        if (parity == p.value) return p.text;
    return std::string();
}

}  // namespace

int BaudFromIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(kBaudRates.size())) return kDefaultRate;
    return kBaudRates[static_cast<std::size_t>(index)];
}

int BaudIndexOf(int baud)
{
    const auto it = std::find(kBaudRates.begin(), kBaudRates.end(), baud);
    return it == kBaudRates.end() ? -1 : static_cast<int>(it - kBaudRates.begin());
}

std::string BaudText(int index)
{
    return std::to_string(BaudFromIndex(index));
}

std::string LinkText(int portIndex, int baudIndex)
{
    return "COM" + std::to_string(portIndex + 1) + ":" + BaudText(baudIndex) + ",n,8,2";
}

void CCommSettings::LoadPortSettings(const CIniFile& ini, const std::string& section)
{
    const int port = ini.GetInt(section, "PORTNUM", 1);
    nPortNumber = (port < kMinPortNumber || port > kMaxPortNumber) ? 1 : port;
    nByteSize = ini.GetInt(section, "BYTESIZE", 8);
    nParity = ParityFromText(ini.GetString(section, "PARITY", "NO"));
    nStopBits = ini.GetInt(section, "STOPBITS", 1) == 1 ? 0 : 2;
    const int rate = ini.GetInt(section, "BAUDRATE", kDefaultRate);
    nBaudRate = Contains(kReadableRates, rate) ? rate : kDefaultRate;

    for (std::size_t i = 0; i < devices.size(); ++i)
        devices[i] = ini.GetString(kPortsSection, "COM" + std::to_string(i + 1), std::string());
}

void CCommSettings::SavePortSettings(CIniFile& ini, const std::string& section) const
{
    ini.SetInt(section, "PORTNUM", nPortNumber);
    ini.SetInt(section, "BYTESIZE", nByteSize);
    ini.SetString(section, "PARITY", ParityText(nParity));
    ini.SetString(section, "STOPBITS", nStopBits == 2 ? "2" : "1");
    ini.SetInt(section, "BAUDRATE", Contains(kWritableRates, nBaudRate) ? nBaudRate : kDefaultRate);

    // Only mappings that exist are written; an unset port keeps its default device.
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (!devices[i].empty())
            ini.SetString(kPortsSection, "COM" + std::to_string(i + 1), devices[i]);
}

std::string CCommSettings::DevicePath(int portNumber) const
{
    if (portNumber >= 1 && portNumber <= static_cast<int>(devices.size()) &&
        !devices[static_cast<std::size_t>(portNumber - 1)].empty())
        return devices[static_cast<std::size_t>(portNumber - 1)];
    if (portNumber < 1) return std::string();
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}
