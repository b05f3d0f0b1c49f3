// Reading and checking the plan of `tavrel-cli batch`.
#include "cli/BatchPlan.h"

#include <filesystem>
#include <set>

#include "link/PortList.h"
#include "link/PortSetup.h"

namespace {

using Json = nlohmann::ordered_json;

const char* const kFormat = "tavrel-batch";
const char* const kRunFields[] = {"port", "request", "settings", "config_dir", "env_dir", "log", "baud", "rescue"};

std::string Absolute(const std::string& path, const std::string& base)
{
    if (path.empty() || path.front() == '/') return path;
    return (std::filesystem::path(base) / path).lexically_normal().string();
}

// A text field; a missing required field or a wrong value adds its problem.
bool Text(const Json& run, const char* field, const std::string& where, bool required, std::string& out,
          std::vector<std::string>& errors)
{
    const auto it = run.find(field);
    if (it == run.end()) {
        if (required) errors.push_back(where + ": \"" + field + "\" is missing");
        return !required;
    }
    if (!it->is_string() || it->get<std::string>().empty()) {
        errors.push_back(where + "." + field + ": a non-empty text is expected");
        return false;
    }
    out = it->get<std::string>();
    return true;
}

// One value of "settings" as `settings --set` takes it; false when it is of no such kind.
bool SettingText(const Json& value, std::string& text)
{
    if (value.is_string()) text = value.get<std::string>();
    else if (value.is_boolean()) text = value.get<bool>() ? "YES" : "NO";
    else if (value.is_number_unsigned()) text = std::to_string(value.get<unsigned long long>());
    else if (value.is_number_integer()) text = std::to_string(value.get<long long>());
    else return false;
    return true;
}

// "settings": {"SECTION/KEY": value}; numbers as written, switches YES / NO.
bool Settings(const Json& run, const std::string& where, std::vector<std::string>& out,
              std::vector<std::string>& errors)
{
    const auto it = run.find("settings");
    if (it == run.end()) return true;
    if (!it->is_object()) {
        errors.push_back(where + ".settings: an object of \"SECTION/KEY\": value is expected");
        return false;
    }
    bool ok = true;
    for (const auto& [key, value] : it->items()) {
        const std::size_t slash = key.find('/');
        std::string text;
        if (slash == std::string::npos || slash == 0 || slash + 1 == key.size() || key.find('=') != std::string::npos) {
            errors.push_back(where + ".settings: \"" + key + "\" is not SECTION/KEY");
            ok = false;
        } else if (!SettingText(value, text)) {
            errors.push_back(where + ".settings." + key + ": a text, a whole number or true/false is expected");
            ok = false;
        } else {
            out.push_back(key + "=" + text);
        }
    }
    return ok;
}

// Every field of a run not among kRunFields adds its problem.
bool KnownFields(const Json& run, const std::string& where, std::vector<std::string>& errors)
{
    bool ok = true;
    for (const auto& [key, value] : run.items()) {
        (void)value;
        if (std::find(std::begin(kRunFields), std::end(kRunFields), key) == std::end(kRunFields)) {
            errors.push_back(where + "." + key + ": unknown field");
            ok = false;
        }
    }
    return ok;
}

bool Baud(const Json& run, const std::string& where, std::string& out, std::vector<std::string>& errors)
{
    const auto baud = run.find("baud");
    if (baud == run.end()) return true;
    if (!baud->is_number_unsigned()) {
        errors.push_back(where + ".baud: a rate in bit/s is expected");
        return false;
    }
    out = std::to_string(baud->get<unsigned long long>());
    return true;
}

bool Rescue(const Json& run, const std::string& where, bool& out, std::vector<std::string>& errors)
{
    const auto rescue = run.find("rescue");
    if (rescue == run.end()) return true;
    if (!rescue->is_boolean()) {
        errors.push_back(where + ".rescue: true or false is expected");
        return false;
    }
    out = rescue->get<bool>();
    return true;
}

// Reads every field of one run, adding a problem for each that is wrong;
// true when there was none.
bool ParseRun(const Json& run, const std::string& where, const std::string& planDir, BatchRun& out,
              std::vector<std::string>& errors)
{
    if (!run.is_object()) {
        errors.push_back(where + ": an object is expected");
        return false;
    }
    // Each field is read even after a wrong one, so that all are told at once.
    bool ok = KnownFields(run, where, errors);
    ok = Text(run, "port", where, true, out.port, errors) && ok;
    ok = Text(run, "request", where, true, out.request, errors) && ok;
    ok = Text(run, "config_dir", where, false, out.configDir, errors) && ok;
    ok = Text(run, "env_dir", where, false, out.envDir, errors) && ok;
    ok = Text(run, "log", where, false, out.log, errors) && ok;
    ok = Settings(run, where, out.settings, errors) && ok;
    ok = Baud(run, where, out.baud, errors) && ok;
    ok = Rescue(run, where, out.rescue, errors) && ok;
    out.request = Absolute(out.request, planDir);
    out.configDir = Absolute(out.configDir, planDir);
    out.envDir = Absolute(out.envDir, planDir);
    out.log = Absolute(out.log, planDir);
    return ok;
}

// The run's port resolved to the device it opens.
bool ResolveDevice(BatchRun& run, const std::string& where, const std::vector<std::string>& comDevices,
                   std::vector<std::string>& errors)
{
    const PortChoice choice = ResolvePortWord(run.port);
    if (!choice.Ok()) {
        errors.push_back(where + ".port: " + choice.error);
        return false;
    }
    run.portArg = choice.number > 0 ? "COM" + std::to_string(choice.number) : choice.device;
    const std::string path = choice.number > 0 && static_cast<std::size_t>(choice.number) <= comDevices.size()
                                 ? comDevices[static_cast<std::size_t>(choice.number - 1)]
                                 : choice.device;
    run.device = CanonicalDevice(path);
    if (run.device.empty()) {
        errors.push_back(where + ".port: " + run.port + (path != run.port ? " (" + path + ")" : "") + " does not exist");
        return false;
    }
    return true;
}

// The request is a file and the directories named are directories.
bool PathsExist(const BatchRun& run, const std::string& where, std::vector<std::string>& errors)
{
    bool ok = true;
    std::error_code ec;
    if (!run.request.empty() && !std::filesystem::is_regular_file(run.request, ec)) {
        errors.push_back(where + ".request: " + run.request + " is not a file");
        ok = false;
    }
    for (const auto& [field, dir] : {std::pair<const char*, const std::string&>{"config_dir", run.configDir},
                                     {"env_dir", run.envDir}}) {
        if (!dir.empty() && !std::filesystem::is_directory(dir, ec)) {
            errors.push_back(where + "." + field + ": " + dir + " is not a directory");
            ok = false;
        }
    }
    return ok;
}

// Run `i` shares neither its device nor its log with an earlier run.
bool SharesNothing(const std::vector<BatchRun>& runs, std::size_t i, std::vector<std::string>& errors)
{
    const BatchRun& run = runs[i];
    for (std::size_t j = 0; j < i; ++j) {
        if (!runs[j].device.empty() && runs[j].device == run.device) {
            errors.push_back(RunPlace(i) + ".port: " + run.port + " is the device of " + RunPlace(j) + " (" +
                             run.device + "): one run per port");
            return false;
        }
        if (!run.log.empty() && runs[j].log == run.log) {
            errors.push_back(RunPlace(i) + ".log: " + run.log + " is the log of " + RunPlace(j));
            return false;
        }
    }
    return true;
}

}  // namespace

