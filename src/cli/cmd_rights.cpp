// tavrel-cli rights: shows or sets the edit right held by Tavrel.sec, the
// rights file the desktop program reads from its current directory.
#include <cctype>
#include <filesystem>
#include <iostream>

#include "app/EditRights.h"
#include "cli/CliCommand.h"

namespace {

const char* const kDefaultRightsFile = "Tavrel.sec";

// "yes" or "no" (any case); false for anything else.
bool ParseYesNo(std::string text, bool& value)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (text != "yes" && text != "no") return false;
    value = text == "yes";
    return true;
}

std::string Shown(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.string();
}

int RunRights(CliArgs& args)
{
    std::string path = kDefaultRightsFile;
    std::string editText;
    args.Option("file", path);
    const bool change = args.Option("edit", editText);
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error)) return CliUsageError(error);
    if (!rest.empty()) return CliUsageError("rights takes no arguments");
    bool edit = false;
    if (change && !ParseYesNo(editText, edit)) return CliUsageError("--edit takes yes or no, not \"" + editText + "\"");
    if (change && !WriteRightsFlag(path, RIGHTS_FLAG_EDIT, edit, error)) return CliFailure(error);
    const RightsFlags flags = ReadRightsFile(path);
    if (change && flags[RIGHTS_FLAG_EDIT] != edit)
        return CliFailure("\"" + path + "\" does not read back as written");
    std::cout << Shown(path) << ": edit rights " << (flags[RIGHTS_FLAG_EDIT] ? "yes" : "no") << "\n";
    return 0;
}

CliRegistrar reg({"rights", "Show or set the edit rights of Tavrel.sec",
                  "usage: tavrel-cli rights [--edit yes|no] [--file PATH]\n"
                  "Shows whether the rights file gives edit rights; with --edit, sets or clears\n"
                  "them first. The desktop program reads Tavrel.sec from its current directory:\n"
                  "eight flag bytes, \"Y\" or \"y\" sets a flag, any other byte clears it, and a\n"
                  "file shorter than eight bytes gives no rights. Flag 0 (the first byte) is the\n"
                  "edit right: New, Save and the editors' edit modes. --edit rewrites only that\n"
                  "byte of an existing file of eight bytes or more; otherwise it writes eight\n"
                  "bytes, \"N\" for the flags it does not set. --file names another file than\n"
                  "./Tavrel.sec.\n",
                  RunRights});

}  // namespace
