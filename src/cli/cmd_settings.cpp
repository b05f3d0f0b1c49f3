// tavrel-cli settings: every setting as the program holds it after defaults and bounds.
#include <iostream>

#include "app/UpdateApp.h"
#include "cli/CliCommand.h"

namespace {

int RunSettings(CliArgs& args)
{
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error)) return CliUsageError(error);
    if (!rest.empty()) return CliUsageError("settings takes no arguments");
    const CUpdateApp& app = App();
    std::cout << "# " << app.IniPath() << "\n";
    for (const SettingLine& line : app.DescribeSettings())
        std::cout << line.section << " / " << line.key << " = " << line.value << "\n";
    return 0;
}

CliRegistrar reg({"settings", "Print every setting as read, after defaults and bounds",
                  "usage: tavrel-cli [--config-dir DIR] settings\n"
                  "Prints one \"section / key = value\" line per setting of Tavrel.ini, as the\n"
                  "program holds it after defaults and bounds; times are in the unit named by\n"
                  "the key. Keys are listed under the section they are read from. The file\n"
                  "is not rewritten.\n",
                  RunSettings});

}  // namespace
