// Identification: the identification dialog of steps 10 and 31, the ident
// analysis before a transfer, the found and new-release tests and the
// identification after a board's restart.
#include <algorithm>
#include <chrono>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "engine/IdentMatch.h"
#include "engine/ProcessEngine.h"
#include "link/AutoConfig.h"
#include "link/SerialLink.h"
#include "model/UpdateDoc.h"

namespace {

// A query that may not search other rates and has no time limit of its own
// would ask a silent board forever: it ends after two rounds of attempts.
constexpr int kLockedQuerySec =
    2 * CAutoConfigDlg::kAttemptsPerRate * CAutoConfigDlg::kScanPeriodMs / 1000;

// Phases of the identification after a restart.
enum class RestartPhase { Search, Found, Relayed, RelayedEnd };

bool IsTransfer(int process)
{
    return process == PROC_TRANSFER || process == PROC_RESCUE_TRANSFER;
}

bool SupportsRescue(const CBoardDef* def)
{
    return def != nullptr && !def->m_strSubassyId.empty() && def->m_strSubassyId[0] == 'U';
}

}  // namespace

// --- the identification dialog ---------------------------------------------------------

void CProcessEngine::RunIdentificationDialog(int fromStep)
{
    const bool queryOrRepair = m_nProcess == PROC_QUERY || m_nProcess == PROC_REPAIR;
    if (queryOrRepair) SetActivity(false);
    const int timeLimit = queryOrRepair && fromStep == 10 ? App().m_nAutoMaxTimeSec : 0;
    // After a repair the board must answer at its new rate: a search could
    // find it at the rate it had before and hide a repair that failed.
    const bool search = App().m_bQueryAutoSpeed && m_nProcess != PROC_REPAIR;
    m_nStep = fromStep == 10 ? 11 : 32;
    ReportPhase(PHASE_SCAN);
    std::string reply;
    const int result = RunAutoConfig(timeLimit, search, reply);
    if (m_nStep == 0) return;   // the process was ended meanwhile

    if (result == IDENT_FOUND) {
        if (onIdentReply) onIdentReply(reply);
        m_strReply = reply;
        m_bQueryAnswered = true;
        OnReplyLine(m_strReply);
        return;
    }
    IdentificationFailed(result);
}

int CProcessEngine::RunAutoConfig(int timeLimitSec, bool searchRates, std::string& reply)
{
    m_bRawReceive = true;
    if (!searchRates && timeLimitSec == 0) timeLimitSec = kLockedQuerySec;
    CAutoConfigDlg dialog(m_link, timeLimitSec, Host().IdentDialogView());
    dialog.SetRange(static_cast<int>(m_link.BaudRate()), App().m_nAutoBaudMin, App().m_nAutoBaudMax);
    dialog.EnableLockOption(searchRates);
    dialog.AllowSpeedChange(searchRates);
    const int result = dialog.RunModal();
    int minRate = App().m_nAutoBaudMin;
    int maxRate = App().m_nAutoBaudMax;
    dialog.GetRange(minRate, maxRate);
    App().m_nAutoBaudMin = minRate;
    App().m_nAutoBaudMax = maxRate;
    m_bRawReceive = false;
    if (result == IDENT_FOUND && m_nStep != 0) {
        // The settings follow the rate the board answered at.
        const int index = BaudIndexOf(static_cast<int>(m_link.BaudRate()));
        App().m_nBaudIndex = index >= 0 ? index : DEFAULT_BAUD_INDEX;
        m_nLinkBaudIndex = App().m_nBaudIndex;
        ShowLinkText(App().m_nBaudIndex);
        reply = dialog.GetIdentReply();
    }
    return result;
}

void CProcessEngine::IdentificationFailed(int dialogResult)
{
    if (m_nProcess == PROC_QUERY) {
        if (App().m_bRescueEnable && RescueOffered(dialogResult)) return;
        if (dialogResult == IDENT_NO_ANSWER) EndProcess(12, true);
        else EndProcess(22, false);
        return;
    }
    if (IsTransfer(m_nProcess) && App().m_bRescueEnable && SupportsRescue(CurrentDef()) &&
        RescueOffered(dialogResult))
        return;
    if (m_nProcess == PROC_REPAIR && dialogResult == IDENT_NO_ANSWER) {
        // The board did not answer after the repair: the repair failed.
        m_nRepairResult = REPAIR_NOT_CONFIRMED;
        EndProcess(7, true);
        return;
    }
    EndProcess(22, false);
}

