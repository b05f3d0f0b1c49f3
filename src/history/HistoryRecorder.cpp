#include "history/HistoryRecorder.h"

#include <pwd.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "app/UpdateApp.h"
#include "engine/EngineTypes.h"
#include "history/HistoryQuery.h"
#include "link/IdentReply.h"

namespace {

// Largest files hashed: a request, and a release or its .vle.
constexpr long long kMaxRequestBytes = 16LL * 1024 * 1024;
constexpr long long kMaxReleaseBytes = 1024LL * 1024 * 1024;
// Most answer rows kept from one identification answer.
constexpr std::size_t kMaxIdentRows = 256;
// Boards read back as left in transfer mode (a request never holds more lines).
constexpr std::size_t kMaxBoardsLeftInMode = 64;

std::string UserName()
{
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) return pw->pw_name;
    const char* user = std::getenv("USER");
    return user != nullptr ? user : std::to_string(::geteuid());
}

// Field 22 of /proc/PID/stat: when the process started, in clock ticks since boot.
std::string ProcessStartTime(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return {};
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22) return field;
    return {};
}

}  // namespace

std::string HistoryStation()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

std::string HistoryCurrentOwner()
{
    const long pid = static_cast<long>(::getpid());
    return std::to_string(pid) + ":" + ProcessStartTime(pid);
}

bool HistoryOwnerAlive(const std::string& station, const std::string& owner)
{
    if (station != HistoryStation()) return true;
    const std::size_t colon = owner.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 10) return false;
    long pid = 0;
    for (std::size_t i = 0; i < colon; ++i) {
        if (owner[i] < '0' || owner[i] > '9') return false;
        pid = pid * 10 + (owner[i] - '0');
    }
    const std::string start = ProcessStartTime(pid);
    return !start.empty() && start == owner.substr(colon + 1);
}

std::string HistoryFileSha256(const std::string& path, long long maxBytes)
{
    const QFileInfo info(QString::fromStdString(path));
    if (path.empty() || !info.isFile() || info.size() > maxBytes) return {};
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return {};
    return hash.result().toHex().toStdString();
}

CHistoryRecorder::CHistoryRecorder(std::string path, HistoryWriterInfo writer)
    : m_strPath(std::move(path)), m_writer(std::move(writer))
{
}

// The next run opens the file again (and checks it) rather than writing on
// after a refusal.
bool CHistoryRecorder::Failed()
{
    m_strError = m_db.Error();
    m_db.Close();
    m_nRunId = -1;
    m_boardRows.clear();
    return false;
}

bool CHistoryRecorder::Open()
{
    if (m_db.IsOpen()) return true;
    if (!m_db.OpenForWriting(m_strPath)) {
        m_strError = m_db.Error();
        return false;
    }
    m_strMovedAside = m_db.MovedAside();
    if (!m_strMovedAside.empty()) {
        const std::string notice = "the history " + m_strPath + " was damaged: moved aside as " + m_strMovedAside +
                                   ", a new one was started";
        App().WriteLogNote("History: " + notice + "\r\n");
        if (onNotice) onNotice(notice);
    }
    return MarkAbandonedRuns();
}

// Runs of this station left "running" by a program that is gone (killed,
// crashed, a power cut) are interrupted, with the boards they were loading.
bool CHistoryRecorder::MarkAbandonedRuns()
{
    std::set<std::string> gone;
    {
        CHistoryStatement running(m_db.Handle(), "SELECT DISTINCT owner FROM runs WHERE result = 'running' AND station = ?1");
        running.Bind(1, HistoryStation());
        int code = SQLITE_ROW;
        while ((code = running.Step()) == SQLITE_ROW) {
            const std::string owner = running.Text(0);
            if (!HistoryOwnerAlive(HistoryStation(), owner)) gone.insert(owner);
        }
        if (code != SQLITE_DONE) return m_db.FailStep("cannot read the history", code) || Failed();
    }
    if (gone.empty()) return true;
    if (!m_db.Begin()) return Failed();
    for (const std::string& owner : gone) {
        for (const char* sql :
             {"UPDATE boards SET result = 'interrupted', reason = ?3 WHERE result = 'running' AND run_id IN "
              "(SELECT id FROM runs WHERE result = 'running' AND station = ?1 AND owner = ?2)",
              "UPDATE runs SET result = 'interrupted', reason = ?3 WHERE result = 'running' AND station = ?1 AND owner = ?2"}) {
            CHistoryStatement update(m_db.Handle(), sql);
            update.Bind(1, HistoryStation());
            update.Bind(2, owner);
            update.Bind(3, std::string(kInterruptedReason));
            if (!StepOrRollBack(update)) return Failed();
        }
    }
    return m_db.Commit() || Failed();
}

