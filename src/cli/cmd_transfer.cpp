// tavrel-cli transfer FILE.sfl [--port P] [--baud R] [--json REPORT]: loads
// the release of every board line of a request, then prints the end report.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/CliHealth.h"
#include "cli/CliHistory.h"
#include "cli/CliJson.h"
#include "cli/CliLink.h"
#include "cli/CliProgress.h"
#include "cli/TransferChoice.h"
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

nlohmann::json Report(const std::string& request, const CUpdateDoc& doc, const CProcessEngine& engine,
                      const CProcessWatch& watch, const CSerialLink& link, const FailureEnd& failure)
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
        for (const CProcessWatch::BoardFigures& figures : watch.Figures()) {
            if (figures.line != static_cast<int>(i)) continue;
            board["wall_seconds"] = std::round(figures.seconds * 10) / 10;
            board["bytes_per_second"] = std::round(figures.BytesPerSecond());
        }
        boards.push_back(board);
    }
    nlohmann::json report = {
        {"request", request},
        {"port", link.PortName()},
        {"ok", AllLinesOk(doc)},
        {"end_message", engine.LastEndMessage()},
        {"elapsed_seconds", engine.m_nElapsed},
        {"boards", boards},
    };
    AddFailureEnd(report, failure);
    return report;
}

// --progress-json: standard output for "-", else the file, written as events come.
class CProgressEvents {
public:
    bool Open(const std::string& target, std::string& error)
    {
        if (target.empty()) return true;
        if (target == "-") {
            m_pStdout = std::make_unique<CStdoutReserved>();
            return true;
        }
        m_file.open(target, std::ios::binary | std::ios::trunc);
        if (!m_file) error = "--progress-json: cannot write " + target;
        return static_cast<bool>(m_file);
    }
    std::ostream* Stream()
    {
        if (m_pStdout) return &m_pStdout->Stdout();
        return m_file.is_open() ? &m_file : nullptr;
    }

private:
    std::unique_ptr<CStdoutReserved> m_pStdout;
    std::ofstream m_file;
};

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

// --dry-run: every release read and converted, the receiver asked when a port
// is given, and the answer checked against the request; nothing is loaded.
int DryRun(CUpdateDoc& doc, const std::string& request, CSerialLink& link, bool askReceiver, bool wait,
           const CJsonReport& json)
{
    const std::vector<BoardPreview> boards = PreviewBoards(doc);
    bool ok = std::all_of(boards.begin(), boards.end(), [](const BoardPreview& b) { return b.problem.empty(); });
    std::cout << "Dry run of " << request << " (nothing is sent to the boards):\n";
    for (const std::string& line : PreviewLines(boards)) std::cout << line << "\n";
    nlohmann::json report = {{"request", request}, {"dry_run", true}, {"boards", PreviewJson(boards)}};
    if (!askReceiver) {
        std::cout << "The receiver was not asked: --port (or " << kPortVariable << ") names its port.\n";
    } else {
        CUpdateDoc none;
        CProcessEngine query(none, link);
        CCliHistory history(query);
        query.SetWaitForReceiver(wait);
        {
            CProcessWatch watch(query, Globals().quiet, Globals().verbose, nullptr);
            query.StartQuery(PROC_QUERY);
            CliWaitUntilIdle(query);
        }
        report["port"] = link.PortName();
        if (!query.QueryAnswered()) {
            const FailureEnd failure = NoReceiverEnd(link, "`tavrel-cli transfer " + request + " --dry-run`");
            ReportFailureEnd(failure);
            AddFailureEnd(report, failure);
            ok = false;
        } else {
            const HealthContext context{link.PortName(), request, query.LeftInTransferMode()};
            const HealthReport health = CheckReceiverHealth(query.LastIdentReply(), ExpectedBoardsOfRequest(doc), context);
            PrintHealth(health, request);
            report["health"] = HealthJson(health);
            ok = ok && health.healthy;
        }
    }
    report["ok"] = ok;
    std::string error;
    if (json.Wanted() && !json.Write(report, error)) return CliFailure(error);
    return ok ? 0 : 1;
}

