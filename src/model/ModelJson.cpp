// JSON export and import of environments and requests.
#include "model/ModelJson.h"

#include <functional>
#include <limits>
#include <map>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "model/Archive.h"
#include "model/ModelFiles.h"

using json = nlohmann::ordered_json;

namespace {

const std::array<const char*, 3> kSaveSpeedNames = {"unchecked", "checked", "undetermined"};

// --- writing ----------------------------------------------------------------------

template <size_t N>
json TableValue(const std::array<const char*, N>& table, int index)
{
    if (index == -1)
        return nullptr;
    if (index >= 0 && static_cast<size_t>(index) < N)
        return table[static_cast<size_t>(index)];
    return index;
}

json SpeedValue(int index)
{
    if (index == -1)
        return nullptr;
    if (index >= 0 && static_cast<size_t>(index) < kBaudRates.size())
        return std::to_string(kBaudRates[static_cast<size_t>(index)]);
    return index;
}

json FlagValue(int flag)
{
    if (flag == 0 || flag == 1)
        return flag == 1;
    return flag;
}

// --- reading ----------------------------------------------------------------------

// Reads the keys of one object; each key has its reader, anything else is an error.
class CJsonFields {
public:
    CJsonFields(const json& j, std::string where, std::string& error)
        : m_json(j), m_strWhere(std::move(where)), m_error(error)
    {
    }

    void Text(const char* key, std::string& out) { m_readers[key] = [&out, this, key](const json& v) {
        return ReadText(key, v, out);
    }; }
    void Int(const char* key, int& out) { m_readers[key] = [&out, this, key](const json& v) {
        return ReadInt(key, v, out);
    }; }
    void Flag(const char* key, int& out) { m_readers[key] = [&out, this, key](const json& v) {
        if (v.is_boolean()) {
            out = v.get<bool>() ? 1 : 0;
            return true;
        }
        return ReadInt(key, v, out);
    }; }
    template <size_t N>
    void Table(const char* key, const std::array<const char*, N>& table, int& out)
    {
        m_readers[key] = [&out, &table, this, key](const json& v) {
            if (v.is_null()) {
                out = -1;
                return true;
            }
            if (v.is_string()) {
                for (size_t i = 0; i < N; ++i)
                    if (v.get<std::string>() == table[i]) {
                        out = static_cast<int>(i);
                        return true;
                    }
                return Fail(key, "\"" + v.get<std::string>() + "\" is not one of its names");
            }
            return ReadInt(key, v, out);
        };
    }
    void Speed(const char* key, int& out)
    {
        m_readers[key] = [&out, this, key](const json& v) {
            if (v.is_null()) {
                out = -1;
                return true;
            }
            if (v.is_string()) {
                for (size_t i = 0; i < kBaudRates.size(); ++i)
                    if (v.get<std::string>() == std::to_string(kBaudRates[i])) {
                        out = static_cast<int>(i);
                        return true;
                    }
                return Fail(key, "\"" + v.get<std::string>() + "\" is not a rate of the baud table");
            }
            return ReadInt(key, v, out);
        };
    }
    void Ignore(const char* key) { m_readers[key] = [](const json&) { return true; }; }

    bool Read()
    {
        if (!m_json.is_object())
            return Fail("", "an object is expected");
        for (auto it = m_json.begin(); it != m_json.end(); ++it) {
            const auto reader = m_readers.find(it.key());
            if (reader == m_readers.end())
                return Fail(it.key().c_str(), "unknown key");
            if (!reader->second(it.value()))
                return false;
        }
        return true;
    }

