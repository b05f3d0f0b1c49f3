// The exchanges that bring a board's serial side into a known state: the
// rescue wait (step 9), the restore of the serial parameters after a transfer
// (step 32) and the start of a Repair (step 35).
#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "engine/ProcessEngine.h"
#include "model/UpdateDoc.h"

namespace {

constexpr char kRescueCall = 0x12;   // DC2 wakes the rescue loader

}  // namespace

void CProcessEngine::Step9RescueWait()
{
    switch (WaitRescue(App().m_nRescueModeSec)) {
    case 1:
        ProcessStep(EV_STEP, 11);
        break;
    case 3:
        EndProcess(12, true);
        break;
    case 4:
        m_bAbort = true;
        if (m_nProcess == PROC_RESCUE_TRANSFER) CurrentLine().m_nResult = RESULT_ABORTED;
        EndProcess(22, false);
        break;
    case 5:
        EndProcess(56, true);
        break;
    default:
        EndProcess(46, true);
        break;
    }
}

int CProcessEngine::WaitRescue(int seconds)
{
    m_bRawReceive = true;
    SetActivity(false);
    if (ShowMessage(149, 148, MB_OK_CANCEL, ICON_INFORMATION) != ANSWER_OK) return 4;
    SetActivity(true);
    m_bRawReceive = false;
    if (!Host().WaitDlgCreate()) return 5;
    const int range = seconds * 1000;
    StartWaitDialog(54, range);
    std::string call(1, kRescueCall);
    m_nTickMs = 0;
    m_nReplyFlag = 0;
    m_strReply.clear();
    bool identPhase = false;
    int result = 0;
    int lastTick = 0;
    SendRaw(call, 7, "", 0);
    while (result == 0) {
        PumpOnce();
        if (m_nStep == 0) break;
        if (Host().WaitDlgCheckCancel()) { result = 4; break; }
        const bool newSecond = m_nTickMs != lastTick && m_nTickMs % 1000 == 0;
        if (m_nTickMs != lastTick) {
            lastTick = m_nTickMs;
            if (newSecond) Host().WaitDlgStepIt();
        }
        if (m_nTickMs >= range) { result = 3; break; }
        if (!identPhase) {
            if (m_nReplyFlag) {
                Host().WaitDlgSetPos(range / 2);
                m_nStep = 8;
                call = "$PKVR,IDENT";
                m_nReplyFlag = 0;
                m_strReply.clear();
                identPhase = true;
                if (newSecond) SendRaw(call, 0, "", 0);
            } else if (newSecond) {
                SendRaw(call, 0, "", 0);
            }
        } else if (m_nReplyFlag) {
            Host().WaitDlgSetPos(range);
            result = 1;
        } else if (newSecond) {
            SendSentence(call, 8, "", 0);
        }
    }
    m_nTickMs = -1;
    Host().WaitDlgDestroy();
    return result;
}

int CProcessEngine::RestoreSerial(int messageId, int waitMs)
{
    if (!Host().WaitDlgCreate()) return 4;
    StartWaitDialog(messageId, waitMs);
    CBoardConf& line = CurrentLine();
    const int savedHop = line.m_nHop;
    line.m_nHop = 0;
    m_nTickMs = 0;
    const int hops = static_cast<int>(line.m_hops.size());
    // Steps of one hop, run one per pass: a board alone A2, A1; a relayed
    // board R4, R3, R2, R1 for every hop.
    int step = BoardAlone() ? 2 : 4;
    int result = 0;
    int lastTick = 0;
    while (result == 0) {
        PumpOnce();
        if (m_nStep == 0) break;
        if (m_nTickMs != lastTick) {
            lastTick = m_nTickMs;
            if (lastTick % 1000 == 0) Host().WaitDlgStepIt();
        }
        if (Host().WaitDlgCheckCancel()) { result = 3; break; }
        if (m_nTickMs >= waitMs) { result = 2; break; }
        const std::string rate = std::to_string(RateOf(line.GetHopSpeed(-1)));
        const char letter = DestLetter();
        if (BoardAlone()) {
            if (step == 2) {
                if (SendSentence("$PKVR,HARDRS,,,," + rate, 0, "", 0)) step = 1;
            } else {
                result = ChangeBaudRate(line.GetHopSpeed(-1), App().m_nWriteTimeoutMs) ? 1 : 4;
            }
            continue;
        }
        bool sent = false;
        switch (step) {
        case 4: sent = SendSentence(JoinSentence(letter), 0, "", 0); break;
        case 3: sent = SendSentence("$PKVR,HARDRS,,,," + rate, 0, "", 0); break;
        case 2: sent = SendSentence(std::string("$PKVR,JOIN,") + letter + ",0", 0, "", 0); break;
        default: sent = SendSentence(std::string("$PKVR,HARDRS,,,") + letter + "," + rate, 0, "", 0); break;
        }
        if (!sent) continue;
        if (step > 1) {
            --step;
            continue;
        }
        ++line.m_nHop;
        if (line.m_nHop >= hops - 1) result = 1;
        else step = 4;
    }
    line.m_nHop = savedHop;
    m_nTickMs = -1;
    Host().WaitDlgDestroy();
    return result;
}

bool CProcessEngine::RescueOffered(int /*dialogResult*/)
{
    // The offer to retry in rescue mode (message 153) comes with the rescue
    // query and the rescue-mode transfer commands; until then a failed
    // identification ends the process.
    return false;
}

void CProcessEngine::Step35Repair()
{
    // The Repair start needs the "Change communication" choices; without
    // them no process is started.
    EndProcess(22, false);
}