bool CHistoryRecorder::StepOrRollBack(CHistoryStatement& statement)
{
    const int code = statement.Step();
    if (code == SQLITE_DONE) return true;
    m_db.FailStep("cannot write the history", code);
    m_db.Rollback();
    return false;
}

bool CHistoryRecorder::RunStarted(const RecordedRunStart& run)
{
    m_nRunId = -1;
    m_boardRows.clear();
    m_softwareBefore.clear();
    if (!Open()) return false;
    CHistoryStatement insert(m_db.Handle(),
                             "INSERT INTO runs (started, station, user, program, version, process, port, rate,"
                             " request, request_sha256, result, owner)"
                             " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, 'running', ?11)");
    insert.Bind(1, HistoryNow());
    insert.Bind(2, HistoryStation());
    insert.Bind(3, UserName());
    insert.Bind(4, m_writer.program);
    insert.Bind(5, m_writer.version);
    insert.Bind(6, std::string(HistoryProcessName(run.process)));
    insert.Bind(7, run.port);
    insert.Bind(8, static_cast<long long>(run.rate));
    if (run.request.empty()) {
        insert.BindNull(9);
        insert.BindNull(10);
    } else {
        insert.Bind(9, run.request);
        insert.Bind(10, HistoryFileSha256(run.request, kMaxRequestBytes));
    }
    insert.Bind(11, HistoryCurrentOwner());
    const int code = insert.Step();
    if (code != SQLITE_DONE) return m_db.FailStep("cannot write the history", code) || Failed();
    m_nRunId = sqlite3_last_insert_rowid(m_db.Handle());
    m_nLastRunId = m_nRunId;
    return true;
}

