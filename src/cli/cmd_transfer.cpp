// tavrel-cli transfer FILE.sfl [--port P] [--baud R] [--json REPORT]: loads
// the release of every board line of a request, then prints the end report.
#include <iostream>

#include <nlohmann/json.hpp>

#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/CliJson.h"
#include "cli/CliLink.h"
#include "engine/EngineLink.h"
#include "engine/ProcessEngine.h"
#include "engine/ProcessReport.h"
#include "model/UpdateDoc.h"

namespace {

bool AllLinesOk(const CUpdateDoc& doc)
{
    if (doc.m_lines.empty()) return false;
    for (const CBoardConf& line : doc.m_lines)
        if (!line.m_bSelected || line.m_nResult != RESULT_OK) return false;
    return true;
}

nlohmann::json Report(const std::string& request, const CUpdateDoc& doc, const CProcessEngine& engine)
{
    nlohmann::json boards = nlohmann::json::array();
    const auto& stats = engine.LastBoardStats();
    for (size_t i = 0; i < doc.m_lines.size(); ++i) {
        const CBoardConf& line = doc.m_lines[i];
        const bool selected = line.m_bSelected != 0;
        std::string text = GetString(ResultTextId(line.m_nResult, selected));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        nlohmann::json board = {
            {"name", line.m_strBoardName},
            {"selected", selected},
            {"result", selected ? line.m_nResult : RESULT_NOT_UPDATED},
            {"result_text", text},
        };
        if (i < stats.size()) {
            board["resends"] = stats[i].resends;
            board["bytes"] = stats[i].bytes;
            board["seconds"] = stats[i].seconds;
        }
        boards.push_back(board);
    }
    return {
        {"request", request},
        {"ok", AllLinesOk(doc)},
        {"end_message", engine.LastEndMessage()},
        {"elapsed_seconds", engine.m_nElapsed},
        {"boards", boards},
    };
}

std::string OpenFailure(OpenResult result, const CUpdateDoc& doc)
{
    switch (result) {
    case OpenResult::NoEnvironment: return "no environment in the environment directory";
    case OpenResult::CannotOpen: return "cannot read the file";
    case OpenResult::FormatError: return "damaged request file";
    case OpenResult::NotLinked: return "a board line could not be linked to an environment";
    default: return doc.m_strLastError;
    }
}

int RunTransfer(CliArgs& args)
{
    std::string port;
    std::string baud;
    std::string jsonPath;
    args.Option("port", port);
    args.Option("baud", baud);
    args.Option("json", jsonPath);
    const bool rescue = args.Flag("rescue");
    std::vector<std::string> files;
    std::string error;
    if (!args.Positionals(files, error)) return CliUsageError(error);
    if (files.size() != 1) return CliUsageError("transfer needs exactly one FILE.sfl");

    SerialLinkPtr link = CreateConfiguredLink();
    if (!CliApplyLinkOptions(port, baud, *link, error)) return CliUsageError(error);
    CJsonReport json(jsonPath);

    CUpdateDoc doc;
    const OpenResult opened = doc.OpenRequest(files[0]);
    if (opened != OpenResult::Ok) {
        std::cerr << "tavrel-cli: " << files[0] << ": " << OpenFailure(opened, doc) << "\n";
        return 1;
    }
    // A request named on the command line: the transfer says so in the log.
    App().m_bCmdLineStart = true;
    CProcessEngine engine(doc, *link);
    engine.StartTransfer(rescue ? PROC_RESCUE_TRANSFER : PROC_TRANSFER);
    CliWaitUntilIdle(engine);
    ReportOpenFailure(*link);

    if (json.Wanted() && !json.Write(Report(files[0], doc, engine), error)) return CliFailure(error);
    return AllLinesOk(doc) ? 0 : 1;
}

CliRegistrar reg({"transfer", "Load the releases of a transfer request into the boards",
                  "usage: tavrel-cli transfer FILE.sfl [--rescue] [--port P] [--baud R] [--json REPORT]\n"
                  "  Opens the request (its lines are linked to the environments of the\n"
                  "  environment directory), converts the release files found beside it and\n"
                  "  loads every board line in turn, then prints the end report. Questions are\n"
                  "  asked on the terminal, or answered by --yes / --no. Ctrl+C asks whether to\n"
                  "  abort. --json writes each board's result, resends, bytes and time (\"-\":\n"
                  "  on stdout, and everything else on stderr).\n"
                  "  --rescue brings back a first board (board alone) whose software no longer\n"
                  "  starts: switch the receiver off and on when asked, its rescue loader is\n"
                  "  caught at 9600 bit/s and loaded (a Rescue-mode transfer).\n"
                  "  Exit code 0 when every board line ended OK, 1 otherwise, 2 on usage errors.",
                  RunTransfer});

}  // namespace
