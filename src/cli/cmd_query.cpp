// tavrel-cli query [REQUEST.sfl | --env NAME] [--port P] [--baud R]:
// identifies the connected board and the boards behind it, prints the
// identification answer and, given what the receiver should hold, the health
// check with its verdict and next steps.
#include <iostream>

#include "app/CommSettings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/CliHealth.h"
#include "cli/CliHistory.h"
#include "cli/CliJson.h"
#include "cli/CliLink.h"
#include "cli/CliProgress.h"
#include "engine/ProcessEngine.h"
#include "engine/EngineLink.h"
#include "engine/HealthCheck.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"

namespace {

// What the receiver should hold: the request's boards or the environment's.
struct Expectation {
    bool wanted = false;
    std::string requestPath;
    std::vector<ExpectedBoard> boards;
};

bool LoadExpectation(const std::vector<std::string>& files, const std::string& envName, Expectation& expected,
                     std::string& error)
{
    if (!files.empty() && !envName.empty()) {
        error = "query takes a request or --env, not both";
        return false;
    }
    if (files.size() > 1) {
        error = "query takes at most one REQUEST.sfl";
        return false;
    }
    if (!files.empty()) {
        CUpdateDoc request;
        if (request.OpenRequest(files[0]) != OpenResult::Ok) {
            error = files[0] + ": cannot be opened as a request linked to the environments of " + App().m_strEnvDir;
            return false;
        }
        expected = {true, files[0], ExpectedBoardsOfRequest(request)};
        return true;
    }
    if (envName.empty()) return true;
    ScanEnvironmentDirectory(ScanModeForRights());
    std::vector<std::string> names;
    for (const CEnvDef& env : g_envList) {
        if (env.m_strName == envName) {
            expected = {true, "", ExpectedBoardsOfEnvironment(env)};
            return true;
        }
        names.push_back(env.m_strName);
    }
    const std::string close = ClosestName(envName, names);
    error = "--env " + envName + ": no such environment in " + App().m_strEnvDir +
            (close.empty() ? std::string() : "; closest: " + close);
    return false;
}

// The same query, to run again once its cause is mended.
std::string QueryAgain(const std::vector<std::string>& files, const std::string& envName)
{
    std::string command = "`tavrel-cli query";
    if (!files.empty()) command += " " + files.front();
    if (!envName.empty()) command += " --env " + envName;
    return command + "`";
}

nlohmann::json Report(const CSerialLink& link, const CProcessEngine& engine, const FailureEnd& failure)
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
    AddFailureEnd(report, failure);
    return report;
}

int RunQuery(CliArgs& args)
{
    std::string port;
    std::string baud;
    std::string jsonTarget;
    std::string envName;
    args.Option("env", envName);
    args.Option("port", port);
    args.Option("baud", baud);
    args.Option("json", jsonTarget);
    const bool save = args.Flag("save");
    const bool wait = args.Flag("wait");
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error)) return CliUsageError(error);
    Expectation expected;
    if (!LoadExpectation(rest, envName, expected, error)) return CliUsageError(error);

    SerialLinkPtr linkPtr = CreateConfiguredLink();
    CSerialLink& link = *linkPtr;
    if (!CliApplyLinkOptions(port, baud, link, error)) return CliUsageError(error);
    CJsonReport json(jsonTarget);

    CUpdateDoc doc;
    CProcessEngine engine(doc, link);
    CCliHistory history(engine);
    engine.SetWaitForReceiver(wait);
    {
        CProcessWatch watch(engine, Globals().quiet, Globals().verbose, nullptr);
        engine.StartQuery(PROC_QUERY);
        CliWaitUntilIdle(engine);
    }
    // Every way a query ends without an answer says why, the rescue question
    // answered No included; a board found in its rescue loader is a failure too.
    FailureEnd failure;
    if (!engine.QueryAnswered()) failure = NoReceiverEnd(link, QueryAgain(rest, envName));
    const std::string rescueNotice = RescueLoaderNotice(engine.LastIdentReply(), link.PortName());
    if (failure.Empty() && !rescueNotice.empty())
        failure = {rescueNotice, "its connected board waits in its rescue loader",
                   "`tavrel-cli transfer --rescue REQUEST.sfl`, whose first line is that board"};
    if (!failure.Empty()) ReportFailureEnd(failure);
    nlohmann::json report = Report(link, engine, failure);
    bool healthy = true;
    if (expected.wanted && engine.QueryAnswered()) {
        HealthContext context{link.PortName(), expected.requestPath, engine.LeftInTransferMode()};
        const HealthReport health = CheckReceiverHealth(engine.LastIdentReply(), expected.boards, context);
        PrintHealth(health, expected.requestPath.empty() ? "environment " + envName : expected.requestPath);
        report["health"] = HealthJson(health);
        healthy = health.healthy;
    }
    if (json.Wanted() && !json.Write(report, error)) return CliFailure(error);
    if (!engine.QueryAnswered()) return 1;
    // The end of the query leaves the link at the rate the board answered at.
    const int kept = KeepFoundRate(link, save);
    return kept != 0 ? kept : (healthy && rescueNotice.empty() ? 0 : 1);
}

CliRegistrar reg({"query", "Identify the connected board and the boards behind it",
                  "usage: tavrel-cli query [REQUEST.sfl | --env NAME] [--port P] [--baud R] [--save]\n"
                  "                        [--wait] [--json FILE|-]\n"
                  "  Sends the identification query (searching the rates of the auto-configure\n"
                  "  range when \"Query auto speed enable\" is on) and prints the answer, one row\n"
                  "  per board software. --port takes COM1..COM8, a device path or a\n"
                  "  /dev/serial/by-id name; --baud the rate to start from. --json also writes\n"
                  "  the answer as JSON (port, rate, boards, answer lines, reason); \"-\" writes\n"
                  "  it on stdout and the rest on stderr. --save stores the rate the board\n"
                  "  answered at (and the port, when given as COMn) in the communication\n"
                  "  settings of Tavrel.ini; without it a rate the settings do not name is\n"
                  "  only reported.\n"
                  "  When two whole rounds of the rates bring back no byte at all, the search\n"
                  "  stops and says so; --wait keeps searching until the time limit (a receiver\n"
                  "  being switched on). Bytes that are no identification are named with their\n"
                  "  rate.\n"
                  "  With a request (or --env NAME, an environment of the environment\n"
                  "  directory) the answer is checked against the boards it expects: each found\n"
                  "  (with its software, and whether it is the request's), missing, waiting in\n"
                  "  its rescue loader or left in transfer mode (the history keeps the boards\n"
                  "  the last transfer on the port left so), boards nobody expects, then a\n"
                  "  verdict and the next step for every problem (also under \"health\" in the\n"
                  "  JSON). A connected board waiting in its rescue loader is named as such.\n"
                  "  A failure ends with its reason, \"the receiver: ...\" and \"next: ...\".\n"
                  "  Exit code 0 when a board answered and nothing is wrong, 1 otherwise.",
                  RunQuery});

}  // namespace
