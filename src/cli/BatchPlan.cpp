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

bool Text(const Json& run, const char* field, const std::string& where, bool required, std::string& out,
          std::string& error)
{
    const auto it = run.find(field);
    if (it == run.end()) {
        if (required) error = where + ": \"" + field + "\" is missing";
        return !required;
    }
    if (!it->is_string() || it->get<std::string>().empty()) {
        error = where + "." + field + ": a non-empty text is expected";
        return false;
    }
    out = it->get<std::string>();
    return true;
}

// "settings": {"SECTION/KEY": value}; numbers as written, switches YES / NO.
bool Settings(const Json& run, const std::string& where, std::vector<std::string>& out, std::string& error)
{
    const auto it = run.find("settings");
    if (it == run.end()) return true;
    if (!it->is_object()) {
        error = where + ".settings: an object of \"SECTION/KEY\": value is expected";
        return false;
    }
    for (const auto& [key, value] : it->items()) {
        const std::size_t slash = key.find('/');
        if (slash == std::string::npos || slash == 0 || slash + 1 == key.size() || key.find('=') != std::string::npos) {
            error = where + ".settings: \"" + key + "\" is not SECTION/KEY";
            return false;
        }
        std::string text;
        if (value.is_string()) text = value.get<std::string>();
        else if (value.is_boolean()) text = value.get<bool>() ? "YES" : "NO";
        else if (value.is_number_unsigned()) text = std::to_string(value.get<unsigned long long>());
        else if (value.is_number_integer()) text = std::to_string(value.get<long long>());
        else {
            error = where + ".settings." + key + ": a text, a whole number or true/false is expected";
            return false;
        }
        out.push_back(key + "=" + text);
    }
    return true;
}

bool ParseRun(const Json& run, const std::string& where, const std::string& planDir, BatchRun& out, std::string& error)
{
    if (!run.is_object()) {
        error = where + ": an object is expected";
        return false;
    }
    for (const auto& [key, value] : run.items()) {
        (void)value;
        if (std::find(std::begin(kRunFields), std::end(kRunFields), key) == std::end(kRunFields)) {
            error = where + "." + key + ": unknown field";
            return false;
        }
    }
    if (!Text(run, "port", where, true, out.port, error) || !Text(run, "request", where, true, out.request, error) ||
        !Text(run, "config_dir", where, false, out.configDir, error) ||
        !Text(run, "env_dir", where, false, out.envDir, error) || !Text(run, "log", where, false, out.log, error) ||
        !Settings(run, where, out.settings, error))
        return false;
    if (const auto baud = run.find("baud"); baud != run.end()) {
        if (!baud->is_number_unsigned()) {
            error = where + ".baud: a rate in bit/s is expected";
            return false;
        }
        out.baud = std::to_string(baud->get<unsigned long long>());
    }
    if (const auto rescue = run.find("rescue"); rescue != run.end()) {
        if (!rescue->is_boolean()) {
            error = where + ".rescue: true or false is expected";
            return false;
        }
        out.rescue = rescue->get<bool>();
    }
    out.request = Absolute(out.request, planDir);
    out.configDir = Absolute(out.configDir, planDir);
    out.envDir = Absolute(out.envDir, planDir);
    out.log = Absolute(out.log, planDir);
    return true;
}

}  // namespace

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

bool ParseBatchPlan(const Json& plan, const std::string& planDir, std::vector<BatchRun>& runs, std::string& error)
{
    runs.clear();
    // The format is looked at only when it is a text: a plan names it with
    // anything at all.
    const auto format = plan.is_object() ? plan.find("format") : plan.end();
    if (!plan.is_object() || format == plan.end() || !format->is_string() || format->get<std::string>() != kFormat) {
        error = std::string("format: \"") + kFormat + "\" is expected";
        return false;
    }
    for (const auto& [key, value] : plan.items()) {
        (void)value;
        if (key != "format" && key != "runs") {
            error = key + ": unknown field";
            return false;
        }
    }
    const auto list = plan.find("runs");
    if (list == plan.end() || !list->is_array() || list->empty() || list->size() > kMaxBatchRuns) {
        error = "runs: a list of 1 to " + std::to_string(kMaxBatchRuns) + " runs is expected";
        return false;
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
        BatchRun run;
        if (!ParseRun((*list)[i], "runs[" + std::to_string(i) + "]", planDir, run, error)) return false;
        runs.push_back(run);
    }
    return true;
}

bool CheckBatchRuns(std::vector<BatchRun>& runs, const std::vector<std::string>& comDevices, std::string& error)
{
    for (std::size_t i = 0; i < runs.size(); ++i) {
        BatchRun& run = runs[i];
        const std::string where = "runs[" + std::to_string(i) + "]";
        const PortChoice choice = ResolvePortWord(run.port);
        if (!choice.Ok()) {
            error = where + ".port: " + choice.error;
            return false;
        }
        run.portArg = choice.number > 0 ? "COM" + std::to_string(choice.number) : choice.device;
        const std::string path = choice.number > 0 && static_cast<std::size_t>(choice.number) <= comDevices.size()
                                     ? comDevices[static_cast<std::size_t>(choice.number - 1)]
                                     : choice.device;
        run.device = CanonicalDevice(path);
        if (run.device.empty()) {
            error = where + ".port: " + run.port + (path != run.port ? " (" + path + ")" : "") + " does not exist";
            return false;
        }
        std::error_code ec;
        if (!std::filesystem::is_regular_file(run.request, ec)) {
            error = where + ".request: " + run.request + " is not a file";
            return false;
        }
        for (const auto& [field, dir] : {std::pair<const char*, const std::string&>{"config_dir", run.configDir},
                                         {"env_dir", run.envDir}}) {
            if (!dir.empty() && !std::filesystem::is_directory(dir, ec)) {
                error = where + "." + field + ": " + dir + " is not a directory";
                return false;
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (runs[j].device == run.device) {
                error = where + ".port: " + run.port + " is the device of runs[" + std::to_string(j) + "] (" +
                        run.device + "): one run per port";
                return false;
            }
            if (!run.log.empty() && runs[j].log == run.log) {
                error = where + ".log: " + run.log + " is the log of runs[" + std::to_string(j) + "]";
                return false;
            }
        }
    }
    return true;
}

std::string BatchLogName(const std::string& device)
{
    // The lock file's name of the device, without its "LCK.." prefix.
    return "Tavrel-" + LockFileName(device).substr(5) + ".log";
}
