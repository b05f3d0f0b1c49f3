// The settings file: any text parses; writing what was parsed and parsing it
// again settles at once; settings read from it stay inside their bounds and
// settle after one save and reload.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCommon.h"
#include "app/CommSettings.h"
#include "app/IniFile.h"
#include "app/UpdateApp.h"

namespace {

std::vector<std::string> SettingsText()
{
    std::vector<std::string> out;
    for (const SettingLine& line : App().DescribeSettings())
        if (line.key != "Reserved 1")   // always written back as 0
            out.push_back(line.section + "\n" + line.key + "\n" + line.value);
    return out;
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
    FUZZ_CHECK(app.m_nAutoMaxTimeSec >= 0);
    FUZZ_CHECK(app.m_nReserved3Ms >= 2000 && app.m_nReserved3Ms <= 20000);
    FUZZ_CHECK(app.m_nBaudIndex >= 0 && app.m_nBaudIndex < static_cast<int>(kBaudRates.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CIniFile ini;
    ini.Parse(text);
    // Writing and reading back settles after one round: a leading byte-order
    // mark is dropped once, so text that starts with two settles one round later.
    CIniFile again, third;
    again.Parse(ini.ToText());
    const std::string settled = again.ToText();
    third.Parse(settled);
    FUZZ_CHECK(third.ToText() == settled);

    for (const std::string& section : ini.Sections())
        for (const std::string& key : ini.Keys(section)) {
            FUZZ_CHECK(ini.HasKey(section, key));
            (void)ini.GetInt(section, key, 0);
            (void)ini.GetString(section, key, "");
        }

    App().LoadSettingsFrom(ini);
    CheckBounds();
    // Saving and reading back settles after one round (the writer turns
    // control characters inside a value into blanks).
    CIniFile saved = ini;
    App().SaveSettingsTo(saved);
    CIniFile reread;
    reread.Parse(saved.ToText());
    App().LoadSettingsFrom(reread);
    CheckBounds();
    const std::vector<std::string> settledSettings = SettingsText();
    App().SaveSettingsTo(reread);
    CIniFile again2;
    again2.Parse(reread.ToText());
    App().LoadSettingsFrom(again2);
    FUZZ_CHECK(SettingsText() == settledSettings);
    return 0;
}
