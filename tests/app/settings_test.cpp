// Settings keys: defaults, bounds, units, switches, the "Communication" and
// "Ports" sections, and the INI reader/writer.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/IniFile.h"
#include "app/UpdateApp.h"
#include "common/TempDir.h"

namespace {

CUpdateApp LoadFrom(const std::string& iniText)
{
    CIniFile ini;
    ini.Parse(iniText);
    CUpdateApp app;
    app.m_strProgramDir = "/opt/tavrel";
    app.LoadSettingsFrom(ini);
    return app;
}

struct BoundRow {
    const char* section;
    const char* key;
    const char* value;      // nullptr: key absent (default)
    int CUpdateApp::*member;
    int expected;
};

TEST(Settings, DefaultsBoundsAndUnits)
{
    using A = CUpdateApp;
    const char* T = "Times out";
    const char* M = "Miscellaneous";
    const BoundRow rows[] = {
        {T, "Message reception (sec.)", nullptr, &A::m_nMsgTimeoutMs, 3000},
        {T, "Message reception (sec.)", "1", &A::m_nMsgTimeoutMs, 3000},
        {T, "Message reception (sec.)", "5", &A::m_nMsgTimeoutMs, 5000},
        {T, "Message reception (sec.)", "abc", &A::m_nMsgTimeoutMs, 3000},
        {T, "Message reception (sec.)", "99999999999", &A::m_nMsgTimeoutMs, 2147483000},
        {T, "Checksum reception (sec.)", "0", &A::m_nChecksumTimeoutMs, 30000},
        {T, "Checksum reception (sec.)", "1", &A::m_nChecksumTimeoutMs, 1000},
        {T, "Between 2 write (ms.)", "-1", &A::m_nInterWriteDelayMs, 300},
        {T, "Between 2 write (ms.)", "0", &A::m_nInterWriteDelayMs, 0},
        {T, "Between 2 write (ms.)", "12x", &A::m_nInterWriteDelayMs, 12},
        // Read where they are written, "Times out", and from "Miscellaneous"
        // (where older files hold them) when "Times out" lacks them.
        {T, "RS232 write (sec.)", "2", &A::m_nWriteTimeoutMs, 3000},
        {T, "RS232 write (sec.)", "9", &A::m_nWriteTimeoutMs, 9000},
        {M, "RS232 write (sec.)", "4", &A::m_nWriteTimeoutMs, 4000},
        {T, "RS232 SBin write (sec.)", "-3", &A::m_nSBinWriteTimeoutMs, 10000},
        {T, "RS232 SBin write (sec.)", "0", &A::m_nSBinWriteTimeoutMs, 0},
        {M, "RS232 SBin write (sec.)", "1", &A::m_nSBinWriteTimeoutMs, 1000},
        {T, "Rescue mode(sec.)", "-1", &A::m_nRescueModeSec, 60},
        {T, "Rescue mode(sec.)", "5", &A::m_nRescueModeSec, 5},
        {M, "Rescue mode(sec.)", "7", &A::m_nRescueModeSec, 7},
        {M, "Auto speed min. range", nullptr, &A::m_nAutoBaudMin, 4800},
        {M, "Auto speed min. range", "2400", &A::m_nAutoBaudMin, 9600},
        {M, "Auto speed min. range", "100", &A::m_nAutoBaudMin, 300},
        {M, "Auto speed min. range", "300000", &A::m_nAutoBaudMin, 256000},
        {M, "Auto speed min. range", "128000", &A::m_nAutoBaudMin, 128000},
        {M, "Auto speed max. range", nullptr, &A::m_nAutoBaudMax, 115200},
        {M, "Auto speed max. range", "56000", &A::m_nAutoBaudMax, 9600},
        {M, "Auto speed max. time", "-5", &A::m_nAutoMaxTimeSec, 0},
        {M, "Auto speed max. time", nullptr, &A::m_nAutoMaxTimeSec, 120},
        {M, "Reserved 1", "-1", &A::m_nReserved1, 0},
        {M, "Reserved 1", "1", &A::m_nReserved1, 1},
        {M, "Reserved 2", nullptr, &A::m_nReserved2, 1},
        {M, "Reserved 2", "-4", &A::m_nReserved2, 0},
        {M, "Reserved 3", nullptr, &A::m_nReserved3Ms, 7000},
        {M, "Reserved 3", "1", &A::m_nReserved3Ms, 2000},
        {M, "Reserved 3", "45", &A::m_nReserved3Ms, 20000},
    };
    for (const BoundRow& r : rows) {
        const std::string text =
            r.value ? "[" + std::string(r.section) + "]\n" + r.key + "=" + r.value + "\n" : "";
        const CUpdateApp app = LoadFrom(text);
        EXPECT_EQ(app.*r.member, r.expected) << r.section << " / " << r.key << " = "
                                             << (r.value ? r.value : "(absent)");
    }
}

TEST(Settings, SwitchesAreYesInAnyCaseOnly)
{
    const struct {
        const char* value;
        bool expected;
    } rows[] = {{"YES", true}, {"yes", true}, {" Yes ", true}, {"Y", false}, {"1", false},
                {"NO", false}, {"", false}};
    for (const auto& r : rows) {
        const CUpdateApp app =
            LoadFrom(std::string("[Miscellaneous]\nShow the communications box=") + r.value + "\n");
        EXPECT_EQ(app.m_bShowCommBox, r.expected) << r.value;
    }
    // Not a portable copy (no Tavrel.ini in /opt/tavrel): the environments
    // default to the user's data directory.
    const char* savedData = std::getenv("XDG_DATA_HOME");
    const std::string saved = savedData ? savedData : "";
    ::setenv("XDG_DATA_HOME", "/home/operator/.local/share", 1);
    const CUpdateApp defaults = LoadFrom("");
    if (savedData) ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else ::unsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(defaults.m_bCrLfBeforeIdent && defaults.m_bShowCommBox &&
                defaults.m_bQueryAutoSpeed && defaults.m_bRescueEnable);
    EXPECT_EQ(defaults.m_strEnvDir, "/home/operator/.local/share/tavrel/Products/");
    EXPECT_EQ(defaults.m_strLastSflPath, "/opt/tavrel/Release/");
}

struct CommRow {
    const char* keys;
    int portNumber, byteSize, parity, stopBits, baud;
    int portIndex, baudIndex;
};

TEST(Settings, CommunicationKeysAndDerivedSelection)
{
    const CommRow rows[] = {
        {"", 1, 8, 0, 0, 9600, 0, 3},
        {"PORTNUM=3\nBAUDRATE=2400\n", 3, 8, 0, 0, 2400, 2, 3},
        {"BAUDRATE=56000\n", 1, 8, 0, 0, 9600, 0, 3},
        {"BAUDRATE=256000\n", 1, 8, 0, 0, 256000, 0, 9},
        {"PARITY=even\n", 1, 8, 2, 0, 9600, 0, 3},
        {"PARITY=ODD\nSTOPBITS=0\n", 1, 8, 1, 2, 9600, 0, 3},
        {"PARITY=NO\nSTOPBITS=2\nBYTESIZE=7\n", 1, 7, 0, 2, 9600, 0, 3},
        {"PORTNUM=0\n", 1, 8, 0, 0, 9600, 0, 3},          // no port 0: the default port
        {"PORTNUM=70000\n", 1, 8, 0, 0, 9600, 0, 3},      // beyond an 8-bit port number
    };
    for (const CommRow& r : rows) {
        const CUpdateApp app = LoadFrom(std::string("[Communication]\n") + r.keys);
        EXPECT_EQ(app.m_comm.nPortNumber, r.portNumber) << r.keys;
        EXPECT_EQ(app.m_comm.nByteSize, r.byteSize) << r.keys;
        EXPECT_EQ(app.m_comm.nParity, r.parity) << r.keys;
        EXPECT_EQ(app.m_comm.nStopBits, r.stopBits) << r.keys;
        EXPECT_EQ(app.m_comm.nBaudRate, r.baud) << r.keys;
        EXPECT_EQ(app.m_nPortIndex, r.portIndex) << r.keys;
        EXPECT_EQ(app.m_nBaudIndex, r.baudIndex) << r.keys;
    }
}

TEST(Settings, CommunicationWriteRules)
{
    CCommSettings comm;
    comm.nParity = 5;
    comm.nStopBits = 1;
    comm.nBaudRate = 56000;
    CIniFile ini;
    comm.SavePortSettings(ini, "Communication");
    EXPECT_EQ(ini.GetString("Communication", "PARITY", "x"), "");
    EXPECT_EQ(ini.GetString("Communication", "STOPBITS", "x"), "1");
    EXPECT_EQ(ini.GetString("Communication", "BAUDRATE", "x"), "56000");
    comm.nStopBits = 2;
    comm.nBaudRate = 1234;
    comm.SavePortSettings(ini, "Communication");
    EXPECT_EQ(ini.GetString("Communication", "STOPBITS", "x"), "2");
    EXPECT_EQ(ini.GetString("Communication", "BAUDRATE", "x"), "9600");
}

TEST(Settings, PortsMapDevices)
{
    const CUpdateApp app = LoadFrom("[Ports]\nCOM1=/dev/ttyUSB0\nCOM9=/dev/x\n");
    EXPECT_EQ(app.m_comm.DevicePath(1), "/dev/ttyUSB0");
    EXPECT_EQ(app.m_comm.DevicePath(2), "/dev/ttyS1");
    EXPECT_EQ(app.m_comm.DevicePath(9), "/dev/ttyS8");
    EXPECT_EQ(LinkText(0, 3), "COM1:9600,n,8,2");
    EXPECT_EQ(LinkText(1, 42), "COM2:9600,n,8,2");
}

TEST(Settings, SaveWritesSectionsAndQuirks)
{
    CTempDir dir;
    dir.Write("Tavrel.ini",
              "; my settings\r\n[Miscellaneous]\r\nReserved 1=1\r\nRS232 write (sec.)=7\r\n"
              "Extra key=kept\r\n[Times out]\r\nRS232 write (sec.)=9\r\n[Unknown]\r\na b=c\r\n"
              "garbage line\r\n[Recent File List]\r\nFile1=/r/a.sfl\r\nFile2=\r\nFile3=/r/c.sfl\r\n");
    CUpdateApp app;
    app.SetConfigDir(dir.Path());
    app.m_strProgramDir = "/opt/tavrel";
    app.m_nVersion = 20;
    app.LoadSettings();
    EXPECT_EQ(app.m_nReserved1, 1);
    EXPECT_EQ(app.m_nWriteTimeoutMs, 9000);   // "Times out" wins over "Miscellaneous"
    EXPECT_EQ(app.m_nRescueModeSec, 60);
    const std::vector<std::string> recent = {"/r/a.sfl", "/r/c.sfl"};
    EXPECT_EQ(app.m_recentFiles, recent);
    ASSERT_EQ(app.SaveSettings(), 1);

    const std::string text = dir.Read("Tavrel.ini");
    EXPECT_EQ(text.find('\r'), std::string::npos);
    CIniFile ini;
    ini.Parse(text);
    EXPECT_EQ(ini.GetString("Miscellaneous", "Reserved 1", ""), "0");
    EXPECT_EQ(ini.GetString("Times out", "RS232 write (sec.)", ""), "9");
    EXPECT_EQ(ini.GetString("Miscellaneous", "RS232 write (sec.)", ""), "7");   // kept, unused
    EXPECT_EQ(ini.GetString("Times out", "Rescue mode(sec.)", ""), "60");
    EXPECT_EQ(ini.GetString("Miscellaneous", "Extra key", ""), "kept");
    EXPECT_EQ(ini.GetString("Unknown", "a b", ""), "c");
    EXPECT_EQ(ini.GetString("Tavrel Version", "Ver", ""), "20");
    EXPECT_EQ(ini.GetString("Communication", "BAUDRATE", ""), "9600");
    EXPECT_EQ(ini.GetString("Recent File List", "File2", ""), "/r/c.sfl");
    EXPECT_FALSE(ini.HasKey("Recent File List", "File3"));
    EXPECT_EQ(ini.GetString("Miscellaneous", "Show the communications box", ""), "YES");
    EXPECT_NE(text.find("; my settings\n"), std::string::npos);
    EXPECT_NE(text.find("garbage line\n"), std::string::npos);

    // Loading the saved file gives the same settings, Reserved 1 now 0.
    CUpdateApp again;
    again.SetConfigDir(dir.Path());
    again.LoadSettings();
    EXPECT_EQ(again.m_nReserved1, 0);
    // A value edited where the program wrote it is the one read.
    EXPECT_EQ(again.m_nWriteTimeoutMs, 9000);
}

// What `settings --set` reports as stored is what the next run reads, also
// for a value typed with blanks around it.
TEST(Settings, SetSettingHoldsWhatTheFileGivesBack)
{
    struct Row {
        const char *section, *key, *typed, *held;
    };
    const Row rows[] = {
        {"Ports", "COM2", " /dev/ttyUSB1\t ", "/dev/ttyUSB1"},
        {"Times out", "Between 2 write (ms.)", "  5 ", "5"},
        {"Miscellaneous", "Show the communications box", "\tno", "NO"},
        {"Communication", "BAUDRATE", "57600 ", "57600"},
    };
    CTempDir dir;
    CUpdateApp app;
    app.SetConfigDir(dir.Path());
    app.LoadSettings();
    for (const Row& row : rows) {
        SettingLine stored;
        std::string error;
        ASSERT_TRUE(app.SetSetting(row.section, row.key, row.typed, stored, error)) << row.key << ": " << error;
        EXPECT_EQ(stored.value, row.held) << row.key;
        CUpdateApp next;
        next.SetConfigDir(dir.Path());
        next.LoadSettings();
        for (const SettingLine& line : next.DescribeSettings())
            if (line.section == stored.section && line.key == stored.key) {
                EXPECT_EQ(line.value, row.held) << row.key;
            }
    }
    EXPECT_EQ(app.m_comm.DevicePath(2), "/dev/ttyUSB1");
    SettingLine stored;
    std::string error;
    EXPECT_FALSE(app.SetSetting("Times out", "Between 2 write (ms.)", "   ", stored, error));
}

TEST(IniFile, RoundTripKeepsNamesOrderAndOddLines)
{
    const std::string input =
        "\xEF\xBB\xBF; head\r\n[Times out]\r\nMessage reception (sec.) = 5 \r\n"
        "#c\r\n\r\n[Other]\r\nk=\"quoted\"\r\nx=1=2\r\n=novalue\r\n[broken\r\n";
    CIniFile ini;
    ini.Parse(input);
    EXPECT_EQ(ini.GetInt("times OUT", "message reception (SEC.)", 0), 5);
    EXPECT_EQ(ini.GetString("Other", "k", ""), "quoted");
    EXPECT_EQ(ini.GetString("Other", "x", ""), "1=2");
    EXPECT_EQ(ini.GetString("Other", "missing", "def"), "def");
    ini.SetString("Times out", "Checksum reception (sec.)", "30");
    ini.SetString("New", "Key (x.)", "line\nbreak");
    EXPECT_EQ(ini.ToText(),
              "; head\n[Times out]\nMessage reception (sec.)=5\nChecksum reception (sec.)=30\n#c\n"
              "\n[Other]\nk=\"quoted\"\nx=1=2\n=novalue\n[broken\n[New]\nKey (x.)=line break\n");
}

TEST(IniFile, ProfileIntegers)
{
    const struct {
        const char* text;
        int value;
    } rows[] = {{"12", 12}, {" -7", -7}, {"+3", 3}, {"4.9", 4}, {"x1", 0}, {"", 0},
                {"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1}};
    for (const auto& r : rows) EXPECT_EQ(CIniFile::ParseProfileInt(r.text), r.value) << r.text;
}

}  // namespace