std::string RunPlace(std::size_t index)
{
    return "runs[" + std::to_string(index) + "]";
}

bool SplitSettingAssignment(const std::string& text, std::string& section, std::string& key, std::string& value)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos || slash == 0) return false;
    const std::size_t equals = text.find('=', slash + 1);
    if (equals == std::string::npos || equals == slash + 1) return false;
    section = text.substr(0, slash);
    key = text.substr(slash + 1, equals - slash - 1);
    value = text.substr(equals + 1);
    return true;
}

bool ParseBatchPlan(const Json& plan, const std::string& planDir, std::vector<BatchRun>& runs,
                    std::vector<std::string>& errors)
{
    runs.clear();
    const std::size_t before = errors.size();
    // The format is looked at only when it is a text: a plan names it with
    // anything at all. A file of another format is not read further.
    const auto format = plan.is_object() ? plan.find("format") : plan.end();
    if (!plan.is_object() || format == plan.end() || !format->is_string() || format->get<std::string>() != kFormat) {
        errors.push_back(std::string("format: \"") + kFormat + "\" is expected");
        return false;
    }
    for (const auto& [key, value] : plan.items()) {
        (void)value;
        if (key != "format" && key != "runs") errors.push_back(key + ": unknown field");
    }
    const auto list = plan.find("runs");
    if (list == plan.end() || !list->is_array() || list->empty() || list->size() > kMaxBatchRuns) {
        errors.push_back("runs: a list of 1 to " + std::to_string(kMaxBatchRuns) + " runs is expected");
        return false;
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
        BatchRun run;
        run.usable = ParseRun((*list)[i], RunPlace(i), planDir, run, errors);
        runs.push_back(run);
    }
    return errors.size() == before;
}

bool CheckBatchRuns(std::vector<BatchRun>& runs, const std::vector<std::string>& comDevices,
                    const std::string& logDir, std::vector<std::string>& errors)
{
    const std::size_t before = errors.size();
    for (std::size_t i = 0; i < runs.size(); ++i) {
        // A run with a wrong field is checked as far as its fields were read.
        BatchRun& run = runs[i];
        const bool resolved = !run.port.empty() && ResolveDevice(run, RunPlace(i), comDevices, errors);
        const bool present = PathsExist(run, RunPlace(i), errors);
        if (resolved && run.log.empty()) run.log = (logDir.empty() ? std::string(".") : logDir) + "/" + BatchLogName(run.device);
        const bool alone = !resolved || SharesNothing(runs, i, errors);
        run.usable = run.usable && resolved && present && alone;
    }
    return errors.size() == before;
}

std::string BatchLogName(const std::string& device)
{
    // The lock file's name of the device, without its "LCK.." prefix.
    return "Tavrel-" + LockFileName(device).substr(5) + ".log";
}
