// The request document: .sfl record, opening, linking, saving.
#include "model/UpdateDoc.h"

#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "model/Archive.h"
#include "model/ModelFiles.h"

namespace {

constexpr int kReservedTrailerInts = 3 + 3;
constexpr int kReservedTrailerTexts = 3;
// Smallest line record: a later class tag, 14 integers, 10 texts, 10 integers.
constexpr size_t kMinLineRecordBytes = 2 + 2 * 4 + 5 * 1 + 9 * 4 + 5 * 1 + 4 + 9 * 4;
constexpr const char* kModifiedMark = " *";

void SerializeDocument(CArchive& ar, std::vector<CBoardConf>& lines, int32_t& version)
{
    int32_t reserved = 0;
    if (ar.IsStoring()) {
        ar.WriteClassTag(CUpdateDoc::kClassName, CUpdateDoc::kSchema);
        ar.WriteInt(version);
        ar.WriteInt(reserved);
        ar.WriteInt(static_cast<int32_t>(lines.size()));
        for (CBoardConf& line : lines)
            line.Serialize(ar);
    } else {
        lines.clear();
        ar.ReadClassTag(CUpdateDoc::kClassName);
        version = ar.ReadInt();
        ar.ReadInt();
        const int32_t count = ar.ReadInt();
        if (!ar.CheckCount(count, kMinLineRecordBytes))
            return;
        for (int32_t i = 0; i < count && ar.Ok(); ++i) {
            CBoardConf line;
            line.Serialize(ar);
            if (ar.Ok())
                lines.push_back(std::move(line));
        }
    }
    for (int i = 0; i < kReservedTrailerInts; ++i) {
        reserved = 0;
        ar.Int(reserved);
    }
    for (int i = 0; i < kReservedTrailerTexts; ++i) {
        std::string empty;
        ar.Text(empty);
    }
    if (!ar.Ok())
        lines.clear();
}

MsgAnswer WarningBox(const std::string& text, MsgButtons buttons = MB_OK_ONLY)
{
    return ShowMessage(text, MODEL_CAPTION_PROGRAM, buttons, ICON_EXCLAMATION);
}

// A warning that also goes into the log as a note.
void LoggedWarning(const std::string& text)
{
    App().WriteLogNote(text);
    WarningBox(text);
}

int EnvironmentIndexByName(const std::string& name)
{
    for (size_t i = 0; i < g_envList.size(); ++i)
        if (g_envList[i].m_strName == name)
            return static_cast<int>(i);
    return 0;
}

enum class LinkError { None, NotFound, OtherEnvironment };

}   // namespace

// --- record ---------------------------------------------------------------------------

std::vector<uint8_t> RequestToBytes(const CUpdateDoc& doc, int version)
{
    CArchive ar;
    std::vector<CBoardConf> lines = doc.m_lines;
    int32_t v = version;
    SerializeDocument(ar, lines, v);
    return ar.Bytes();
}

bool RequestFromBytes(const std::vector<uint8_t>& bytes, CUpdateDoc& doc, std::string* error)
{
    CArchive ar(bytes);
    std::vector<CBoardConf> lines;
    int32_t version = 0;
    SerializeDocument(ar, lines, version);
    if (!ar.Ok()) {
        if (error)
            *error = ar.Error();
        return false;
    }
    doc.m_lines = std::move(lines);
    doc.m_nFileVersion = version;
    return true;
}

std::vector<uint8_t> BoardConfToBytes(const CBoardConf& line) { return ObjectToBytes(line); }

bool BoardConfFromBytes(const std::vector<uint8_t>& bytes, CBoardConf& line, std::string* error)
{
    return ObjectFromBytes(bytes, line, error);
}

void CUpdateDoc::Serialize(CArchive& ar)
{
    int32_t version = ar.IsStoring() ? App().m_nVersion : 0;
    SerializeDocument(ar, m_lines, version);
    if (ar.IsLoading())
        m_nFileVersion = version;
}

// --- lines and environments -------------------------------------------------------------

const CEnvDef* CUpdateDoc::LineEnvironment(const CBoardConf& line)
{
    if (line.m_nEnvIndex < 0 || static_cast<size_t>(line.m_nEnvIndex) >= g_envList.size())
        return nullptr;
    return &g_envList[static_cast<size_t>(line.m_nEnvIndex)];
}

