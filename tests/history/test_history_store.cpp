// The history file without a receiver: what a run leaves in it, the filters,
// the exports, many writers at once, and files that are damaged or read-only.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "app/UpdateApp.h"
#include "common/TempDir.h"
#include "engine/EngineTypes.h"
#include "history/HistoryDb.h"
#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"

namespace fs = std::filesystem;

namespace {

const char* const kIdent = "$PKVR,IDENT,1,2,CM10,CMB2\r\n$PKVR,IDENT,2,2,CM10,CPU0100\r\n";

// One transfer of board CPU from CPU0100 to CPU0200 as the engine reports it.
bool RecordTransfer(CHistoryRecorder& recorder, int result, const std::string& board = "CPU",
                    const std::string& port = "/dev/ttyUSB0")
{
    bool ok = recorder.RunStarted({PROC_TRANSFER, port, 9600, ""});
    ok = recorder.BoardStarted({0, board, "Demo", "CM", "10", "CPU0200", "/no/cpu.s19", "", 19200}) && ok;
    ok = recorder.IdentAnswer({kIdent, 9600, false, {{0, "CPU0100"}}}) && ok;
    RecordedBoardEnd end{0, result == RESULT_OK ? "CPU0200" : "", 3000, 1, 4, result, "OK", ""};
    if (result != RESULT_OK) end.reason = "Reception time-out (see log file)";
    ok = recorder.BoardEnded(end) && ok;
    return recorder.RunEnded({result == RESULT_OK, end.reason, {}}) && ok;
}

class HistoryStore : public ::testing::Test {
protected:
    std::vector<HistoryRow> Query(const std::vector<std::string>& options)
    {
        std::vector<std::string> words = options;
        HistoryFilter filter;
        std::string error;
        EXPECT_TRUE(ParseHistoryFilter(words, filter, error)) << error;
        CHistoryDb db;
        EXPECT_TRUE(db.OpenForReading(path)) << db.Error();
        std::vector<HistoryRow> rows;
        EXPECT_TRUE(QueryHistory(db, filter, rows, error)) << error;
        return rows;
    }

    CTempDir dir;
    std::string path = dir.File("data/history.sqlite");
    CHistoryRecorder recorder{path, {"tavrel-test", "V2.0"}};
};

TEST_F(HistoryStore, ARunKeepsItsBoardItsSoftwareAndItsIdentificationRows)
{
    ASSERT_TRUE(RecordTransfer(recorder, RESULT_OK)) << recorder.LastError();
    const std::vector<HistoryRow> rows = Query({});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].board, "CPU");
    EXPECT_EQ(rows[0].softwareBefore, "CPU0100");   // learnt after the board row was written
    EXPECT_EQ(rows[0].softwareAfter, "CPU0200");
    EXPECT_EQ(rows[0].result, "ok");
    EXPECT_EQ(rows[0].rate, 19200);
    EXPECT_EQ(rows[0].bytes, 3000);
    EXPECT_EQ(rows[0].station, HistoryStation());

    CHistoryDb db;
    ASSERT_TRUE(db.OpenForReading(path));
    EXPECT_EQ(db.SchemaVersion(), HISTORY_SCHEMA_VERSION);
    HistoryRunDetails details;
    std::string error;
    ASSERT_TRUE(ReadHistoryRun(db, rows[0].runId, details, error)) << error;
    ASSERT_EQ(details.idents.size(), 2u);
    EXPECT_EQ(details.idents[1].sentence, "$PKVR,IDENT,2,2,CM10,CPU0100");
    EXPECT_EQ(details.idents[1].software, "CPU0100");
    EXPECT_EQ(details.process, "transfer");
    EXPECT_FALSE(ReadHistoryRun(db, rows[0].runId + 1, details, error));
}

