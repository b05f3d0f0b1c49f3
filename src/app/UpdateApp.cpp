// CUpdateApp: start-up without windows, paths, version, edit rights and the log.
#include "app/UpdateApp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "app/CommandLine.h"
#include "app/EditRights.h"
#include "app/Host.h"
#include "app/Paths.h"
#include "app/Strings.h"
#include "app/Version.h"

namespace {

// Size above which the log is trimmed at start-up, bytes.
constexpr long kLogLimitBytes = 50000;
const char* const kLogCutMark = "...\r\n";
const char* const kNotePrefix = "; ";
const char* const kRightsFileName = "Tavrel.sec";

// Local date and time as "%x %X : " in the C locale: "12/31/02 23:59:58 : ".
// Written out by hand because the process locale may not be "C".
std::string TimePrefix()
{
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d %02d:%02d:%02d : ", t.tm_mon + 1,
                  t.tm_mday, t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec);
    return buffer;
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Keeps the last `limit` bytes from the one just before their first line feed
// and rewrites the file as the cut mark followed by them.
bool TrimLog(const std::string& path, long size, long limit)
{
    std::string tail(static_cast<std::size_t>(limit), '\0');
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        in.seekg(size - limit);
        in.read(tail.data(), limit);
        if (in.gcount() != limit) return false;
    }
    const std::size_t searchEnd = static_cast<std::size_t>(limit > 1 ? limit - 1 : 0);
    std::size_t lf = tail.find('\n');
    if (lf == std::string::npos || lf >= searchEnd) lf = searchEnd;
    const std::size_t keepFrom = lf > 0 ? lf - 1 : 0;   // a line feed at the very start keeps all

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << kLogCutMark;
    out.write(tail.data() + keepFrom, static_cast<std::streamsize>(tail.size() - keepFrom));
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace

CUpdateApp::CUpdateApp() = default;

CUpdateApp& App()
{
    static CUpdateApp app;
    return app;
}

// --- start-up ------------------------------------------------------------------

int CUpdateApp::CheckVersions(int& version, std::string& programText, std::string& libraryText)
{
    // There is no resource library on this platform: the check ends in case -1.
    return CheckVersionBlocks(&ProgramVersionBlock(), nullptr, version, programText, libraryText);
}

void CUpdateApp::SetConfigDir(const std::string& dir)
{
    std::string d = dir.empty() ? std::string(".") : dir;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    m_strIniPath = d + "/" + kIniFileName;
}

void CUpdateApp::SetLogPath(const std::string& path)
{
    m_strLogPath = path;
}

void CUpdateApp::InitPaths(const std::string& configDir, const std::string& logPath)
{
    m_strProgramDir = ProgramDirectory();
    SetConfigDir(configDir.empty() ? DefaultConfigDir() : configDir);
    SetLogPath(logPath.empty() ? DefaultLogPath(m_strProgramDir) : logPath);
}

bool CUpdateApp::StartUpCore(const std::string& configDir, const std::string& logPath)
{
    // A file that grows past the process's size limit must fail its write
    // (EFBIG, then message 17) instead of killing the program with SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    InitPaths(configDir, logPath);
    if (CheckVersions(m_nVersion, m_strVersion, m_strLibraryVersion) == -2) return false;
    OpenLog();
    LoadSettings();
    ReadEditRights(kRightsFileName);
    return true;
}

void CUpdateApp::ApplyCommandLine(const CommandLineInfo& info)
{
    m_strCmdLineFile = info.requestFile;
    m_bCmdLineStart = !info.requestFile.empty();
}

void CUpdateApp::ReadEditRights(const std::string& path)
{
    const RightsFlags flags = ReadRightsFile(path);
    for (std::size_t i = 0; i < m_abRights.size() && i < flags.size(); ++i) m_abRights[i] = flags[i];
    m_bEditRights = flags[RIGHTS_FLAG_EDIT];
}

// --- log -------------------------------------------------------------------------

bool CUpdateApp::InitLogFile(const std::string& path, long limit)
{
    if (!FileExists(path)) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        ::close(fd);
        return true;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) return false;
    if (limit > 0 && st.st_size > limit) return TrimLog(path, static_cast<long>(st.st_size), limit);

    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool CUpdateApp::OpenLog()
{
    m_bLogOk = InitLogFile(m_strLogPath, kLogLimitBytes);
    if (!m_bLogOk) {
        Host().Beep(BEEP_EXCLAMATION);
        return false;
    }
    WriteLogNote("\r\n");
    WriteLog("***** Tavrel " + m_strVersion + " *****\r\n");
    if (!m_strLibraryVersion.empty()) WriteLog("DLL " + m_strLibraryVersion + "\r\n");
    return true;
}

int CUpdateApp::WriteLog(const std::string& text)
{
    if (!m_bLogOk) return 0;
    // Opened for every write and never created here.
    const int fd = ::open(m_strLogPath.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0) return 0;

    const std::string prefix = text.compare(0, 2, kNotePrefix) == 0 ? std::string() : TimePrefix();
    std::string out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t crlf = text.find("\r\n", pos);
        if (crlf == std::string::npos) break;
        out += prefix;
        out.append(text, pos, crlf + 2 - pos);
        pos = crlf + 2;
    }
    // Whole lines only: a rest without CR LF (a message without line end, a
    // sentence ended by LF alone) becomes a line of its own.
    std::size_t restEnd = text.size();
    while (restEnd > pos && (text[restEnd - 1] == '\n' || text[restEnd - 1] == '\r')) --restEnd;
    if (restEnd > pos) {
        out += prefix;
        out.append(text, pos, restEnd - pos);
        out += "\r\n";
    }
    WriteAll(fd, out);
    ::close(fd);
    return 1;
}

int CUpdateApp::WriteLogNote(const std::string& text)
{
    return WriteLog(kNotePrefix + text);
}

int CUpdateApp::WriteLogString(int id)
{
    return WriteLog(GetString(id));
}

int CUpdateApp::WriteLogNoteString(int id)
{
    return WriteLogNote(GetString(id));
}

std::string CUpdateApp::HistoryPath() const
{
    return m_strHistoryPath.empty() ? DefaultHistoryPath(m_strProgramDir) : m_strHistoryPath;
}