const CBoardDef* CUpdateDoc::LineBoardDef(const CBoardConf& line)
{
    const CEnvDef* env = LineEnvironment(line);
    return env ? env->Board(line.m_nBoardIndex) : nullptr;
}

// The match also refreshes the line's board index: the stored one may be
// stale (boards reordered since the request was made) or hostile, and every
// later use goes through the index.
bool CUpdateDoc::FindLineEnvironment(CBoardConf& line) const
{
    for (size_t e = 0; e < g_envList.size(); ++e) {
        const CEnvDef& env = g_envList[e];
        if (env.m_strName != line.m_strEnvName)
            continue;
        for (size_t b = 0; b < env.m_boards.size(); ++b) {
            const CBoardDef& board = env.m_boards[b];
            if (board.m_strSubassyHardw == line.m_strSubassyHardw && board.m_strName == line.m_strBoardName) {
                line.m_nEnvIndex = static_cast<int>(e);
                line.m_nBoardIndex = static_cast<int>(b);
                return true;
            }
        }
    }
    return false;
}

int CUpdateDoc::NextSelectedLine(int i) const
{
    const int count = static_cast<int>(m_lines.size());
    for (int j = std::max(i + 1, 0); j < count; ++j)
        if (m_lines[static_cast<size_t>(j)].m_bSelected)
            return j;
    return count;
}

bool CUpdateDoc::IsLastSelected(int i) const
{
    return NextSelectedLine(i) >= static_cast<int>(m_lines.size());
}

bool CUpdateDoc::AnyRelayed() const
{
    for (const CBoardConf& line : m_lines) {
        const CBoardDef* def = LineBoardDef(line);
        if (def && def->m_bRelayed)
            return true;
    }
    return false;
}

bool CUpdateDoc::BuildRelayPaths()
{
    for (CBoardConf& line : m_lines) {
        const CEnvDef* env = LineEnvironment(line);
        std::string faulty = line.m_strBoardName;
        if (env && BuildLineHops(line, *env, &faulty))
            continue;
        const std::string text = FormatString(89, {faulty});
        App().WriteLogNote(text);
        ShowMessage(text, 90, MB_OK_ONLY, ICON_STOP);
        return false;
    }
    return true;
}

void CUpdateDoc::MarkTitleModified()
{
    if (m_strTitle.find(kModifiedMark) == std::string::npos)
        m_strTitle += kModifiedMark;
}

// --- linking ------------------------------------------------------------------------------

namespace {

// Validates a linked line; a "Board alone" clear on a board that is not
// relayed is corrected with message 139. True when the line was changed.
bool CorrectBoardAlone(CBoardConf& line)
{
    const CEnvDef* env = CUpdateDoc::LineEnvironment(line);
    if (!env)
        return false;
    const ValidationResult check = ValidateBoardLine(line, *env);
    if (check || check.field != FIELD_LINE_BOARD_ALONE)
        return false;
    LoggedWarning(FormatString(139, {line.m_strBoardName, line.m_strEnvName}));
    line.m_bBoardAlone = 1;
    return true;
}

// Lowers a speed above the chosen board's maximum, with its message.
void LimitSpeed(int& speed, int maxSpeed, int messageId)
{
    if (maxSpeed < speed) {
        LoggedWarning(GetString(messageId));
        speed = maxSpeed;
    }
}

// Message 39 or 73 (+ 40 with edit rights); true when the user answers Yes.
bool AskToRelink(const CBoardConf& line, LinkError error)
{
    App().WriteLogNote(line.GetDescription());
    std::string text = FormatString(error == LinkError::NotFound ? 39 : 73,
                                    {line.m_strBoardName, line.m_strEnvName});
    MsgAnswer answer = ANSWER_NO;
    if (App().m_bEditRights) {
        text += GetString(40);
        answer = WarningBox(text, MB_YES_NO_CANCEL);
    } else {
        WarningBox(text);
    }
    App().WriteLogNote(text);
    return answer == ANSWER_YES;
}

}   // namespace

