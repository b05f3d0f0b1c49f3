// The step table: what every step number does, and where it goes next.
#include <algorithm>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "engine/IdentMatch.h"
#include "engine/ProcessEngine.h"
#include "engine/SentenceFields.h"
#include "link/SerialLink.h"
#include "model/UpdateDoc.h"
#include "release/FileBase.h"
#include "release/VleFile.h"

const CProcessEngine::StepRow CProcessEngine::kStepTable[] = {
    {6, &CProcessEngine::StepNothing},                  // preparing a transfer
    {7, &CProcessEngine::StepNothing},                  // rescue wait: first ident line
    {8, &CProcessEngine::StepNothing},                  // rescue wait: ident reply with "UCRQ"
    {9, &CProcessEngine::Step9RescueWait},
    {10, &CProcessEngine::Step10Identify},
    {11, &CProcessEngine::Step11Analyse},
    {12, &CProcessEngine::Step12OpenRelease},
    {13, &CProcessEngine::Step13TransferModeRequest},
    {14, &CProcessEngine::Step14Join},
    {15, &CProcessEngine::Step15TransferModeData},
    {16, &CProcessEngine::StepNothing},                 // waiting for the M,D answer
    {17, &CProcessEngine::Step17FirstHop},
    {18, &CProcessEngine::Step18AskPortRate},
    {19, &CProcessEngine::Step19PortRate},
    {20, &CProcessEngine::Step20RateChange},
    {21, &CProcessEngine::Step21Erase},
    {22, &CProcessEngine::StepNothing},                 // the erase wait
    {23, &CProcessEngine::Step23Announce},
    {24, &CProcessEngine::StepNothing},                 // waiting for the P answer
    {25, &CProcessEngine::Step25StartData},
    {26, &CProcessEngine::Step26BlockLoop},
    {27, &CProcessEngine::Step27Checksum},
    {28, &CProcessEngine::Step28IdentifyAfterRestart},
    {29, &CProcessEngine::StepNothing},                 // ident lines after the restart
    {30, &CProcessEngine::Step30NormalSpeed},
    {31, &CProcessEngine::Step31Identify},
    {32, &CProcessEngine::Step32Results},
    {33, &CProcessEngine::Step33EndTransferMode},
    {34, &CProcessEngine::StepNothing},                 // waiting for the M,E answer
    {35, &CProcessEngine::Step35Repair},
    {0, nullptr},
};

namespace {

std::string RateText(long rate) { return std::to_string(rate); }

// "$PKVR,HARDRS,,,X,R": the rate of port X of the addressed board; with no
// letter, the addressed board's own rate.
std::string RateSentence(char portLetter, long rate)
{
    std::string sentence = "$PKVR,HARDRS,,,";
    if (portLetter != 0) sentence += portLetter;
    return sentence + "," + RateText(rate);
}

bool IsTransfer(int process)
{
    return process == PROC_TRANSFER || process == PROC_RESCUE_TRANSFER;
}

}  // namespace

void CProcessEngine::StepNothing() {}

void CProcessEngine::Step10Identify()
{
    m_strReply.clear();
    if (IsTransfer(m_nProcess) && !m_bFirstBoard) {
        PostStep(NOTIFY_STEP_12, 12);
        return;
    }
    RunIdentificationDialog(10);
}

void CProcessEngine::Step11Analyse()
{
    m_bRawReceive = true;
    const int found = AnalyseIdentReply(m_strReply);
    m_bRawReceive = false;
    if (!IsTransfer(m_nProcess)) {
        EndProcess(22, false);
        return;
    }
    if (found < 1) {
        EndProcess(33, false);
        return;
    }
    // The first board of the transfer is the first line the analysis kept.
    if (!CurrentLine().m_bSelected) {
        const long next = static_cast<long>(m_doc.NextSelectedLine(m_nBoard));
        if (next >= LineCount()) {
            EndProcess(33, false);
            return;
        }
        m_nBoard = static_cast<int>(next);
        ShowBoard();
        App().WriteLogNote("\r\n" + BoardSummaryText());
    }
    PostStep(NOTIFY_STEP_12, 12);
}

