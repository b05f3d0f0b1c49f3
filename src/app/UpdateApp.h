#pragma once
// CUpdateApp: the application object. Holds the settings every other part
// reads, owns the log file, the version text and the communication settings.
// One instance per run, reached through App().
#include <array>
#include <string>
#include <vector>

#include "app/CommSettings.h"

class CIniFile;
struct CommandLineInfo;

// One setting as the program holds it, for listing: value in the key's unit.
struct SettingLine {
    std::string section;
    std::string key;
    std::string value;
};

class CUpdateApp {
public:
    CUpdateApp();

    // --- start-up pieces that need no window ------------------------------
    // Version check: fills the number and texts; returns 1, 0, -1, -2 or -3.
    int CheckVersions(int& version, std::string& programText, std::string& libraryText);
    // Paths of Tavrel.ini and Tavrel.log (see Paths.h for how they are found).
    void SetConfigDir(const std::string& dir);
    void SetLogPath(const std::string& path);
    const std::string& IniPath() const { return m_strIniPath; }
    // The history file: the one given (--history), else the default (Paths.h).
    std::string HistoryPath() const;
    // Settings directory and log path: the given ones, else the defaults (Paths.h).
    // Also sets m_strProgramDir.
    void InitPaths(const std::string& configDir, const std::string& logPath);
    // Start-up steps that need no window, in order: paths, version check, log
    // and banner, settings, edit rights. False when the program's own version
    // cannot be read (start-up fails).
    bool StartUpCore(const std::string& configDir, const std::string& logPath);
    // A request file on the command line sets m_bCmdLineStart and m_strCmdLineFile.
    void ApplyCommandLine(const CommandLineInfo& info);

    int LoadSettings();   // every key, defaults and bounds; the "Communication" section first
    int SaveSettings();   // writes every key back, keeping unknown sections and keys
    void LoadSettingsFrom(const CIniFile& ini);
    void SaveSettingsTo(CIniFile& ini) const;
    // Every setting as held after defaults and bounds, in the order they are saved.
    std::vector<SettingLine> DescribeSettings() const;
    // Stores one setting, named by its section (the one it is read from or
    // written to) and key, from text (without the blanks around it, which a
    // read drops), with the bounds it gets when read, and
    // saves Tavrel.ini. `stored` is the setting as held afterwards, listed
    // under the section it is read from. False with `error` when the key is
    // unknown, the text is not of the key's type, or the file cannot be written.
    bool SetSetting(const std::string& section, const std::string& key, const std::string& value,
                    SettingLine& stored, std::string& error);
    // True when SetSetting knows the key in that section.
    static bool HasSetting(const std::string& section, const std::string& key);
    // "SECTION/KEY" of every setting SetSetting takes, under the section it is read from.
    static std::vector<std::string> SettingNames();
    void ReadEditRights(const std::string& path = "Tavrel.sec");

    // --- log -------------------------------------------------------------
    bool InitLogFile(const std::string& path, long limit);
    bool OpenLog();       // InitLogFile(m_strLogPath, 50000) + banner; logging off on failure
    int WriteLog(const std::string& text);
    int WriteLogNote(const std::string& text);
    int WriteLogString(int id);
    int WriteLogNoteString(int id);

    // --- pumping ---------------------------------------------------------
    // Waits `ms` milliseconds in the event loop; 1 when ended early by the abort key.
    int PumpDelay(int ms);
    // Dispatches what waits in the event loop; 1 when the abort key was pressed.
    int PumpMessages();

    // --- members ---------------------------------------------------------
    std::string m_strVersion;
    std::string m_strLibraryVersion;    // empty: no resource library
    int m_nVersion = 0;
    std::string m_strProgramDir;
    std::string m_strLogPath;
    bool m_bLogOk = false;
    bool m_bCmdLineStart = false;
    std::string m_strCmdLineFile;
    std::string m_strHistoryPath;       // --history; empty: the default

    std::array<bool, 8> m_abRights{};   // edit-rights flags; flag 0 = edit rights
    bool m_bEditRights = false;

    // Settings table.
    std::string m_strEnvDir;            // "Products files"
    std::string m_strLastSflPath;       // "Last SFL path"
    int m_nMsgTimeoutMs = 3000;         // "Message reception (sec.)"
    int m_nChecksumTimeoutMs = 30000;   // "Checksum reception (sec.)"
    int m_nInterWriteDelayMs = 300;     // "Between 2 write (ms.)"
    int m_nWriteTimeoutMs = 3000;       // "RS232 write (sec.)"
    int m_nSBinWriteTimeoutMs = 10000;  // "RS232 SBin write (sec.)"
    int m_nRescueModeSec = 60;          // "Rescue mode(sec.)"
    bool m_bCrLfBeforeIdent = true;     // "CrLf before Ident"
    bool m_bShowCommBox = true;         // "Show the communications box"
    int m_nAutoBaudMin = 4800;          // "Auto speed min. range"
    int m_nAutoBaudMax = 115200;        // "Auto speed max. range"
    int m_nAutoMaxTimeSec = 120;        // "Auto speed max. time"
    bool m_bQueryAutoSpeed = true;      // "Query auto speed enable"
    bool m_bRescueEnable = true;        // "Rescue enable"
    std::string m_strWebSite;           // "Web site"
    int m_nReserved1 = 0;               // "Reserved 1"
    int m_nReserved2 = 1;               // "Reserved 2"
    int m_nReserved3Ms = 7000;          // "Reserved 3"
    bool m_bPackRecords = true;         // "Pack release records"
    bool m_bKeepHistory = true;         // "Transfer history"
    std::vector<std::string> m_recentFiles;   // "Recent File List", most recent first

    // Serial keys of "Communication" and the derived current selection.
    CCommSettings m_comm;
    int m_nPortIndex = 0;               // port number - 1
    int m_nBaudIndex = 3;               // index into the baud table

private:
    std::string m_strIniPath;
};

// The one application object of this run.
CUpdateApp& App();
