// Program, settings and log locations.
#include "app/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string EnvOrEmpty(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// $XDG_<kind>_HOME, else $HOME/<fallback>, each with "/tavrel" appended.
std::string XdgDir(const char* variable, const char* homeFallback)
{
    std::string base = EnvOrEmpty(variable);
    if (base.empty() || base[0] != '/') {
        const std::string home = EnvOrEmpty("HOME");
        base = (home.empty() ? std::string("/tmp") : home) + "/" + homeFallback;
    }
    return base + "/tavrel";
}

std::string StripFinalSlash(std::string dir)
{
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

}  // namespace

std::string ProgramFilePath()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::string ProgramDirectory()
{
    const std::string exe = ProgramFilePath();
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

bool IsPortableCopy(const std::string& programDir)
{
    std::error_code ec;
    return !programDir.empty() && fs::is_regular_file(StripFinalSlash(programDir) + "/" + kIniFileName, ec);
}

std::string DefaultConfigDir()
{
    const std::string home = EnvOrEmpty("TAVREL_HOME");
    if (!home.empty()) return StripFinalSlash(home);
    const std::string programDir = ProgramDirectory();
    if (IsPortableCopy(programDir)) return StripFinalSlash(programDir);
    return XdgDir("XDG_CONFIG_HOME", ".config");
}

std::string DefaultLogPath(const std::string& programDir)
{
    if (IsPortableCopy(programDir)) return StripFinalSlash(programDir) + "/" + kLogFileName;
    const std::string state = XdgDir("XDG_STATE_HOME", ".local/state");
    MakeDirectories(state);
    return state + "/" + kLogFileName;
}

std::string DefaultEnvDirectory(const std::string& programDir)
{
    if (IsPortableCopy(programDir)) return StripFinalSlash(programDir) + "/Products/";
    return XdgDir("XDG_DATA_HOME", ".local/share") + "/Products/";
}

std::string DefaultHistoryPath(const std::string& programDir)
{
    if (IsPortableCopy(programDir)) return StripFinalSlash(programDir) + "/history.sqlite";
    return XdgDir("XDG_DATA_HOME", ".local/share") + "/history.sqlite";
}

bool MakeDirectories(const std::string& dir)
{
    if (dir.empty()) return false;
    std::error_code ec;
    fs::create_directories(dir, ec);
    return fs::is_directory(dir, ec);
}
