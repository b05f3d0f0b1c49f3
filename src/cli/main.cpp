// tavrel-cli: global options, the command registry and start-up of the
// application object before the command runs.
#include <QCoreApplication>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/ExitSignals.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/CliProgress.h"
#include "cli/TerminalHost.h"

namespace {

const char* const kProgramUsage =
    "usage: tavrel-cli [global options] <command> [arguments]\n"
    "\n"
    "Global options:\n"
    "  --config-dir DIR  settings directory (Tavrel.ini); default $TAVREL_HOME, else\n"
    "                    beside the program for a portable copy (a Tavrel.ini lies\n"
    "                    there), else $XDG_CONFIG_HOME/tavrel\n"
    "  --log FILE        log file; default $XDG_STATE_HOME/tavrel/Tavrel.log (beside\n"
    "                    the program for a portable copy)\n"
    "  --history FILE    history of runs (SQLite); default history.sqlite in\n"
    "                    $XDG_DATA_HOME/tavrel (beside the program for a portable\n"
    "                    copy); the setting \"Transfer history\"=NO keeps none\n"
    "  --env-dir DIR     environment directory (.def files) for this run; default the\n"
    "                    \"Products files\" setting, $XDG_DATA_HOME/tavrel/Products/\n"
    "  -p, --port P      the port of a command that talks to a receiver: COM1..COM8,\n"
    "                    a device path or a name of /dev/serial/by-id; default\n"
    "                    $TAVREL_PORT, else the settings' COMn\n"
    "  -b, --baud R      the rate to start at, in bit/s\n"
    "  -q, --quiet       errors only\n"
    "  -v, --verbose     every line of the log on stderr too (sentences sent and received)\n"
    "  --yes, --no       answer every question Yes or No when stdin is not a terminal\n"
    "  --version         the program's version\n"
    "  --help            this text; '<command> --help' describes a command\n"
    "Exit codes: 0 success, 1 failure, 2 usage error or a refused batch plan.\n";

struct GlobalOptions {
    std::string configDir;
    std::string logPath;
    std::string envDir;
    std::string historyPath;
    AnswerPolicy policy = AnswerPolicy::None;
    bool help = false;
    bool version = false;
    bool quiet = false;
    bool verbose = false;
    std::vector<std::string> rest;   // command words and their arguments
    std::vector<std::string> linkOptions;   // "--port P" and "--baud R", wherever they stood
};

// Options of the commands that talk to a receiver that may also stand
// before the command; each short form stands for its long one.
struct LinkOption {
    const char* shortName;
    const char* longName;
};
constexpr LinkOption kLinkOptions[] = {{"-p", "--port"}, {"-b", "--baud"}};

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
        if (r == 0) {
            r = value("--history", opts.historyPath);
            if (r > 0 && opts.historyPath.empty()) {
                error = "--history needs a file";
                return false;
            }
        }
        if (r == 0) {
            r = value("--env-dir", opts.envDir);
            if (r > 0 && opts.envDir.empty()) {
                error = "--env-dir needs a directory";
                return false;
            }
        }
        if (r < 0) return false;
        if (r > 0) continue;
        const LinkOption* linkOption = nullptr;
        bool linkAssignment = false;   // "--port=P"
        for (const LinkOption& o : kLinkOptions) {
            if (word == o.shortName || word == o.longName) linkOption = &o;
            linkAssignment = linkAssignment ||
                             word.compare(0, std::strlen(o.longName) + 1, std::string(o.longName) + "=") == 0;
        }
        if (linkAssignment) {
            opts.linkOptions.push_back(word);
        } else if (linkOption != nullptr) {
            if (i + 1 >= argc) {
                error = word + " needs a value";
                return false;
            }
            opts.linkOptions.push_back(linkOption->longName);
            opts.linkOptions.push_back(argv[++i]);
        } else if (word == "--yes") {
            opts.policy = AnswerPolicy::Yes;
        } else if (word == "--no") {
            opts.policy = AnswerPolicy::No;
        } else if (word == "--help" || word == "-h") {
            opts.help = true;
        } else if (word == "--version" || word == "-V") {
            opts.version = true;
        } else if (word == "-q" || word == "--quiet") {
            opts.quiet = true;
        } else if (word == "-v" || word == "--verbose") {
            opts.verbose = true;
        } else {
            opts.rest.push_back(word);
        }
    }
    if (opts.quiet && opts.verbose) {
        error = "-q and -v exclude each other";
        return false;
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

// "tavrel-cli env lst": the command the words were probably meant to be.
std::string SuggestCommand(const std::vector<std::string>& rest)
{
    std::string best;
    std::size_t bestDistance = 0;
    for (const CliCommand& c : CliCommands()) {
        // As many words as the name has.
        const std::size_t count = SplitWords(c.name).size();
        std::string words;
        for (std::size_t i = 0; i < count && i < rest.size(); ++i) words += (i ? " " : "") + rest[i];
        if (ClosestName(words, {c.name}).empty()) continue;
        const std::size_t distance = EditDistance(words, c.name);
        if (best.empty() || distance < bestDistance) {
            best = c.name;
            bestDistance = distance;
        }
    }
    return best;
}

// The commands whose name starts with `word` ("env" gives "env list", ...).
std::vector<std::string> CommandsOfGroup(const std::string& word)
{
    std::vector<std::string> group;
    for (const CliCommand& c : CliCommands())
        if (c.name.compare(0, word.size() + 1, word + " ") == 0) group.push_back(c.name);
    return group;
}

int UnknownCommand(const std::vector<std::string>& rest)
{
    const std::vector<std::string> group = CommandsOfGroup(rest.front());
    if (!group.empty()) {
        std::string list;
        for (const std::string& name : group) list += (list.empty() ? "" : ", ") + name;
        const std::string typed = rest.size() > 1 ? " '" + rest[1] + "'" : "";
        const std::string close = SuggestCommand(rest);
        return CliUsageError(rest.front() + typed + ": not a command" +
                             (close.empty() ? "" : "; did you mean '" + close + "'?") + " (" + list + ")");
    }
    const std::string close = SuggestCommand(rest);
    return CliUsageError("unknown command '" + rest.front() + "'" +
                         (close.empty() ? "" : "; did you mean '" + close + "'?") +
                         " (tavrel-cli --help lists the commands)");
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

    if (opts.version && opts.rest.empty()) opts.rest.push_back("version");
    std::size_t used = 0;
    const CliCommand* command = FindCommand(opts.rest, used);
    if (!command) {
        if (opts.rest.empty()) {
            PrintProgramHelp();
            return opts.help ? 0 : 2;
        }
        return UnknownCommand(opts.rest);
    }
    if (opts.help) {
        std::cout << command->usage;
        if (!command->usage.empty() && command->usage.back() != '\n') std::cout << "\n";
        return 0;
    }

    CliGlobals& globals = Globals();
    globals.quiet = opts.quiet;
    globals.verbose = opts.verbose;
    globals.envDir = opts.envDir;
    globals.historyPath = opts.historyPath;
    globals.answerYes = opts.policy == AnswerPolicy::Yes;
    CTerminalHost host(opts.policy);
    host.SetQuiet(opts.quiet);
    SetHost(&host);
    host.CatchInterrupt();

    CUpdateApp& app = App();
    if (!app.StartUpCore(opts.configDir, opts.logPath)) {
        std::cerr << kErrorPrefix << "the program's version cannot be read\n";
        SetHost(nullptr);
        return 1;
    }
    if (!app.m_bLogOk)
        std::cerr << kErrorPrefix << "warning: cannot write the log file " << app.m_strLogPath
                  << "; logging is off for this run\n";
    if (!opts.envDir.empty()) UseEnvDir(opts.envDir);
    app.m_strHistoryPath = opts.historyPath;

    CliArgs args;
    args.words.assign(opts.rest.begin() + static_cast<std::ptrdiff_t>(used), opts.rest.end());
    args.words.insert(args.words.end(), opts.linkOptions.begin(), opts.linkOptions.end());
    std::unique_ptr<CLogEcho> echo = opts.verbose ? std::make_unique<CLogEcho>(app.m_strLogPath) : nullptr;
    int code = command->run(args);
    echo.reset();
    // Ended by a signal, after the clean-up: the shell sees which one.
    if (StopReason() > 0) code = 128 + StopReason();
    SetHost(nullptr);
    return code;
}
