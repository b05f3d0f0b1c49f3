// Board definitions and environments: fields, tables, records, validation.
#include "model/BoardDef.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "model/Archive.h"

const std::array<const char*, DEST_COUNT> kDestinationNames = {
    "Port A", "Port B", "Port C", "Port D", "Port E", "Port F", "Port G",
    "Port H", "Dpram 1", "Dpram 2", "Dpram 3", "Dpram 4", "C:\\",
    "D:\\", "E:\\", "F:\\", "G:\\", "Secteur 1", "Secteur 2",
    "Secteur 3", "Secteur 4", "Secteur 5", "Secteur 6", "Secteur 7", "Secteur 8"};

const std::array<const char*, PROCESSING_COUNT> kProcessingNames = {
    "Relais simple", "Conv. en S-Records", "Conv. en CMBIN", "Aucun"};

std::vector<CEnvDef> g_envList;

namespace {

template <size_t N>
std::string TableText(const std::array<const char*, N>& table, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= N)
        return {};
    return table[static_cast<size_t>(index)];
}

template <size_t N>
int TableIndexOf(const std::array<const char*, N>& table, const std::string& text)
{
    for (size_t i = 0; i < N; ++i)
        if (text == table[i])
            return static_cast<int>(i);
    return -1;
}

constexpr int kReservedIntsA = 2;
constexpr int kReservedIntsB = 3;
constexpr int kReservedTexts = 3;

// Reserved items 15 to 17 of a board record: written as zeros and empty
// texts, read and dropped.
void SerializeBoardReserved(CArchive& ar)
{
    int32_t zero = 0;
    std::string empty;
    for (int i = 0; i < kReservedIntsA + kReservedIntsB; ++i) {
        zero = 0;
        ar.Int(zero);
    }
    for (int i = 0; i < kReservedTexts; ++i) {
        empty.clear();
        ar.Text(empty);
    }
}

bool IsTimeoutInRange(int seconds)
{
    return seconds >= BOARD_TIMEOUT_MIN_SEC && seconds <= BOARD_TIMEOUT_MAX_SEC;
}

}   // namespace

std::string DestinationName(int index) { return TableText(kDestinationNames, index); }
std::string ProcessingName(int index) { return TableText(kProcessingNames, index); }
int DestinationIndexOf(const std::string& name) { return TableIndexOf(kDestinationNames, name); }
int ProcessingIndexOf(const std::string& name) { return TableIndexOf(kProcessingNames, name); }

// --- CBoardDef ------------------------------------------------------------------

void CBoardDef::Reset()
{
    m_strName.clear();
    m_strSubassyId.clear();
    m_strSubassyHardw.clear();
    m_strBootLoader.clear();
    m_strBrowseFilter = "*.*";
    m_nProgId = 0;
    m_bRelayed = 1;
    m_nDestination = DEST_NONE;
    m_nProcessing = -1;
    m_nMaxSpeed = -1;
    m_nEraseTimeout = BOARD_TIMEOUT_MAX_SEC;
    m_nRestartTimeout = BOARD_TIMEOUT_MAX_SEC;
    m_nParentBoard = -1;
    m_nSaveSpeed = SAVE_SPEED_UNDETERMINED;
}

bool CBoardDef::IsDifferent(const CBoardDef& o) const
{
    return m_strName != o.m_strName || m_strSubassyId != o.m_strSubassyId ||
           m_strSubassyHardw != o.m_strSubassyHardw || m_strBootLoader != o.m_strBootLoader ||
           m_strBrowseFilter != o.m_strBrowseFilter || m_nProgId != o.m_nProgId ||
           m_bRelayed != o.m_bRelayed || m_nDestination != o.m_nDestination ||
           m_nProcessing != o.m_nProcessing || m_nMaxSpeed != o.m_nMaxSpeed ||
           m_nEraseTimeout != o.m_nEraseTimeout || m_nRestartTimeout != o.m_nRestartTimeout ||
           m_nParentBoard != o.m_nParentBoard || m_nSaveSpeed != o.m_nSaveSpeed;
}

