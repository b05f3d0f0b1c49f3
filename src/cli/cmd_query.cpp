// tavrel-cli query [--port P] [--baud R]: identifies the connected board and
// the boards behind it, and prints the identification answer.
#include <iostream>

#include "app/CommSettings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/CliLink.h"
#include "engine/ProcessEngine.h"
#include "engine/EngineLink.h"
#include "model/UpdateDoc.h"

namespace {

int RunQuery(CliArgs& args)
{
    std::string port;
    std::string baud;
    args.Option("port", port);
    args.Option("baud", baud);
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error)) return CliUsageError(error);
    if (!rest.empty()) return CliUsageError("query takes no file");

    SerialLinkPtr linkPtr = CreateConfiguredLink();
    CSerialLink& link = *linkPtr;
    if (!CliApplyLinkOptions(port, baud, link, error)) return CliUsageError(error);

    CUpdateDoc doc;
    CProcessEngine engine(doc, link);
    engine.StartQuery(PROC_QUERY);
    CliWaitUntilIdle(engine);
    ReportOpenFailure(link);
    return engine.QueryAnswered() ? 0 : 1;
}

CliRegistrar reg({"query", "Identify the connected board and the boards behind it",
                  "usage: tavrel-cli query [--port P] [--baud R]\n"
                  "  Sends the identification query (searching the rates of the auto-configure\n"
                  "  range when \"Query auto speed enable\" is on) and prints the answer, one row\n"
                  "  per board software. --port takes 1..8 (COMn) or a device path; --baud\n"
                  "  the rate to start from. Exit code 0 when a board answered, 1 otherwise.",
                  RunQuery});

}  // namespace
