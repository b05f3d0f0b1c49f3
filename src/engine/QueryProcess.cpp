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

#include "engine/HealthCheck.h"
#include "link/AutoConfig.h"
#include "link/SerialLink.h"
#include "model/UpdateDoc.h"

namespace {

// A query that may not search other rates and has no time limit of its own
// would ask a silent board forever: it ends after two rounds of attempts.
constexpr int kLockedQuerySec =
    2 * CAutoConfigDlg::kAttemptsPerRate * CAutoConfigDlg::kScanPeriodMs / 1000;

// Phases of the identification after a restart.
enum class RestartPhase { Known, Search, Found, Relayed };

// Each rate known before the search is listened to for one attempt period
// of the search: the time a board is given to answer the identification.
constexpr int kProbeWindowMs = CAutoConfigDlg::kScanPeriodMs;

bool IsTransfer(int process)
{
    return process == PROC_TRANSFER || process == PROC_RESCUE_TRANSFER;
}

bool SupportsRescue(const CBoardDef* def)
{
    return def != nullptr && def->HasRescueLoader();
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
    // The first identification of a process gives up on a silent line; a
    // receiver being switched on is waited for when the host asks so.
    const int result = RunAutoConfig(timeLimit, search, reply, fromStep == 10 && !m_bWaitForReceiver);
    if (m_nStep == 0) return;   // the process was ended meanwhile

    if (result == IDENT_FOUND) {
        if (onIdentReply) onIdentReply(reply);
        if (fromStep == 10) RecordIdent(reply, false);
        m_strReply = reply;
        m_bQueryAnswered = true;
        OnReplyLine(m_strReply);
        return;
    }
    IdentificationFailed(result);
}

int CProcessEngine::RunAutoConfig(int timeLimitSec, bool searchRates, std::string& reply, bool stopWhenSilent)
{
    m_bRawReceive = true;
    if (!searchRates && timeLimitSec == 0) timeLimitSec = kLockedQuerySec;
    CAutoConfigDlg dialog(m_link, timeLimitSec, Host().IdentDialogView());
    dialog.SetRange(static_cast<int>(m_link.BaudRate()), App().m_nAutoBaudMin, App().m_nAutoBaudMax);
    dialog.EnableLockOption(searchRates);
    dialog.AllowSpeedChange(searchRates);
    dialog.StopWhenSilent(stopWhenSilent);
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

// --- the health of the receiver after a query ------------------------------------------------

// A connected board waiting in its rescue loader is said in the log; with a
// request open, the answer is checked against its boards, the verdict and
// next steps logged and shown under the Reply dialog's rows.
void CProcessEngine::TellReceiverHealth(const std::string& reply)
{
    const std::string notice = RescueLoaderNotice(reply, m_link.PortName());
    if (!notice.empty()) App().WriteLogNote(notice + "\r\n");
    if (!m_doc.m_bLinked || m_doc.m_lines.empty()) {
        if (!notice.empty()) Host().SetReplyStatus(notice);
        return;
    }
    const HealthContext context{m_link.PortName(), m_doc.GetPathName(), LeftInTransferMode()};
    const HealthReport health = CheckReceiverHealth(reply, ExpectedBoardsOfRequest(m_doc), context);
    std::string status;
    for (const std::string& line : HealthReportLines(health)) {
        App().WriteLogNote(line + "\r\n");
        if (line.rfind("  ", 0) != 0) status += (status.empty() ? "" : "\n") + line;
    }
    Host().SetReplyStatus(status);
}

std::vector<std::string> CProcessEngine::LeftInTransferMode() const
{
    return m_pRecorder != nullptr ? m_pRecorder->LeftInTransferMode(m_link.PortName()) : std::vector<std::string>();
}

// --- the ident analysis -----------------------------------------------------------------

int CProcessEngine::AnalyseIdentReply(const std::string& reply)
{
    if (!IsTransfer(m_nProcess)) {
        m_link.Close();
        SetActivity(false);
        m_strLastIdentReply = reply;
        Host().SetReplyAnswer(reply, false);
        TellReceiverHealth(reply);
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
//
// The restarted board is asked first at the rates known before the search:
// the rate it had before the transfer, then the transfer rate (it keeps that
// one when it saves its transfer speed). Only when neither answers within
// the longest restart its definitions allow does the rate search run. Every
// phase ends on the answer it waits for; the up-time ("Reserved 3") is the
// one wait that an answer does not end, and its last question is timed to
// be answered as it runs out.

struct CProcessEngine::RestartIdent {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    int range = 0;          // the whole wait: twice the restart time
    int knownUntil = 0;     // the known rates are asked until then
    int upTime = 0;         // "Reserved 3"
    int replyTimeout = 0;   // "Message reception (sec.)"
    std::vector<int> knownRates;   // baud indexes
    size_t knownIndex = 0;
    RestartPhase phase = RestartPhase::Known;
    int tProbe = 0, tSend = 0, tPhase = 0, tReply = 0, tRelay = 0;
    int wakeAt = 0;         // the next moment a phase acts without an answer

    int Now() const { return Since(std::chrono::steady_clock::now()); }
    // A moment of the steady clock on this wait's clock (ms).
    int Since(std::chrono::steady_clock::time_point at) const
    {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(at - start).count());
    }
};

int CProcessEngine::IdentifyAfterRestart()
{
    const CBoardConf& line = CurrentLine();
    RestartIdent r;
    r.range = 2 * RestartWait(line, NoSelectedLineFollows());
    r.knownUntil = r.range / 2;
    r.upTime = App().m_nReserved3Ms;
    r.replyTimeout = App().m_nMsgTimeoutMs;
    r.knownRates = KnownRatesAfterRestart();
    if (!Host().WaitDlgCreate()) return RESTART_NO_DIALOG;
    StartWaitDialog(line.m_bRestart ? 59 : 0, r.range);
    m_nTickMs = 0;
    m_strReply.clear();
    m_nReplyFlag = 0;

    int result = 0;
    if (r.knownRates.empty()) r.phase = RestartPhase::Search;
    else if (!ProbeKnownRate(r, 0)) result = RESTART_NOT_FOUND;
    int secondsShown = 0;
    while (result == 0) {
        if (m_nStep == 0) break;   // the process was ended meanwhile
        if (CancelAsked()) {
            result = RESTART_STOPPED;
            break;
        }
        const int now = r.Now();
        if (now >= r.range) {
            result = RESTART_NOT_FOUND;
            break;
        }
        for (; secondsShown < now / 1000; ++secondsShown) Host().WaitDlgStepIt();
        r.wakeAt = r.range;
        switch (r.phase) {
        case RestartPhase::Known: result = RestartAtKnownRates(r); break;
        case RestartPhase::Search:
            result = RestartSearch(r);
            secondsShown = r.Now() / 1000;
            Host().WaitDlgSetPos(r.Now());
            continue;
        case RestartPhase::Found: result = RestartFoundPhase(r); break;
        case RestartPhase::Relayed: result = RestartRelayedPhase(r); break;
        }
        if (result == 0)
            PumpOnceFor(std::min({r.wakeAt, r.range, (secondsShown + 1) * 1000}) - r.Now());
    }
    m_nTickMs = -1;
    Host().WaitDlgDestroy();
    return result;
}

std::vector<int> CProcessEngine::KnownRatesAfterRestart() const
{
    const CBoardConf& line = CurrentLine();
    std::vector<int> rates;
    for (int index : {line.GetHopSpeed(0), line.m_nEffectiveSpeed})
        if (index >= 0 && index < static_cast<int>(kBaudRates.size()) &&
            std::find(rates.begin(), rates.end(), index) == rates.end())
            rates.push_back(index);
    return rates;
}

bool CProcessEngine::ProbeKnownRate(RestartIdent& r, size_t index)
{
    r.knownIndex = index % r.knownRates.size();
    const int rate = r.knownRates[r.knownIndex];
    if (rate != m_nLinkBaudIndex && !ChangeBaudRate(rate, App().m_nWriteTimeoutMs)) return false;
    r.tProbe = r.Now();
    SendRestartIdent(r);
    return true;
}

void CProcessEngine::SendRestartIdent(RestartIdent& r)
{
    m_strReply.clear();
    m_nReplyFlag = 0;
    SendSentence("$PKVR,IDENT", 29, "", 0);
    r.tSend = r.Now();
}

void CProcessEngine::EnterFoundPhase(RestartIdent& r, int heardAt)
{
    r.phase = RestartPhase::Found;
    r.tReply = r.Now();
    // The board has been answering since the first byte of the answer that
    // found it: its up-time counts from there.
    r.tPhase = std::clamp(heardAt, 0, r.tReply);
    SendRestartIdent(r);
}

// The board stopped answering: it is asked at the known rates again, from
// the last one asked, for at least one round before a search.
void CProcessEngine::LoseBoard(RestartIdent& r)
{
    r.phase = RestartPhase::Known;
    const int round = kProbeWindowMs * static_cast<int>(r.knownRates.size());
    r.knownUntil = std::max(r.knownUntil, r.Now() + round);
    if (r.knownRates.empty() || !ProbeKnownRate(r, r.knownIndex)) r.phase = RestartPhase::Search;
}

int CProcessEngine::RestartAtKnownRates(RestartIdent& r)
{
    const int now = r.Now();
    if (m_nReplyFlag == 1) {
        EnterFoundPhase(r, m_nBytesSinceWrite > 0 ? r.Since(m_firstByteAt) : now);
        return 0;
    }
    if (now >= r.knownUntil) {
        r.phase = RestartPhase::Search;
        return 0;
    }
    if (now - r.tProbe >= kProbeWindowMs) return ProbeKnownRate(r, r.knownIndex + 1) ? 0 : RESTART_NOT_FOUND;
    // Asked again only while the line is silent: an answer under way is
    // not cut short by a question that would empty the reply.
    if (m_nBytesSinceWrite == 0 && now - r.tSend >= RESTART_PROBE_RESEND_MS) SendRestartIdent(r);
    r.wakeAt = std::min(r.tProbe + kProbeWindowMs, r.knownUntil);
    if (m_nBytesSinceWrite == 0) r.wakeAt = std::min(r.wakeAt, r.tSend + RESTART_PROBE_RESEND_MS);
    return 0;
}

int CProcessEngine::RestartSearch(RestartIdent& r)
{
    // At least one second: a limit of 0 would mean no limit at all.
    const int secondsLeft = std::max(1, (r.range - r.Now()) / 1000);
    CAutoConfigDlg dialog(m_link, secondsLeft, Host().IdentDialogView());
    dialog.SetTitle(59);
    dialog.SetRange(static_cast<int>(m_link.BaudRate()), App().m_nAutoBaudMin, App().m_nAutoBaudMax);
    dialog.EnableLockOption(false);
    // A search, not one locked rate: the board came back at a rate the
    // program does not know. The link is at a rate just asked: the search
    // goes on from the next one.
    dialog.AllowSpeedChange(true);
    dialog.BeginWithRateChange(!r.knownRates.empty());
    const int found = dialog.RunModal();
    if (m_nStep == 0 || found == IDENT_CANCELLED) return RESTART_STOPPED;
    if (found == IDENT_NO_ANSWER) return RESTART_NOT_FOUND;
    m_nLinkBaudIndex = BaudIndexOf(static_cast<int>(m_link.BaudRate()));
    if (m_nLinkBaudIndex < 0) m_nLinkBaudIndex = DEFAULT_BAUD_INDEX;
    EnterFoundPhase(r, r.Now());
    return 0;
}

int CProcessEngine::RestartFoundPhase(RestartIdent& r)
{
    const int now = r.Now();
    if (m_nReplyFlag == 1) {
        m_nReplyFlag = 0;
        r.tReply = now;
        if (now - r.tPhase >= r.upTime) {
            if (BoardAlone()) return RESTART_IDENTIFIED;
            SendReprobe(r);
            return 0;
        }
    }
    if (now - r.tReply > r.replyTimeout) {
        LoseBoard(r);
        return 0;
    }
    // Asked every RESTART_IDENT_RESEND_MS; once the last question is
    // answered, the next one goes out as the up-time runs out.
    int next = r.tSend + RESTART_IDENT_RESEND_MS;
    if (r.tReply >= r.tSend) next = std::min(next, std::max(r.tSend, r.tPhase + r.upTime));
    if (now >= next) {
        SendRestartIdent(r);
        next = r.tSend + RESTART_IDENT_RESEND_MS;
    }
    r.wakeAt = std::min(next, r.tReply + r.replyTimeout + 1);
    return 0;
}

// A relayed board shows again in its parent's answer once the parent has
// probed its port ("$PKVR,IDENT,,,,,X"): the parent is asked every
// RESTART_RELAY_POLL_MS until its answer shows the board, and asked to probe
// again each time RESTART_RELAY_SETTLE_MS pass without it, until the
// restart wait runs out (a board still restarting at the first probe is not
// taken for one that did not come back).
void CProcessEngine::SendReprobe(RestartIdent& r)
{
    m_strReply.clear();
    m_nReplyFlag = 0;
    SendSentence(std::string("$PKVR,IDENT,,,,,") + DestLetter(), 29, "", 0);
    r.tRelay = r.tSend = r.Now();
    r.phase = RestartPhase::Relayed;
}

int CProcessEngine::RestartRelayedPhase(RestartIdent& r)
{
    const int now = r.Now();
    if (m_nReplyFlag == 1) {
        m_nReplyFlag = 0;
        r.tReply = now;
        if (BoardFound(CurrentLine(), m_strReply)) return RESTART_IDENTIFIED;
        if (now - r.tRelay >= RESTART_RELAY_SETTLE_MS) {
            SendReprobe(r);
            r.wakeAt = r.tSend + RESTART_RELAY_POLL_MS;
            return 0;
        }
    }
    const bool questionOpen = r.tSend > r.tRelay && r.tReply < r.tSend;
    if (questionOpen && now - r.tSend >= r.replyTimeout) {
        LoseBoard(r);
        return 0;
    }
    if (questionOpen) {
        r.wakeAt = r.tSend + r.replyTimeout;
        return 0;
    }
    const int next = r.tSend + RESTART_RELAY_POLL_MS;
    if (now >= next) {
        SendRestartIdent(r);
        r.wakeAt = r.tSend + r.replyTimeout;
        return 0;
    }
    r.wakeAt = next;
    return 0;
}