void CBoardDef::Serialize(CArchive& ar)
{
    uint16_t schema = kSchema;
    if (ar.IsStoring())
        ar.WriteClassTag(kClassName, kSchema);
    else
        schema = ar.ReadClassTag(kClassName);

    ar.Text(m_strName);
    ar.Text(m_strSubassyId);
    ar.Text(m_strSubassyHardw);
    ar.Text(m_strBootLoader);
    ar.Int(m_nProgId);
    ar.Int(m_nDestination);
    ar.Int(m_nMaxSpeed);
    ar.Int(m_nProcessing);
    ar.Int(m_bRelayed);
    ar.Text(m_strBrowseFilter);
    ar.Int(m_nEraseTimeout);
    ar.Int(m_nRestartTimeout);
    ar.Int(m_nParentBoard);
    SerializeBoardReserved(ar);

    if (ar.IsStoring()) {
        ar.WriteInt(m_nSaveSpeed);
        return;
    }
    // Older records: schema 1 knew no parent link, schemas 1 and 2 no save speed.
    if (schema <= 1)
        m_nParentBoard = -1;
    m_nSaveSpeed = schema >= 3 ? ar.ReadInt() : SAVE_SPEED_UNDETERMINED;
    if (m_nDestination == DEST_NONE)
        m_nDestination = DEST_DRIVE_C;
}

bool CBoardDef::HasSerialDestination() const
{
    return m_nDestination != DEST_NONE &&
           !(m_nDestination >= DEST_FIRST_DPRAM && m_nDestination <= DEST_LAST_DPRAM);
}

bool CBoardDef::SetEraseTimeout(int seconds)
{
    if (!IsTimeoutInRange(seconds))
        return false;
    m_nEraseTimeout = seconds;
    return true;
}

bool CBoardDef::SetRestartTimeout(int seconds)
{
    if (!IsTimeoutInRange(seconds))
        return false;
    m_nRestartTimeout = seconds;
    return true;
}

namespace {

int SecondsToMs(int seconds)
{
    const int64_t ms = static_cast<int64_t>(seconds) * 1000;
    return static_cast<int>(std::clamp<int64_t>(ms, 0, std::numeric_limits<int>::max()));
}

}  // namespace

int CBoardDef::EraseTimeoutMs() const { return SecondsToMs(m_nEraseTimeout); }

int CBoardDef::RestartTimeoutMs() const { return SecondsToMs(m_nRestartTimeout); }

std::string CBoardDef::GetDescription() const
{
    const std::string eol = "\r\n";
    std::string text = eol;
    text += "Board name\t: " + m_strName + eol;
    text += "Board ident.\t: " + m_strSubassyId + m_strSubassyHardw + eol;
    text += "Boot ident.\t: " + m_strBootLoader + eol;
    text += "Soft code\t: " + std::to_string(m_nProgId) + eol;
    text += std::string("Relayed board\t: ") + (m_bRelayed == 1 ? "YES" : "NO") + eol;
    if (m_bRelayed) {
        text += "Mother board com\t: " + DestinationName(m_nDestination) + eol;
        text += "Process\t: " + ProcessingName(m_nProcessing) + eol;
    }
    text += "Time out erasure\t: " + std::to_string(m_nEraseTimeout) + " sec." + eol;
    text += "Time out re-start\t: " + std::to_string(m_nRestartTimeout) + " sec." + eol;
    text += eol;
    return text;
}

// --- CEnvDef ----------------------------------------------------------------------

void CEnvDef::Reset()
{
    m_strFilePath.clear();
    m_strName.clear();
    m_boards.clear();
}

void CEnvDef::SetBoards(const std::string& name, const std::vector<CBoardDef>& boards)
{
    Reset();
    m_strName = name;
    m_boards = boards;
}

bool CEnvDef::IsDifferent(const CEnvDef& other) const
{
    if (m_strName != other.m_strName || m_boards.size() != other.m_boards.size())
        return true;
    for (size_t i = 0; i < m_boards.size(); ++i)
        if (m_boards[i].IsDifferent(other.m_boards[i]))
            return true;
    return false;
}

