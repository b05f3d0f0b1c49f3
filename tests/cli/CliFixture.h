#pragma once
// tavrel-cli against tavrel-sim: a temporary directory with fast settings, the
// demo environment (CPU cabled to the PC, GPS behind its port B), requests
// written through `tavrel-cli request import`, releases made with objcopy,
// and the simulator on a pseudo-terminal reached through a symbolic link.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/SimProcess.h"
#include "common/TempDir.h"

struct CliResult {
    int code = -1;
    std::string out;   // standard output
    std::string err;   // standard error
    std::string Both() const { return out + err; }
};

// A receiver started for a test: its device and the files it writes.
struct SimReceiver {
    std::unique_ptr<CSimProcess> process;
    std::string tty;      // the symbolic link (dir/<name>.tty)
    std::string device;   // the pseudo-terminal itself
    std::string images;   // directory of the boards' images
    std::string stats;    // JSON summary
};

class CliE2E : public ::testing::Test {
protected:
    void SetUp() override;

    // The demo receiver: CPU (9600, port B 19200) and GPS behind it.
    static nlohmann::json DemoReceiver();
    // Starts a simulator on `receiver` (named `name`); `pace` makes it read at the line's rate.
    const SimReceiver& StartSim(const nlohmann::json& receiver, const std::string& name = "sim", bool pace = false);
    // A line of the demo request for board "CPU" or "GPS" with this release file.
    static nlohmann::json RequestLine(const std::string& board, const std::string& release);
    // Writes `lines` as a .sfl through `tavrel-cli request import`; its path.
    std::string WriteRequest(const std::string& name, const nlohmann::json& lines);
    // Random bytes at `address` as S-records beside the requests; the .bin
    // keeps the bytes for comparison.
    std::string MakeRelease(const std::string& name, size_t bytes, unsigned address);
    // The simulator's image of a board equals the release made by MakeRelease.
    bool ImageEquals(const SimReceiver& sim, const std::string& board, const std::string& release) const;

    // tavrel-cli with the test's settings directory and log, stdin from
    // /dev/null; `environment` adds variables ("NAME=value").
    CliResult Cli(const std::vector<std::string>& args, const std::vector<std::string>& environment = {}) const;
    std::string ReadText(const std::string& path) const;
    std::string Log() const { return ReadText(logPath); }
    // Adds "key=value" to a section of Tavrel.ini (before the first Cli call that needs it).
    void Setting(const std::string& section, const std::string& line);
    void WriteSettings();

    CTempDir dir;
    std::string configDir, envDir, requestDir, logPath;
    std::map<std::string, std::vector<std::string>> settings;   // section -> lines, in order
    std::vector<std::string> sectionOrder;
    std::deque<SimReceiver> sims;   // references stay valid as receivers are added
};

// A pseudo-terminal with nothing behind it: a port whose cable leads nowhere.
class DeadLine {
public:
    DeadLine();
    ~DeadLine();
    DeadLine(const DeadLine&) = delete;
    DeadLine& operator=(const DeadLine&) = delete;
    const std::string& Device() const { return m_device; }
    // Bytes as if the device behind the port sent them.
    void Write(const std::string& bytes);

private:
    int m_master = -1;
    std::string m_device;
};

// The events of a --progress-json stream, one JSON object a line (a line
// that is not JSON becomes a discarded value).
std::vector<nlohmann::json> Events(const std::string& text);

// Runs `program` with `args` (and extra environment) to its end; stdin /dev/null.
CliResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& environment = {});
