// The tavrel-cli command registry and argument helpers.
#include "cli/CliCommand.h"

#include <iostream>

#include "app/UpdateApp.h"
#include "model/ModelFiles.h"

namespace {

// Function-local so that registrars in other files may run in any order.
std::vector<CliCommand>& Registry()
{
    static std::vector<CliCommand> commands;
    return commands;
}

}  // namespace

CliRegistrar::CliRegistrar(const CliCommand& command)
{
    Registry().push_back(command);
}

const std::vector<CliCommand>& CliCommands()
{
    return Registry();
}

bool CliArgs::Flag(const std::string& name)
{
    const std::string flag = "--" + name;
    for (auto it = words.begin(); it != words.end(); ++it) {
        if (*it == flag) {
            words.erase(it);
            return true;
        }
    }
    return false;
}

bool CliArgs::Option(const std::string& name, std::string& value)
{
    const std::string flag = "--" + name;
    for (auto it = words.begin(); it != words.end(); ++it) {
        if (*it == flag && it + 1 != words.end()) {
            value = *(it + 1);
            words.erase(it, it + 2);
            return true;
        }
        if (it->compare(0, flag.size() + 1, flag + "=") == 0) {
            value = it->substr(flag.size() + 1);
            words.erase(it);
            return true;
        }
    }
    return false;
}

bool CliArgs::Positionals(std::vector<std::string>& out, std::string& error) const
{
    out.clear();
    for (const std::string& w : words) {
        if (w.size() > 2 && w.compare(0, 2, "--") == 0) {
            error = "unknown option " + w;
            return false;
        }
        out.push_back(w);
    }
    return true;
}

namespace {

void PrintError(const std::string& text)
{
    std::cerr << "tavrel-cli: " << text << "\n";
}

}  // namespace

int CliUsageError(const std::string& text)
{
    PrintError(text);
    return 2;
}

int CliFailure(const std::string& text)
{
    PrintError(text);
    return 1;
}

bool TakeDirAndWords(CliArgs& args, std::vector<std::string>& words, std::string& error)
{
    std::string dir;
    if (args.Option("dir", dir))
        App().m_strEnvDir = DirectoryWithSlash(dir);
    return args.Positionals(words, error);
}
