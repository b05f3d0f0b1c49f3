// Plans of `tavrel-cli batch`. An accepted plan has 1 to 32 runs, each with a
// port and a request, every path made absolute, and settings that read back
// through `settings --set` as the plan wrote them; the check of the runs
// against the devices refuses what it cannot open and never lets two runs
// share a device or a log.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCommon.h"
#include "cli/BatchPlan.h"

namespace {

bool AbsoluteOrEmpty(const std::string& path) { return path.empty() || path.front() == '/'; }

void CheckSettings(const nlohmann::ordered_json& planned, const BatchRun& run)
{
    const nlohmann::ordered_json settings = planned.value("settings", nlohmann::ordered_json::object());
    FUZZ_CHECK(run.settings.size() == settings.size());
    size_t i = 0;
    for (const auto& [name, value] : settings.items()) {
        std::string section, key, text;
        FUZZ_CHECK(SplitSettingAssignment(run.settings[i++], section, key, text));
        FUZZ_CHECK(section + "/" + key == name);
        if (value.is_string()) FUZZ_CHECK(text == value.get<std::string>());
        if (value.is_boolean()) FUZZ_CHECK(text == (value.get<bool>() ? "YES" : "NO"));
        if (value.is_number_integer()) FUZZ_CHECK(text == value.dump());
    }
}

void CheckRuns(const nlohmann::ordered_json& plan, std::vector<BatchRun>& runs)
{
    FUZZ_CHECK(!runs.empty() && runs.size() <= kMaxBatchRuns);
    FUZZ_CHECK(runs.size() == plan["runs"].size());
    for (size_t i = 0; i < runs.size(); ++i) {
        const BatchRun& run = runs[i];
        FUZZ_CHECK(!run.port.empty() && !run.request.empty());
        FUZZ_CHECK(run.request.front() == '/');
        FUZZ_CHECK(AbsoluteOrEmpty(run.configDir) && AbsoluteOrEmpty(run.envDir) && AbsoluteOrEmpty(run.log));
        CheckSettings(plan["runs"][i], run);
    }

    const std::string port = std::string(FuzzScratchDir()) + "/port";
    std::vector<std::string> errors;
    if (!CheckBatchRuns(runs, {port}, FuzzScratchDir(), errors)) {
        FUZZ_CHECK(!errors.empty());
        return;
    }
    FUZZ_CHECK(errors.empty());
    for (size_t i = 0; i < runs.size(); ++i) {
        FUZZ_CHECK(runs[i].usable && !runs[i].device.empty() && !runs[i].portArg.empty() && !runs[i].log.empty());
        for (size_t j = 0; j < i; ++j) {
            FUZZ_CHECK(runs[i].device != runs[j].device);
            FUZZ_CHECK(runs[i].log != runs[j].log);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto plan = nlohmann::ordered_json::parse(data, data + size, nullptr, false);
    if (plan.is_discarded()) return 0;
    // The plan lies in the scratch directory, beside a request and a file
    // that stands for the device of COM1.
    const std::string dir = FuzzScratchDir();
    static const bool made = WriteScratchFile(dir + "/request.sfl", nullptr, 0) &&
                             WriteScratchFile(dir + "/port", nullptr, 0);
    FUZZ_CHECK(made);
    std::vector<BatchRun> runs;
    std::vector<std::string> errors;
    if (!ParseBatchPlan(plan, dir, runs, errors)) {
        FUZZ_CHECK(!errors.empty());
        return 0;
    }
    FUZZ_CHECK(errors.empty());
    CheckRuns(plan, runs);
    return 0;
}
