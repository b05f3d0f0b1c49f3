// tavrel-cli env list / show / export / import: the environments of the
// environment directory, their boards, and their JSON text form.
#include <cctype>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Paths.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "model/BoardDef.h"
#include "model/ModelFiles.h"
#include "model/ModelJson.h"

namespace {

bool IsDefFile(const std::string& name)
{
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".def") == 0;
}

// The environment NAME of the directory, or the .def file NAME itself.
bool FindEnvironment(const std::string& name, CEnvDef& environment)
{
    if (IsDefFile(name)) {
        std::vector<uint8_t> probe;
        if (ReadModelFile(name, probe) != FileReadResult::CannotOpen)
            return LoadEnvironmentFile(name, environment, ScanModeForRights()) == 1;
    }
    ScanEnvironmentDirectory(ScanModeForRights());
    for (const CEnvDef& env : g_envList) {
        if (env.m_strName == name) {
            environment = env;
            return true;
        }
    }
    return false;
}

// CR LF line ends become LF on the terminal.
std::string TerminalText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

std::string SpeedText(const CBoardDef& b)
{
    return b.HasSerialDestination() ? BaudText(b.m_nMaxSpeed) : GetString(117);
}

// Boards are numbered from 1, as every list of the program.
void PrintBoardRow(size_t index, const CBoardDef& b)
{
    std::cout << "  [" << index + 1 << "] " << b.m_strName << "  ident " << b.m_strSubassyId << b.m_strSubassyHardw
              << "  boot " << b.m_strBootLoader << "  code " << b.m_nProgId << "  "
              << (b.m_bRelayed ? "relayed" : "direct") << "  dest " << DestinationName(b.m_nDestination)
              << "  max " << SpeedText(b);
    if (b.m_bRelayed)
        std::cout << "  parent [" << b.m_nParentBoard + 1 << "]";
    std::cout << "\n";
}

int RunEnvList(CliArgs& args)
{
    std::vector<std::string> words;
    std::string error;
    if (!TakeDirAndWords(args, words, error))
        return CliUsageError(error);
    if (!words.empty())
        return CliUsageError("env list takes no arguments");
    const int count = ScanEnvironmentDirectory(ScanModeForRights());
    for (const CEnvDef& env : g_envList) {
        std::cout << env.m_strName << "  (" << env.m_strFilePath << ", " << env.m_boards.size() << " boards)\n";
        for (size_t i = 0; i < env.m_boards.size(); ++i)
            PrintBoardRow(i, env.m_boards[i]);
    }
    return count > 0 ? 0 : 1;
}

// The one environment a command names; 0, or the exit code of the error.
int TakeOneEnvironment(CliArgs& args, const std::string& command, CEnvDef& env)
{
    std::vector<std::string> words;
    std::string error;
    if (!TakeDirAndWords(args, words, error))
        return CliUsageError(error);
    if (words.size() != 1)
        return CliUsageError(command + " needs one environment name");
    if (!FindEnvironment(words[0], env))
        return CliFailure("no environment \"" + words[0] + "\"");
    return 0;
}

int RunEnvShow(CliArgs& args)
{
    CEnvDef env;
    if (const int code = TakeOneEnvironment(args, "env show", env))
        return code;
    std::cout << "Environment\t: " << env.m_strName << "\nFile\t: " << env.m_strFilePath << "\n";
    for (const CBoardDef& board : env.m_boards)
        std::cout << TerminalText(board.GetDescription());
    return 0;
}

int RunEnvExport(CliArgs& args)
{
    CEnvDef env;
    if (const int code = TakeOneEnvironment(args, "env export", env))
        return code;
    std::cout << ExportEnvironmentJson(env).dump(2) << "\n";
    return 0;
}

// FILE.def in the environment directory for an environment named NAME: its
// name with the characters a file name may not hold replaced.
bool DefaultDefPath(const nlohmann::ordered_json& j, std::string& path, std::string& error)
{
    const std::string name = j.is_object() && j.contains("name") && j["name"].is_string() ? j["name"].get<std::string>() : "";
    if (name.empty()) {
        error = "the environment has no name to make a file name of: give --out FILE.def";
        return false;
    }
    std::string file;
    for (char c : name) file += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
    const std::string dir = App().m_strEnvDir;
    if (!MakeDirectories(dir)) {
        error = "cannot make the environment directory " + dir;
        return false;
    }
    path = DirectoryWithSlash(dir) + file + ".def";
    return true;
}

int RunEnvImport(CliArgs& args)
{
    std::string out;
    const bool hasOut = args.Option("out", out);
    std::vector<std::string> words;
    std::string error;
    if (!TakeDirAndWords(args, words, error))
        return CliUsageError(error);
    if (words.size() != 1)
        return CliUsageError("usage: env import FILE.json [--out FILE.def]");
    nlohmann::ordered_json j;
    if (!ReadJsonFile(words[0], j, error))
        return CliFailure(error);
    if (!hasOut && !DefaultDefPath(j, out, error))
        return CliFailure(words[0] + ": " + error);
    if (!ImportEnvironmentJson(j, out, error))
        return CliFailure(words[0] + ": " + error);
    if (!hasOut && !Globals().quiet)
        std::cout << "written " << out << "\n";
    return 0;
}

CliRegistrar regList({"env list", "List the environments of the environment directory and their boards",
                      "usage: tavrel-cli env list [--dir DIR]\n"
                      "Scans the environment directory (the \"Products files\" setting, or DIR) for\n"
                      ".def files and lists each environment with its boards. Damaged files,\n"
                      "duplicate names and boards that need repair are reported on stderr.\n"
                      "Exit code 1 when no environment was loaded.\n",
                      RunEnvList});
CliRegistrar regShow({"env show", "Show the description of every board of an environment",
                      "usage: tavrel-cli env show NAME [--dir DIR]\n"
                      "NAME is an environment name of the environment directory, or a .def file.\n",
                      RunEnvShow});
CliRegistrar regExport({"env export", "Write an environment as JSON on stdout",
                        "usage: tavrel-cli env export NAME [--dir DIR]\n"
                        "NAME is an environment name of the environment directory, or a .def file.\n"
                        "Every stored field is written; table values are spelled out (\"Port A\",\n"
                        "\"Relais simple\", \"115200\"), unset values are null.\n",
                        RunEnvExport});
CliRegistrar regImport({"env import", "Write a .def file from its JSON form",
                        "usage: tavrel-cli env import FILE.json [--out FILE.def] [--dir DIR]\n"
                        "Checks every board as the environment editor does before writing.\n"
                        "Without --out the file goes into the environment directory (--dir, the\n"
                        "global --env-dir or the \"Products files\" setting), named after the\n"
                        "environment: NAME.def.\n",
                        RunEnvImport});

}   // namespace
