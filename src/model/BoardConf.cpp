// Board lines: fields, record, comparison, description, validation, speeds
// and the relay chain.
#include "model/BoardConf.h"

#include <algorithm>
#include <deque>

#include "app/UpdateApp.h"
#include "model/Archive.h"
#include "model/ModelFiles.h"

namespace {

void SerializeReservedInts(CArchive& ar, int count)
{
    for (int i = 0; i < count; ++i) {
        int32_t zero = 0;
        ar.Int(zero);
    }
}

void SerializeReservedTexts(CArchive& ar, int count)
{
    for (int i = 0; i < count; ++i) {
        std::string empty;
        ar.Text(empty);
    }
}

const char* YesNo(int flag) { return flag ? "YES" : "NO"; }

}   // namespace

// --- CRelayedBoard ------------------------------------------------------------------

void CRelayedBoard::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        ar.WriteClassTag(kClassName, kSchema);
    else
        ar.ReadClassTag(kClassName);
}

int GetRestartWaitMs(const std::vector<CRelayedBoard>& hops, bool all)
{
    if (hops.empty())
        return 0;
    if (!all) {
        const CBoardDef* last = hops.back().m_pBoardDef;
        return last ? last->RestartTimeoutMs() : 0;
    }
    int longest = 0;
    for (const CRelayedBoard& hop : hops)
        if (hop.m_pBoardDef)
            longest = std::max(longest, hop.m_pBoardDef->RestartTimeoutMs());
    return longest;
}

// --- CBoardConf -----------------------------------------------------------------------

void CBoardConf::Reset()
{
    m_strBoardName.clear();
    m_strSubassyHardw.clear();
    m_strSoftId.clear();
    m_nBoardIndex = -1;
    m_bBoardAlone = 0;
    m_strReleaseFile.clear();
    m_nTransferSpeed = -1;
    m_bRestart = 1;
    m_nConfigSpeed = -1;
    m_nSpareSpeed1 = -1;
    m_nSpareSpeed2 = -1;
    m_strEnvName.clear();
    m_bSpareFlag1 = 0;
    m_bSpareFlag2 = 0;
    m_nFileType = -1;
    m_bSelected = 1;
    m_nRestartSpeed = 0;
    m_nEffectiveSpeed = 0;
    m_strVleFile.clear();
    m_hops.clear();
    m_nHop = 0;
    m_nResult = LINE_RESULT_UNKNOWN;
    m_nIdentLines = 0;
    m_bUpdateNeeded = 0;
    m_nExactVersion = 255;
}

void CBoardConf::CopyFrom(const CBoardConf& other)
{
    const int restartSpeed = m_nRestartSpeed;
    const int effectiveSpeed = m_nEffectiveSpeed;
    const int identLines = m_nIdentLines;
    *this = other;
    m_nRestartSpeed = restartSpeed;
    m_nEffectiveSpeed = effectiveSpeed;
    m_nIdentLines = identLines;
}

bool CBoardConf::IsDifferent(const CBoardConf& o) const
{
    if (m_strBoardName != o.m_strBoardName || m_strSubassyHardw != o.m_strSubassyHardw ||
        m_strSoftId != o.m_strSoftId || m_nBoardIndex != o.m_nBoardIndex ||
        m_bBoardAlone != o.m_bBoardAlone || m_strReleaseFile != o.m_strReleaseFile ||
        m_nTransferSpeed != o.m_nTransferSpeed || m_nConfigSpeed != o.m_nConfigSpeed ||
        m_bRestart != o.m_bRestart || m_strEnvName != o.m_strEnvName)
        return true;
    if (!(m_bRestart && o.m_bRestart))
        return false;
    if (m_bSpareFlag1 != o.m_bSpareFlag1)
        return true;
    if (m_bSpareFlag1 != 0)
        return false;
    if (m_bSpareFlag2 != o.m_bSpareFlag2)
        return true;
    if (m_bSpareFlag2 != 0)
        return false;
    return m_nSpareSpeed2 != o.m_nSpareSpeed2 || m_nSpareSpeed1 != o.m_nSpareSpeed1;
}

void CBoardConf::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        ar.WriteClassTag(kClassName, kSchema);
    else
        ar.ReadClassTag(kClassName);   // every schema reads the same layout

    SerializeReservedInts(ar, 2);
    ar.Text(m_strBoardName);
    ar.Text(m_strEnvName);
    ar.Int(m_nBoardIndex);
    ar.Text(m_strReleaseFile);
    ar.Text(m_strSubassyHardw);
    ar.Text(m_strSoftId);
    ar.Int(m_nTransferSpeed);
    ar.Int(m_nConfigSpeed);
    ar.Int(m_bBoardAlone);
    ar.Int(m_bRestart);
    ar.Int(m_bSpareFlag1);
    ar.Int(m_bSpareFlag2);
    ar.Int(m_nSpareSpeed1);
    ar.Int(m_nSpareSpeed2);
    SerializeReservedTexts(ar, 5);
    ar.Int(m_nEnvIndex);
    SerializeReservedInts(ar, 4 + 5);
}

