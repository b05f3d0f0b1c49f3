#pragma once
// The history of this run of tavrel-cli: the recorder a process command
// gives its engine (none when the setting "Transfer history" is NO). When the
// history cannot be written, the terminal and the log say so and why; the
// process goes on.
#include <memory>
#include <string>

class CProcessEngine;
class CHistoryRecorder;

// --history FILE, else the default path (Paths.h).
std::string CliHistoryPath();

class CCliHistory {
public:
    explicit CCliHistory(CProcessEngine& engine);
    ~CCliHistory();
    CCliHistory(const CCliHistory&) = delete;
    CCliHistory& operator=(const CCliHistory&) = delete;

    // The reason of a failed run as tavrel-cli words it.
    void AmendReason(const std::string& reason);

private:
    CProcessEngine& m_engine;
    std::unique_ptr<CHistoryRecorder> m_pRecorder;
};
