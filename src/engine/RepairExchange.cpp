// The Repair process (step 35): the "Change communication" choices, the
// repair exchange that sets the rate of the chosen board's serial side, and
// the new rate of the connected board kept in the settings.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/IniFile.h"
#include "app/UpdateApp.h"
#include "link/SerialLink.h"
#include "engine/IdentMatch.h"
#include "engine/ProcessEngine.h"
#include "engine/SentenceFields.h"
#include "link/ChangeComm.h"
#include "model/UpdateDoc.h"

namespace {

constexpr int REPAIR_WAIT_STEP_MS = 1000;   // one "wait" step of the exchange
constexpr int REPAIR_END_PAUSE_MS = 200;    // before the wait dialog closes
constexpr int REPAIR_PROGRESS_RANGE = 100;  // the wait dialog shows percent
constexpr const char* kCommunicationSection = "Communication";

// One step of the exchange: a fire-and-forget sentence, or a pause. In the
// sentence, {L} stands for the destination letter and {R} for the new rate.
struct RepairStep {
    const char* sentence;   // null: wait REPAIR_WAIT_STEP_MS
};

constexpr RepairStep kDirectSteps[] = {
    {"$PKVR,HARDRS,,,,{R}"},
    {nullptr},
};

// A board behind a port of the connected board: its own rate through the
// relay, then the parent's port, then the parent is asked to look again.
constexpr RepairStep kPortSteps[] = {
    {"$PKVR,JOIN,,2,IO,{L}"},
    {"$PKVR,HARDRS,,,,{R}"},
    {"$PKVR,JOIN,,0"},
    {"$PKVR,JOIN,{L},0"},
    {"$PKVR,HARDRS,,,{L},{R}"},
    {"$PKVR,IDENT,,,,,{L}"},
    {nullptr},
    {nullptr},
    {nullptr},
};

// A board behind a Dpram has no rate: the relay is left and the parent looks again.
constexpr RepairStep kDpramSteps[] = {
    {"$PKVR,JOIN,,0"},
    {"$PKVR,JOIN,{L},0"},
    {"$PKVR,IDENT,,,,,{L}"},
    {nullptr},
    {nullptr},
    {nullptr},
};

bool IsPortDestination(int destination)
{
    return destination >= 0 && destination <= CChangeCommDlg::kLastPortDestination;
}

std::vector<RepairStep> RepairSteps(bool direct, int destination)
{
    if (direct) return {std::begin(kDirectSteps), std::end(kDirectSteps)};
    if (IsPortDestination(destination)) return {std::begin(kPortSteps), std::end(kPortSteps)};
    return {std::begin(kDpramSteps), std::end(kDpramSteps)};
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string RepairSentence(const char* pattern, char letter, int rateIndex)
{
    std::string text = ReplaceAll(pattern, "{L}", std::string(1, letter));
    return ReplaceAll(text, "{R}", BaudText(rateIndex));
}

// Writes the communication settings into the "Communication" section of
// Tavrel.ini, keeping everything else in the file.
bool SaveCommunicationSection()
{
    const std::string& path = App().IniPath();
    if (path.empty()) return false;
    std::error_code ignored;
    const std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir, ignored);
    CIniFile ini;
    ini.Load(path);
    App().m_comm.SavePortSettings(ini, kCommunicationSection);
    return ini.Save(path);
}

}  // namespace

void CProcessEngine::StartRepair()
{
    if (m_bDocRunning || !IsIdle()) return;
    ProcessStep(EV_STEP, 35);
}

bool CProcessEngine::RunChangeCommunication(bool& direct, int& rateIndex, int& destination)
{
    std::vector<ChangeCommLine> lines;
    for (const CBoardConf& line : m_doc.m_lines) {
        ChangeCommLine entry;
        entry.boardName = line.m_strBoardName;
        entry.boardAlone = line.m_bBoardAlone != 0;
        const CBoardDef* def = TargetDef(line);
        entry.destination = def != nullptr ? def->m_nDestination : CChangeCommDlg::kNone;
        entry.transferSpeed = line.m_nTransferSpeed;
        lines.push_back(entry);
    }
    const bool haveEnvironment =
        !m_doc.m_lines.empty() && CUpdateDoc::LineEnvironment(m_doc.m_lines.front()) != nullptr;
    const int linkIndex = BaudIndexOf(static_cast<int>(m_link.BaudRate()));

    const bool listLines = !lines.empty();
    CChangeCommDlg dialog;
    dialog.SetUp(listLines, haveEnvironment, std::move(lines), linkIndex >= 0 ? linkIndex : App().m_nBaudIndex);
    dialog.Initialise();
    // "Run" cannot be pressed while a needed choice is missing.
    if (Host().RunChangeCommDialog(dialog) != CChangeCommDlg::RESULT_RUN || !dialog.RunEnabled())
        return false;
    direct = dialog.IsDirect();
    rateIndex = dialog.BaudIndex();
    destination = dialog.Destination();
    return true;
}