bool CHistoryRecorder::IdentAnswer(const RecordedIdent& ident)
{
    if (m_nRunId < 0 || !m_db.IsOpen()) return true;   // nothing to attach it to
    for (const auto& [line, software] : ident.lineSoftware) m_softwareBefore[line] = software;
    // One row per sentence of the answer, each ended by CR LF.
    std::vector<std::string> sentences;
    std::string answer;
    for (std::size_t start = 0; start < ident.reply.size() && sentences.size() < kMaxIdentRows;) {
        std::size_t end = ident.reply.find("\r\n", start);
        if (end == std::string::npos) end = ident.reply.size();
        if (end > start) {
            sentences.push_back(ident.reply.substr(start, end - start));
            answer += sentences.back() + "\r\n";
        }
        start = end + 2;
    }
    const std::vector<IdentReplyRow> rows = IdentReplyRows(answer);
    const std::string now = HistoryNow();
    if (!m_db.Begin()) return Failed();
    for (std::size_t i = 0; i < rows.size() && i < kMaxIdentRows; ++i) {
        CHistoryStatement insert(m_db.Handle(),
                                 "INSERT INTO idents (run_id, seen, after_restart, rate, row, number, hardware,"
                                 " software, port_letter, sentence) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
        insert.Bind(1, m_nRunId);
        insert.Bind(2, now);
        insert.Bind(3, ident.afterRestart ? 1LL : 0LL);
        insert.Bind(4, static_cast<long long>(ident.rate));
        insert.Bind(5, static_cast<long long>(i));
        insert.Bind(6, rows[i].number);
        insert.Bind(7, rows[i].hardware);
        insert.Bind(8, rows[i].software);
        insert.Bind(9, rows[i].port);
        insert.Bind(10, i < sentences.size() ? sentences[i] : std::string());
        if (!StepOrRollBack(insert)) return Failed();
    }
    // Boards already started learn the software they had before.
    for (const auto& [line, software] : ident.lineSoftware) {
        const auto row = m_boardRows.find(line);
        if (row == m_boardRows.end()) continue;
        CHistoryStatement update(m_db.Handle(), "UPDATE boards SET software_before = ?1 WHERE id = ?2");
        update.Bind(1, software);
        update.Bind(2, row->second);
        if (!StepOrRollBack(update)) return Failed();
    }
    return m_db.Commit() || Failed();
}

bool CHistoryRecorder::BoardStarted(const RecordedBoardStart& board)
{
    if (m_nRunId < 0 || !m_db.IsOpen()) return true;
    const QFileInfo release(QString::fromStdString(board.releasePath));
    CHistoryStatement insert(m_db.Handle(),
                             "INSERT INTO boards (run_id, line, board, environment, subassy_id, hardware,"
                             " software_before, software_wanted, release_path, release_size, release_sha256,"
                             " vle_sha256, rate, started, result)"
                             " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, 'running')");
    insert.Bind(1, m_nRunId);
    insert.Bind(2, static_cast<long long>(board.line));
    insert.Bind(3, board.board);
    insert.Bind(4, board.environment);
    insert.Bind(5, board.subassyId);
    insert.Bind(6, board.hardware);
    const auto before = m_softwareBefore.find(board.line);
    if (before != m_softwareBefore.end()) insert.Bind(7, before->second);
    else insert.BindNull(7);
    insert.Bind(8, board.softwareWanted);
    insert.Bind(9, board.releasePath);
    if (release.isFile()) insert.Bind(10, static_cast<long long>(release.size()));
    else insert.BindNull(10);
    insert.Bind(11, HistoryFileSha256(board.releasePath, kMaxReleaseBytes));
    insert.Bind(12, HistoryFileSha256(board.vlePath, kMaxReleaseBytes));
    insert.Bind(13, static_cast<long long>(board.rate));
    insert.Bind(14, HistoryNow());
    const int code = insert.Step();
    if (code != SQLITE_DONE) return m_db.FailStep("cannot write the history", code) || Failed();
    m_boardRows[board.line] = sqlite3_last_insert_rowid(m_db.Handle());
    return true;
}

bool CHistoryRecorder::BoardEnded(const RecordedBoardEnd& board)
{
    const auto row = m_boardRows.find(board.line);
    if (row == m_boardRows.end() || !m_db.IsOpen()) return true;
    CHistoryStatement update(m_db.Handle(),
                             "UPDATE boards SET software_after = ?1, ended = ?2, bytes_sent = ?3, resends = ?4,"
                             " seconds = ?5, result = ?6, result_code = ?7, result_text = ?8, reason = ?9 WHERE id = ?10");
    if (board.softwareAfter.empty()) update.BindNull(1);
    else update.Bind(1, board.softwareAfter);
    update.Bind(2, HistoryNow());
    update.Bind(3, board.bytes);
    update.Bind(4, static_cast<long long>(board.resends));
    update.Bind(5, static_cast<long long>(board.seconds));
    update.Bind(6, std::string(board.resultCode == RESULT_OK ? "ok" : "failed"));
    update.Bind(7, static_cast<long long>(board.resultCode));
    update.Bind(8, board.resultText);
    if (board.reason.empty()) update.BindNull(9);
    else update.Bind(9, board.reason);
    update.Bind(10, row->second);
    const int code = update.Step();
    m_boardRows.erase(row);
    if (code != SQLITE_DONE) return m_db.FailStep("cannot write the history", code) || Failed();
    return true;
}

bool CHistoryRecorder::RunEnded(const RecordedRunEnd& run)
{
    if (m_nRunId < 0 || !m_db.IsOpen()) return true;
    CHistoryStatement update(m_db.Handle(),
                             "UPDATE runs SET ended = ?1, result = ?2, reason = ?3, transfer_mode = ?4 WHERE id = ?5");
    update.Bind(1, HistoryNow());
    update.Bind(2, std::string(run.ok ? "ok" : "failed"));
    if (run.reason.empty()) update.BindNull(3);
    else update.Bind(3, run.reason);
    std::string boards;
    for (const std::string& board : run.transferMode) boards += (boards.empty() ? "" : "\n") + board;
    if (boards.empty()) update.BindNull(4);
    else update.Bind(4, boards);
    update.Bind(5, m_nRunId);
    const int code = update.Step();
    m_nRunId = -1;
    m_boardRows.clear();
    const bool ok = code == SQLITE_DONE || m_db.FailStep("cannot write the history", code) || Failed();
    m_db.Close();
    return ok;
}

std::vector<std::string> CHistoryRecorder::LeftInTransferMode(const std::string& port)
{
    std::vector<std::string> boards;
    CHistoryDb db;
    if (!db.OpenForReading(m_strPath)) return boards;
    CHistoryStatement last(db.Handle(),
                           "SELECT transfer_mode FROM runs WHERE port = ?1 AND process IN ('transfer', 'rescue transfer') "
                           "AND result <> 'running' ORDER BY id DESC LIMIT 1");
    last.Bind(1, port);
    if (last.Step() != SQLITE_ROW) return boards;
    const std::string names = last.Text(0);
    for (size_t start = 0; start < names.size();) {
        const size_t end = std::min(names.find('\n', start), names.size());
        if (end > start && boards.size() < kMaxBoardsLeftInMode) boards.push_back(names.substr(start, end - start));
        start = end + 1;
    }
    return boards;
}

bool CHistoryRecorder::AmendRunReason(const std::string& reason)
{
    if (m_nLastRunId < 0) return false;
    if (!m_db.OpenForWriting(m_strPath)) return Failed();
    CHistoryStatement update(m_db.Handle(), "UPDATE runs SET reason = ?1 WHERE id = ?2 AND result <> 'ok'");
    update.Bind(1, reason);
    update.Bind(2, m_nLastRunId);
    const int code = update.Step();
    const bool ok = code == SQLITE_DONE || m_db.FailStep("cannot write the history", code) || Failed();
    m_db.Close();
    return ok;
}
