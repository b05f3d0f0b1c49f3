#pragma once
// Where the program, its settings file and its log live.
//   Settings: --config-dir DIR, else $TAVREL_HOME, else $XDG_CONFIG_HOME/tavrel
//             (~/.config/tavrel).
//   Log: --log FILE, else Tavrel.log beside the program when that directory is
//        writable, else $XDG_STATE_HOME/tavrel (~/.local/state/tavrel).
#include <string>

inline constexpr const char* kIniFileName = "Tavrel.ini";
inline constexpr const char* kLogFileName = "Tavrel.log";

// Full path of the running program file; empty when unknown.
std::string ProgramFilePath();
// Directory of the program file, without a final '/'.
std::string ProgramDirectory();
// Settings directory from the environment (no final '/').
std::string DefaultConfigDir();
// Log path for a program directory; creates the state directory when it is used.
std::string DefaultLogPath(const std::string& programDir);
// Creates `dir` and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& dir);