TEST_F(HistoryStore, FiltersSelectByBoardDateResultSoftwareAndPort)
{
    ASSERT_TRUE(RecordTransfer(recorder, RESULT_OK, "CPU", "/dev/ttyUSB0"));
    ASSERT_TRUE(RecordTransfer(recorder, RESULT_NOT_FOUND, "GPS", "/dev/ttyUSB1"));
    ASSERT_TRUE(recorder.RunStarted({PROC_QUERY, "/dev/ttyUSB0", 9600, ""}));
    ASSERT_TRUE(recorder.RunEnded({true, "", {}}));
    const struct {
        std::vector<std::string> options;
        size_t rows;
    } cases[] = {
        {{}, 3},
        {{"--board", "cpu"}, 1},             // names compare without case
        {{"--board=GPS", "--result", "failed"}, 1},
        {{"--result", "ok"}, 2},             // the query too
        {{"--software", "CPU0100"}, 2},      // before, wanted or after
        {{"--software", "CPU0200"}, 2},
        {{"--port", "/dev/ttyUSB1"}, 1},
        {{"--since", "2000-01-01", "--until", "2999-12-31"}, 3},
        {{"--until", "2000-01-01"}, 0},
        {{"--limit", "2"}, 2},
        {{"--limit", "0"}, 3},               // all
        {{"--result", "interrupted"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        EXPECT_EQ(Query(c.options).size(), c.rows);
    }
}

TEST(HistoryFilterParsing, DatesAndValuesAreCheckedBeforeTheyReachTheFile)
{
    const struct {
        std::vector<std::string> words;
        std::string since, until, error;
    } cases[] = {
        {{"--since", "2026-02-28"}, "2026-02-28T00:00:00Z", "", ""},
        {{"--until", "2026-02-28"}, "", "2026-02-28T23:59:59Z", ""},
        {{"--since", "2024-02-29 10:05"}, "2024-02-29T10:05:00Z", "", ""},
        {{"--until=2024-02-29T10:05:07Z"}, "", "2024-02-29T10:05:07Z", ""},
        {{"--since", "2026-02-29"}, "", "", "is not a date"},
        {{"--since", "2026-13-01"}, "", "", "is not a date"},
        {{"--since", "2026-1-01"}, "", "", "is not a date"},
        {{"--since", "2026-01-01 24:00"}, "", "", "is not a date"},
        {{"--since", "2026-02-02", "--until", "2026-02-01"}, "", "", "--until is before --since"},
        {{"--result", "maybe"}, "", "", "is not ok, failed, interrupted or running"},
        {{"--limit", "-3"}, "", "", "is not a number of rows"},
        {{"--limit", "99999999999999999999"}, "", "", "is not a number of rows"},
        {{"--board"}, "", "", "--board needs a value"},
        {{"--board="}, "", "", "--board needs a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.words));
        std::vector<std::string> words = c.words;
        HistoryFilter filter;
        std::string error;
        const bool ok = ParseHistoryFilter(words, filter, error);
        EXPECT_EQ(ok, c.error.empty()) << error;
        if (!ok) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(filter.since, c.since);
        EXPECT_EQ(filter.until, c.until);
        EXPECT_TRUE(words.empty());
    }
}

TEST(HistoryExport, CsvQuotesAsRfc4180AndJsonKeepsEveryColumn)
{
    EXPECT_EQ(CsvField("plain"), "plain");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
    HistoryRow row;
    row.runId = 7;
    row.board = "CPU, main";
    row.reason = "Reception time-out \"x\"";
    const std::string csv = HistoryCsv({row});
    const std::string header = csv.substr(0, csv.find("\r\n"));
    EXPECT_EQ(header.substr(0, 20), "run,started,ended,st");
    EXPECT_NE(csv.find("\r\n7,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"CPU, main\","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"Reception time-out \"\"x\"\"\"\r\n"), std::string::npos) << csv;
    const nlohmann::json json = nlohmann::json::parse(HistoryJson({row}));
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0].size(), HistoryExportColumns().size());
    EXPECT_EQ(json[0]["board"], "CPU, main");
}

// Eight programs write the same file at once, each 200 board rows in ten
// runs of twenty boards, every row its own transactions: every row arrives,
// none is refused as locked.
TEST_F(HistoryStore, EightWritersOfTwoHundredRowsLoseNone)
{
    constexpr int kWriters = 8;
    constexpr int kRuns = 10;
    constexpr int kBoardsPerRun = 20;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            CHistoryRecorder writer(path, {"tavrel-test", "V2.0"});
            bool ok = true;
            for (int run = 0; run < kRuns && ok; ++run) {
                ok = writer.RunStarted({PROC_TRANSFER, "/dev/ttyUSB" + std::to_string(w), 9600, ""});
                for (int line = 0; line < kBoardsPerRun && ok; ++line) {
                    ok = writer.BoardStarted({line, "W" + std::to_string(w), "Demo", "CM", "10", "CPU0200", "", "", 19200}) &&
                         writer.BoardEnded({line, "CPU0200", 3000, 0, 4, RESULT_OK, "OK", ""});
                }
                ok = ok && writer.RunEnded({true, "", {}});
            }
            if (!ok) std::fprintf(stderr, "%s\n", writer.LastError().c_str());
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
    }
    EXPECT_EQ(Query({"--limit", "0"}).size(), static_cast<size_t>(kWriters * kRuns * kBoardsPerRun));
    for (int w = 0; w < kWriters; ++w)
        EXPECT_EQ(Query({"--board", "W" + std::to_string(w), "--result", "ok"}).size(),
                  static_cast<size_t>(kRuns * kBoardsPerRun));
}