void CProcessEngine::Step35Repair()
{
    m_nRepairResult = REPAIR_NONE;
    bool direct = true;
    int rateIndex = -1;
    int destination = -1;
    if (!RunChangeCommunication(direct, rateIndex, destination)) {
        // Cancelled: no process was started.
        if (m_nProcess == PROC_NONE) m_nStep = 0;
        return;
    }
    RecordRunStart(PROC_REPAIR);
    if (!StartProcess(PROC_REPAIR, 35, -1)) {
        EndProcess(22, false);
        return;
    }
    m_bRepairDirect = direct;
    m_nRepairRate = rateIndex;
    m_nRepairDestination = destination;
    SetActivity(true);
    // The sentences of a repair reach only a board that hears them: the
    // connected board is found first, at another rate where the settings
    // allow the search.
    std::string reply;
    const int found = RunAutoConfig(App().m_nAutoMaxTimeSec, App().m_bQueryAutoSpeed, reply);
    if (m_nStep == 0) return;   // the process was ended meanwhile
    if (found != IDENT_FOUND) {
        if (found == IDENT_NO_ANSWER) EndProcess(12, true);
        else EndProcess(22, false);
        return;
    }
    const int exchange = RepairExchange(direct, rateIndex, destination);
    if (m_nStep == 0) return;
    // Done only once the board answers afterwards (step 32).
    m_nRepairResult = exchange == REPAIR_DONE ? REPAIR_NOT_CONFIRMED : exchange;
    switch (exchange) {
    case REPAIR_DONE:
        // The connected board now talks at the new rate: the program follows.
        if (direct && !ChangeBaudRate(rateIndex, App().m_nWriteTimeoutMs)) {
            EndProcess(22, false);
            return;
        }
        ProcessStep(EV_STEP, 31);
        break;
    case REPAIR_SEND_FAILED:
        EndProcess(55, true);
        break;
    case REPAIR_ABORTED:
        EndProcess(22, false);
        break;
    case REPAIR_NO_DIALOG:
        EndProcess(56, true);
        break;
    default:
        EndProcess(46, true);
        break;
    }
}

bool CProcessEngine::RepairConfirmed(const std::string& reply) const
{
    if (reply.empty()) return false;
    // The connected board was identified at its new rate only.
    if (m_bRepairDirect) return true;
    // A relayed board shows in its parent's answer behind its port.
    const char letter = static_cast<char>('A' + std::max(m_nRepairDestination, 0));
    for (const std::string& line : ReplyLines(reply)) {
        std::string field6;
        if (SentenceFieldText(line, 6, field6) && field6.size() == 1 && field6[0] == letter) return true;
    }
    return false;
}

void CProcessEngine::SaveRepairedRate()
{
    // Every later process talks at the new rate.
    App().m_nBaudIndex = m_nRepairRate;
    App().m_comm.nBaudRate = BaudFromIndex(m_nRepairRate);
    ShowLinkText(App().m_nBaudIndex);
    if (!SaveCommunicationSection())
        App().WriteLogNote("Cannot write the \"Communication\" section of " + App().IniPath() + "\r\n");
}

int CProcessEngine::RepairExchange(bool direct, int rateIndex, int destination)
{
    const std::vector<RepairStep> steps = RepairSteps(direct, destination);
    const char letter = static_cast<char>('A' + (destination >= 0 ? destination : 0));
    if (!Host().WaitDlgCreate()) return REPAIR_NO_DIALOG;
    Host().WaitDlgSetRange(0, REPAIR_PROGRESS_RANGE);
    Host().WaitDlgSetPos(0);
    int result = 0;
    size_t done = 0;
    while (result == 0) {
        if (m_nStep == 0) break;   // the process was ended meanwhile
        if (CancelAsked()) {
            result = REPAIR_ABORTED;
            break;
        }
        const RepairStep& step = steps[done];
        if (step.sentence == nullptr) {
            // The abort key ends the pause early: the user wants out.
            if (App().PumpDelay(REPAIR_WAIT_STEP_MS)) {
                result = REPAIR_ABORTED;
                break;
            }
        } else if (!SendSentence(RepairSentence(step.sentence, letter, rateIndex), 0, "", 0)) {
            result = REPAIR_SEND_FAILED;
            break;
        }
        ++done;
        Host().WaitDlgSetPos(static_cast<int>(done * REPAIR_PROGRESS_RANGE / steps.size()));
        if (done == steps.size()) result = REPAIR_DONE;
    }
    App().PumpDelay(REPAIR_END_PAUSE_MS);
    Host().WaitDlgDestroy();
    return result;
}
