#include "history/HistoryDb.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <thread>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Schema steps: step i takes a file of version i to version i + 1.
const std::array<const char*, HISTORY_SCHEMA_VERSION> kMigrations = {
    // 0 -> 1: runs, board loads and identification answers.
    "CREATE TABLE runs ("
    "  id INTEGER PRIMARY KEY,"
    "  started TEXT NOT NULL, ended TEXT,"
    "  station TEXT NOT NULL, user TEXT NOT NULL, program TEXT NOT NULL, version TEXT NOT NULL,"
    "  process TEXT NOT NULL, port TEXT NOT NULL, rate INTEGER,"
    "  request TEXT, request_sha256 TEXT,"
    "  result TEXT NOT NULL, reason TEXT,"
    "  owner TEXT NOT NULL);"
    "CREATE TABLE boards ("
    "  id INTEGER PRIMARY KEY,"
    "  run_id INTEGER NOT NULL REFERENCES runs(id),"
    "  line INTEGER NOT NULL, board TEXT NOT NULL, environment TEXT,"
    "  subassy_id TEXT, hardware TEXT,"
    "  software_before TEXT, software_wanted TEXT, software_after TEXT,"
    "  release_path TEXT, release_size INTEGER, release_sha256 TEXT, vle_sha256 TEXT,"
    "  rate INTEGER, started TEXT NOT NULL, ended TEXT,"
    "  bytes_sent INTEGER, resends INTEGER, seconds INTEGER,"
    "  result TEXT NOT NULL, result_code INTEGER, result_text TEXT, reason TEXT);"
    "CREATE TABLE idents ("
    "  id INTEGER PRIMARY KEY,"
    "  run_id INTEGER NOT NULL REFERENCES runs(id),"
    "  seen TEXT NOT NULL, after_restart INTEGER NOT NULL, rate INTEGER,"
    "  row INTEGER NOT NULL, number TEXT, hardware TEXT, software TEXT, port_letter TEXT,"
    "  sentence TEXT NOT NULL);"
    "CREATE INDEX boards_by_board ON boards(board COLLATE NOCASE, started);"
    "CREATE INDEX boards_by_started ON boards(started);"
    "CREATE INDEX boards_by_run ON boards(run_id);"
    "CREATE INDEX runs_by_started ON runs(started);"
    "CREATE INDEX runs_running ON runs(owner) WHERE result = 'running';"
    "CREATE INDEX idents_by_run ON idents(run_id);",
    // 1 -> 2: the boards a failed transfer left in transfer mode, one name a line.
    "ALTER TABLE runs ADD COLUMN transfer_mode TEXT;",
};

bool IsDamage(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// Serialises the opening checks of the writers (damage, creation,
// migration) with a lock file beside the history; none when the directory
// cannot hold one (a read-only directory: nothing will be written anyway).
class COpenLock {
public:
    explicit COpenLock(const std::string& path)
    {
        m_fd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd >= 0) ::flock(m_fd, LOCK_EX);
    }
    ~COpenLock()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    COpenLock(const COpenLock&) = delete;
    COpenLock& operator=(const COpenLock&) = delete;

private:
    int m_fd = -1;
};

// Waits for another writer in short steps until HISTORY_BUSY_TIMEOUT_MS
// have passed since the first refusal. SQLite's own busy time-out sleeps up
// to 100 ms between attempts, so among many writers one that waits long
// keeps losing the lock to those that ask often; short steps share it.
int RetryWhileBusy(void* since, int attempt)
{
    auto& first = *static_cast<std::chrono::steady_clock::time_point*>(since);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) first = now;
    if (now - first >= std::chrono::milliseconds(HISTORY_BUSY_TIMEOUT_MS)) return 0;
    std::this_thread::sleep_for(std::chrono::microseconds(500 + 250 * (attempt % 8)));
    return 1;
}

}  // namespace

// --- statements ----------------------------------------------------------------------

CHistoryStatement::CHistoryStatement(sqlite3* db, const std::string& sql)
{
    if (db == nullptr || sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_pStmt, nullptr) != SQLITE_OK)
        m_pStmt = nullptr;
}

CHistoryStatement::~CHistoryStatement()
{
    sqlite3_finalize(m_pStmt);
}

void CHistoryStatement::Bind(int index, const std::string& text)
{
    const std::string bounded = HistoryBounded(text);
    sqlite3_bind_text(m_pStmt, index, bounded.data(), static_cast<int>(bounded.size()), SQLITE_TRANSIENT);
}