    bool Fail(const char* key, const std::string& why)
    {
        m_error = m_strWhere + (key && *key ? std::string(".") + key : std::string()) + ": " + why;
        return false;
    }

private:
    bool ReadText(const char* key, const json& v, std::string& out)
    {
        if (!v.is_string())
            return Fail(key, "a text is expected");
        const std::string text = v.get<std::string>();
        if (Cp1252ToUtf8(Utf8ToCp1252(text)) != text)
            return Fail(key, "holds a character that Windows-1252 cannot hold");
        out = text;
        return true;
    }
    bool ReadInt(const char* key, const json& v, int& out)
    {
        if (!v.is_number_integer())
            return Fail(key, "an integer is expected");
        const auto value = v.get<int64_t>();
        if (v.is_number_unsigned() && v.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int>::max()))
            return Fail(key, "out of 32-bit range");
        if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
            return Fail(key, "out of 32-bit range");
        out = static_cast<int>(value);
        return true;
    }

    const json& m_json;
    std::string m_strWhere;
    std::string& m_error;
    std::map<std::string, std::function<bool(const json&)>> m_readers;
};

bool CheckFormat(const json& j, const char* expected, std::string& error)
{
    if (!j.is_object()) {
        error = "an object is expected";
        return false;
    }
    const auto it = j.find("format");
    if (it != j.end() && (!it->is_string() || it->get<std::string>() != expected)) {
        error = std::string("format: \"") + expected + "\" is expected";
        return false;
    }
    return true;
}

bool ReadArray(const json& j, const char* key, std::string& error, const std::function<bool(const json&, size_t)>& each)
{
    const auto it = j.find(key);
    if (it == j.end())
        return true;
    if (!it->is_array()) {
        error = std::string(key) + ": an array is expected";
        return false;
    }
    for (size_t i = 0; i < it->size(); ++i)
        if (!each((*it)[i], i))
            return false;
    return true;
}

}   // namespace

// --- environments -------------------------------------------------------------------

json BoardDefToJson(const CBoardDef& b)
{
    return json{{"name", b.m_strName},
                {"subassy_id", b.m_strSubassyId},
                {"subassy_hardw", b.m_strSubassyHardw},
                {"boot_loader", b.m_strBootLoader},
                {"browse_filter", b.m_strBrowseFilter},
                {"prog_id", b.m_nProgId},
                {"relayed", FlagValue(b.m_bRelayed)},
                {"destination", TableValue(kDestinationNames, b.m_nDestination)},
                {"processing", TableValue(kProcessingNames, b.m_nProcessing)},
                {"max_speed", SpeedValue(b.m_nMaxSpeed)},
                {"erase_timeout", b.m_nEraseTimeout},
                {"restart_timeout", b.m_nRestartTimeout},
                {"parent_board", b.m_nParentBoard},
                {"save_speed", TableValue(kSaveSpeedNames, b.m_nSaveSpeed)}};
}

json EnvironmentToJson(const CEnvDef& environment)
{
    json boards = json::array();
    for (const CBoardDef& board : environment.m_boards)
        boards.push_back(BoardDefToJson(board));
    return json{{"format", kEnvJsonFormat},
                {"file_path", environment.m_strFilePath},
                {"name", environment.m_strName},
                {"boards", boards}};
}

bool BoardDefFromJson(const json& j, CBoardDef& board, std::string& error)
{
    CBoardDef b;
    CJsonFields f(j, "board", error);
    f.Text("name", b.m_strName);
    f.Text("subassy_id", b.m_strSubassyId);
    f.Text("subassy_hardw", b.m_strSubassyHardw);
    f.Text("boot_loader", b.m_strBootLoader);
    f.Text("browse_filter", b.m_strBrowseFilter);
    f.Int("prog_id", b.m_nProgId);
    f.Flag("relayed", b.m_bRelayed);
    f.Table("destination", kDestinationNames, b.m_nDestination);
    f.Table("processing", kProcessingNames, b.m_nProcessing);
    f.Speed("max_speed", b.m_nMaxSpeed);
    f.Int("erase_timeout", b.m_nEraseTimeout);
    f.Int("restart_timeout", b.m_nRestartTimeout);
    f.Int("parent_board", b.m_nParentBoard);
    f.Table("save_speed", kSaveSpeedNames, b.m_nSaveSpeed);
    if (!f.Read())
        return false;
    board = b;
    return true;
}

