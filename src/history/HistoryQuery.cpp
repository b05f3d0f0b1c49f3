#include "history/HistoryQuery.h"

#include <array>
#include <cstdio>

#include "history/HistoryDb.h"
#include "history/HistoryRecorder.h"

namespace {

constexpr long kMaxLimit = 100000000;
// Most board and identification rows shown of one run (a request has far fewer).
constexpr long long kMaxRunRows = 4096;

bool TwoDigits(const std::string& text, std::size_t at, int& value)
{
    if (at + 2 > text.size() || text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9') return false;
    value = (text[at] - '0') * 10 + (text[at + 1] - '0');
    return true;
}

int DaysInMonth(int year, int month)
{
    static const std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[static_cast<size_t>(month - 1)];
}

// Result of a listing row, seen from this station: a run whose program is
// gone is interrupted even when no writer has marked it yet.
std::string EffectiveResult(const std::string& stored, const std::string& station, const std::string& owner)
{
    if (stored == "running" && !HistoryOwnerAlive(station, owner)) return "interrupted";
    return stored;
}

const char* SortColumn(HistorySortKey key)
{
    switch (key) {
    case SORT_STATION: return "station";
    case SORT_PORT: return "port";
    case SORT_BOARD: return "board COLLATE NOCASE";
    case SORT_RESULT: return "result";
    case SORT_SECONDS: return "seconds";
    case SORT_RATE: return "rate";
    default: return "started";
    }
}

// The columns both halves of the listing select, in HistoryRow order.
constexpr const char* kBoardColumns =
    "r.id AS run_id, b.id AS board_id, b.started AS started, b.ended AS ended, r.station AS station, r.user,"
    " r.program, r.process, r.port AS port, r.request, b.board AS board, b.environment, b.hardware,"
    " b.software_before, b.software_wanted, b.software_after, b.release_path, b.release_sha256,"
    " b.rate AS rate, b.bytes_sent, b.resends, b.seconds AS seconds, b.result AS result,"
    " COALESCE(b.reason, CASE WHEN b.result <> 'ok' THEN r.reason END), r.owner";
constexpr const char* kRunColumns =
    "r.id, 0, r.started, r.ended, r.station, r.user, r.program, r.process, r.port, r.request, '', '', '',"
    " '', '', '', '', '', r.rate, 0, 0, 0, r.result, r.reason, r.owner";

}  // namespace

const char* HistoryProcessName(int process)
{
    static const char* const kNames[] = {"", "query", "rescue query", "transfer", "rescue transfer", "repair"};
    return process >= 1 && process <= 5 ? kNames[process] : "process";
}

bool ParseHistoryDate(const std::string& text, bool endOfRange, std::string& stored, std::string& error)
{
    error = "'" + text.substr(0, 40) + "' is not a date (YYYY-MM-DD, YYYY-MM-DD HH:MM or YYYY-MM-DD HH:MM:SS, UTC)";
    std::string t = text;
    if (!t.empty() && (t.back() == 'Z' || t.back() == 'z')) t.pop_back();
    int century = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (t.size() != 10 && t.size() != 16 && t.size() != 19) return false;
    if (!TwoDigits(t, 0, century) || !TwoDigits(t, 2, year) || t[4] != '-' || !TwoDigits(t, 5, month) || t[7] != '-' ||
        !TwoDigits(t, 8, day))
        return false;
    year += century * 100;
    const bool dateOnly = t.size() == 10;
    if (!dateOnly) {
        if ((t[10] != ' ' && t[10] != 'T' && t[10] != 't') || !TwoDigits(t, 11, hour) || t[13] != ':' ||
            !TwoDigits(t, 14, minute))
            return false;
        if (t.size() == 19 && (t[16] != ':' || !TwoDigits(t, 17, second))) return false;
    }
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    if (dateOnly && endOfRange) {
        hour = 23;
        minute = 59;
        second = 59;
    } else if (t.size() == 16 && endOfRange) {
        second = 59;
    }
    char out[32];
    std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, hour, minute, second);
    stored = out;
    error.clear();
    return true;
}