void CHistoryStatement::Bind(int index, long long value)
{
    sqlite3_bind_int64(m_pStmt, index, value);
}

void CHistoryStatement::BindNull(int index)
{
    sqlite3_bind_null(m_pStmt, index);
}

int CHistoryStatement::Step()
{
    return m_pStmt != nullptr ? sqlite3_step(m_pStmt) : SQLITE_MISUSE;
}

std::string CHistoryStatement::Text(int column) const
{
    const unsigned char* text = sqlite3_column_text(m_pStmt, column);
    const int size = sqlite3_column_bytes(m_pStmt, column);
    // A file made elsewhere may hold longer texts than this program writes.
    return text != nullptr ? HistoryBounded(std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size)))
                           : std::string();
}

long long CHistoryStatement::Int(int column) const
{
    return sqlite3_column_int64(m_pStmt, column);
}

bool CHistoryStatement::IsNull(int column) const
{
    return sqlite3_column_type(m_pStmt, column) == SQLITE_NULL;
}

// --- the file ------------------------------------------------------------------------

CHistoryDb::~CHistoryDb()
{
    Close();
}

void CHistoryDb::Close()
{
    if (m_pDb != nullptr) sqlite3_close_v2(m_pDb);
    m_pDb = nullptr;
}

bool CHistoryDb::Fail(const std::string& what)
{
    const int code = m_pDb != nullptr ? sqlite3_extended_errcode(m_pDb) : SQLITE_CANTOPEN;
    return FailStep(what, code);
}

bool CHistoryDb::FailStep(const std::string& what, int code)
{
    const int primary = code & 0xFF;
    std::string why;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        why = "locked by another program for more than " + std::to_string(HISTORY_BUSY_TIMEOUT_MS / 1000) + " s";
    else if (primary == SQLITE_READONLY)
        why = "read-only";
    else if (IsDamage(code))
        why = "damaged";
    else if (m_pDb != nullptr)
        why = sqlite3_errmsg(m_pDb);
    else
        why = sqlite3_errstr(code);
    const bool state = primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_READONLY || IsDamage(code);
    m_strError = what + ": " + m_strPath + (state ? " is " : ": ") + why;
    return false;
}