std::string CBoardConf::GetDescription() const
{
    const std::string eol = "\r\n";
    std::string text = eol;
    text += "Environment name\t: " + m_strEnvName + eol;
    text += "Board name\t: " + m_strBoardName + eol;
    text += "Release file\t: " + m_strReleaseFile + eol;
    text += "Soft identification\t: " + m_strSoftId + eol;
    text += std::string("Board alone\t: ") + YesNo(m_bBoardAlone) + eol;
    text += std::string("Re-start\t: ") + YesNo(m_bRestart) + eol;
    text += eol;
    return text;
}

int CBoardConf::ComputeEffectiveSpeed() const
{
    int speed = BAUD_INDEX_115200;
    if (!m_bBoardAlone) {
        for (const CRelayedBoard& hop : m_hops) {
            const CBoardDef* def = hop.m_pBoardDef;
            // An unset maximum (-1) sets no limit: validation keeps it out of
            // loaded environments, and -1 is no rate.
            if (def && def->HasSerialDestination() && def->m_nMaxSpeed >= 0)
                speed = std::min(speed, def->m_nMaxSpeed);
        }
    }
    if (m_nTransferSpeed != -1 && m_nTransferSpeed <= speed)
        return m_nTransferSpeed;
    return speed;
}

void CBoardConf::ResetForTransfer()
{
    m_bSelected = 1;
    m_nRestartSpeed = 0;
    m_nResult = LINE_RESULT_NOT_UPDATED;
    m_nHop = 0;
    m_nIdentLines = 0;
    m_bUpdateNeeded = 0;
    m_nExactVersion = 0;
    m_nEffectiveSpeed = ComputeEffectiveSpeed();
}

int CBoardConf::TakeRestartSpeed()
{
    if (m_hops.empty() || !m_hops.back().m_pBoardDef || !m_hops.back().m_pBoardDef->HasSerialDestination())
        return 0;
    m_nRestartSpeed = m_nEffectiveSpeed;
    return 1;
}

int CBoardConf::GetHopSpeed(int i) const
{
    const int index = i == -1 ? m_nHop : i;
    if (index < 0 || static_cast<size_t>(index) >= m_hops.size())
        return -1;
    return m_hops[static_cast<size_t>(index)].m_nSpeed;
}

bool CBoardConf::SetHopSpeed(int speed, int i)
{
    const int index = i == -1 ? m_nHop : i;
    if (index < 0 || static_cast<size_t>(index) >= m_hops.size())
        return false;
    m_hops[static_cast<size_t>(index)].m_nSpeed = speed;
    return true;
}

std::string CBoardConf::ReleaseFileName() const { return FileNamePart(m_strReleaseFile); }

std::string CBoardConf::ReleaseFilePath() const
{
    return App().m_strLastSflPath + ReleaseFileName();
}

// --- validation and relay chain ---------------------------------------------------------

namespace {

using LineCheck = RecordCheck<CBoardConf, BoardLineField>;

// A board index outside the environment counts as no board.
const LineCheck kLineChecks[] = {
    {[](const CBoardConf& l, const CEnvDef& e) { return e.Board(l.m_nBoardIndex) == nullptr; },
     FIELD_LINE_BOARD, 63},
    {[](const CBoardConf& l, const CEnvDef&) { return l.m_strReleaseFile.empty(); }, FIELD_LINE_RELEASE_FILE, 81},
    {[](const CBoardConf& l, const CEnvDef&) { return l.m_strSoftId.empty(); }, FIELD_LINE_SOFT_ID, 82},
    {[](const CBoardConf& l, const CEnvDef& e) { return !l.m_bBoardAlone && !e.Board(l.m_nBoardIndex)->m_bRelayed; },
     FIELD_LINE_BOARD_ALONE, 138},
};

}   // namespace

ValidationResult ValidateBoardLine(const CBoardConf& line, const CEnvDef& environment)
{
    return FirstFailedCheck(kLineChecks, line, environment);
}

bool BuildLineHops(CBoardConf& line, const CEnvDef& environment, std::string* faultyBoard)
{
    line.m_hops.clear();
    const CBoardDef* target = environment.Board(line.m_nBoardIndex);
    if (!target) {
        if (faultyBoard)
            *faultyBoard = line.m_strBoardName;
        return false;
    }
    std::deque<const CBoardDef*> chain{target};
    if (!line.m_bBoardAlone) {
        // Each board appears at most once in a chain, so a chain longer than
        // the environment's list means the parent links loop.
        while (chain.front()->m_bRelayed) {
            const CBoardDef* child = chain.front();
            const CBoardDef* parent = environment.Board(child->m_nParentBoard);
            if (!parent || chain.size() >= environment.m_boards.size()) {
                if (faultyBoard)
                    *faultyBoard = child->m_strName;
                return false;
            }
            chain.push_front(parent);
        }
    }
    for (size_t i = 0; i < chain.size(); ++i) {
        CRelayedBoard hop;
        hop.m_nHopNumber = static_cast<int>(i);
        hop.m_pBoardDef = chain[i];
        hop.m_pParentDef = i > 0 ? chain[i - 1] : nullptr;
        hop.m_pChildDef = i + 1 < chain.size() ? chain[i + 1] : nullptr;
        line.m_hops.push_back(hop);
    }
    return true;
}
