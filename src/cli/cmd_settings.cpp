// tavrel-cli settings: every setting as the program holds it after defaults
// and bounds; with --set, stores settings first, as the dialogs do.
#include <iostream>

#include "app/UpdateApp.h"
#include "cli/CliCommand.h"

namespace {

void PrintLine(const SettingLine& line)
{
    std::cout << line.section << " / " << line.key << " = " << line.value << "\n";
}

// "SECTION/KEY=VALUE" cut into its three parts; false when a part is missing.
bool SplitAssignment(const std::string& text, std::string& section, std::string& key, std::string& value)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos || slash == 0) return false;
    const std::size_t equals = text.find('=', slash + 1);
    if (equals == std::string::npos || equals == slash + 1) return false;
    section = text.substr(0, slash);
    key = text.substr(slash + 1, equals - slash - 1);
    value = text.substr(equals + 1);
    return true;
}

int RunSettings(CliArgs& args)
{
    std::vector<std::string> assignments;
    for (std::string assignment; args.Option("set", assignment);) assignments.push_back(assignment);
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error)) return CliUsageError(error);
    if (!rest.empty()) return CliUsageError("settings takes no arguments");

    CUpdateApp& app = App();
    if (!assignments.empty()) {
        for (const std::string& assignment : assignments) {
            std::string section, key, value;
            if (!SplitAssignment(assignment, section, key, value))
                return CliUsageError("--set needs SECTION/KEY=VALUE, not \"" + assignment + "\"");
            SettingLine stored;
            if (!app.SetSetting(section, key, value, stored, error)) return CliFailure(error);
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
                  "whole numbers, switches YES or NO, texts one line. For example:\n"
                  "  settings --set \"Miscellaneous/Auto speed max. time=0\"\n"
                  "  settings --set \"Ports/COM2=/dev/ttyUSB0\" --set Communication/BAUDRATE=57600\n"
                  "Exit code: 0 stored, 1 unknown key, bad value or file not written, 2 usage error.\n",
                  RunSettings});

}  // namespace
