#pragma once
// The progress of a process as tavrel-cli shows it. On a terminal: one line
// per phase (scan, transfer mode, erase, data, checksum, restart) with the
// board, the data phase's line redrawn in place with the percentage, bytes
// sent of the total, line rate, effective rate, resends and the time left
// (from the rate measured so far, so it converges to the truth). Without a
// terminal: the phase lines and one plain data line every few seconds.
// --progress-json: one JSON event per line for other programs. It also keeps
// what the summary and the reason of a failure need.
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "cli/CliOutcome.h"
#include <vector>

#include <QTimer>

#include <nlohmann/json.hpp>

#include "engine/ProcessProgress.h"

class CProcessEngine;
class CSerialLink;
class CUpdateDoc;

class CProcessWatch {
public:
    using Clock = std::chrono::steady_clock;

    // Progress lines on stderr unless `quiet`; redrawn in place only on a
    // terminal and without `verbose` (whose log lines would cut into them).
    // `events`: where the JSON events go (null: nowhere).
    CProcessWatch(CProcessEngine& engine, bool quiet, bool verbose, std::ostream* events);
    ~CProcessWatch();
    CProcessWatch(const CProcessWatch&) = delete;
    CProcessWatch& operator=(const CProcessWatch&) = delete;

    // Ends an open line; writes the board and end events.
    void Finish(const CUpdateDoc& doc, bool ok, const std::string& reason);

    // One board line's figures: its data, wall time from its first phase to
    // the next line's (or the end), and their ratio.
    struct BoardFigures {
        int line = -1;
        std::string board;
        long long bytes = 0;
        long long total = 0;
        long resends = 0;
        double seconds = 0;
        double BytesPerSecond() const { return seconds > 0 ? bytes / seconds : 0; }
    };
    const std::vector<BoardFigures>& Figures() const { return m_figures; }
    // "GPS: 6000 bytes in 11.2 s, 535 B/s" for every board line that got to its data.
    std::vector<std::string> SummaryLines() const;

    // What the process got to: the last phase reported (-1: none) and the
    // answer the connected board was identified with (empty: none).
    int LastPhase() const { return m_nLastPhase; }
    const std::string& LastBoard() const { return m_strLastBoard; }
    const std::string& IdentReply() const { return m_strIdentReply; }

private:
    void OnProgress(const ProcessProgress& progress);
    void OnScanRate(const std::string& port, int rate);
    void ShowPhase(const ProcessProgress& progress, const std::string& detail);
    void ShowData(const ProcessProgress& progress, bool force);
    void WriteLine(const std::string& text, bool inPlace);
    void EndOpenLine();
    void Event(nlohmann::json event);
    std::string Prefix(const ProcessProgress& progress) const;
    double Seconds(Clock::time_point from) const;

    CProcessEngine& m_engine;
    bool m_bShow;
    bool m_bInPlace;
    std::ostream* m_pEvents;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_dataStart{};
    Clock::time_point m_lastDataAt{};   // the last record of the data phase
    Clock::time_point m_lastDataLine{};
    Clock::time_point m_lastDataEvent{};
    bool m_bLineOpen = false;
    int m_nLastPhase = -1;
    int m_nLastLine = -2;
    std::string m_strLastBoard;
    std::string m_strIdentReply;
    ProcessProgress m_last;
    std::vector<BoardFigures> m_figures;
    Clock::time_point m_boardStart{};
};

// Every line the log receives, echoed on stderr as it is written (-v): the
// log file is read from where it ended when the echo started, every tenth
// of a second while the event loop runs, and once more at the end.
class CLogEcho {
public:
    explicit CLogEcho(const std::string& logPath);
    ~CLogEcho();
    void Flush();

private:
    std::string m_strPath;
    long long m_nOffset = 0;
    QTimer m_timer;
};

// Why a transfer failed, with the next step: from the watch, the engine's
// end message, the link and the request. Empty when it did not fail.
std::string TransferFailureReason(const CProcessWatch& watch, const CProcessEngine& engine, const CUpdateDoc& doc,
                                  const CSerialLink& link);
// The whole end of a failed transfer of `request`: its reason, what the
// receiver is left as and the next step. Empty when it did not fail.
FailureEnd TransferFailureEnd(const CProcessWatch& watch, const CProcessEngine& engine, const CUpdateDoc& doc,
                              const CSerialLink& link, const std::string& request);
