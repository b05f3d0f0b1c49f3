// tavrel-cli repair [--board N|--connected] [--dest LETTER] [--rate R] [FILE.sfl]:
// the Repair process. The choices of the "Change communication" dialog come
// from the command line; the engine then sets the chosen board's rate
// (directly, or through the port of its parent), identifies it again and
// prints the answer.
#include <cstdlib>
#include <iostream>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/CliHistory.h"
#include "cli/CliLink.h"
#include "cli/TerminalHost.h"
#include "engine/EngineLink.h"
#include "engine/ProcessEngine.h"
#include "link/ChangeComm.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"

namespace {

constexpr int kUnset = -2;
constexpr int kAnswerRun = 1;
constexpr int kAnswerCancel = 2;

struct RepairOptions {
    int board = kUnset;         // position in the board list: 0 connected system, k line k
    int destination = kUnset;   // destination index 0..24
    int baudIndex = kUnset;
    std::string request;
};

// "B" or "Port B", "I" or "Dpram 1": the destination index, -1 when unknown.
int DestinationOf(const std::string& text)
{
    if (text.size() == 1) {
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        const int index = letter - 'A';
        return index >= 0 && index < CChangeCommDlg::kDestinationCount ? index : -1;
    }
    return DestinationIndexOf(text);
}

bool ParseOptions(CliArgs& args, RepairOptions& options, std::string& port, std::string& baud,
                  std::string& error)
{
    std::string board, dest, rate;
    const bool connected = args.Flag("connected");
    args.Option("board", board);
    args.Option("dest", dest);
    args.Option("rate", rate);
    args.Option("port", port);
    args.Option("baud", baud);
    std::vector<std::string> files;
    if (!args.Positionals(files, error)) return false;
    if (files.size() > 1) {
        error = "repair takes at most one FILE.sfl";
        return false;
    }
    if (!files.empty()) options.request = files.front();
    if (connected && !board.empty()) {
        error = "--board and --connected exclude each other";
        return false;
    }
    if (connected) options.board = CChangeCommDlg::kConnectedSystem;
    if (!board.empty()) {
        char* end = nullptr;
        const long n = std::strtol(board.c_str(), &end, 10);
        if (end == board.c_str() || *end != '\0' || n < 1) {
            error = "--board: a board line number, 1 for the first line of the request";
            return false;
        }
        options.board = static_cast<int>(n);
    }
    if (!dest.empty()) {
        options.destination = DestinationOf(dest);
        if (options.destination < 0) {
            const std::vector<std::string> names(kDestinationNames.begin(), kDestinationNames.end());
            const std::string close = ClosestName(dest, names);
            error = "--dest \"" + dest + "\": a letter A..H (Port A..H) or I..L (Dpram 1..4)" +
                    (close.empty() ? std::string() : "; closest: " + close);
            return false;
        }
    }
    if (!rate.empty()) {
        options.baudIndex = BaudIndexOf(std::atoi(rate.c_str()));
        if (options.baudIndex < 0) {
            error = "--rate: not one of 300 1200 4800 9600 19200 38400 57600 115200 128000 256000";
            return false;
        }
    }
    return true;
}

std::string ChoiceText(const CChangeCommDlg& dialog)
{
    const std::vector<std::string> boards = dialog.BoardListTexts();
    const int choice = dialog.BoardChoice();
    std::string text = "Change communication: " +
                       (choice >= 0 && choice < static_cast<int>(boards.size()) ? boards[choice] : "?");
    if (dialog.PortListEnabled()) text += ", port " + DestinationName(dialog.Destination());
    if (dialog.RateListEnabled()) text += ", new rate " + BaudText(dialog.BaudIndex());
    return text;
}

// Plays the dialog with the command-line choices; `problem` says why it
// could not be run.
int AnswerDialog(CChangeCommDlg& dialog, const RepairOptions& options, std::string& problem)
{
    if (options.board != kUnset) dialog.OnBoardChanged(options.board);
    if (options.destination != kUnset) {
        if (!dialog.PortListEnabled()) {
            problem = "--dest only applies to a board line reached through its parent";
            return kAnswerCancel;
        }
        dialog.OnPortChanged(options.destination);
    }
    if (options.baudIndex != kUnset) {
        if (!dialog.RateListEnabled()) {
            problem = "--rate does not apply: a board behind a Dpram has no rate";
            return kAnswerCancel;
        }
        dialog.OnRateChanged(options.baudIndex);
    } else if (dialog.RateListEnabled()) {
        problem = "--rate is needed for this board";
        return kAnswerCancel;
    }
    if (!dialog.RunEnabled()) {
        problem = "a destination is needed for this board (--dest)";
        return kAnswerCancel;
    }
    std::cout << ChoiceText(dialog) << "\n";
    std::cout.flush();
    return kAnswerRun;
}

// A repair that did not end with the board answering: what happened, the
// rate the board may run at now, and how to find it.
FailureEnd RepairFailureEnd(const CProcessEngine& engine, const CSerialLink& link, const RepairOptions& options)
{
    const std::string newRate = options.baudIndex >= 0 ? BaudText(options.baudIndex) + " bit/s" : "its new rate";
    const std::string find = "`tavrel-cli ident --scan` finds the rate the connected board answers at; for a board "
                             "behind it, `tavrel-cli query` shows whether it answers";
    switch (engine.LastRepairResult()) {
    case REPAIR_NOT_CONFIRMED:
        return {"every sentence of the repair went out, but the board did not answer afterwards",
                "the board may now run at " + newRate + "; no relay is left joined", find};
    case REPAIR_SEND_FAILED:
    case REPAIR_ABORTED:
        return {engine.LastRepairResult() == REPAIR_ABORTED ? "the repair was stopped before its end"
                                                            : "the line failed while the repair was sent",
                "the board may run at its old rate or at " + newRate + ", and a relay may still be joined",
                "switch the receiver off and on, then " + find};
    default:
        if (!link.OpenFailure().empty())
            return {OpenFailureAdvice(link), kReceiverNotOpened, "once the port opens: `tavrel-cli repair` again"};
        return {"the repair did not start: " + IdentFailureReason(link), kReceiverOnlyAsked,
                "mend what is said above, then `tavrel-cli repair` again"};
    }
}

int RunRepair(CliArgs& args)
{
    RepairOptions options;
    std::string port, baud, error;
    if (!ParseOptions(args, options, port, baud, error)) return CliUsageError(error);

    SerialLinkPtr link = CreateConfiguredLink();
    if (!CliApplyLinkOptions(port, baud, *link, error)) return CliUsageError(error);

    CUpdateDoc doc;
    if (!options.request.empty() && doc.OpenRequest(options.request) != OpenResult::Ok) {
        std::cerr << "tavrel-cli: " << options.request << ": cannot open the request ("
                  << (doc.m_strLastError.empty() ? "see the log" : doc.m_strLastError) << ")\n";
        return 1;
    }
    if (options.board != kUnset && options.board > static_cast<int>(doc.m_lines.size()))
        return CliUsageError(doc.m_lines.empty() ? "--board needs a FILE.sfl with board lines"
                                                 : "--board: the request has " +
                                                       std::to_string(doc.m_lines.size()) + " board line(s)");

    CTerminalHost* host = dynamic_cast<CTerminalHost*>(&Host());
    std::string problem;
    if (host != nullptr)
        host->changeCommAnswer = [&](CChangeCommDlg& dialog) { return AnswerDialog(dialog, options, problem); };

    // A repaired rate is saved with the settings: --env-dir stays out of them.
    RestoreStoredEnvDir();
    CProcessEngine engine(doc, *link);
    CCliHistory history(engine);
    engine.StartRepair();
    CliWaitUntilIdle(engine);
    if (host != nullptr) host->changeCommAnswer = nullptr;
    if (!problem.empty()) return CliUsageError(problem);
    if (engine.LastRepairResult() != REPAIR_DONE) return ReportFailureEnd(RepairFailureEnd(engine, *link, options));
    std::cout << "Communication settings: " << CommunicationSettingsText(*link) << "\n";
    return 0;
}

CliRegistrar reg({"repair", "Change the baud rate of a board (Repair)",
                  "usage: tavrel-cli repair [--board N | --connected] [--dest LETTER] [--rate R]\n"
                  "                         [--port P] [--baud R0] [FILE.sfl]\n"
                  "  Sets the serial rate of one board to R, as the \"Change communication\"\n"
                  "  dialog does: the connected system (--connected, the default without a\n"
                  "  request), or board line N of the request FILE.sfl (--board N; the first\n"
                  "  line by default). A board alone is set directly, and the new rate is saved\n"
                  "  in the \"Communication\" section of Tavrel.ini for every later command. A\n"
                  "  relayed board is set through the port of its parent (--dest changes the\n"
                  "  port letter, A..H or I..L for a Dpram; a Dpram board has no rate). The\n"
                  "  board is then identified again and the answer printed. --port and --baud\n"
                  "  choose the PC's port and the rate it talks at first; a connected board\n"
                  "  that does not answer there is searched for first when \"Query auto speed\n"
                  "  enable\" allows it.\n"
                  "  Exit code 0 when the board answered after the repair (the connected board\n"
                  "  at its new rate, which is only then saved), 1 otherwise, 2 on usage errors.",
                  RunRepair});

}  // namespace