TEST_F(HistoryStore, ADamagedFileIsMovedAsideAndANewOneStarted)
{
    fs::create_directories(dir.File("data"));
    std::ofstream(path) << std::string(8192, 'x');
    std::string notice;
    recorder.onNotice = [&notice](const std::string& text) { notice = text; };
    ASSERT_TRUE(RecordTransfer(recorder, RESULT_OK)) << recorder.LastError();
    ASSERT_FALSE(recorder.MovedAside().empty());
    EXPECT_EQ(recorder.MovedAside().rfind(path + ".damaged-", 0), 0u) << recorder.MovedAside();
    EXPECT_NE(notice.find(recorder.MovedAside()), std::string::npos) << notice;
    EXPECT_EQ(std::ifstream(recorder.MovedAside()).get(), 'x');   // kept as it was
    EXPECT_EQ(Query({}).size(), 1u);
}

TEST_F(HistoryStore, AReadOnlyFileIsReadButNotWrittenAndSaysWhy)
{
    ASSERT_TRUE(RecordTransfer(recorder, RESULT_OK));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    // Root writes any file: the writer then runs as an ordinary user, in a
    // directory it may write (the file alone is read-only).
    ASSERT_EQ(::chmod(dir.File("").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.File("data").c_str(), 0777), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        CHistoryRecorder writer(path, {"tavrel-test", "V2.0"});
        const bool refused = !writer.RunStarted({PROC_TRANSFER, "/dev/ttyUSB0", 9600, ""});
        std::fprintf(stderr, "%s\n", writer.LastError().c_str());
        ::_exit(refused && writer.LastError() == "cannot write the history: " + path + " is read-only" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "no ordinary user to write as";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the writer did not say the file is read-only";
    EXPECT_EQ(Query({}).size(), 1u);
}

// A run whose program died keeps its rows: "interrupted" for every reader,
// and so marked by the next writer.
TEST_F(HistoryStore, ARunWhoseProgramDiedIsInterrupted)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        CHistoryRecorder dying(path, {"tavrel-test", "V2.0"});
        dying.RunStarted({PROC_TRANSFER, "/dev/ttyUSB0", 9600, ""});
        dying.BoardStarted({0, "CPU", "Demo", "CM", "10", "CPU0200", "", "", 19200});
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    std::vector<HistoryRow> rows = Query({"--result", "interrupted"});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].reason, kInterruptedReason);
    ASSERT_TRUE(RecordTransfer(recorder, RESULT_OK));   // marks it on opening
    CHistoryDb db;
    ASSERT_TRUE(db.OpenForReading(path));
    CHistoryStatement stored(db.Handle(), "SELECT COUNT(*) FROM boards WHERE result = 'interrupted'");
    ASSERT_EQ(stored.Step(), SQLITE_ROW);
    EXPECT_EQ(stored.Int(0), 1);
}

}  // namespace

namespace {

// Takes a history file back to the first schema, as the previous version
// of the program left it (the column of the second one dropped).
void BackToFirstSchema(const std::string& path)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "ALTER TABLE runs DROP COLUMN transfer_mode; PRAGMA user_version = 1;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

}  // namespace

// The boards a failed transfer leaves in transfer mode are read back for the
// port of that transfer, until a later transfer on the port ends; an older
// file is migrated when written and knows of none before.
TEST_F(HistoryStore, TheBoardsLeftInTransferModeAreThoseOfTheLastTransferOnThePort)
{
    ASSERT_TRUE(RecordTransfer(recorder, RESULT_FAILED)) << recorder.LastError();
    BackToFirstSchema(path);
    EXPECT_TRUE(recorder.LeftInTransferMode("/dev/ttyUSB0").empty());

    ASSERT_TRUE(recorder.RunStarted({PROC_TRANSFER, "/dev/ttyUSB0", 9600, ""})) << recorder.LastError();
    ASSERT_TRUE(recorder.RunEnded({false, "Reception time-out", {"CPU", "RADIO"}})) << recorder.LastError();
    EXPECT_EQ(recorder.LeftInTransferMode("/dev/ttyUSB0"), (std::vector<std::string>{"CPU", "RADIO"}));
    EXPECT_TRUE(recorder.LeftInTransferMode("/dev/ttyUSB1").empty());
    // A query in between changes nothing; the next transfer on the port does.
    ASSERT_TRUE(recorder.RunStarted({PROC_QUERY, "/dev/ttyUSB0", 9600, ""}));
    ASSERT_TRUE(recorder.RunEnded({true, "", {}}));
    EXPECT_EQ(recorder.LeftInTransferMode("/dev/ttyUSB0").size(), 2u);
    ASSERT_TRUE(RecordTransfer(recorder, RESULT_OK));
    EXPECT_TRUE(recorder.LeftInTransferMode("/dev/ttyUSB0").empty());

    CHistoryDb db;
    ASSERT_TRUE(db.OpenForReading(path));
    EXPECT_EQ(db.SchemaVersion(), HISTORY_SCHEMA_VERSION);
    EXPECT_EQ(Query({}).size(), 4u);   // every run, the one of the older file included
}