bool CHistoryDb::Exec(const std::string& sql)
{
    char* message = nullptr;
    const int code = sqlite3_exec(m_pDb, sql.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    return code == SQLITE_OK || Fail("cannot write the history");
}

bool CHistoryDb::Begin()
{
    return Exec("BEGIN IMMEDIATE");
}

bool CHistoryDb::Commit()
{
    if (Exec("COMMIT")) return true;
    Rollback();
    return false;
}

void CHistoryDb::Rollback()
{
    sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool CHistoryDb::OpenWritable()
{
    Close();
    const int code = sqlite3_open_v2(m_strPath.c_str(), &m_pDb,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        FailStep("cannot open the history", code);
        Close();
        return false;
    }
    sqlite3_busy_handler(m_pDb, RetryWhileBusy, &m_busySince);
    sqlite3_extended_result_codes(m_pDb, 1);
    return true;
}

// Reads the header and the schema, and checks the pages: true when the file
// is sound; false with the error code in `damage` when it is damaged.
bool CHistoryDb::CheckAndPrepare()
{
    CHistoryStatement version(m_pDb, "PRAGMA user_version");
    int code = version.Ok() ? version.Step() : sqlite3_extended_errcode(m_pDb);
    if (code != SQLITE_ROW) return FailStep("cannot read the history", code);
    m_nSchemaVersion = static_cast<int>(version.Int(0));
    CHistoryStatement check(m_pDb, "PRAGMA quick_check(1)");
    code = check.Ok() ? check.Step() : sqlite3_extended_errcode(m_pDb);
    if (code != SQLITE_ROW) return FailStep("cannot read the history", code);
    if (check.Text(0) != "ok") return FailStep("cannot read the history", SQLITE_CORRUPT);
    return true;
}

bool CHistoryDb::MoveAside()
{
    Close();
    const std::string stamp = HistoryNow();
    std::string aside = m_strPath + ".damaged-";
    for (char c : stamp)
        if (c != ':' && c != '-') aside += c;
    std::error_code ec;
    fs::rename(m_strPath, aside, ec);
    if (ec) {
        m_strError = "the history " + m_strPath + " is damaged and cannot be moved aside: " + ec.message();
        return false;
    }
    // Its journal belongs to it.
    for (const char* suffix : {"-wal", "-shm"}) {
        std::error_code ignored;
        if (fs::exists(m_strPath + suffix, ignored)) fs::rename(m_strPath + suffix, aside + suffix, ignored);
    }
    m_strMovedAside = aside;
    return true;
}

bool CHistoryDb::CreateOrMigrate()
{
    if (m_nSchemaVersion > HISTORY_SCHEMA_VERSION) {
        m_strError = "cannot write the history: " + m_strPath + " was made by a newer Tavrel (schema " +
                     std::to_string(m_nSchemaVersion) + ")";
        return false;
    }
    if (m_nSchemaVersion == HISTORY_SCHEMA_VERSION) return true;
    // WAL lets readers and writers of several programs work at once; it is
    // a property of the file, set once.
    {
        CHistoryStatement wal(m_pDb, "PRAGMA journal_mode=WAL");
        const int code = wal.Step();
        if (code != SQLITE_ROW) return FailStep("cannot write the history", code);
    }
    if (!Begin()) return false;
    CHistoryStatement version(m_pDb, "PRAGMA user_version");
    if (version.Step() != SQLITE_ROW) {
        Rollback();
        return Fail("cannot write the history");
    }
    // Another writer may have migrated it meanwhile.
    for (int v = static_cast<int>(version.Int(0)); v < HISTORY_SCHEMA_VERSION; ++v) {
        if (!Exec(kMigrations[static_cast<size_t>(v)])) {
            Rollback();
            return false;
        }
    }
    if (!Exec("PRAGMA user_version = " + std::to_string(HISTORY_SCHEMA_VERSION))) {
        Rollback();
        return false;
    }
    if (!Commit()) return false;
    m_nSchemaVersion = HISTORY_SCHEMA_VERSION;
    return true;
}

bool CHistoryDb::OpenForWriting(const std::string& path)
{
    m_strPath = path;
    m_strError.clear();
    m_strMovedAside.clear();
    m_bMissing = false;
    std::error_code ec;
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    COpenLock lock(path);
    if (!OpenWritable()) return false;
    if (!CheckAndPrepare()) {
        const int code = sqlite3_extended_errcode(m_pDb);
        const bool damaged = m_strError.find(" is damaged") != std::string::npos || IsDamage(code);
        if (!damaged) {
            Close();
            return false;
        }
        if (!MoveAside() || !OpenWritable() || !CheckAndPrepare()) {
            Close();
            return false;
        }
    }
    if (sqlite3_db_readonly(m_pDb, "main") == 1) {
        FailStep("cannot write the history", SQLITE_READONLY);
        Close();
        return false;
    }
    if (!CreateOrMigrate()) {
        Close();
        return false;
    }
    return true;
}

bool CHistoryDb::OpenForReading(const std::string& path)
{
    Close();
    m_strPath = path;
    m_strError.clear();
    std::error_code ec;
    m_bMissing = !fs::exists(path, ec);
    if (m_bMissing) {
        m_strError = "no history yet: " + path + " does not exist";
        return false;
    }
    const int code = sqlite3_open_v2(path.c_str(), &m_pDb, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        FailStep("cannot read the history", code);
        Close();
        return false;
    }
    sqlite3_busy_handler(m_pDb, RetryWhileBusy, &m_busySince);
    sqlite3_extended_result_codes(m_pDb, 1);
    CHistoryStatement version(m_pDb, "PRAGMA user_version");
    const int step = version.Ok() ? version.Step() : sqlite3_extended_errcode(m_pDb);
    if (step != SQLITE_ROW) {
        FailStep("cannot read the history", step);
        Close();
        return false;
    }
    m_nSchemaVersion = static_cast<int>(version.Int(0));
    if (m_nSchemaVersion < 1) {
        m_strError = "no history yet: " + path + " holds no runs";
        m_bMissing = true;
        Close();
        return false;
    }
    return true;
}

// --- texts ---------------------------------------------------------------------------

std::string HistoryTimeText(std::int64_t secondsSince1970)
{
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string HistoryNow()
{
    return HistoryTimeText(static_cast<std::int64_t>(std::time(nullptr)));
}

std::string HistoryBounded(const std::string& text)
{
    if (text.size() <= HISTORY_MAX_TEXT) return text;
    std::size_t end = HISTORY_MAX_TEXT;
    // Not in the middle of a UTF-8 sequence.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}
