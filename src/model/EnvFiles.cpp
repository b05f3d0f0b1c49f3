// .def files: byte forms, reading with validation and repair, the scan of the
// environment directory into g_envList, and saving.
#include <algorithm>
#include <filesystem>

#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "model/Archive.h"
#include "model/BoardDef.h"
#include "model/ModelFiles.h"

namespace fs = std::filesystem;

namespace {

// A host whose editor keeps answering OK without mending the file must not
// keep the scan going for ever.
constexpr int kMaxRepairRounds = 16;

bool EndsWithDef(const std::string& name)
{
    static const std::string kExt = ".def";
    if (name.size() <= kExt.size())
        return false;
    const std::string tail = name.substr(name.size() - kExt.size());
    return std::equal(tail.begin(), tail.end(), kExt.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

// Names of the .def files of `dir` (no directories), in byte order.
std::vector<std::string> ListDefinitionFiles(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(dir.empty() ? "." : dir, ec);
    if (ec)
        return names;
    // Advanced with an error code: a directory that changes or vanishes
    // while it is listed ends the listing instead of throwing.
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (EndsWithDef(name) && !it->is_directory(typeError))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

MsgAnswer WarningBox(const std::string& text)
{
    return ShowMessage(text, MODEL_CAPTION_PROGRAM, MB_OK_ONLY, ICON_EXCLAMATION);
}

// LoadEnvironmentFile on `path`, naming the file `shownName` in messages.
int LoadEnvironmentFileAs(const std::string& path, const std::string& shownName, CEnvDef& environment,
                          int mode)
{
    for (int round = 0; round < kMaxRepairRounds; ++round) {
        std::vector<uint8_t> bytes;
        const FileReadResult read = ReadModelFile(path, bytes);
        if (read == FileReadResult::CannotOpen)
            return 0;
        CEnvDef loaded;
        if (read == FileReadResult::TooLarge || !EnvironmentFromBytes(bytes, loaded)) {
            WarningBox(FormatString(92, {shownName}));
            return 0;
        }
        loaded.m_strFilePath = AbsolutePath(path);
        environment = loaded;
        const int badBoard = FirstInvalidBoard(environment);
        if (badBoard < 0)
            return 1;
        WarningBox(FormatString(91, {shownName}));
        if (!App().m_bEditRights)
            return 0;
        if (!Host().RepairEnvironment(mode, environment, badBoard))
            return 0;
    }
    return 0;
}

}   // namespace

int FirstInvalidBoard(const CEnvDef& environment, ValidationResult* failure)
{
    for (size_t i = 0; i < environment.m_boards.size(); ++i) {
        const ValidationResult check = ValidateBoardDef(environment.m_boards[i], environment);
        if (!check) {
            if (failure)
                *failure = check;
            return static_cast<int>(i);
        }
    }
    return -1;
}

int CheckEnvironmentForSave(const CEnvDef& environment, ValidationResult* failure)
{
    if (environment.m_boards.empty())
        return ENV_CHECK_NO_BOARD;
    ValidationResult check;
    const int bad = FirstInvalidBoard(environment, &check);
    if (bad < 0)
        return ENV_CHECK_OK;
    const CBoardDef& board = environment.m_boards[static_cast<size_t>(bad)];
    Host().Beep(BEEP_EXCLAMATION);
    Host().MessageBox(GetString(check.messageId), FormatString(155, {board.m_strName}), MB_OK_ONLY, ICON_STOP);
    if (failure)
        *failure = check;
    return bad;
}

int ScanModeForRights() { return App().m_bEditRights ? ENV_MODE_REPAIR : ENV_MODE_VIEW; }

std::vector<uint8_t> EnvironmentToBytes(const CEnvDef& environment) { return ObjectToBytes(environment); }

bool EnvironmentFromBytes(const std::vector<uint8_t>& bytes, CEnvDef& environment, std::string* error)
{
    return ObjectFromBytes(bytes, environment, error);
}

std::vector<uint8_t> BoardDefToBytes(const CBoardDef& board) { return ObjectToBytes(board); }

bool BoardDefFromBytes(const std::vector<uint8_t>& bytes, CBoardDef& board, std::string* error)
{
    return ObjectFromBytes(bytes, board, error);
}

int LoadEnvironmentFile(const std::string& fileName, CEnvDef& environment, int mode)
{
    return LoadEnvironmentFileAs(fileName, fileName, environment, mode);
}

int ScanEnvironmentDirectory(int mode)
{
    g_envList.clear();
    const std::string dir = DirectoryWithSlash(App().m_strEnvDir);
    for (const std::string& name : ListDefinitionFiles(dir)) {
        CEnvDef environment;
        if (LoadEnvironmentFileAs(dir + name, name, environment, mode) != 1)
            continue;
        const bool duplicate = std::any_of(g_envList.begin(), g_envList.end(), [&](const CEnvDef& e) {
            return e.m_strName == environment.m_strName;
        });
        if (duplicate && App().m_nReserved1 == 0) {
            WarningBox(FormatString(164, {environment.m_strName, name}));
            continue;
        }
        g_envList.push_back(std::move(environment));
    }
    if (g_envList.empty())
        WarningBox(FormatString(100, {App().m_strEnvDir}));
    return static_cast<int>(g_envList.size());
}

bool SaveEnvironmentFile(const CEnvDef& environment, const std::string& path)
{
    return WriteModelFile(path, EnvironmentToBytes(environment));
}
