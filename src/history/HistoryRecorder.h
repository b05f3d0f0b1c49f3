#pragma once
// CHistoryRecorder: keeps the record of every run in the history file. Each
// call is one short transaction, so a crash or a power cut leaves the rows
// written so far: a run or board still "running" whose program is gone is
// "interrupted". The file is opened at the start of each run and closed at
// its end.
#include <functional>
#include <map>
#include <string>

#include "engine/ProcessRecorder.h"
#include "history/HistoryDb.h"

// Who writes the rows.
struct HistoryWriterInfo {
    std::string program;   // "tavrel-cli", "tavrel"
    std::string version;   // the program's version text
};

class CHistoryRecorder : public CProcessRecorder {
public:
    CHistoryRecorder(std::string path, HistoryWriterInfo writer);

    bool RunStarted(const RecordedRunStart& run) override;
    bool IdentAnswer(const RecordedIdent& ident) override;
    bool BoardStarted(const RecordedBoardStart& board) override;
    bool BoardEnded(const RecordedBoardEnd& board) override;
    bool RunEnded(const RecordedRunEnd& run) override;
    std::vector<std::string> LeftInTransferMode(const std::string& port) override;
    std::string LastError() const override { return m_strError; }

    // Replaces the reason of the last run (a host may know it better than
    // the engine's message). False when no run was recorded.
    bool AmendRunReason(const std::string& reason);

    // Told when a damaged history was moved aside and a new one started.
    std::function<void(const std::string&)> onNotice;

    const std::string& Path() const { return m_strPath; }
    long long RunId() const { return m_nRunId; }
    // The damaged file moved aside at the last opening; empty when none.
    const std::string& MovedAside() const { return m_strMovedAside; }

private:
    bool Open();
    bool Failed();
    bool MarkAbandonedRuns();
    // Runs a statement of the open transaction; when it fails, the
    // transaction is rolled back and the reason kept.
    bool StepOrRollBack(CHistoryStatement& statement);

    std::string m_strPath;
    HistoryWriterInfo m_writer;
    CHistoryDb m_db;
    std::string m_strError;
    std::string m_strMovedAside;
    long long m_nRunId = -1;
    long long m_nLastRunId = -1;
    std::map<int, long long> m_boardRows;        // board line -> its row
    std::map<int, std::string> m_softwareBefore; // board line -> software first seen
};

// The owner of a row: this program, told apart from a later one with the
// same process id ("pid:start time").
std::string HistoryCurrentOwner();
// The station (host name) rows are written on.
std::string HistoryStation();
// Whether the program that owns a "running" row of `station` still runs;
// true for another station (nothing can be known of it).
bool HistoryOwnerAlive(const std::string& station, const std::string& owner);
// SHA-256 of a regular file in hex; empty when it cannot be read or is
// larger than `maxBytes`.
std::string HistoryFileSha256(const std::string& path, long long maxBytes);