void CProcessEngine::Step12OpenRelease()
{
    App().WriteLogNote("===============\r\n");
    CBoardConf& line = CurrentLine();
    const int refreshed = RefreshSharedVle(line);
    if (refreshed != CONVERT_OK) {
        const int message = EndMessageOfConversion(refreshed);
        EndProcess(message != 0 ? message : 17, true);
        return;
    }
    m_pReleaseFile = std::make_unique<CVleFile>();
    const bool usable = m_pReleaseFile->OpenForRead(line.m_strVleFile) == 1 &&
                        m_pReleaseFile->CheckFile() == VleTypeOf(line.m_nFileType);
    if (!usable) {
        EndProcess(17, true);
        return;
    }
    Host().SetProgressItem(PROGRESS_FILE, 100);
    Host().SetProgressItem(PROGRESS_OVERALL, 0);
    ProcessStep(EV_STEP, 17);
}

void CProcessEngine::Step13TransferModeRequest()
{
    const std::string sentence = std::string("$PKVR,XSOFT,M,B,") + HopLetter() + "," +
                                 std::to_string(LineCount() - m_nBoard);
    if (!SendSentence(sentence, 14, "$PKVR,XSOFT,M,B", 3 * App().m_nMsgTimeoutMs))
        ProcessStep(EV_SEND_FAILED, 0);
}

void CProcessEngine::Step14Join()
{
    CBoardConf& line = CurrentLine();
    if (!JoinHop(line.m_nHop + 1)) {
        ProcessStep(EV_SEND_FAILED, 0);
        return;
    }
    ++line.m_nHop;
    if (line.m_nHop < static_cast<int>(line.m_hops.size()) - 1) {
        ProcessStep(EV_STEP, 18);
        return;
    }
    line.m_nHop = 0;
    PostStep(NOTIFY_STEP_15, 15);
}

void CProcessEngine::Step15TransferModeData()
{
    // From here a relayed board is taken out of transfer mode by every end.
    m_bTargetInTransferMode = !BoardAlone();
    // The cabled board is never sent M,E: only a complete load ends its mode.
    m_bCabledInTransferMode = BoardAlone();
    if (!SendSentence("$PKVR,XSOFT,M,D", 16, "$PKVR,XSOFT,M,D", App().m_nMsgTimeoutMs))
        ProcessStep(EV_SEND_FAILED, 0);
}

void CProcessEngine::Step17FirstHop()
{
    ReportPhase(PHASE_TRANSFER_MODE);
    CBoardConf& line = CurrentLine();
    line.m_nHop = 0;
    line.SetHopSpeed(m_nLinkBaudIndex, 0);
    if (!BoardAlone()) {
        ProcessStep(EV_STEP, 18);
        return;
    }
    // A board on a port keeps the transfer speed afterwards; any other goes
    // back to the rate it has now (index 0 would mean 300 bit/s).
    const CBoardDef* last = line.m_hops.empty() ? CurrentDef() : line.m_hops.back().m_pBoardDef;
    const bool onPort = last != nullptr && last->HasPortDestination();
    line.m_nRestartSpeed = onPort ? line.m_nEffectiveSpeed : m_nLinkBaudIndex;
    PostStep(NOTIFY_STEP_15, 15);
}

void CProcessEngine::Step18AskPortRate()
{
    const CBoardDef* next = HopTargetDef();
    if (next == nullptr || !next->HasPortDestination()) {
        ProcessStep(EV_STEP, 13);
        return;
    }
    m_strReply.clear();
    if (!SendSentence("$PKVR,HARDRS", 19, "\r\n", App().m_nMsgTimeoutMs))
        ProcessStep(EV_SEND_FAILED, 0);
}

void CProcessEngine::Step19PortRate()
{
    const char letter = HopLetter();
    for (const std::string& reply : ReplyLines(m_strReply)) {
        std::string field4;
        if (!SentenceFieldText(reply, 4, field4) || field4.size() != 1 || field4[0] != letter) continue;
        long rate = 0;
        const int index = SentenceFieldInt(reply, 5, rate) ? BaudIndexOf(static_cast<int>(rate)) : -1;
        if (index < 0 || rate != BaudFromIndex(index)) break;
        CBoardConf& line = CurrentLine();
        line.SetHopSpeed(index, line.m_nHop + 1);
        ProcessStep(EV_STEP, 13);
        return;
    }
    EndProcess(52, true);
}