int CUpdateDoc::LinkLines()
{
    std::string referenceEnv;
    bool linesModified = false;
    LinkError error = LinkError::None;
    const auto checkEnvironment = [&](size_t i, const CBoardConf& line) {
        if (i == 0)
            referenceEnv = line.m_strEnvName;
        else if (line.m_strEnvName != referenceEnv)
            error = LinkError::OtherEnvironment;
    };

    for (size_t i = 0; i < m_lines.size() && error == LinkError::None; ++i) {
        CBoardConf& line = m_lines[i];
        if (!FindLineEnvironment(line)) {
            error = LinkError::NotFound;
        } else {
            if (CorrectBoardAlone(line)) {
                SetModifiedFlag();
                linesModified = true;
            }
            checkEnvironment(i, line);
        }
        // A re-linked line is checked again, so that every line ends up in
        // the first line's environment.
        while (error != LinkError::None) {
            if (!AskToRelink(line, error))
                break;
            int chosenEnv = -1;
            int chosenBoard = -1;
            if (!Host().ChooseEnvironmentBoard(g_envList, EnvironmentIndexByName(line.m_strEnvName), chosenEnv,
                                               chosenBoard))
                break;
            if (chosenEnv < 0 || static_cast<size_t>(chosenEnv) >= g_envList.size())
                break;
            const CEnvDef& env = g_envList[static_cast<size_t>(chosenEnv)];
            const CBoardDef* board = env.Board(chosenBoard);
            if (!board)
                break;
            LimitSpeed(line.m_nTransferSpeed, board->m_nMaxSpeed, 78);
            LimitSpeed(line.m_nConfigSpeed, board->m_nMaxSpeed, 79);
            line.m_strBoardName = board->m_strName;
            line.m_strEnvName = env.m_strName;
            line.m_strSubassyHardw = board->m_strSubassyHardw;
            line.m_nEnvIndex = chosenEnv;
            line.m_nBoardIndex = chosenBoard;
            error = LinkError::None;
            checkEnvironment(i, line);
            CorrectBoardAlone(line);
            App().WriteLogNote(line.GetDescription());
            SetModifiedFlag();
            linesModified = true;
        }
    }
    if (linesModified)
        LoggedWarning(GetString(80));
    if (IsModified())
        MarkTitleModified();
    return error == LinkError::None ? 1 : 0;
}

// --- opening and saving ------------------------------------------------------------------------

void CUpdateDoc::OnNewDocument()
{
    DeleteContents();
    m_bLinked = 0;
    m_bHasRelayed = 0;
    m_bModified = false;
    ScanEnvironmentDirectory(ScanModeForRights());
}

OpenResult CUpdateDoc::OpenRequest(const std::string& path)
{
    m_strLastError.clear();
    const bool wasLinked = m_bLinked != 0;
    const int loaded = ScanEnvironmentDirectory(ScanModeForRights());
    // The scan replaced every board definition: relay chains built against
    // the old list would point at freed ones if the open fails and the lines stay.
    for (CBoardConf& line : m_lines)
        line.m_hops.clear();
    if (loaded == 0) {
        m_strLastError = "no environment";
        return OpenResult::NoEnvironment;
    }

    std::vector<uint8_t> bytes;
    const FileReadResult read = ReadModelFile(path, bytes);
    if (read == FileReadResult::CannotOpen) {
        m_strLastError = "cannot read " + path;
        return OpenResult::CannotOpen;
    }
    std::string error = "file larger than " + std::to_string(MODEL_MAX_FILE_BYTES) + " bytes";
    if (read == FileReadResult::TooLarge || !RequestFromBytes(bytes, *this, &error)) {
        DeleteContents();
        m_bLinked = 0;
        m_strLastError = error;
        return OpenResult::FormatError;
    }

    const std::string oldTitle = m_strTitle;
    const std::string oldPath = m_strPathName;
    m_strPathName = AbsolutePath(path);
    m_strTitle = FileNamePart(path);
    m_bModified = false;

    m_bLinked = LinkLines();
    if (m_bLinked) {
        m_bHasRelayed = AnyRelayed() ? 1 : 0;
        App().m_strLastSflPath = DirectoryOfPath(path);
        return OpenResult::Ok;
    }
    DeleteContents();
    m_bModified = false;
    m_strTitle = wasLinked ? " " : oldTitle;
    m_strPathName = wasLinked ? " " : oldPath;
    m_strLastError = "lines not linked";
    return OpenResult::NotLinked;
}

bool CUpdateDoc::SaveRequest(const std::string& path)
{
    m_strLastError.clear();
    if (!WriteModelFile(path, RequestToBytes(*this, App().m_nVersion))) {
        m_strLastError = "cannot write " + path;
        return false;
    }
    m_bLinked = 1;
    m_bModified = false;
    m_strPathName = AbsolutePath(path);
    m_strTitle = FileNamePart(path);
    App().m_strLastSflPath = DirectoryOfPath(path);
    return true;
}