bool ParseHistoryFilter(std::vector<std::string>& words, HistoryFilter& filter, std::string& error)
{
    static const std::array<const char*, 7> kOptions = {"since", "until", "board", "software", "result", "port", "limit"};
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        std::string name, value;
        bool matched = false;
        for (const char* option : kOptions) {
            const std::string flag = std::string("--") + option;
            if (word == flag) {
                if (i + 1 >= words.size()) {
                    error = flag + " needs a value";
                    return false;
                }
                value = words[++i];
            } else if (word.compare(0, flag.size() + 1, flag + "=") == 0) {
                value = word.substr(flag.size() + 1);
            } else {
                continue;
            }
            name = option;
            matched = true;
            break;
        }
        if (!matched) {
            rest.push_back(word);
            continue;
        }
        if (value.empty()) {
            error = "--" + name + " needs a value";
            return false;
        }
        if (value.size() > HISTORY_MAX_TEXT) {
            error = "--" + name + ": the value is too long";
            return false;
        }
        if (name == "since" || name == "until") {
            std::string& bound = name == "since" ? filter.since : filter.until;
            if (!ParseHistoryDate(value, name == "until", bound, error)) {
                error = "--" + name + ": " + error;
                return false;
            }
        } else if (name == "result") {
            if (value != "ok" && value != "failed" && value != "interrupted" && value != "running") {
                error = "--result: '" + value.substr(0, 40) + "' is not ok, failed, interrupted or running";
                return false;
            }
            filter.result = value;
        } else if (name == "limit") {
            long limit = 0;
            for (char c : value) {
                if (c < '0' || c > '9' || limit > kMaxLimit) {
                    error = "--limit: '" + value.substr(0, 40) + "' is not a number of rows";
                    return false;
                }
                limit = limit * 10 + (c - '0');
            }
            filter.limit = limit;
        } else if (name == "board") {
            filter.board = value;
        } else if (name == "software") {
            filter.software = value;
        } else {
            filter.port = value;
        }
    }
    if (!filter.since.empty() && !filter.until.empty() && filter.until < filter.since) {
        error = "--until is before --since";
        return false;
    }
    words = rest;
    return true;
}

