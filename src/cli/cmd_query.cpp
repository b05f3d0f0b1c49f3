// tavrel-cli query [--port P] [--baud R]: identifies the connected board and
// the boards behind it, and prints the identification answer.
#include <iostream>

#include "app/CommSettings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/CliJson.h"
#include "cli/CliLink.h"
#include "cli/CliProgress.h"
#include "engine/ProcessEngine.h"
#include "engine/EngineLink.h"
#include "model/UpdateDoc.h"

namespace {

constexpr int kMsgReceptionTimeOut = 12;   // "Reception time-out (see log file)"

nlohmann::json Report(const CSerialLink& link, const CProcessEngine& engine, const std::string& reason)
{
    const std::string& answer = engine.LastIdentReply();
    nlohmann::json report = {
        {"port", link.PortName()},
        {"device", link.DevicePath()},
        {"found", engine.QueryAnswered()},
        {"rate", engine.QueryAnswered() ? nlohmann::json(BaudFromIndex(App().m_nBaudIndex)) : nlohmann::json()},
        {"boards", IdentRowsJson(answer)},
        {"answer", AnswerLinesJson(answer)},
    };
    if (!reason.empty()) report["reason"] = reason;
    return report;
}

int RunQuery(CliArgs& args)
{
    std::string port;
    std::string baud;
    std::string jsonTarget;
    args.Option("port", port);
    args.Option("baud", baud);
    args.Option("json", jsonTarget);
    const bool save = args.Flag("save");
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error)) return CliUsageError(error);
    if (!rest.empty()) return CliUsageError("query takes no file");

    SerialLinkPtr linkPtr = CreateConfiguredLink();
    CSerialLink& link = *linkPtr;
    if (!CliApplyLinkOptions(port, baud, link, error)) return CliUsageError(error);
    CJsonReport json(jsonTarget);

    CUpdateDoc doc;
    CProcessEngine engine(doc, link);
    {
        CProcessWatch watch(engine, Globals().quiet, Globals().verbose, nullptr);
        engine.StartQuery(PROC_QUERY);
        CliWaitUntilIdle(engine);
    }
    std::string reason = ReportOpenFailure(link) ? OpenFailureAdvice(link) : std::string();
    if (reason.empty() && engine.LastEndMessage() == kMsgReceptionTimeOut) {
        reason = IdentFailureReason(link);
        CliFailure(reason);
    }
    if (!reason.empty()) App().WriteLogNote(kErrorPrefix + reason + "\r\n");
    if (json.Wanted() && !json.Write(Report(link, engine, reason), error)) return CliFailure(error);
    // The end of the query leaves the link at the rate the board answered at.
    return engine.QueryAnswered() ? KeepFoundRate(link, save) : 1;
}

CliRegistrar reg({"query", "Identify the connected board and the boards behind it",
                  "usage: tavrel-cli query [--port P] [--baud R] [--save] [--json FILE|-]\n"
                  "  Sends the identification query (searching the rates of the auto-configure\n"
                  "  range when \"Query auto speed enable\" is on) and prints the answer, one row\n"
                  "  per board software. --port takes COM1..COM8, a device path or a\n"
                  "  /dev/serial/by-id name; --baud the rate to start from. --json also writes\n"
                  "  the answer as JSON (port, rate, boards, answer lines, reason); \"-\" writes\n"
                  "  it on stdout and the rest on stderr. --save stores the rate the board\n"
                  "  answered at (and the port, when given as COMn) in the communication\n"
                  "  settings of Tavrel.ini; without it a rate the settings do not name is\n"
                  "  only reported.\n"
                  "  Exit code 0 when a board answered, 1 otherwise.",
                  RunQuery});

}  // namespace