void CProcessEngine::Step20RateChange()
{
    const CBoardConf& line = CurrentLine();
    const std::string rate = RateText(RateOf(line.m_nEffectiveSpeed));
    m_bRatesRaised = true;
    if (!BoardAlone() && !RaiseRatesBackToConnected(rate)) {
        ProcessStep(EV_SEND_FAILED, 0);
        return;
    }
    if (!SendSentence("$PKVR,HARDRS,,,," + rate, 0, "", 0)) {
        ProcessStep(EV_SEND_FAILED, 0);
        return;
    }
    if (!ChangeBaudRate(line.m_nEffectiveSpeed, 2 * App().m_nWriteTimeoutMs)) {
        EndProcess(22, false);
        return;
    }
    ProcessStep(EV_STEP, 21);
}

void CProcessEngine::Step21Erase()
{
    ReportPhase(PHASE_ERASE);
    const CBoardDef* def = CurrentDef();
    if (!BoardAlone() && !JoinHops(1, LastHop())) {
        ProcessStep(EV_SEND_FAILED, 0);
        return;
    }
    if (!SendSentence("$PKVR,XSOFT,E," + std::to_string(def->m_nProgId), 22, "$PKVR,XSOFT,E,", 0)) {
        ProcessStep(EV_SEND_FAILED, 0);
        return;
    }
    m_bEraseSent = true;
    switch (WaitForEvent(53, def->EraseTimeoutMs())) {
    case WAIT_REPLY:
        Host().SetProgressItem(PROGRESS_ERASE, 100);
        ProcessStep(EV_STEP, 23);
        break;
    case WAIT_TIMEOUT:
        EndProcess(12, true);
        break;
    case WAIT_CANCEL:
        m_bAbort = true;
        CurrentLine().m_nResult = RESULT_ABORTED;
        EndProcess(22, false);
        break;
    case WAIT_NO_DIALOG:
        EndProcess(56, true);
        break;
    case WAIT_NEGATIVE:
        m_bEraseSent = false;   // the board refused the erase
        EndProcess(36, true);
        break;
    default:
        EndProcess(46, true);
        break;
    }
}

void CProcessEngine::Step23Announce()
{
    const CBoardConf& line = CurrentLine();
    const CBoardDef* def = CurrentDef();
    const long long total = m_pReleaseFile ? m_pReleaseFile->TotalBytes() : 0;
    const std::string sentence = "$PKVR,XSOFT,P," + std::to_string(def->m_nProgId) + "," +
                                 std::to_string(total) + "," + (line.m_bRestart ? "1" : "0");
    if (!SendSentence(sentence, 24, "$PKVR,XSOFT,P,", App().m_nMsgTimeoutMs))
        ProcessStep(EV_SEND_FAILED, 0);
}

void CProcessEngine::Step28IdentifyAfterRestart()
{
    ReportPhase(PHASE_RESTART);
    switch (IdentifyAfterRestart()) {
    case RESTART_IDENTIFIED:
    case RESTART_NOT_FOUND:
        ProcessStep(EV_STEP, 32);
        break;
    case RESTART_STOPPED:
        EndProcess(22, false);
        break;
    case RESTART_NO_DIALOG:
        EndProcess(56, true);
        break;
    default:
        EndProcess(46, true);
        break;
    }
}

