#pragma once
// The history file: one SQLite database (history.sqlite) shared by every
// Tavrel program of the station, written by many processes at once (WAL
// journal, a busy time-out, one short transaction per write). Its schema
// version is PRAGMA user_version; older files are migrated when opened for
// writing. A file that is not a database or fails its check is moved aside
// (history.sqlite.damaged-<UTC time>) and a new one is started.
#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// How long a writer waits for another one before it gives up (milliseconds).
inline constexpr int HISTORY_BUSY_TIMEOUT_MS = 5000;
// Schema version this program writes.
inline constexpr int HISTORY_SCHEMA_VERSION = 2;
// Longest text kept in one field; longer texts are cut.
inline constexpr std::size_t HISTORY_MAX_TEXT = 4096;

// A prepared statement with its values bound as parameters.
class CHistoryStatement {
public:
    CHistoryStatement(sqlite3* db, const std::string& sql);
    ~CHistoryStatement();
    CHistoryStatement(const CHistoryStatement&) = delete;
    CHistoryStatement& operator=(const CHistoryStatement&) = delete;

    bool Ok() const { return m_pStmt != nullptr; }
    // Parameters count from 1.
    void Bind(int index, const std::string& text);
    void Bind(int index, long long value);
    void BindNull(int index);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    std::string Text(int column) const;
    long long Int(int column) const;
    bool IsNull(int column) const;

private:
    sqlite3_stmt* m_pStmt = nullptr;
};

class CHistoryDb {
public:
    CHistoryDb() = default;
    ~CHistoryDb();
    CHistoryDb(const CHistoryDb&) = delete;
    CHistoryDb& operator=(const CHistoryDb&) = delete;

    // Opens (creating when missing) for writing: creates or migrates the
    // schema, moves a damaged file aside first. False with Error().
    bool OpenForWriting(const std::string& path);
    // Opens an existing file for reading. False with Error(); Missing() when
    // there is no file at all.
    bool OpenForReading(const std::string& path);
    void Close();
    bool IsOpen() const { return m_pDb != nullptr; }

    sqlite3* Handle() const { return m_pDb; }
    const std::string& Path() const { return m_strPath; }
    const std::string& Error() const { return m_strError; }
    bool Missing() const { return m_bMissing; }
    // The damaged file moved aside when this one was opened; empty when none.
    const std::string& MovedAside() const { return m_strMovedAside; }
    int SchemaVersion() const { return m_nSchemaVersion; }

    // Runs `sql` (no parameters). False with Error().
    bool Exec(const std::string& sql);
    // BEGIN IMMEDIATE (the write lock now, so no deadlock on upgrade) / COMMIT / ROLLBACK.
    bool Begin();
    bool Commit();
    void Rollback();
    // The error of the last failed call, in words, with the file's name.
    bool Fail(const std::string& what);
    bool FailStep(const std::string& what, int code);

private:
    bool OpenWritable();
    bool CheckAndPrepare();
    bool MoveAside();
    bool CreateOrMigrate();

    sqlite3* m_pDb = nullptr;
    std::string m_strPath;
    std::string m_strError;
    std::string m_strMovedAside;
    bool m_bMissing = false;
    int m_nSchemaVersion = 0;
    std::chrono::steady_clock::time_point m_busySince{};   // first refusal of the current wait
};

// The current time as stored: "YYYY-MM-DDTHH:MM:SSZ" (UTC).
std::string HistoryNow();
// A UTC time in seconds since 1970 as stored.
std::string HistoryTimeText(std::int64_t secondsSince1970);
// Text cut to HISTORY_MAX_TEXT bytes (at a UTF-8 character boundary).
std::string HistoryBounded(const std::string& text);
