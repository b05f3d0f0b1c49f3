// `settings --set SECTION/KEY=VALUE`: each line of the input is one
// assignment, stored one after the other into a settings file of the scratch
// directory. A refused assignment changes neither the settings held nor the
// file; a stored one is held with the value it reports, stays inside the
// bounds of a read, and the file then reads back to every setting as held.
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "FuzzCommon.h"
#include "app/CommSettings.h"
#include "app/IniFile.h"
#include "app/UpdateApp.h"
#include "cli/BatchPlan.h"

namespace {

constexpr size_t kMaxAssignments = 8;

std::vector<SettingLine> HeldSettings()
{
    std::vector<SettingLine> out;
    for (const SettingLine& line : App().DescribeSettings())
        if (line.key != "Reserved 1")   // always written back as 0
            out.push_back(line);
    return out;
}

bool Same(const std::vector<SettingLine>& a, const std::vector<SettingLine>& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].section != b[i].section || a[i].key != b[i].key || a[i].value != b[i].value) return false;
    return true;
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void CheckBounds()
{
    const CUpdateApp& app = App();
    FUZZ_CHECK(app.m_nMsgTimeoutMs >= 3000);
    FUZZ_CHECK(app.m_nChecksumTimeoutMs >= 1000);
    FUZZ_CHECK(app.m_nInterWriteDelayMs >= 0);
    FUZZ_CHECK(app.m_nWriteTimeoutMs >= 3000);
    FUZZ_CHECK(app.m_nSBinWriteTimeoutMs >= 0);
    FUZZ_CHECK(app.m_nRescueModeSec >= 0);
    FUZZ_CHECK(BaudIndexOf(app.m_nAutoBaudMin) >= 0);
    FUZZ_CHECK(BaudIndexOf(app.m_nAutoBaudMax) >= 0);
    FUZZ_CHECK(app.m_nReserved3Ms >= 2000 && app.m_nReserved3Ms <= 20000);
    FUZZ_CHECK(app.m_nBaudIndex >= 0 && app.m_nBaudIndex < static_cast<int>(kBaudRates.size()));
}

void StoreOne(const std::string& text)
{
    std::string section, key, value;
    if (!SplitSettingAssignment(text, section, key, value)) return;
    CUpdateApp& app = App();
    const std::vector<SettingLine> before = HeldSettings();
    const std::string fileBefore = FileText(app.IniPath());
    SettingLine stored;
    std::string error;
    if (!app.SetSetting(section, key, value, stored, error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(Same(HeldSettings(), before));
        FUZZ_CHECK(FileText(app.IniPath()) == fileBefore);
        return;
    }
    CheckBounds();
    const std::vector<SettingLine> held = HeldSettings();
    // A port mapped to nothing is listed with its default device.
    bool listed = stored.key == "Reserved 1" || (stored.section == "Ports" && stored.value.empty());
    for (const SettingLine& line : held)
        if (!listed && line.section == stored.section && line.key == stored.key) {
            FUZZ_CHECK(line.value == stored.value);
            listed = true;
        }
    FUZZ_CHECK(listed);

    // The next run reads what this one holds.
    CIniFile ini;
    ini.Load(app.IniPath());
    app.LoadSettingsFrom(ini);
    FUZZ_CHECK(Same(HeldSettings(), held));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool once = [] {
        App().SetConfigDir(FuzzScratchDir());
        return true;
    }();
    (void)once;
    CUpdateApp& app = App();
    ::unlink(app.IniPath().c_str());
    app.LoadSettingsFrom(CIniFile());

    std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
    std::string text;
    for (size_t n = 0; n < kMaxAssignments && std::getline(lines, text); ++n) StoreOne(text);
    return 0;
}