void CProcessEngine::Step30NormalSpeed()
{
    CBoardConf& line = CurrentLine();
    // The end of transfer mode was answered (or its answer timed out); the
    // board itself goes back to its rate, or the restore sets it.
    m_bTargetInTransferMode = false;
    m_bTargetRateRaised = false;
    if (!SavesTransferSpeed()) {
        if (BoardAlone()) {
            // A board that does not keep the transfer speed is told its
            // earlier rate too (a restarting board does not hear it).
            if (line.m_nRestartSpeed != m_nLinkBaudIndex)
                SendSentence(RateSentence(0, RateOf(line.m_nRestartSpeed)), 0, "", 0);
            if (!ChangeBaudRate(line.m_nRestartSpeed, App().m_nWriteTimeoutMs)) {
                EndProcess(22, false);
                return;
            }
            m_bRatesRaised = false;
        } else if (CurrentDef()->HasPortDestination()) {
            // The parent's port towards the board goes back to the rate read
            // from it before the transfer.
            SendSentence(RateSentence(DestLetter(), HopRate(LastHop())), 0, "", 0);
            m_bTargetPortRaised = false;
        }
    }
    // Behind more than one parent: the relays of the boards in between stop,
    // so the connected board is addressed again.
    if (!BoardAlone() && !LeaveHops(LastHop() - 1, 1)) {
        ProcessStep(EV_SEND_FAILED, 0);
        return;
    }
    if (line.m_bRestart) {
        ProcessStep(EV_STEP, 28);
        return;
    }
    // Without a restart there is no step 32: the serial parameters kept for
    // the transfer are restored now.
    if (SavesTransferSpeed() && !RestoreSerialParameters()) return;
    line.m_nResult = RESULT_OK;
    NextBoardOrEnd();
}

void CProcessEngine::NextBoardOrEnd()
{
    // The link is at the rate the connected board talks at now (a board on a
    // port keeps its transfer speed): the next board starts there too.
    KeepLinkRateInSettings();
    if (NoSelectedLineFollows()) {
        EndProcess(43, false);
        return;
    }
    if (!StartProcess(PROC_TRANSFER, 10, m_nBoard)) {
        EndProcess(22, false);
        return;
    }
    ProcessStep(EV_STEP, 0);
}

void CProcessEngine::Step31Identify()
{
    RunIdentificationDialog(31);
}

void CProcessEngine::Step32Results()
{
    if (m_nProcess == PROC_REPAIR) {
        SetActivity(false);
        const bool confirmed = RepairConfirmed(m_strReply);
        if (confirmed) {
            m_nRepairResult = REPAIR_DONE;
            if (m_bRepairDirect) SaveRepairedRate();
        }
        Host().SetReplyAnswer(m_strReply, false);
        Host().ShowReplyDialog(true);
        // A relayed board missing from the answer: the repair did not reach it.
        if (confirmed) EndProcess(22, false);
        else EndProcess(7, true);
        return;
    }
    if (!IsTransfer(m_nProcess)) return;

    CBoardConf& line = CurrentLine();
    if (NewReleaseFound(line, m_strReply)) line.m_nResult = RESULT_OK;
    else if (BoardFound(line, m_strReply)) line.m_nResult = RESULT_NEW_RELEASE_NOT_FOUND;
    else line.m_nResult = RESULT_NOT_FOUND;
    m_strLastIdentReply = m_strReply;
    m_strRestartReply = m_strReply;
    RecordIdent(m_strReply, true);

    m_bFinished = NoSelectedLineFollows();
    if (!Host().SetReplyAnswer(m_strReply, !m_bFinished)) {
        EndProcess(56, false);
        return;
    }
    Host().ShowReplyDialog(m_bFinished);

    if (SavesTransferSpeed() && !RestoreSerialParameters()) return;
    if (m_bFinished) {
        KeepLinkRateInSettings();
        EndProcess(43, false);
        return;
    }
    if (m_nProcess == PROC_RESCUE_TRANSFER && m_bFirstBoard) {
        m_bRawReceive = true;
        const int found = AnalyseIdentReply(m_strReply);
        m_bRawReceive = false;
        if (found == 0) {
            EndProcess(43, false);
            return;
        }
    }
    if (!StartProcess(PROC_TRANSFER, 10, m_nBoard)) {
        EndProcess(22, false);
        return;
    }
    ProcessStep(EV_STEP, 0);
}

