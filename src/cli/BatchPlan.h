#pragma once
// The plan of `tavrel-cli batch`: one transfer per port, run at the same
// time. Read and checked whole before anything is sent.
//
//   {"format": "tavrel-batch",
//    "runs": [{"port": "/dev/ttyUSB0", "request": "line1.sfl",
//              "settings": {"Times out/Between 2 write (ms.)": 0},
//              "config_dir": "...", "env_dir": "...", "log": "...",
//              "baud": 115200, "rescue": false}, ...]}
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

inline constexpr std::size_t kMaxBatchRuns = 32;

struct BatchRun {
    std::string port;        // as the plan writes it
    std::string portArg;     // what the run's --port gets: "COMn" or a path
    std::string device;      // the device it opens, symbolic links followed
    std::string request;     // path of the .sfl
    std::string configDir;   // settings read from here (empty: the program's own)
    std::string envDir;      // empty: the settings' environment directory
    std::string log;         // empty: the default beside the program's log
    std::vector<std::string> settings;   // "SECTION/KEY=VALUE", for this run only
    std::string baud;        // empty: the settings' rate
    bool rescue = false;
    bool usable = true;      // false once the plan names something wrong for this run
};

// "SECTION/KEY=VALUE", the form of a setting in a plan and after
// `settings --set`, cut into its three parts (the key ends at the first '='
// after the slash); false when the section or the key is missing.
bool SplitSettingAssignment(const std::string& text, std::string& section, std::string& key, std::string& value);

// Reads the runs of `plan` (relative paths are taken from the plan's
// directory). Every problem found is added to `errors`, naming its field
// ("runs[1].port: ..."); a run with one is not usable. False when there was
// any. A plan of another format is not read further.
bool ParseBatchPlan(const nlohmann::ordered_json& plan, const std::string& planDir, std::vector<BatchRun>& runs,
                    std::vector<std::string>& errors);
// Resolves the port of every usable run to its device (a COMn through
// `comDevices`, COM1 at index 0), gives a run without a log its default one
// in `logDir` (BatchLogName), and adds a problem for each port that does not
// exist, a missing request or directory, and a device or log that two runs
// share; a run with one is no longer usable. False when there was any.
bool CheckBatchRuns(std::vector<BatchRun>& runs, const std::vector<std::string>& comDevices,
                    const std::string& logDir, std::vector<std::string>& errors);
// "runs[2]": how a problem of run 2 names its place.
std::string RunPlace(std::size_t index);
// "Tavrel-ttyUSB0.log" for /dev/ttyUSB0: the default log of a run.
std::string BatchLogName(const std::string& device);
