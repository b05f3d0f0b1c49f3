// tavrel-cli: global options, the command registry and start-up of the
// application object before the command runs.
#include <QCoreApplication>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/TerminalHost.h"

namespace {

const char* const kProgramUsage =
    "usage: tavrel-cli [global options] <command> [arguments]\n"
    "\n"
    "Global options:\n"
    "  --config-dir DIR  settings directory (Tavrel.ini); default $TAVREL_HOME,\n"
    "                    else $XDG_CONFIG_HOME/tavrel\n"
    "  --log FILE        log file; default Tavrel.log beside the program,\n"
    "                    else $XDG_STATE_HOME/tavrel/Tavrel.log\n"
    "  --yes, --no       answer every question Yes or No when stdin is not a terminal\n"
    "  --help            this text; '<command> --help' describes a command\n";

struct GlobalOptions {
    std::string configDir;
    std::string logPath;
    AnswerPolicy policy = AnswerPolicy::None;
    bool help = false;
    std::vector<std::string> rest;   // command words and their arguments
};

// Takes the global options out of the argument list, wherever they stand.
bool ParseGlobalOptions(int argc, char** argv, GlobalOptions& opts, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        auto value = [&](const std::string& name, std::string& out) -> int {
            if (word == name) {
                if (i + 1 >= argc) {
                    error = name + " needs a value";
                    return -1;
                }
                out = argv[++i];
                return 1;
            }
            if (word.compare(0, name.size() + 1, name + "=") == 0) {
                out = word.substr(name.size() + 1);
                return 1;
            }
            return 0;
        };
        int r = value("--config-dir", opts.configDir);
        if (r == 0) r = value("--log", opts.logPath);
        if (r < 0) return false;
        if (r > 0) continue;
        if (word == "--yes")
            opts.policy = AnswerPolicy::Yes;
        else if (word == "--no")
            opts.policy = AnswerPolicy::No;
        else if (word == "--help" || word == "-h")
            opts.help = true;
        else
            opts.rest.push_back(word);
    }
    return true;
}

std::vector<std::string> SplitWords(const std::string& name)
{
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < name.size()) {
        const std::size_t sp = name.find(' ', pos);
        words.push_back(name.substr(pos, sp == std::string::npos ? std::string::npos : sp - pos));
        if (sp == std::string::npos) break;
        pos = sp + 1;
    }
    return words;
}

// The command whose words begin the argument list, the longest name winning.
const CliCommand* FindCommand(const std::vector<std::string>& rest, std::size_t& used)
{
    const CliCommand* best = nullptr;
    used = 0;
    for (const CliCommand& c : CliCommands()) {
        const std::vector<std::string> words = SplitWords(c.name);
        if (words.size() > rest.size() || words.size() <= used) continue;
        bool match = true;
        for (std::size_t i = 0; i < words.size() && match; ++i) match = words[i] == rest[i];
        if (match) {
            best = &c;
            used = words.size();
        }
    }
    return best;
}

void PrintProgramHelp()
{
    std::cout << kProgramUsage << "\nCommands:\n";
    std::size_t width = 0;
    for (const CliCommand& c : CliCommands()) width = std::max(width, c.name.size());
    for (const CliCommand& c : CliCommands())
        std::cout << "  " << c.name << std::string(width - c.name.size() + 2, ' ') << c.summary
                  << "\n";
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication qapp(argc, argv);
    GlobalOptions opts;
    std::string error;
    if (!ParseGlobalOptions(argc, argv, opts, error)) return CliUsageError(error);

    std::size_t used = 0;
    const CliCommand* command = FindCommand(opts.rest, used);
    if (!command) {
        if (opts.rest.empty()) {
            PrintProgramHelp();
            return opts.help ? 0 : 2;
        }
        return CliUsageError("unknown command '" + opts.rest.front() +
                             "' (tavrel-cli --help lists the commands)");
    }
    if (opts.help) {
        std::cout << command->usage;
        if (!command->usage.empty() && command->usage.back() != '\n') std::cout << "\n";
        return 0;
    }

    CTerminalHost host(opts.policy);
    SetHost(&host);
    host.CatchInterrupt();

    CUpdateApp& app = App();
    if (!app.StartUpCore(opts.configDir, opts.logPath)) {
        std::cerr << "tavrel-cli: the program's version cannot be read\n";
        SetHost(nullptr);
        return 1;
    }
    if (!app.m_bLogOk)
        std::cerr << "tavrel-cli: warning: cannot write the log file " << app.m_strLogPath
                  << "; logging is off for this run\n";

    CliArgs args;
    args.words.assign(opts.rest.begin() + static_cast<std::ptrdiff_t>(used), opts.rest.end());
    const int code = command->run(args);
    SetHost(nullptr);
    return code;
}