void CProcessEngine::Step33EndTransferMode()
{
    // An abort ends here: the end takes the board out of transfer mode and
    // puts every relay and rate back.
    if (m_bAbort) {
        EndProcess(22, true);
        return;
    }
    if (!m_bChecksumOk) {
        EndProcess(46, true);
        return;
    }
    if (BoardAlone()) {
        ProcessStep(EV_STEP, 30);
        return;
    }
    const int hop0Speed = CurrentLine().GetHopSpeed(0);
    if (!RestoreRatesBackToConnected()) {
        ProcessStep(EV_SEND_FAILED, 0);
        return;
    }
    if (!ChangeBaudRate(hop0Speed, App().m_nWriteTimeoutMs)) {
        EndProcess(22, false);
        return;
    }
    m_bRatesRaised = false;
    // The end of transfer mode goes to the board's parent.
    if (!AddressHop(LastHop() - 1) ||
        !SendSentence(ModeEndSentence(true), 34, "$PKVR,XSOFT,M,E", App().m_nMsgTimeoutMs))
        ProcessStep(EV_SEND_FAILED, 0);
}

std::string CProcessEngine::ModeEndSentence(bool checksumOk) const
{
    return std::string(checksumOk ? "$PKVR,XSOFT,M,E" : "$PKVR,XSOFT,M,A") + "," + DestLetter() + "," +
           std::to_string(LineCount() - m_nBoard);
}

bool CProcessEngine::SavesTransferSpeed() const
{
    const CBoardDef* def = CurrentDef();
    return def != nullptr && def->m_nSaveSpeed != 0 && def->m_nSaveSpeed != 2;
}

int CProcessEngine::RestoreWaitMs() const
{
    // The restart time bounds the restore; a board without one still gets
    // the time of a few sentences.
    return std::max(RestartWait(CurrentLine(), NoSelectedLineFollows()), 3 * App().m_nMsgTimeoutMs);
}

bool CProcessEngine::RestoreSerialParameters()
{
    // The restore owns the rates from here: one that fails is reported, not
    // tried again by the end of the process.
    m_bRatesRaised = false;
    m_bTargetRateRaised = false;
    m_bTargetPortRaised = false;
    if (RestoreSerial(128, RestoreWaitMs()) == 1) return true;
    CurrentLine().m_nResult = RESULT_BAD_SERIAL;
    EndProcess(129, true);
    return false;
}

void CProcessEngine::KeepLinkRateInSettings()
{
    const int index = BaudIndexOf(static_cast<int>(m_link.BaudRate()));
    App().m_nBaudIndex = index >= 0 ? index : DEFAULT_BAUD_INDEX;
    ShowLinkText(App().m_nBaudIndex);
}

// --- putting the receiver back ---------------------------------------------------------------

bool CProcessEngine::ReceiverPathChanged() const
{
    return m_nJoinedHop > 0 || m_bRatesRaised || m_bTargetRateRaised || m_bTargetPortRaised ||
           m_bTargetInTransferMode;
}

void CProcessEngine::ForgetReceiverPath()
{
    m_nJoinedHop = 0;
    m_bRatesRaised = false;
    m_bTargetRateRaised = false;
    m_bTargetPortRaised = false;
    m_bTargetInTransferMode = false;
}

// Runs at the end of a transfer, before its report, whatever ended it. A
// port that fails on the way cannot carry the rest: the log says so.
void CProcessEngine::RestoreReceiverPath()
{
    if (m_nBoard < 0 || m_nBoard >= LineCount() || !ReceiverPathChanged()) return;
    m_nStep = STEP_RESTORING;
    m_replyTimer.stop();
    m_bRestoringPath = true;
    App().WriteLogNote("Retour du récepteur à son état d'avant le transfert\r\n");
    const bool restored = BoardAlone() ? RestoreBoardAlonePath() : RestoreRelayedPath();
    if (!restored) App().WriteLogNote("Port série perdu : relais et vitesses du récepteur non restaurés\r\n");
    m_bRestoreFailed = !restored;
    m_bTargetLeftInMode = !restored && m_bTargetInTransferMode;
    m_nPathRestore = restored ? PATH_RESTORED : PATH_NOT_RESTORED;
    ForgetReceiverPath();
    m_bRestoringPath = false;
}

bool CProcessEngine::RestoreBoardAlonePath()
{
    if (!m_bRatesRaised) return true;
    // The link itself goes back to the settings' rate when the process ends.
    return SendSentence(RateSentence(0, HopRate(0)), 0, "", 0) != 0;
}

