// tavrel-cli rescue [--port P]: the Rescue query. The operator switches the
// receiver off and on while the program calls the board's rescue loader at
// 9600 bit/s; the loader's identification answer is printed.
#include <iostream>

#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/CliHistory.h"
#include "cli/CliLink.h"
#include "cli/CliProgress.h"
#include "engine/EngineLink.h"
#include "engine/ProcessEngine.h"
#include "model/UpdateDoc.h"


namespace {

int RunRescue(CliArgs& args)
{
    std::string port;
    args.Option("port", port);
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error)) return CliUsageError(error);
    if (!rest.empty()) return CliUsageError("rescue takes no file");

    SerialLinkPtr link = CreateConfiguredLink();
    if (!CliApplyLinkOptions(port, std::string(), *link, error)) return CliUsageError(error);

    CUpdateDoc doc;
    CProcessEngine engine(doc, *link);
    CCliHistory history(engine);
    {
        CProcessWatch watch(engine, Globals().quiet, Globals().verbose, nullptr);
        engine.StartQuery(PROC_RESCUE_QUERY);
        CliWaitUntilIdle(engine);
    }
    // The rescue loader answered when its identification was shown.
    if (!engine.LastIdentReply().empty()) return 0;
    if (!link->OpenFailure().empty())
        return ReportFailureEnd({OpenFailureAdvice(*link), kReceiverNotOpened, "once the port opens: `tavrel-cli rescue`"});
    return ReportFailureEnd(
        {"no rescue loader answered on " + link->PortName() + " (" + GetOneLineString(engine.LastEndMessage()) + ")",
         "unchanged: its boards were only called with the wake-up character",
         "run `tavrel-cli rescue` again and switch the receiver off and on as soon as it asks; only a board whose "
         "Subassy ID begins with \"U\" has a rescue loader"});
}

CliRegistrar reg({"rescue", "Catch a board's rescue loader at power-on and identify it (Rescue query)",
                  "usage: tavrel-cli rescue [--port P]\n"
                  "  Asks you to switch the receiver off and back on (on a terminal it waits\n"
                  "  for Enter; otherwise it goes on at once), then calls the board with the\n"
                  "  wake-up character once a second at 9600 bit/s for \"Rescue mode(sec.)\"\n"
                  "  and prints the rescue loader's identification. The settings keep 9600\n"
                  "  bit/s afterwards. --port takes 1..8 (COMn) or a device path.\n"
                  "  Exit code 0 when the rescue loader answered, 1 otherwise.",
                  RunRescue});

}  // namespace
