// tavrel-cli version: the program's version text and number.
#include <iostream>

#include "app/BuildVersion.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"

namespace {

int RunVersion(CliArgs& args)
{
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error)) return CliUsageError(error);
    if (!rest.empty()) return CliUsageError("version takes no arguments");
    const CUpdateApp& app = App();
    std::cout << "Tavrel " << app.m_strVersion << "\n"
              << "version number " << app.m_nVersion << "\n"
              << "package version " << BuildPackageVersion() << "\n";
    return 0;
}

CliRegistrar reg({"version", "Print the program's version text and number",
                  "usage: tavrel-cli version\n"
                  "Prints the version text (as in the log banner), the version number\n"
                  "written into settings and converted release files, and the version of\n"
                  "the build (the Debian package's version; with the commit when built from\n"
                  "git).\n",
                  RunVersion});

}  // namespace