bool CProcessEngine::RestoreRelayedPath()
{
    const int last = LastHop();
    // The target first, while the relays to it still run at its rate; then
    // every board back to the connected one, then the program's port.
    if (m_bTargetRateRaised) {
        if (!AddressHop(last) || !SendSentence(RateSentence(0, HopRate(last)), 0, "", 0)) return false;
        m_bTargetRateRaised = false;
    }
    if (m_bRatesRaised) {
        if (!AddressHop(last) || !RestoreRatesBackToConnected()) return false;
        if (!ChangeBaudRate(CurrentLine().GetHopSpeed(0), App().m_nWriteTimeoutMs)) return false;
        m_bRatesRaised = false;
    }
    if (m_bTargetInTransferMode) {
        if (!AddressHop(last - 1) || !SendSentence(ModeEndSentence(false), 0, "", 0)) return false;
        m_bTargetInTransferMode = false;
    }
    if (m_bTargetPortRaised) {
        if (!AddressHop(last - 1) || !SendSentence(RateSentence(DestLetter(), HopRate(last)), 0, "", 0))
            return false;
        m_bTargetPortRaised = false;
    }
    return AddressHop(0);
}

// --- relay walks ---------------------------------------------------------------------------

// Step 20 behind parents: from the target back to the connected board, every
// board of the chain and the port towards it go to `rate`; the connected
// board's own rate is left to the caller.
bool CProcessEngine::RaiseRatesBackToConnected(const std::string& rate)
{
    for (int hop = LastHop(); hop >= 1; --hop) {
        const char letter = LetterOfHop(hop);
        if (hop == LastHop()) m_bTargetRateRaised = HopHasPort(hop);
        if (HopHasPort(hop) && !SendSentence("$PKVR,HARDRS,,,," + rate, 0, "", 0)) return false;
        if (!LeaveHop(hop)) return false;
        if (hop == LastHop()) m_bTargetPortRaised = HopHasPort(hop);
        if (HopHasPort(hop) && !SendSentence(std::string("$PKVR,HARDRS,,,") + letter + "," + rate, 0, "", 0))
            return false;
    }
    return true;
}

// Step 33 behind parents: leaves the target, puts every board between it and
// the connected board back to the rate read before the transfer, then the
// connected board itself (hop 0).
bool CProcessEngine::RestoreRatesBackToConnected()
{
    if (!LeaveHop(LastHop())) return false;
    for (int hop = LastHop() - 1; hop >= 1; --hop) {
        const char letter = LetterOfHop(hop);
        const std::string rate = RateText(HopRate(hop));
        if (HopHasPort(hop) && !SendSentence("$PKVR,HARDRS,,,," + rate, 0, "", 0)) return false;
        if (!LeaveHop(hop)) return false;
        if (HopHasPort(hop) && !SendSentence(std::string("$PKVR,HARDRS,,,") + letter + "," + rate, 0, "", 0))
            return false;
    }
    return SendSentence("$PKVR,HARDRS,,,," + RateText(HopRate(0)), 0, "", 0) != 0;
}

// Relays are joined and left hop by hop and counted (m_nJoinedHop), so that
// the end of a transfer can leave those still joined.
bool CProcessEngine::JoinHop(int hop)
{
    if (!SendSentence(JoinSentence(LetterOfHop(hop)), 0, "", 0)) return false;
    m_nJoinedHop = hop;
    return true;
}

bool CProcessEngine::LeaveHop(int hop)
{
    if (!LeaveRelay(LetterOfHop(hop))) return false;
    m_nJoinedHop = std::min(m_nJoinedHop, hop - 1);
    return true;
}

bool CProcessEngine::JoinHops(int firstHop, int lastHop)
{
    for (int hop = firstHop; hop <= lastHop; ++hop)
        if (!JoinHop(hop)) return false;
    return true;
}

bool CProcessEngine::LeaveHops(int fromHop, int downToHop)
{
    for (int hop = fromHop; hop >= downToHop; --hop)
        if (!LeaveHop(hop)) return false;
    return true;
}

bool CProcessEngine::AddressHop(int hop)
{
    const int target = std::max(hop, 0);
    while (m_nJoinedHop > target)
        if (!LeaveHop(m_nJoinedHop)) return false;
    return JoinHops(m_nJoinedHop + 1, target);
}