bool QueryHistory(CHistoryDb& db, const HistoryFilter& filter, std::vector<HistoryRow>& rows, std::string& error,
                  HistorySortKey sort, bool ascending, long offset)
{
    rows.clear();
    // Only the filters given take part, so the planner can use the indexes;
    // every value is a parameter (?1..?8).
    std::string boardWhere = " WHERE 1";
    std::string runWhere = " WHERE NOT EXISTS (SELECT 1 FROM boards x WHERE x.run_id = r.id)";
    if (!filter.since.empty()) {
        boardWhere += " AND b.started >= ?1";
        runWhere += " AND r.started >= ?1";
    }
    if (!filter.until.empty()) {
        boardWhere += " AND b.started <= ?2";
        runWhere += " AND r.started <= ?2";
    }
    if (!filter.board.empty()) boardWhere += " AND b.board = ?3 COLLATE NOCASE";
    if (!filter.software.empty())
        boardWhere += " AND (b.software_after = ?4 OR b.software_wanted = ?4 OR b.software_before = ?4)";
    // Interrupted rows may still read "running" until a writer marks them.
    if (!filter.result.empty()) {
        const std::string test = filter.result == "interrupted" ? " IN ('interrupted', 'running')" : " = ?5";
        boardWhere += " AND b.result" + test;
        runWhere += " AND r.result" + test;
    }
    if (!filter.port.empty()) {
        boardWhere += " AND r.port = ?6";
        runWhere += " AND r.port = ?6";
    }
    std::string sql = std::string("SELECT ") + kBoardColumns + " FROM boards b JOIN runs r ON r.id = b.run_id" + boardWhere;
    // Runs without a board line have no board or software to match.
    if (filter.board.empty() && filter.software.empty())
        sql += std::string(" UNION ALL SELECT ") + kRunColumns + " FROM runs r" + runWhere;
    sql += std::string(" ORDER BY ") + SortColumn(sort) + (ascending ? " ASC" : " DESC") + ", run_id DESC, board_id DESC";
    // Interrupted rows are confirmed after reading: no limit in SQL then.
    const bool postFilter = filter.result == "interrupted";
    if (!postFilter && filter.limit > 0) sql += " LIMIT ?7 OFFSET ?8";

    CHistoryStatement select(db.Handle(), sql);
    if (!select.Ok()) {
        db.Fail("cannot read the history");
        error = db.Error();
        return false;
    }
    if (!filter.since.empty()) select.Bind(1, filter.since);
    if (!filter.until.empty()) select.Bind(2, filter.until);
    if (!filter.board.empty()) select.Bind(3, filter.board);
    if (!filter.software.empty()) select.Bind(4, filter.software);
    if (!filter.result.empty() && !postFilter) select.Bind(5, filter.result);
    if (!filter.port.empty()) select.Bind(6, filter.port);
    if (!postFilter && filter.limit > 0) {
        select.Bind(7, static_cast<long long>(filter.limit));
        select.Bind(8, static_cast<long long>(offset));
    }
    long skipped = 0;
    int code = SQLITE_ROW;
    while ((code = select.Step()) == SQLITE_ROW) {
        HistoryRow row;
        int c = 0;
        row.runId = select.Int(c++);
        row.boardId = select.Int(c++);
        row.started = select.Text(c++);
        row.ended = select.Text(c++);
        row.station = select.Text(c++);
        row.user = select.Text(c++);
        row.program = select.Text(c++);
        row.process = select.Text(c++);
        row.port = select.Text(c++);
        row.request = select.Text(c++);
        row.board = select.Text(c++);
        row.environment = select.Text(c++);
        row.hardware = select.Text(c++);
        row.softwareBefore = select.Text(c++);
        row.softwareWanted = select.Text(c++);
        row.softwareAfter = select.Text(c++);
        row.release = select.Text(c++);
        row.releaseSha256 = select.Text(c++);
        row.rate = select.Int(c++);
        row.bytes = select.Int(c++);
        row.resends = select.Int(c++);
        row.seconds = select.Int(c++);
        row.result = select.Text(c++);
        row.reason = select.Text(c++);
        const std::string owner = select.Text(c++);
        if (row.result == "running") {
            row.result = EffectiveResult(row.result, row.station, owner);
            if (row.result == "interrupted" && row.reason.empty()) row.reason = kInterruptedReason;
        }
        if (postFilter) {
            if (row.result != "interrupted") continue;
            if (skipped++ < offset) continue;
        }
        rows.push_back(std::move(row));
        if (postFilter && filter.limit > 0 && static_cast<long>(rows.size()) >= filter.limit) break;
    }
    if (code != SQLITE_DONE && code != SQLITE_ROW) {
        db.FailStep("cannot read the history", code);
        error = db.Error();
        return false;
    }
    return true;
}

