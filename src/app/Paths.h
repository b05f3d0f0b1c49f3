#pragma once
// Where the program, its settings file, its log and its environments live.
//   Settings: --config-dir DIR, else $TAVREL_HOME, else beside the program for
//             a portable copy, else $XDG_CONFIG_HOME/tavrel (~/.config/tavrel).
//   Log: --log FILE, else Tavrel.log beside a portable copy, else
//        $XDG_STATE_HOME/tavrel (~/.local/state/tavrel).
//   Environments ("Products files" when the settings do not name them):
//        Products/ beside a portable copy, else $XDG_DATA_HOME/tavrel/Products/
//        (~/.local/share/tavrel/Products/).
// A portable copy is a program directory holding a Tavrel.ini: a copy carried
// on a stick keeps everything beside itself. Otherwise nothing is written
// beside the program (a build tree stays clean).
#include <string>

inline constexpr const char* kIniFileName = "Tavrel.ini";
inline constexpr const char* kLogFileName = "Tavrel.log";

// Full path of the running program file; empty when unknown.
std::string ProgramFilePath();
// Directory of the program file, without a final '/'.
std::string ProgramDirectory();
// A Tavrel.ini lies in `programDir`.
bool IsPortableCopy(const std::string& programDir);
// Settings directory from the environment (no final '/').
std::string DefaultConfigDir();
// Log path for a program directory; creates the state directory when it is used.
std::string DefaultLogPath(const std::string& programDir);
// Environment directory for a program directory, with a final '/'.
std::string DefaultEnvDirectory(const std::string& programDir);
// History of loads: history.sqlite beside a portable copy, else in
// $XDG_DATA_HOME/tavrel/ (~/.local/share/tavrel/). Creates nothing.
std::string DefaultHistoryPath(const std::string& programDir);
// Creates `dir` and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& dir);
