// Loading, saving and listing the settings of Tavrel.ini: one table row per key.
#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>

#include "app/IniFile.h"
#include "app/Paths.h"
#include "app/UpdateApp.h"

namespace {

const char* const SEC_VERSION = "Tavrel Version";
const char* const SEC_COMM = "Communication";
const char* const SEC_PATHS = "Paths";
const char* const SEC_TIMES = "Times out";
const char* const SEC_MISC = "Miscellaneous";
const char* const SEC_RECENT = "Recent File List";
const char* const KEY_VERSION = "Ver";
constexpr int kRecentFileCount = 4;
constexpr int kMsPerSecond = 1000;
// Longest time in seconds that still fits in milliseconds in an int.
constexpr int kMaxSeconds = INT_MAX / kMsPerSecond;

const char* const kDefaultWebSite = "https://tavrel.example.org/";

// --- bounds applied to a value as read, in the key's unit -------------------
template <int Min, int Replacement>
int BelowBecomes(int v)
{
    return v < Min ? Replacement : v;
}

int LimitTo2To20(int v)
{
    return v < 2 ? 2 : (v > 20 ? 20 : v);
}

int NoBound(int v)
{
    return v;
}

// Auto-speed keys: clamp to 300..256000, keep a table rate, anything else is 9600.
int NormaliseBaud(int v)
{
    if (v < kBaudRates.front()) return kBaudRates.front();
    if (v > kBaudRates.back()) return kBaudRates.back();
    return BaudIndexOf(v) >= 0 ? v : 9600;
}

enum class Kind { Integer, Seconds, Switch, Text };

struct SettingKey {
    const char* key;
    const char* readSection;
    const char* writeSection;
    Kind kind;
    int defaultValue;            // Integer / Seconds: in the key's unit; Switch: 0 or 1
    int (*bound)(int);           // applied to the value read
    int scale;                   // member = value * scale (1000: seconds held in ms)
    int CUpdateApp::*intMember;
    bool CUpdateApp::*boolMember;
    std::string CUpdateApp::*textMember;
    std::string (*textDefault)(const CUpdateApp&);
    bool writtenAsZero;
};

std::string DefaultEnvDir(const CUpdateApp& app)
{
    return DefaultEnvDirectory(app.m_strProgramDir);
}

std::string DefaultSflDir(const CUpdateApp& app)
{
    return app.m_strProgramDir + "/Release/";
}

std::string DefaultWebSite(const CUpdateApp&)
{
    return kDefaultWebSite;
}

constexpr int MS = kMsPerSecond;

// In the order SaveSettings writes them.
const SettingKey kSettings[] = {
    {"Products files", SEC_PATHS, SEC_PATHS, Kind::Text, 0, NoBound, 1, nullptr, nullptr,
     &CUpdateApp::m_strEnvDir, DefaultEnvDir, false},
    {"Last SFL path", SEC_PATHS, SEC_PATHS, Kind::Text, 0, NoBound, 1, nullptr, nullptr,
     &CUpdateApp::m_strLastSflPath, DefaultSflDir, false},
    {"Message reception (sec.)", SEC_TIMES, SEC_TIMES, Kind::Seconds, 3, BelowBecomes<3, 3>, MS,
     &CUpdateApp::m_nMsgTimeoutMs, nullptr, nullptr, nullptr, false},
    {"Checksum reception (sec.)", SEC_TIMES, SEC_TIMES, Kind::Seconds, 30, BelowBecomes<1, 30>,
     MS, &CUpdateApp::m_nChecksumTimeoutMs, nullptr, nullptr, nullptr, false},
    {"RS232 write (sec.)", SEC_TIMES, SEC_TIMES, Kind::Seconds, 3, BelowBecomes<3, 3>, MS,
     &CUpdateApp::m_nWriteTimeoutMs, nullptr, nullptr, nullptr, false},
    {"RS232 SBin write (sec.)", SEC_TIMES, SEC_TIMES, Kind::Seconds, 10, BelowBecomes<0, 10>, MS,
     &CUpdateApp::m_nSBinWriteTimeoutMs, nullptr, nullptr, nullptr, false},
    {"Between 2 write (ms.)", SEC_TIMES, SEC_TIMES, Kind::Integer, 300, BelowBecomes<0, 300>, 1,
     &CUpdateApp::m_nInterWriteDelayMs, nullptr, nullptr, nullptr, false},
    {"Rescue mode(sec.)", SEC_TIMES, SEC_TIMES, Kind::Seconds, 60, BelowBecomes<0, 60>, 1,
     &CUpdateApp::m_nRescueModeSec, nullptr, nullptr, nullptr, false},
    {"CrLf before Ident", SEC_MISC, SEC_MISC, Kind::Switch, 1, NoBound, 1, nullptr,
     &CUpdateApp::m_bCrLfBeforeIdent, nullptr, nullptr, false},
    {"Show the communications box", SEC_MISC, SEC_MISC, Kind::Switch, 1, NoBound, 1, nullptr,
     &CUpdateApp::m_bShowCommBox, nullptr, nullptr, false},
    {"Auto speed min. range", SEC_MISC, SEC_MISC, Kind::Integer, 4800, NormaliseBaud, 1,
     &CUpdateApp::m_nAutoBaudMin, nullptr, nullptr, nullptr, false},
    {"Auto speed max. range", SEC_MISC, SEC_MISC, Kind::Integer, 115200, NormaliseBaud, 1,
     &CUpdateApp::m_nAutoBaudMax, nullptr, nullptr, nullptr, false},
    {"Auto speed max. time", SEC_MISC, SEC_MISC, Kind::Seconds, 120, BelowBecomes<0, 0>, 1,
     &CUpdateApp::m_nAutoMaxTimeSec, nullptr, nullptr, nullptr, false},
    {"Query auto speed enable", SEC_MISC, SEC_MISC, Kind::Switch, 1, NoBound, 1, nullptr,
     &CUpdateApp::m_bQueryAutoSpeed, nullptr, nullptr, false},
    {"Rescue enable", SEC_MISC, SEC_MISC, Kind::Switch, 1, NoBound, 1, nullptr,
     &CUpdateApp::m_bRescueEnable, nullptr, nullptr, false},
    {"Web site", SEC_MISC, SEC_MISC, Kind::Text, 0, NoBound, 1, nullptr, nullptr,
     &CUpdateApp::m_strWebSite, DefaultWebSite, false},
    {"Reserved 1", SEC_MISC, SEC_MISC, Kind::Integer, 0, BelowBecomes<0, 0>, 1,
     &CUpdateApp::m_nReserved1, nullptr, nullptr, nullptr, true},
    {"Reserved 2", SEC_MISC, SEC_MISC, Kind::Integer, 1, BelowBecomes<0, 0>, 1,
     &CUpdateApp::m_nReserved2, nullptr, nullptr, nullptr, false},
    {"Reserved 3", SEC_MISC, SEC_MISC, Kind::Seconds, 7, LimitTo2To20, MS,
     &CUpdateApp::m_nReserved3Ms, nullptr, nullptr, nullptr, false},
    // On unless the file says NO: conversions join consecutive data into
    // full-length .vle records, which the data phase sends in far less time.
    {"Pack release records", SEC_MISC, SEC_MISC, Kind::Switch, 1, NoBound, 1, nullptr,
     &CUpdateApp::m_bPackRecords, nullptr, nullptr, false},
    // The record of every run in history.sqlite; "NO" keeps none.
    {"Transfer history", SEC_MISC, SEC_MISC, Kind::Switch, 1, NoBound, 1, nullptr,
     &CUpdateApp::m_bKeepHistory, nullptr, nullptr, false},
};

// Keys that older files hold in [Miscellaneous]: where they were written
// ([Times out]) wins, the old place is read when that one lacks the key.
const char* FormerSection(const SettingKey& k)
{
    static const std::string kMoved[] = {"RS232 write (sec.)", "RS232 SBin write (sec.)", "Rescue mode(sec.)"};
    return std::find(std::begin(kMoved), std::end(kMoved), k.key) != std::end(kMoved) ? SEC_MISC : nullptr;
}

const char* SectionHolding(const CIniFile& ini, const SettingKey& k)
{
    const char* former = FormerSection(k);
    return former != nullptr && !ini.HasKey(k.readSection, k.key) && ini.HasKey(former, k.key) ? former
                                                                                                  : k.readSection;
}

bool SwitchFromText(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text == "YES";
}

const char* SwitchText(bool on)
{
    return on ? "YES" : "NO";
}

void ReadKey(CUpdateApp& app, const CIniFile& ini, const SettingKey& k)
{
    switch (k.kind) {
    case Kind::Integer:
    case Kind::Seconds: {
        int v = k.bound(ini.GetInt(SectionHolding(ini, k), k.key, k.defaultValue));
        // Seconds beyond this would overflow once turned into milliseconds.
        if (k.kind == Kind::Seconds && v > kMaxSeconds) v = kMaxSeconds;
        app.*k.intMember = v * k.scale;
        break;
    }
    case Kind::Switch:
        app.*k.boolMember =
            SwitchFromText(ini.GetString(k.readSection, k.key, SwitchText(k.defaultValue != 0)));
        break;
    case Kind::Text:
        app.*k.textMember = ini.GetString(k.readSection, k.key, k.textDefault(app));
        break;
    }
}

// The value in the key's unit, as written to the file.
std::string ValueText(const CUpdateApp& app, const SettingKey& k)
{
    switch (k.kind) {
    case Kind::Integer:
    case Kind::Seconds: return std::to_string(app.*k.intMember / k.scale);
    case Kind::Switch: return SwitchText(app.*k.boolMember);
    case Kind::Text: return app.*k.textMember;
    }
    return std::string();
}

std::string RecentKey(int n)
{
    return "File" + std::to_string(n);
}

// Writes the settings file, making its directory first.
bool WriteSettingsFile(const CIniFile& ini, const std::string& path)
{
    const std::string dir = std::filesystem::path(path).parent_path().string();
    if (!dir.empty()) MakeDirectories(dir);
    return ini.Save(path);
}

// --- one setting set from text (tavrel-cli settings --set) ------------------
const char* const SEC_PORTS = "Ports";
constexpr std::size_t kMaxSettingText = 1024;
constexpr std::size_t kMaxIntegerText = 11;
constexpr int kMappedPorts = static_cast<int>(std::tuple_size_v<decltype(CCommSettings::devices)>);

struct SettingTarget {
    std::string section;   // where the key is read from
    std::string key;
    Kind kind = Kind::Text;
    const SettingKey* tableKey = nullptr;   // null: a key of "Communication" or "Ports"
};

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The keys of "Communication" a setting may name.
struct CommKey {
    const char* key;
    Kind kind;
};
const CommKey kCommKeys[] = {{"PORTNUM", Kind::Integer}, {"BYTESIZE", Kind::Integer}, {"PARITY", Kind::Text},
                             {"STOPBITS", Kind::Integer}, {"BAUDRATE", Kind::Integer}};

bool FindSettingTarget(const std::string& section, const std::string& key, SettingTarget& target)
{
    for (const SettingKey& k : kSettings) {
        const char* former = FormerSection(k);
        if (SameName(key, k.key) && (SameName(section, k.readSection) || SameName(section, k.writeSection) ||
                                     (former != nullptr && SameName(section, former)))) {
            target = {k.readSection, k.key, k.kind, &k};
            return true;
        }
    }
    if (SameName(section, SEC_COMM)) {
        for (const CommKey& k : kCommKeys) {
            if (SameName(key, k.key)) {
                target = {SEC_COMM, k.key, k.kind, nullptr};
                return true;
            }
        }
    }
    if (SameName(section, SEC_PORTS)) {
        for (int n = 1; n <= kMappedPorts; ++n) {
            if (SameName(key, "COM" + std::to_string(n))) {
                target = {SEC_PORTS, "COM" + std::to_string(n), Kind::Text, nullptr};
                return true;
            }
        }
    }
    return false;
}

// A value as the settings file gives it back: the reader drops the blanks
// around it.
std::string WithoutOuterBlanks(const std::string& value)
{
    const std::size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

// Why `value` cannot be stored as a setting of `kind`; empty when it can.
std::string ValueProblem(Kind kind, const std::string& value)
{
    switch (kind) {
    case Kind::Integer:
    case Kind::Seconds: {
        const std::size_t digits = value.empty() || value[0] != '-' ? 0 : 1;
        if (value.size() <= digits || value.size() > kMaxIntegerText ||
            value.find_first_not_of("0123456789", digits) != std::string::npos)
            return "needs a whole number";
        return {};
    }
    case Kind::Switch:
        if (!SameName(value, "YES") && !SameName(value, "NO")) return "needs YES or NO";
        return {};
    case Kind::Text:
        if (value.size() > kMaxSettingText) return "is longer than " + std::to_string(kMaxSettingText) + " bytes";
        for (char c : value)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "holds a control character";
        return {};
    }
    return {};
}

}  // namespace

void CUpdateApp::LoadSettingsFrom(const CIniFile& ini)
{
    m_comm.LoadPortSettings(ini, SEC_COMM);
    m_nPortIndex = m_comm.nPortNumber - 1;
    const int baudIndex = BaudIndexOf(m_comm.nBaudRate);
    m_nBaudIndex = baudIndex >= 0 ? baudIndex : BAUD_INDEX_DEFAULT;

    for (const SettingKey& k : kSettings) ReadKey(*this, ini, k);

    m_recentFiles.clear();
    for (int n = 1; n <= kRecentFileCount; ++n) {
        const std::string file = ini.GetString(SEC_RECENT, RecentKey(n), std::string());
        if (!file.empty()) m_recentFiles.push_back(file);
    }
}

void CUpdateApp::SaveSettingsTo(CIniFile& ini) const
{
    ini.SetInt(SEC_VERSION, KEY_VERSION, m_nVersion);
    m_comm.SavePortSettings(ini, SEC_COMM);
    for (const SettingKey& k : kSettings)
        ini.SetString(k.writeSection, k.key, k.writtenAsZero ? "0" : ValueText(*this, k));

    const int count = std::min<int>(static_cast<int>(m_recentFiles.size()), kRecentFileCount);
    for (int n = 1; n <= kRecentFileCount; ++n) {
        if (n <= count)
            ini.SetString(SEC_RECENT, RecentKey(n), m_recentFiles[static_cast<std::size_t>(n - 1)]);
        else
            ini.RemoveKey(SEC_RECENT, RecentKey(n));
    }
}

int CUpdateApp::LoadSettings()
{
    CIniFile ini;
    ini.Load(m_strIniPath);   // a missing file gives every default
    LoadSettingsFrom(ini);
    return 1;
}

int CUpdateApp::SaveSettings()
{
    // Re-read the file so that sections and keys of others are kept.
    CIniFile ini;
    ini.Load(m_strIniPath);
    SaveSettingsTo(ini);
    // A settings file that cannot be written is reported (0), not passed as saved.
    return WriteSettingsFile(ini, m_strIniPath) ? 1 : 0;
}

bool CUpdateApp::SetSetting(const std::string& section, const std::string& key, const std::string& text,
                            SettingLine& stored, std::string& error)
{
    // Held as the next run will read it, not with blanks it cannot see.
    const std::string value = WithoutOuterBlanks(text);
    SettingTarget target;
    if (!FindSettingTarget(section, key, target)) {
        error = "no setting \"" + key + "\" in section \"" + section + "\"";
        return false;
    }
    const std::string problem = ValueProblem(target.kind, value);
    if (!problem.empty()) {
        error = "\"" + target.key + "\" " + problem;
        return false;
    }
    // The new text read as the file's key would be: it gets the bounds of a
    // read, and every other setting stays as held.
    std::string held;
    if (target.tableKey != nullptr) {
        CIniFile one;
        one.SetString(target.section, target.key, value);
        ReadKey(*this, one, *target.tableKey);
        held = ValueText(*this, *target.tableKey);
    } else {
        CIniFile port;
        m_comm.SavePortSettings(port, SEC_COMM);
        port.SetString(target.section, target.key, value);
        m_comm.LoadPortSettings(port, SEC_COMM);
        m_nPortIndex = m_comm.nPortNumber - 1;
        const int baudIndex = BaudIndexOf(m_comm.nBaudRate);
        m_nBaudIndex = baudIndex >= 0 ? baudIndex : BAUD_INDEX_DEFAULT;
        m_comm.SavePortSettings(port, SEC_COMM);
        held = port.GetString(target.section, target.key, std::string());
    }
    CIniFile ini;
    ini.Load(m_strIniPath);
    SaveSettingsTo(ini);
    // Where it is read from, also for a key always saved as 0, so that the
    // next run reads what was set.
    ini.SetString(target.section, target.key, held);
    stored = {target.section, target.key, held};
    if (!WriteSettingsFile(ini, m_strIniPath)) {
        error = "cannot write " + m_strIniPath;
        return false;
    }
    return true;
}

bool CUpdateApp::HasSetting(const std::string& section, const std::string& key)
{
    SettingTarget target;
    return FindSettingTarget(section, key, target);
}

std::vector<std::string> CUpdateApp::SettingNames()
{
    std::vector<std::string> names;
    for (const CommKey& k : kCommKeys) names.push_back(std::string(SEC_COMM) + "/" + k.key);
    for (int n = 1; n <= kMappedPorts; ++n) names.push_back(std::string(SEC_PORTS) + "/COM" + std::to_string(n));
    for (const SettingKey& k : kSettings) names.push_back(std::string(k.readSection) + "/" + k.key);
    return names;
}

std::vector<SettingLine> CUpdateApp::DescribeSettings() const
{
    std::vector<SettingLine> lines;
    lines.push_back({SEC_VERSION, KEY_VERSION, std::to_string(m_nVersion)});

    CIniFile comm;
    m_comm.SavePortSettings(comm, SEC_COMM);
    for (const std::string& key : comm.Keys(SEC_COMM))
        lines.push_back({SEC_COMM, key, comm.GetString(SEC_COMM, key, std::string())});
    for (int n = 1; n <= static_cast<int>(m_comm.devices.size()); ++n)
        lines.push_back({"Ports", "COM" + std::to_string(n), m_comm.DevicePath(n)});

    // Each key is listed under the section it is read from.
    for (const SettingKey& k : kSettings)
        lines.push_back({k.readSection, k.key, ValueText(*this, k)});

    for (std::size_t i = 0; i < m_recentFiles.size(); ++i)
        lines.push_back({SEC_RECENT, RecentKey(static_cast<int>(i) + 1), m_recentFiles[i]});
    return lines;
}
