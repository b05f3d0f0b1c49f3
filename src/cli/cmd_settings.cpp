// tavrel-cli settings: every setting as the program holds it after defaults
// and bounds; with --set, stores settings first, as the dialogs do.
#include <iostream>
#include <strings.h>

#include "app/IniFile.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "cli/BatchPlan.h"
#include "cli/CliCommand.h"
#include "link/AutoConfig.h"

namespace {

constexpr int kMsgIncompatibleRates = 150;

struct Assignment {
    std::string section, key, value;
};

void PrintLine(const SettingLine& line)
{
    std::cout << line.section << " / " << line.key << " = " << line.value << "\n";
}

// The search range of auto-configure once `assignments` are stored, each
// rate normalised as it is read: false when its maximum is below its minimum,
// which the properties dialog refuses too.
bool SearchRangeStaysCompatible(const std::vector<Assignment>& assignments)
{
    int minRate = App().m_nAutoBaudMin;
    int maxRate = App().m_nAutoBaudMax;
    for (const Assignment& a : assignments) {
        const int rate = CAutoConfigDlg::NormaliseRate(CIniFile::ParseProfileInt(a.value));
        if (strcasecmp(a.key.c_str(), "Auto speed min. range") == 0) minRate = rate;
        if (strcasecmp(a.key.c_str(), "Auto speed max. range") == 0) maxRate = rate;
    }
    return maxRate >= minRate;
}

// The setting an unknown SECTION/KEY was probably meant to be: the closest
// whole name, else the closest key in any section.
std::string ClosestSetting(const Assignment& a, const std::vector<std::string>& names)
{
    const std::string close = ClosestName(a.section + "/" + a.key, names);
    if (!close.empty()) return close;
    std::vector<std::string> keys;
    for (const std::string& name : names) keys.push_back(name.substr(name.find('/') + 1));
    const std::string key = ClosestName(a.key, keys);
    for (std::size_t i = 0; i < keys.size() && !key.empty(); ++i)
        if (keys[i] == key) return names[i];
    return {};
}

// The closest settings after the error of an unknown key; nothing after other errors.
std::string SettingOffer(const Assignment& a)
{
    if (CUpdateApp::HasSetting(a.section, a.key)) return {};
    const std::vector<std::string> names = CUpdateApp::SettingNames();
    return OfferText(ClosestSetting(a, names), names, "tavrel-cli settings");
}

int RunSettings(CliArgs& args)
{
    std::vector<Assignment> assignments;
    for (std::string text; args.Option("set", text);) {
        Assignment a;
        if (!SplitSettingAssignment(text, a.section, a.key, a.value))
            return CliUsageError("--set needs SECTION/KEY=VALUE, not \"" + text + "\"");
        assignments.push_back(a);
    }
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error)) return CliUsageError(error);
    if (!rest.empty()) return CliUsageError("settings takes no arguments");

    CUpdateApp& app = App();
    if (!assignments.empty()) {
        if (!SearchRangeStaysCompatible(assignments)) return CliFailure(GetString(kMsgIncompatibleRates));
        RestoreStoredEnvDir();   // --env-dir is for this run, not for the file
        for (const Assignment& a : assignments) {
            SettingLine stored;
            if (!app.SetSetting(a.section, a.key, a.value, stored, error))
                return CliFailure(error + SettingOffer(a));
            PrintLine(stored);
        }
        return 0;
    }
    std::cout << "# " << app.IniPath() << "\n";
    for (const SettingLine& line : app.DescribeSettings()) PrintLine(line);
    return 0;
}

CliRegistrar reg({"settings", "Print every setting as read, after defaults and bounds, or set one",
                  "usage: tavrel-cli [--config-dir DIR] settings [--set SECTION/KEY=VALUE ...]\n"
                  "Without --set: prints one \"section / key = value\" line per setting of\n"
                  "Tavrel.ini, as the program holds it after defaults and bounds; times are in\n"
                  "the unit named by the key. Keys are listed under the section they are read\n"
                  "from. The file is not rewritten.\n"
                  "With --set (repeatable): stores each setting with the bounds it gets when\n"
                  "read, saves Tavrel.ini, and prints the setting as now held. SECTION is the\n"
                  "section the key is read from or written to; names ignore case. Numbers are\n"
                  "whole numbers, switches YES or NO, texts one line. A search range of\n"
                  "auto-configure whose maximum would be below its minimum is refused.\n"
                  "For example:\n"
                  "  settings --set \"Miscellaneous/Auto speed max. time=0\"\n"
                  "  settings --set \"Ports/COM2=/dev/ttyUSB0\" --set Communication/BAUDRATE=57600\n"
                  "Exit code: 0 stored, 1 unknown key, bad value or file not written, 2 usage error.\n",
                  RunSettings});

}  // namespace
