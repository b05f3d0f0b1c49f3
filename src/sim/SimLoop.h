#pragma once
// The simulator's run: the pseudo-terminal, the poll() loop that moves bytes
// between it and the simulated receiver, signals, pacing and the output files.
#include <string>

namespace sim {

struct SimOptions {
    std::string receiverFile;
    std::string linkPath;
    std::string imageDir;
    std::string statsFile;
    std::string logFile;
    bool pace = false;
};

// Exit codes of tavrel-sim.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitBadInput = 2;

// Runs until SIGTERM or SIGINT; returns the exit code.
int RunSimulator(const SimOptions& options);

}  // namespace sim