bool ReadHistoryRun(CHistoryDb& db, long long runId, HistoryRunDetails& details, std::string& error)
{
    details = HistoryRunDetails{};
    CHistoryStatement run(db.Handle(),
                          "SELECT id, started, ended, station, user, program, version, process, port, rate, request,"
                          " request_sha256, result, reason, owner FROM runs WHERE id = ?1");
    run.Bind(1, runId);
    int code = run.Step();
    if (code == SQLITE_DONE) {
        error = "no run " + std::to_string(runId) + " in " + db.Path();
        return false;
    }
    if (code != SQLITE_ROW) {
        db.FailStep("cannot read the history", code);
        error = db.Error();
        return false;
    }
    details.id = run.Int(0);
    details.started = run.Text(1);
    details.ended = run.Text(2);
    details.station = run.Text(3);
    details.user = run.Text(4);
    details.program = run.Text(5);
    details.version = run.Text(6);
    details.process = run.Text(7);
    details.port = run.Text(8);
    details.rate = run.Int(9);
    details.request = run.Text(10);
    details.requestSha256 = run.Text(11);
    details.result = EffectiveResult(run.Text(12), details.station, run.Text(14));
    details.reason = run.Text(13);
    if (details.result == "interrupted" && details.reason.empty()) details.reason = kInterruptedReason;

    CHistoryStatement boards(db.Handle(),
                             "SELECT id, started, ended, board, environment, hardware, software_before, software_wanted,"
                             " software_after, release_path, release_sha256, rate, bytes_sent, resends, seconds, result,"
                             " reason, subassy_id, vle_sha256, result_text, release_size, result_code"
                             " FROM boards WHERE run_id = ?1 ORDER BY id LIMIT ?2");
    boards.Bind(1, runId);
    boards.Bind(2, kMaxRunRows);
    while ((code = boards.Step()) == SQLITE_ROW) {
        HistoryRow row;
        row.runId = runId;
        row.boardId = boards.Int(0);
        row.started = boards.Text(1);
        row.ended = boards.Text(2);
        row.board = boards.Text(3);
        row.environment = boards.Text(4);
        row.hardware = boards.Text(5);
        row.softwareBefore = boards.Text(6);
        row.softwareWanted = boards.Text(7);
        row.softwareAfter = boards.Text(8);
        row.release = boards.Text(9);
        row.releaseSha256 = boards.Text(10);
        row.rate = boards.Int(11);
        row.bytes = boards.Int(12);
        row.resends = boards.Int(13);
        row.seconds = boards.Int(14);
        row.result = boards.Text(15);
        row.reason = boards.Text(16);
        if (row.result == "running" && details.result == "interrupted") {
            row.result = "interrupted";
            if (row.reason.empty()) row.reason = kInterruptedReason;
        }
        row.station = details.station;
        row.user = details.user;
        row.program = details.program;
        row.process = details.process;
        row.port = details.port;
        row.request = details.request;
        HistoryRunDetails::Board extra;
        extra.subassyId = boards.Text(17);
        extra.vleSha256 = boards.Text(18);
        extra.resultText = boards.Text(19);
        extra.releaseSize = boards.IsNull(20) ? -1 : boards.Int(20);
        extra.resultCode = boards.IsNull(21) ? -1 : static_cast<int>(boards.Int(21));
        details.boards.push_back(std::move(row));
        details.boardExtras.push_back(std::move(extra));
    }
    if (code != SQLITE_DONE) {
        db.FailStep("cannot read the history", code);
        error = db.Error();
        return false;
    }
    CHistoryStatement idents(db.Handle(),
                             "SELECT seen, after_restart, rate, number, hardware, software, port_letter, sentence"
                             " FROM idents WHERE run_id = ?1 ORDER BY id LIMIT ?2");
    idents.Bind(1, runId);
    idents.Bind(2, kMaxRunRows);
    while ((code = idents.Step()) == SQLITE_ROW) {
        HistoryIdentRow ident;
        ident.seen = idents.Text(0);
        ident.afterRestart = idents.Int(1) != 0;
        ident.rate = idents.Int(2);
        ident.number = idents.Text(3);
        ident.hardware = idents.Text(4);
        ident.software = idents.Text(5);
        ident.port = idents.Text(6);
        ident.sentence = idents.Text(7);
        details.idents.push_back(std::move(ident));
    }
    if (code != SQLITE_DONE) {
        db.FailStep("cannot read the history", code);
        error = db.Error();
        return false;
    }
    return true;
}