// --- the ident analysis -----------------------------------------------------------------

int CProcessEngine::AnalyseIdentReply(const std::string& reply)
{
    if (!IsTransfer(m_nProcess)) {
        m_link.Close();
        SetActivity(false);
        m_strLastIdentReply = reply;
        Host().SetReplyAnswer(reply, false);
        Host().ShowReplyDialog(true);
        return 0;
    }

    bool rescue = false;
    if (m_bFirstBoard && reply.find("UCRQ") != std::string::npos) {
        m_nProcess = PROC_RESCUE_TRANSFER;
        rescue = true;
    }
    SetActivity(false);
    const int count = LineCount();
    // A line whose release file failed the start checks never takes part.
    auto releaseOk = [this](int i) {
        return static_cast<size_t>(i) < m_releaseOk.size() && m_releaseOk[static_cast<size_t>(i)] != 0;
    };
    if (rescue)
        for (int i = 0; i < count; ++i) m_doc.m_lines[static_cast<size_t>(i)].m_bSelected = releaseOk(i) ? 1 : 0;

    int found = 0;
    for (int i = 0; i < count; ++i) {
        CBoardConf& line = m_doc.m_lines[static_cast<size_t>(i)];
        const CBoardDef* def = TargetDef(line);
        if (m_nProcess == PROC_RESCUE_TRANSFER && i == 0) {
            if (rescue && !SupportsRescue(def)) break;
            if (!rescue) continue;
        }
        if (!releaseOk(i)) continue;

        const IdentLineMatch match = MatchIdentLine(reply, TargetOf(line), line.m_strSoftId);
        line.m_bSelected = match.found ? 1 : 0;
        line.m_bUpdateNeeded = match.found && !match.same ? 1 : 0;
        if (match.same) line.m_nExactVersion = match.exact ? 1 : 0;
        if (match.found) {
            ++found;
        } else {
            line.m_nResult = RESULT_NOT_UPDATED;
            const std::string text =
                line.m_bBoardAlone ? FormatString(136, {line.m_strBoardName})
                                   : FormatString(137, {line.m_strBoardName,
                                                        def ? DestinationName(def->m_nDestination) : ""});
            App().WriteLogNote(text);
            if (count == 1 || (m_nProcess == PROC_RESCUE_TRANSFER && rescue)) {
                ShowMessage(text, 28, MB_OK_ONLY, ICON_EXCLAMATION);
                break;
            }
            if (ShowMessage(text + GetString(23), 28, MB_YES_NO, ICON_QUESTION) != ANSWER_YES) {
                found = 0;
                break;
            }
        }
        if (rescue) break;
    }
    m_strReply.clear();
    SetActivity(true);
    return found;
}

int CProcessEngine::BoardFound(const CBoardConf& line, const std::string& reply) const
{
    return BoardFoundInReply(reply, TargetOf(line)) ? 1 : 0;
}

int CProcessEngine::NewReleaseFound(const CBoardConf& line, const std::string& reply) const
{
    return NewReleaseInReply(reply, TargetOf(line), line.m_strSoftId) ? 1 : 0;
}

int CProcessEngine::RestartWait(const CBoardConf& line, bool wholeChain) const
{
    return GetRestartWaitMs(line.m_hops, wholeChain);
}

// --- identification after a restart ----------------------------------------------------