int RunTransfer(CliArgs& args)
{
    std::string port;
    std::string baud;
    std::string jsonPath;
    std::string eventsPath;
    args.Option("port", port);
    args.Option("baud", baud);
    args.Option("json", jsonPath);
    args.Option("progress-json", eventsPath);
    const bool rescue = args.Flag("rescue");
    const bool wait = args.Flag("wait");
    const bool dryRun = args.Flag("dry-run");
    std::vector<std::string> chosen;
    for (std::string board; args.Option("board", board);) chosen.push_back(board);
    std::vector<std::string> files;
    std::string error;
    if (!args.Positionals(files, error)) return CliUsageError(error);
    if (files.size() != 1) return CliUsageError("transfer needs exactly one FILE.sfl");
    if (jsonPath == "-" && eventsPath == "-") return CliUsageError("--json - and --progress-json - both want stdout");

    SerialLinkPtr link = CreateConfiguredLink();
    if (!CliApplyLinkOptions(port, baud, *link, error)) return CliUsageError(error);
    CProgressEvents events;
    if (!events.Open(eventsPath, error)) return CliUsageError(error);
    CJsonReport json(jsonPath);

    CUpdateDoc doc;
    const OpenResult opened = doc.OpenRequest(files[0]);
    if (opened != OpenResult::Ok) {
        std::cerr << kErrorPrefix << files[0] << ": " << OpenFailure(opened, doc) << "\n";
        return 1;
    }
    if (!KeepChosenBoards(doc, chosen, error)) return CliUsageError(error);
    if (dryRun) {
        std::string portWord;
        CliPortWord(port, portWord, error);
        return DryRun(doc, files[0], *link, !portWord.empty(), wait, json);
    }
    // A request named on the command line: the transfer says so in the log.
    App().m_bCmdLineStart = true;
    CProcessEngine engine(doc, *link);
    CCliHistory history(engine);
    engine.SetWaitForReceiver(wait);
    CProcessWatch watch(engine, Globals().quiet, Globals().verbose, events.Stream());
    engine.StartTransfer(rescue ? PROC_RESCUE_TRANSFER : PROC_TRANSFER);
    CliWaitUntilIdle(engine);

    // Every failure says what the receiver was left as and what to do next.
    const FailureEnd failure = TransferFailureEnd(watch, engine, doc, *link, files[0]);
    watch.Finish(doc, AllLinesOk(doc), failure.reason);
    if (!Globals().quiet)
        for (const std::string& line : watch.SummaryLines()) std::cout << line << "\n";
    history.AmendReason(failure.reason);
    if (!failure.Empty()) ReportFailureEnd(failure);
    nlohmann::json report = Report(files[0], doc, engine, watch, *link, failure);
    report["receiver_restored"] = !engine.RestoreFailed();
    const bool written = !json.Wanted() || json.Write(report, error);
    if (!written) CliFailure(error);
    // Said last, so that it is what the operator reads.
    if (engine.RestoreFailed())
        CliFailure("the receiver could not be put back as it was (the line to " + link->PortName() +
                   " was lost during the clean-up): switch the receiver off and on before using it again");
    return AllLinesOk(doc) && written ? 0 : 1;
}

CliRegistrar reg({"transfer", "Load the releases of a transfer request into the boards",
                  "usage: tavrel-cli transfer FILE.sfl [--rescue] [--port P] [--baud R] [--json REPORT]\n"
                  "                                    [--progress-json EVENTS] [--wait]\n"
                  "                                    [--board NAME]... [--dry-run]\n"
                  "  Opens the request (its lines are linked to the environments of the\n"
                  "  environment directory), converts the release files found beside it and\n"
                  "  loads every board line in turn, then prints the end report. Questions are\n"
                  "  asked on the terminal, or answered by --yes / --no. Ctrl+C asks whether to\n"
                  "  abort. Progress on stderr: one line per phase (scan, transfer mode, erase,\n"
                  "  data, checksum, restart) with the board, the data line with percent, bytes\n"
                  "  of the total, line rate, effective rate, resends and time left (redrawn on\n"
                  "  a terminal, every few seconds otherwise); at the end each board's bytes,\n"
                  "  wall time and rate. A failure ends with its reason, \"the receiver: ...\"\n"
                  "  (what each board and the relays and rates are left as) and \"next: ...\".\n"
                  "  When two whole rounds of the rates bring back no byte, the search for the\n"
                  "  receiver stops and says so; --wait keeps searching until the time limit.\n"
                  "  --json writes each board's result, resends, bytes and time, and on a\n"
                  "  failure \"reason\", \"receiver_left\" and \"next_step\"\n"
                  "  (\"-\": on stdout, and everything else on stderr). --progress-json writes\n"
                  "  one JSON event per line as the transfer goes (\"-\": on stdout).\n"
                  "  --board NAME (repeatable) loads only the lines of those boards; the others\n"
                  "  are left out of the run and its report. --dry-run sends nothing to the\n"
                  "  boards: it reads and converts every release (format, bytes, the line rate\n"
                  "  and the expected time of each board) and, when a port is given, asks the\n"
                  "  receiver and checks its answer against the request (as query REQUEST.sfl).\n"
                  "  --rescue brings back a first board (board alone) whose software no longer\n"
                  "  starts: switch the receiver off and on when asked, its rescue loader is\n"
                  "  caught at 9600 bit/s and loaded (a Rescue-mode transfer). Two rules: the\n"
                  "  first line of the request must be the board cabled to the PC (\"Board\n"
                  "  alone\" set), and its Subassy ID must begin with \"U\" (only such a board\n"
                  "  has a rescue loader); the refusal names the rule that failed.\n"
                  "  Exit code 0 when every board line ended OK, 1 otherwise, 2 on usage errors.",
                  RunTransfer});

}  // namespace