bool EnvironmentFromJson(const json& j, CEnvDef& environment, std::string& error)
{
    if (!CheckFormat(j, kEnvJsonFormat, error))
        return false;
    CEnvDef env;
    CJsonFields f(j, "environment", error);
    f.Ignore("format");
    f.Ignore("boards");
    f.Text("file_path", env.m_strFilePath);
    f.Text("name", env.m_strName);
    if (!f.Read())
        return false;
    const bool ok = ReadArray(j, "boards", error, [&](const json& item, size_t i) {
        CBoardDef board;
        if (!BoardDefFromJson(item, board, error)) {
            error = "boards[" + std::to_string(i) + "]." + error;
            return false;
        }
        env.m_boards.push_back(board);
        return true;
    });
    if (!ok)
        return false;
    environment = env;
    return true;
}

// --- requests ------------------------------------------------------------------------------

json BoardConfToJson(const CBoardConf& l)
{
    return json{{"board_name", l.m_strBoardName},
                {"env_name", l.m_strEnvName},
                {"subassy_hardw", l.m_strSubassyHardw},
                {"board_index", l.m_nBoardIndex},
                {"env_index", l.m_nEnvIndex},
                {"release_file", l.m_strReleaseFile},
                {"soft_id", l.m_strSoftId},
                {"transfer_speed", SpeedValue(l.m_nTransferSpeed)},
                {"config_speed", SpeedValue(l.m_nConfigSpeed)},
                {"board_alone", FlagValue(l.m_bBoardAlone)},
                {"restart", FlagValue(l.m_bRestart)},
                {"spare_flag1", FlagValue(l.m_bSpareFlag1)},
                {"spare_flag2", FlagValue(l.m_bSpareFlag2)},
                {"spare_speed1", SpeedValue(l.m_nSpareSpeed1)},
                {"spare_speed2", SpeedValue(l.m_nSpareSpeed2)}};
}

json RequestToJson(const CUpdateDoc& doc)
{
    json lines = json::array();
    for (const CBoardConf& line : doc.m_lines)
        lines.push_back(BoardConfToJson(line));
    return json{{"format", kRequestJsonFormat}, {"version", doc.m_nFileVersion}, {"lines", lines}};
}

bool BoardConfFromJson(const json& j, CBoardConf& line, std::string& error)
{
    CBoardConf l;
    CJsonFields f(j, "line", error);
    f.Text("board_name", l.m_strBoardName);
    f.Text("env_name", l.m_strEnvName);
    f.Text("subassy_hardw", l.m_strSubassyHardw);
    f.Int("board_index", l.m_nBoardIndex);
    f.Int("env_index", l.m_nEnvIndex);
    f.Text("release_file", l.m_strReleaseFile);
    f.Text("soft_id", l.m_strSoftId);
    f.Speed("transfer_speed", l.m_nTransferSpeed);
    f.Speed("config_speed", l.m_nConfigSpeed);
    f.Flag("board_alone", l.m_bBoardAlone);
    f.Flag("restart", l.m_bRestart);
    f.Flag("spare_flag1", l.m_bSpareFlag1);
    f.Flag("spare_flag2", l.m_bSpareFlag2);
    f.Speed("spare_speed1", l.m_nSpareSpeed1);
    f.Speed("spare_speed2", l.m_nSpareSpeed2);
    if (!f.Read())
        return false;
    line = l;
    return true;
}

bool RequestFromJson(const json& j, CUpdateDoc& doc, std::string& error)
{
    if (!CheckFormat(j, kRequestJsonFormat, error))
        return false;
    int version = doc.m_nFileVersion;
    CJsonFields f(j, "request", error);
    f.Ignore("format");
    f.Ignore("lines");
    f.Int("version", version);
    if (!f.Read())
        return false;
    std::vector<CBoardConf> lines;
    const bool ok = ReadArray(j, "lines", error, [&](const json& item, size_t i) {
        CBoardConf line;
        if (!BoardConfFromJson(item, line, error)) {
            error = "lines[" + std::to_string(i) + "]." + error;
            return false;
        }
        lines.push_back(line);
        return true;
    });
    if (!ok)
        return false;
    doc.m_lines = std::move(lines);
    doc.m_nFileVersion = version;
    return true;
}