int CProcessEngine::IdentifyAfterRestart()
{
    const CBoardConf& line = CurrentLine();
    const int range = 2 * RestartWait(line, NoSelectedLineFollows());
    const int messageReply = App().m_nMsgTimeoutMs;
    const int upTime = App().m_nReserved3Ms;
    if (!Host().WaitDlgCreate()) return RESTART_NO_DIALOG;
    StartWaitDialog(line.m_bRestart ? 59 : 0, range);
    m_nTickMs = 0;
    m_strReply.clear();
    m_nReplyFlag = 0;

    RestartPhase phase = RestartPhase::Search;
    int lastTick = -1;
    int tPhase = 0, tReply = 0, tSend = 0, tRelay = 0;
    int result = 0;
    auto sendIdent = [this](int& stamp) {
        m_strReply.clear();
        SendSentence("$PKVR,IDENT", 29, "", 0);
        stamp = m_nTickMs;
    };
    while (result == 0) {
        if (lastTick != -1) PumpOnce();
        if (m_nStep == 0) break;   // the process was ended meanwhile
        if (Host().WaitDlgCheckCancel()) { result = RESTART_STOPPED; break; }
        if (m_nTickMs >= range) { result = RESTART_NOT_FOUND; break; }
        if (m_nTickMs == lastTick) continue;
        lastTick = m_nTickMs;
        if (lastTick > 0 && lastTick % 1000 == 0) Host().WaitDlgStepIt();

        switch (phase) {
        case RestartPhase::Search: {
            // At least one second: a limit of 0 would mean no limit at all.
            const int secondsLeft = std::max(1, (range - m_nTickMs) / 1000);
            CAutoConfigDlg dialog(m_link, secondsLeft, Host().IdentDialogView());
            dialog.SetTitle(59);
            dialog.SetRange(static_cast<int>(m_link.BaudRate()), App().m_nAutoBaudMin, App().m_nAutoBaudMax);
            dialog.EnableLockOption(false);
            // Deliberately a search, not one locked rate: a restarted board
            // comes back at the transfer rate when it keeps it, at its own
            // rate otherwise, and the program cannot tell which. Found at
            // any rate, it is reported as it answers, not "Not found".
            dialog.AllowSpeedChange(true);
            const auto opened = std::chrono::steady_clock::now();
            const int tickBefore = m_nTickMs;
            const int found = dialog.RunModal();
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                std::chrono::steady_clock::now() - opened).count();
            // Timer 1 kept ticking while the dialog ran: its time is counted
            // once, as the dialog's whole seconds, not twice.
            m_nTickMs = tickBefore + static_cast<int>(seconds) * 1000;
            lastTick = m_nTickMs;
            Host().WaitDlgSetPos(m_nTickMs);
            if (m_nStep == 0) break;
            if (found == IDENT_CANCELLED) { result = RESTART_STOPPED; break; }
            if (found == IDENT_NO_ANSWER) { result = RESTART_NOT_FOUND; break; }
            m_nLinkBaudIndex = BaudIndexOf(static_cast<int>(m_link.BaudRate()));
            if (m_nLinkBaudIndex < 0) m_nLinkBaudIndex = DEFAULT_BAUD_INDEX;
            phase = RestartPhase::Found;
            tPhase = tReply = m_nTickMs;
            m_nReplyFlag = 0;
            sendIdent(tSend);
            break;
        }
        case RestartPhase::Found:
            if (m_nReplyFlag) {
                m_nReplyFlag = 0;
                tReply = m_nTickMs;
                if (m_nTickMs - tPhase >= upTime) {
                    if (BoardAlone()) { result = RESTART_IDENTIFIED; break; }
                    m_strReply.clear();
                    SendSentence(std::string("$PKVR,IDENT,,,,,") + DestLetter(), 29, "", 0);
                    tRelay = m_nTickMs;
                    phase = RestartPhase::Relayed;
                }
            } else if (m_nTickMs - tReply > messageReply) {
                phase = RestartPhase::Search;
            } else if (m_nTickMs - tSend >= RESTART_IDENT_RESEND_MS) {
                sendIdent(tSend);
            }
            break;
        case RestartPhase::Relayed:
            if (m_nTickMs - tRelay >= RESTART_RELAY_SETTLE_MS) {
                m_nReplyFlag = 0;
                sendIdent(tRelay);
                phase = RestartPhase::RelayedEnd;
            }
            break;
        case RestartPhase::RelayedEnd:
            if (m_nReplyFlag) result = RESTART_IDENTIFIED;
            else if (m_nTickMs - tRelay >= messageReply) phase = RestartPhase::Search;
            break;
        }
    }
    m_nTickMs = -1;
    Host().WaitDlgDestroy();
    return result;
}
