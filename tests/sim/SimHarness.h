#pragma once
// Runs tavrel-sim as a child process and talks to it through its
// pseudo-terminal like a small scripted program would.
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "link/DataRecord.h"

namespace simtest {

using namespace std::chrono_literals;

class SimProcess {
public:
    SimProcess();
    ~SimProcess();

    // Starts the simulator on the given receiver JSON; false when it does not
    // print its ready line.
    bool Start(const std::string& receiverJson, const std::vector<std::string>& extraArgs = {});
    // Ends it with SIGTERM; returns its exit status (-1 on a crash).
    int Stop();
    void Signal(int number) const;

    // Sets the line's rate and waits `settle` before anything is sent.
    bool SetRate(long rate, std::chrono::milliseconds settle = 200ms);
    void Send(const std::string& sentence);        // adds CR LF
    void SendBytes(const std::string& bytes);
    void SendRecord(const DataRecord& record);

    // Reads sentences (without CR LF) until `count` arrived or the time is up.
    std::vector<std::string> ReadSentences(size_t count, std::chrono::milliseconds limit = 2000ms);
    // Reads until a record arrives; false when none came in time.
    bool ReadRecord(DataRecord& record, std::chrono::milliseconds limit = 2000ms);
    // Everything that arrives within the time.
    std::string Drain(std::chrono::milliseconds limit);

    nlohmann::json Stats() const;
    // The summary once `holds` is true of it (the simulator rewrites it at
    // most ten times a second), or the last one read when the time is up.
    nlohmann::json StatsWhen(const std::function<bool(const nlohmann::json&)>& holds,
                             std::chrono::milliseconds limit = 2000ms) const;
    const std::filesystem::path& Dir() const { return m_dir; }
    const std::string& Device() const { return m_device; }

private:
    void Pump(std::chrono::milliseconds limit);

    std::filesystem::path m_dir;
    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_device;
    std::string m_received;   // bytes not yet cut into sentences or records
};

// Builds a record with the given destination and kind indexes.
DataRecord MakeRecord(char type, int dest, int kind, uint32_t value, uint32_t address = 0,
                      const std::vector<uint8_t>& data = {});

// Splits a sentence at its commas.
std::vector<std::string> Fields(const std::string& sentence);

}  // namespace simtest