// --- file tools ----------------------------------------------------------------------------

bool ReadJsonFile(const std::string& path, json& j, std::string& error)
{
    std::vector<uint8_t> bytes;
    const FileReadResult read = ReadModelFile(path, bytes);
    if (read != FileReadResult::Ok) {
        error = read == FileReadResult::TooLarge ? path + " is too large" : "cannot read " + path;
        return false;
    }
    j = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (j.is_discarded()) {
        error = path + " is not valid JSON";
        return false;
    }
    return true;
}

json ExportEnvironmentJson(const CEnvDef& environment)
{
    CEnvDef copy = environment;
    std::vector<uint8_t> bytes;
    CEnvDef stored;
    if (ReadModelFile(environment.m_strFilePath, bytes) == FileReadResult::Ok &&
        EnvironmentFromBytes(bytes, stored))
        copy.m_strFilePath = stored.m_strFilePath;
    return EnvironmentToJson(copy);
}

bool ImportEnvironmentJson(const json& j, const std::string& outPath, std::string& error)
{
    CEnvDef env;
    if (!EnvironmentFromJson(j, env, error))
        return false;
    const int check = CheckEnvironmentForSave(env);
    if (check == ENV_CHECK_NO_BOARD) {
        error = "an environment without boards is not written";
        return false;
    }
    if (check != ENV_CHECK_OK) {
        error = "board \"" + env.m_boards[static_cast<size_t>(check)].m_strName + "\" is not valid";
        return false;
    }
    if (!SaveEnvironmentFile(env, outPath)) {
        error = "cannot write " + outPath;
        return false;
    }
    return true;
}

namespace {

// The line checks that need no environment: release file and soft identification.
ValidationResult CheckLineWithoutEnvironment(const CBoardConf& line)
{
    CEnvDef single;
    single.m_boards.resize(1);   // a relayed placeholder board: check 4 cannot fail
    CBoardConf probe = line;
    probe.m_nBoardIndex = 0;
    return ValidateBoardLine(probe, single);
}

bool SameBoardTwice(const std::vector<CBoardConf>& lines)
{
    for (size_t a = 0; a < lines.size(); ++a)
        for (size_t b = a + 1; b < lines.size(); ++b)
            if (lines[a].m_strEnvName == lines[b].m_strEnvName && lines[a].m_strBoardName == lines[b].m_strBoardName &&
                lines[a].m_strSubassyHardw == lines[b].m_strSubassyHardw)
                return true;
    return false;
}

}   // namespace

bool ImportRequestJson(const json& j, const std::string& outPath, std::string& error)
{
    CUpdateDoc doc;
    doc.m_nFileVersion = App().m_nVersion;
    if (!RequestFromJson(j, doc, error))
        return false;
    for (size_t i = 0; i < doc.m_lines.size(); ++i) {
        CBoardConf line = doc.m_lines[i];
        const bool found = doc.FindLineEnvironment(line);
        const ValidationResult check =
            found ? ValidateBoardLine(line, g_envList[static_cast<size_t>(line.m_nEnvIndex)])
                  : CheckLineWithoutEnvironment(line);
        if (!check) {
            ShowMessage(GetString(check.messageId), MODEL_CAPTION_PROGRAM, MB_OK_ONLY, ICON_EXCLAMATION);
            error = "line " + std::to_string(i + 1) + " (\"" + line.m_strBoardName + "\") is not valid";
            return false;
        }
    }
    if (SameBoardTwice(doc.m_lines)) {
        ShowMessage(GetString(13), 28, MB_OK_ONLY, ICON_STOP);
        error = "the same board is named twice";
        return false;
    }
    if (!WriteModelFile(outPath, RequestToBytes(doc, doc.m_nFileVersion))) {
        error = "cannot write " + outPath;
        return false;
    }
    return true;
}
