// tavrel-cli request show / export / import: a transfer request, its linking
// to the environments, and its JSON text form.
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/CommSettings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/RequestCheck.h"
#include "model/ModelFiles.h"
#include "model/ModelJson.h"
#include "model/UpdateDoc.h"

namespace {

// The lines of a .sfl file as stored, without linking.
bool ReadStoredRequest(const std::string& path, CUpdateDoc& doc, std::string& error)
{
    std::vector<uint8_t> bytes;
    const FileReadResult read = ReadModelFile(path, bytes);
    if (read == FileReadResult::CannotOpen) {
        error = "cannot read " + path;
        return false;
    }
    if (read == FileReadResult::TooLarge || !RequestFromBytes(bytes, doc, &error)) {
        error = path + ": damaged request file (" + (read == FileReadResult::TooLarge ? "too large" : error) + ")";
        return false;
    }
    return true;
}

std::string SpeedText(int index) { return index == -1 ? "-" : BaudText(index); }

// Lines are numbered from 1, as every list of the program.
void PrintLine(size_t i, const CBoardConf& line, const std::string& status)
{
    std::cout << "  [" << i + 1 << "] " << line.m_strBoardName << " (" << line.m_strSubassyHardw << ") of \""
              << line.m_strEnvName << "\"  release " << line.m_strReleaseFile << "  soft " << line.m_strSoftId
              << "  transfer " << SpeedText(line.m_nTransferSpeed) << "  config " << SpeedText(line.m_nConfigSpeed)
              << "  alone " << (line.m_bBoardAlone ? "yes" : "no") << "  re-start " << (line.m_bRestart ? "yes" : "no")
              << "  " << status << "\n";
}

// "DEMO / GPS (board 2)": where a linked line leads, the board numbered from 1.
std::string LinkTarget(const CBoardConf& line)
{
    const bool known = line.m_nEnvIndex >= 0 && static_cast<size_t>(line.m_nEnvIndex) < g_envList.size();
    const std::string env = known ? g_envList[static_cast<size_t>(line.m_nEnvIndex)].m_strName : "?";
    return env + " / " + line.m_strBoardName + " (board " + std::to_string(line.m_nBoardIndex + 1) + ")";
}

std::string LinkStatus(const CUpdateDoc& doc, const CBoardConf& stored)
{
    CBoardConf line = stored;
    if (!doc.FindLineEnvironment(line))
        return "not found";
    return "found: " + LinkTarget(line);
}

// The problems of the lines on stderr, each after `prefix`; true when there was none.
bool ReportLineProblems(const std::vector<CBoardConf>& lines, const std::string& prefix)
{
    const std::vector<std::string> problems = RequestLineProblems(lines, App().m_strEnvDir);
    for (const std::string& problem : problems) std::cerr << kErrorPrefix << prefix << problem << "\n";
    return problems.empty();
}

// "wrote x.sfl: 2 lines (CPU, GPS)", the first few boards named.
std::string WrittenText(const std::string& path, const std::vector<CBoardConf>& lines)
{
    constexpr std::size_t kBoardsNamed = 8;
    std::string boards;
    for (std::size_t i = 0; i < lines.size() && i < kBoardsNamed; ++i)
        boards += (i ? ", " : "") + lines[i].m_strBoardName;
    if (lines.size() > kBoardsNamed) boards += ", ...";
    return "wrote " + path + ": " + std::to_string(lines.size()) + (lines.size() == 1 ? " line" : " lines") +
           (boards.empty() ? "" : " (" + boards + ")");
}

int RunRequestShow(CliArgs& args)
{
    std::vector<std::string> words;
    std::string error;
    if (!TakeDirAndWords(args, words, error))
        return CliUsageError(error);
    if (words.size() != 1)
        return CliUsageError("request show needs one .sfl file");
    CUpdateDoc stored;
    if (!ReadStoredRequest(words[0], stored, error))
        return CliFailure(error);
    std::cout << words[0] << ": version " << stored.m_nFileVersion << ", " << stored.m_lines.size() << " lines\n";

    CUpdateDoc doc;
    const OpenResult result = doc.OpenRequest(words[0]);
    if (result == OpenResult::Ok) {
        for (size_t i = 0; i < doc.m_lines.size(); ++i)
            PrintLine(i, doc.m_lines[i], "linked: " + LinkTarget(doc.m_lines[i]));
        std::cout << "linked" << (doc.IsModified() ? " (lines modified, not saved)" : "")
                  << (doc.m_bHasRelayed ? ", with relayed boards" : "") << "\n";
        return 0;
    }
    for (size_t i = 0; i < stored.m_lines.size(); ++i)
        PrintLine(i, stored.m_lines[i], LinkStatus(doc, stored.m_lines[i]));
    std::cout << "not linked: " << doc.m_strLastError << "\n";
    ReportLineProblems(stored.m_lines, words[0] + ": ");
    return 1;
}

int RunRequestExport(CliArgs& args)
{
    std::vector<std::string> words;
    std::string error;
    if (!args.Positionals(words, error))
        return CliUsageError(error);
    if (words.size() != 1)
        return CliUsageError("request export needs one .sfl file");
    CUpdateDoc doc;
    if (!ReadStoredRequest(words[0], doc, error))
        return CliFailure(error);
    std::cout << RequestToJson(doc).dump(2) << "\n";
    return 0;
}

int RunRequestImport(CliArgs& args)
{
    std::string out;
    const bool hasOut = args.Option("out", out);
    const bool force = args.Flag("force");
    std::vector<std::string> words;
    std::string error;
    if (!TakeDirAndWords(args, words, error))
        return CliUsageError(error);
    if (words.size() != 1 || !hasOut)
        return CliUsageError("usage: request import FILE.json --out FILE.sfl [--dir DIR] [--force]");
    nlohmann::ordered_json j;
    CUpdateDoc doc;
    if (!ReadJsonFile(words[0], j, error) || !RequestFromJson(j, doc, error))
        return CliFailure(words[0] + ": " + error);
    ScanEnvironmentDirectory(ScanModeForRights());
    if (!ReportLineProblems(doc.m_lines, words[0] + ": ") && !force)
        return CliFailure(words[0] + ": not written (--force writes it anyway)");
    if (!ImportRequestJson(j, out, error)) return CliFailure(words[0] + ": " + error);
    if (!Globals().quiet) std::cout << WrittenText(out, doc.m_lines) << "\n";
    return 0;
}

CliRegistrar regShow({"request show", "Show a transfer request and link it to the environments",
                      "usage: tavrel-cli request show FILE.sfl [--dir DIR]\n"
                      "Lists the lines of the request, then opens it as the program does: scans\n"
                      "the environment directory (the \"Products files\" setting, or DIR) and links\n"
                      "every line, with the linking messages; the global --yes / --no answer the\n"
                      "linking questions. Nothing is saved. Lines that do not link are named\n"
                      "with the closest environment or board. Exit code 1 when the lines do not\n"
                      "link.\n",
                      RunRequestShow});
CliRegistrar regExport({"request export", "Write a transfer request as JSON on stdout",
                        "usage: tavrel-cli request export FILE.sfl\n"
                        "Every stored field is written; speeds are spelled as rates (\"115200\"),\n"
                        "unset values are null.\n",
                        RunRequestExport});
CliRegistrar regImport({"request import", "Write a .sfl file from its JSON form",
                        "usage: tavrel-cli request import FILE.json --out FILE.sfl [--dir DIR] [--force]\n"
                        "Checks every line against the environments of the environment directory\n"
                        "(--dir, the global --env-dir or \"Products files\"): an unknown environment\n"
                        "or board is named with the closest names and nothing is written unless\n"
                        "--force is given. Every line is also checked as the board-line dialog\n"
                        "does, against its environment when that one is loaded.\n",
                        RunRequestImport});

}   // namespace
