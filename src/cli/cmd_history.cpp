// tavrel-cli history [filters] [--json FILE|-] [--csv FILE|-]: the loads kept
// in the history; tavrel-cli history show RUN: one run in full.
#include <fstream>
#include <iostream>

#include "cli/CliCommand.h"
#include "cli/CliHistory.h"
#include "history/HistoryDb.h"
#include "history/HistoryQuery.h"

namespace {

// Rows the terminal table shows when no --limit is given.
constexpr long kDefaultTableRows = 100;

// Writes `text` to the file, or to standard output for "-".
bool WriteOutput(const std::string& target, const std::string& text, std::string& error)
{
    if (target == "-") {
        std::cout << text << std::flush;
        return true;
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) error = "cannot write " + target;
    return static_cast<bool>(out);
}

// OpenHistory's answer when there is no history file yet.
constexpr int kNoHistoryYet = -1;

// Opens the history for reading; prints why not. 0 ready, kNoHistoryYet, or
// the exit code of a failure.
int OpenHistory(CHistoryDb& db)
{
    if (db.OpenForReading(CliHistoryPath())) return 0;
    if (db.Missing()) {
        std::cerr << kErrorPrefix << db.Error() << "\n";
        return kNoHistoryYet;
    }
    return CliFailure(db.Error());
}

int RunHistory(CliArgs& args)
{
    std::string jsonPath, csvPath, error;
    args.Option("json", jsonPath);
    args.Option("csv", csvPath);
    HistoryFilter filter;
    if (!ParseHistoryFilter(args.words, filter, error)) return CliUsageError(error);
    std::vector<std::string> positionals;
    if (!args.Positionals(positionals, error)) return CliUsageError(error);
    if (!positionals.empty()) return CliUsageError("history: unexpected '" + positionals.front() + "' (history show RUN?)");
    if (jsonPath == "-" && csvPath == "-") return CliUsageError("--json - and --csv - both want stdout");

    CHistoryDb db;
    const int opened = OpenHistory(db);
    if (opened == kNoHistoryYet) {
        // No history yet: an empty answer, in the form asked for.
        if (!jsonPath.empty() && !WriteOutput(jsonPath, HistoryJson({}), error)) return CliFailure(error);
        if (!csvPath.empty() && !WriteOutput(csvPath, HistoryCsv({}), error)) return CliFailure(error);
        return 0;
    }
    if (opened != 0) return opened;

    const bool table = jsonPath.empty() && csvPath.empty();
    const bool defaultLimit = table && filter.limit < 0;
    if (defaultLimit) filter.limit = kDefaultTableRows + 1;
    std::vector<HistoryRow> rows;
    if (!QueryHistory(db, filter, rows, error)) return CliFailure(error);
    const bool more = defaultLimit && rows.size() > static_cast<size_t>(kDefaultTableRows);
    if (more) rows.resize(static_cast<size_t>(kDefaultTableRows));

    if (!jsonPath.empty() && !WriteOutput(jsonPath, HistoryJson(rows), error)) return CliFailure(error);
    if (!csvPath.empty() && !WriteOutput(csvPath, HistoryCsv(rows), error)) return CliFailure(error);
    if (table) {
        if (rows.empty()) std::cerr << "no run matches\n";
        else std::cout << HistoryTable(rows);
        if (more)
            std::cerr << "(the newest " << kDefaultTableRows << " rows; --limit N shows more, --limit 0 all)\n";
    }
    return 0;
}

int RunHistoryShow(CliArgs& args)
{
    std::string jsonPath, error;
    args.Option("json", jsonPath);
    std::vector<std::string> positionals;
    if (!args.Positionals(positionals, error)) return CliUsageError(error);
    if (positionals.size() != 1) return CliUsageError("history show needs one RUN number");
    const std::string& word = positionals.front();
    long long runId = 0;
    for (char c : word) {
        if (c < '0' || c > '9' || runId > 1000000000000LL) return CliUsageError("'" + word.substr(0, 40) + "' is not a run number");
        runId = runId * 10 + (c - '0');
    }
    if (word.empty()) return CliUsageError("history show needs one RUN number");
    CHistoryDb db;
    const int opened = OpenHistory(db);
    if (opened == kNoHistoryYet) return 1;
    if (opened != 0) return opened;
    HistoryRunDetails details;
    if (!ReadHistoryRun(db, runId, details, error)) return CliFailure(error);
    if (!jsonPath.empty()) {
        // The run's boards as rows of the export.
        if (!WriteOutput(jsonPath, HistoryJson(details.boards), error)) return CliFailure(error);
        if (jsonPath == "-") return 0;
    }
    std::cout << HistoryRunText(details);
    return 0;
}

CliRegistrar reg({"history", "List the runs and board loads kept in the history",
                  "usage: tavrel-cli history [--since DATE] [--until DATE] [--board NAME] [--software ID]\n"
                  "                          [--result ok|failed|interrupted] [--port P] [--limit N]\n"
                  "                          [--json FILE|-] [--csv FILE|-]\n"
                  "  One row per board load (and one per query, repair or run that loaded no\n"
                  "  board), newest first: run number, start time (UTC), station, port, board,\n"
                  "  software before -> after, result, time and rate. DATE is YYYY-MM-DD,\n"
                  "  YYYY-MM-DD HH:MM or YYYY-MM-DD HH:MM:SS in UTC; --until includes the day\n"
                  "  it names. --software matches the software found before, wanted or found\n"
                  "  after. The table shows the newest 100 rows unless --limit says (0: all).\n"
                  "  --csv writes every column (header row, RFC 4180 quoting), --json an array\n"
                  "  of objects (\"-\": on stdout). A run whose program ended without finishing\n"
                  "  it (killed, crashed, a power cut) is \"interrupted\".\n"
                  "  The history is --history FILE, else history.sqlite in $XDG_DATA_HOME/tavrel.",
                  RunHistory});

CliRegistrar regShow({"history show", "Show one run of the history in full",
                      "usage: tavrel-cli history show RUN [--json FILE|-]\n"
                      "  The run (times, station, user, program, port, request and its SHA-256,\n"
                      "  result and reason), each board load (software before, wanted and after,\n"
                      "  release with size and SHA-256, the .vle's SHA-256, rate, bytes sent,\n"
                      "  resends, result) and every identification answer seen.",
                      RunHistoryShow});

}  // namespace