const CBoardDef* CEnvDef::Board(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_boards.size())
        return nullptr;
    return &m_boards[static_cast<size_t>(index)];
}

namespace {
// Smallest board record: a later class tag, 5 texts, 13 integers, 3 texts.
constexpr size_t kMinBoardRecordBytes = 2 + 5 * 1 + 13 * 4 + 3 * 1;
}   // namespace

void CEnvDef::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteClassTag(kClassName, kSchema);
        ar.WriteText(m_strFilePath);
        ar.WriteText(m_strName);
        ar.WriteInt(static_cast<int32_t>(m_boards.size()));
        for (CBoardDef& board : m_boards)
            board.Serialize(ar);
        return;
    }
    Reset();
    ar.ReadClassTag(kClassName);
    m_strFilePath = ar.ReadText();
    m_strName = ar.ReadText();
    const int32_t count = ar.ReadInt();
    if (!ar.CheckCount(count, kMinBoardRecordBytes))
        return;
    for (int32_t i = 0; i < count && ar.Ok(); ++i) {
        CBoardDef board;
        board.Serialize(ar);
        if (ar.Ok())
            m_boards.push_back(std::move(board));
    }
}

// --- validation ---------------------------------------------------------------------

namespace {

using BoardCheck = RecordCheck<CBoardDef, BoardDefField>;

bool ParentMissing(const CBoardDef& b, const CEnvDef& env)
{
    return b.m_bRelayed && env.Board(b.m_nParentBoard) == nullptr;
}

bool ParentIsItself(const CBoardDef& b, const CEnvDef& env)
{
    const CBoardDef* parent = env.Board(b.m_nParentBoard);
    return b.m_bRelayed && parent != nullptr && parent->m_strName == b.m_strName;
}

// The checks in their order; the first that fails gives the result.
const BoardCheck kBoardChecks[] = {
    {[](const CBoardDef& b, const CEnvDef&) { return b.m_strName.empty(); }, FIELD_BOARD_NAME, 63},
    {[](const CBoardDef& b, const CEnvDef&) { return b.m_strSubassyId.empty(); }, FIELD_SUBASSY_ID, 64},
    {[](const CBoardDef& b, const CEnvDef&) { return b.m_strSubassyHardw.empty(); }, FIELD_SUBASSY_HARDW, 65},
    {[](const CBoardDef& b, const CEnvDef&) { return b.m_strBootLoader.empty(); }, FIELD_BOOT_LOADER, 66},
    {[](const CBoardDef& b, const CEnvDef&) { return b.HasSerialDestination() && b.m_nMaxSpeed == -1; },
     FIELD_MAX_SPEED, 68},
    {[](const CBoardDef& b, const CEnvDef&) { return b.m_nProgId <= 0 || b.m_nProgId > 10; }, FIELD_PROG_ID, 67},
    // A destination or processing outside its table (only a damaged or
    // hand-made file holds one) counts as unset: the sentences and records
    // are built from these indexes.
    {[](const CBoardDef& b, const CEnvDef&) { return DestinationName(b.m_nDestination).empty(); },
     FIELD_DESTINATION, 69},
    {[](const CBoardDef& b, const CEnvDef&) { return ProcessingName(b.m_nProcessing).empty(); },
     FIELD_PROCESSING, 70},
    {[](const CBoardDef& b, const CEnvDef&) {
         return !b.m_bRelayed && b.HasSerialDestination() && b.m_nSaveSpeed == SAVE_SPEED_UNDETERMINED;
     },
     FIELD_SAVE_SPEED, 123},
    {ParentMissing, FIELD_PARENT_BOARD, 72},
    {ParentIsItself, FIELD_PARENT_BOARD, 72},
    {[](const CBoardDef& b, const CEnvDef&) {
         return b.m_bRelayed && b.HasSerialDestination() && b.m_nSaveSpeed == SAVE_SPEED_UNDETERMINED;
     },
     FIELD_SAVE_SPEED, 123},
};

}   // namespace

ValidationResult ValidateBoardDef(const CBoardDef& board, const CEnvDef& environment)
{
    return FirstFailedCheck(kBoardChecks, board, environment);
}
