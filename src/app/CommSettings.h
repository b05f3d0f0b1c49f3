#pragma once
// The serial keys of section "Communication" and the port map of section
// "Ports". The serial link takes its settings from here.
#include <array>
#include <cstdint>
#include <string>

class CIniFile;

// Baud-rate table: index 0..9; any other index stands for 9600.
inline constexpr std::array<int, 10> kBaudRates = {300, 1200, 4800, 9600, 19200,
                                                  38400, 57600, 115200, 128000, 256000};
inline constexpr int BAUD_INDEX_DEFAULT = 3;
int BaudFromIndex(int index);        // 9600 outside 0..9
int BaudIndexOf(int baud);           // -1 when not in the table
std::string BaudText(int index);     // "300" .. "256000"

struct CCommSettings {
    int nPortNumber = 1;     // "COMn"
    int nByteSize = 8;
    int nParity = 0;         // 0 none, 1 odd, 2 even
    int nStopBits = 0;       // 0 one stop bit, 2 two stop bits
    int nBaudRate = 9600;
    std::array<std::string, 8> devices;   // "Ports": COM1..COM8 -> device path, empty when unset

    void LoadPortSettings(const CIniFile& ini, const std::string& section);
    void SavePortSettings(CIniFile& ini, const std::string& section) const;
    // Device path of port number n: "Ports" mapping, else /dev/ttyS<n-1>.
    std::string DevicePath(int portNumber) const;
};

// "COM1:9600,n,8,2" (port index 0-based, baud index into the table).
std::string LinkText(int portIndex, int baudIndex);
