#pragma once
// Reading the history: the filters of `tavrel-cli history` and of the
// desktop's history window, the rows they select (one per board load, and one
// per run that loaded no board), the details of one run, and the exports.
#include <cstdint>
#include <string>
#include <vector>

class CHistoryDb;

inline constexpr const char* kInterruptedReason = "the program ended before the run did";

// "query", "rescue query", "transfer", "rescue transfer", "repair".
const char* HistoryProcessName(int process);

struct HistoryFilter {
    std::string since;      // stored-time text, inclusive; empty: no bound
    std::string until;      // stored-time text, inclusive; empty: no bound
    std::string board;      // board name (case ignored)
    std::string software;   // a software before, wanted or after
    std::string result;     // "ok", "failed", "interrupted", "running"; empty: any
    std::string port;
    long limit = -1;        // rows at most; 0: all of them; -1: not said (all)
};

// Sort keys of the listing (the window's columns that can be sorted).
enum HistorySortKey { SORT_TIME, SORT_STATION, SORT_PORT, SORT_BOARD, SORT_RESULT, SORT_SECONDS, SORT_RATE };

// A date as a user types it: "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD
// HH:MM:SS", with 'T' for the blank and an optional final 'Z'; always UTC.
// A date alone stands for the start of that day, or its end when `endOfRange`.
// False with `error` when it is not such a date.
bool ParseHistoryDate(const std::string& text, bool endOfRange, std::string& stored, std::string& error);

// Takes the filter options out of `words` ("--since DATE", "--board=NAME",
// ...): since, until, board, software, result, port, limit. Other words stay.
// False with `error` on a bad value.
bool ParseHistoryFilter(std::vector<std::string>& words, HistoryFilter& filter, std::string& error);

struct HistoryRow {
    long long runId = 0;
    long long boardId = 0;      // 0: a run without a board line
    std::string started;        // the board's start, or the run's
    std::string ended;
    std::string station;
    std::string user;
    std::string program;
    std::string process;
    std::string port;
    std::string request;
    std::string board;
    std::string environment;
    std::string hardware;
    std::string softwareBefore;
    std::string softwareWanted;
    std::string softwareAfter;
    std::string release;
    std::string releaseSha256;
    long long rate = 0;         // bit/s of the board's transfer (the run's link rate without a board)
    long long bytes = 0;
    long long resends = 0;
    long long seconds = 0;
    std::string result;         // "ok", "failed", "interrupted", "running"
    std::string reason;
};

// The rows the filter selects, newest first unless `sort` says otherwise.
// False with `error` (the file's own words) when the file cannot be read.
bool QueryHistory(CHistoryDb& db, const HistoryFilter& filter, std::vector<HistoryRow>& rows, std::string& error,
                  HistorySortKey sort = SORT_TIME, bool ascending = false, long offset = 0);

struct HistoryIdentRow {
    std::string seen;
    bool afterRestart = false;
    long long rate = 0;
    std::string number, hardware, software, port, sentence;
};

struct HistoryRunDetails {
    long long id = 0;
    std::string started, ended, station, user, program, version, process, port, request, requestSha256, result,
        reason;
    long long rate = 0;
    std::vector<HistoryRow> boards;
    struct Board {
        std::string subassyId, vleSha256, resultText;
        long long releaseSize = -1;
        int resultCode = -1;
    };
    std::vector<Board> boardExtras;   // beside `boards`, same order
    std::vector<HistoryIdentRow> idents;
};

// One run with its boards and identification answers. False with `error`
// when there is no such run or the file cannot be read.
bool ReadHistoryRun(CHistoryDb& db, long long runId, HistoryRunDetails& details, std::string& error);

// --- exports ----------------------------------------------------------------------------

// The columns of the CSV and JSON exports, in order.
const std::vector<std::string>& HistoryExportColumns();
// One field of the CSV file, quoted when it holds a comma, a quote, CR or LF
// (RFC 4180: quotes doubled).
std::string CsvField(const std::string& text);
// Header and rows, lines ended by CR LF.
std::string HistoryCsv(const std::vector<HistoryRow>& rows);
// A JSON array of objects named by the export columns.
std::string HistoryJson(const std::vector<HistoryRow>& rows);
// The terminal's table: time, station, port, board, software before -> after,
// result, time, rate.
std::string HistoryTable(const std::vector<HistoryRow>& rows);
// `history show`: the run, its boards and its identification answers.
std::string HistoryRunText(const HistoryRunDetails& details);
