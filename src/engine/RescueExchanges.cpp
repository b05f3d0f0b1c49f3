// The exchanges that bring a board's serial side into a known state: the
// rescue wait (step 9) with the offer to retry in rescue mode, and the
// restore of the serial parameters after a transfer (step 32).
#include <string>
#include <vector>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "engine/ProcessEngine.h"
#include "model/UpdateDoc.h"

namespace {

constexpr char kRescueCall = 0x12;   // DC2 wakes the rescue loader
constexpr const char* kIdentQuery = "$PKVR,IDENT";
constexpr int RESCUE_CALL_PERIOD_MS = 1000;
constexpr int WAIT_STEP_MS = 1000;    // the wait dialogs' progress step

// Results of WaitRescue.
enum RescueWaitResult {
    RESCUE_ANSWERED = 1,
    RESCUE_TIMEOUT = 3,
    RESCUE_REFUSED = 4,
    RESCUE_NO_DIALOG = 5,
};

// Results of RestoreSerial.
enum RestoreResult {
    RESTORE_DONE = 1,
    RESTORE_TIMEOUT = 2,
    RESTORE_ABORTED = 3,
    RESTORE_NO_LINK = 4,
};

// Message ids of the rescue wait and the rescue offer.
constexpr int MSG_RESCUE_PROMPT = 149;
constexpr int MSG_RESCUE_CAPTION = 148;
constexpr int MSG_ENABLING_RESCUE = 54;
constexpr int MSG_RETRY_IN_RESCUE = 153;
constexpr int CAPTION_QUERY_ERROR = 11;
constexpr int CAPTION_TRANSFER = 94;

bool IsWholeSecond(int tickMs)
{
    return tickMs % RESCUE_CALL_PERIOD_MS == 0;
}

// One action of the restore, run one per pass of its loop.
struct RestoreAction {
    enum Kind { SendOwnRate, SwitchLink, Join, Leave, SendPortRate } kind;
    char letter;        // Join, Leave, SendPortRate: the port on the parent side
    int speed;          // baud index of SendOwnRate, SwitchLink, SendPortRate
    int hop = 0;        // Join, Leave: the hop whose board is joined or left
};

// A board alone: its own rate (A2), then the program's port (A1). A relayed
// board, for every hop h after the first: walk the relays to the board of
// hop h, join the board of hop h + 1 (R4), set its own rate (R3), leave it
// (R2), set the port it hangs on (R1), and leave the relays walked. Both
// sides of a port get back the rate the parent reported for that port before
// the transfer (the speed recorded for hop h + 1); a hop behind a Dpram has
// no rate and is passed over.
std::vector<RestoreAction> RestoreActions(const CBoardConf& line, bool boardAlone)
{
    std::vector<RestoreAction> actions;
    if (boardAlone) {
        const int speed = line.GetHopSpeed(0);
        actions.push_back({RestoreAction::SendOwnRate, 0, speed});
        actions.push_back({RestoreAction::SwitchLink, 0, speed});
        return actions;
    }
    const int hops = static_cast<int>(line.m_hops.size());
    auto letterOf = [&line](int hop) {
        const CBoardDef* def = line.m_hops[static_cast<size_t>(hop)].m_pBoardDef;
        return def != nullptr ? def->DestinationLetter() : 'A';
    };
    for (int h = 0; h + 1 < hops; ++h) {
        // A board behind a Dpram has no rate to set back.
        const CBoardDef* def = line.m_hops[static_cast<size_t>(h + 1)].m_pBoardDef;
        if (def == nullptr || !def->HasPortDestination()) continue;
        const char letter = letterOf(h + 1);
        const int speed = line.GetHopSpeed(h + 1);
        for (int k = 1; k <= h; ++k) actions.push_back({RestoreAction::Join, letterOf(k), 0, k});
        actions.push_back({RestoreAction::Join, letter, 0, h + 1});        // R4
        actions.push_back({RestoreAction::SendOwnRate, 0, speed});         // R3
        actions.push_back({RestoreAction::Leave, letter, 0, h + 1});       // R2
        actions.push_back({RestoreAction::SendPortRate, letter, speed});   // R1
        for (int k = h; k >= 1; --k) actions.push_back({RestoreAction::Leave, letterOf(k), 0, k});
    }
    return actions;
}

}  // namespace

// --- the rescue wait ---------------------------------------------------------------------

void CProcessEngine::Step9RescueWait()
{
    switch (WaitRescue(App().m_nRescueModeSec)) {
    case RESCUE_ANSWERED:
        ProcessStep(EV_STEP, 11);
        break;
    case RESCUE_TIMEOUT:
        EndProcess(12, true);
        break;
    case RESCUE_REFUSED:
        m_bAbort = true;
        if (m_nProcess == PROC_RESCUE_TRANSFER) CurrentLine().m_nResult = RESULT_ABORTED;
        EndProcess(22, false);
        break;
    case RESCUE_NO_DIALOG:
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
    const MsgAnswer answer =
        Host().AskRescuePowerCycle(GetString(MSG_RESCUE_PROMPT), GetString(MSG_RESCUE_CAPTION));
    if (answer != ANSWER_OK) return RESCUE_REFUSED;
    SetActivity(true);
    m_bRawReceive = false;
    if (!Host().WaitDlgCreate()) return RESCUE_NO_DIALOG;
    const int range = seconds * 1000;
    StartWaitDialog(MSG_ENABLING_RESCUE, range);

    // Phase wake-up: the DC2 call, alone and without line end, once a second
    // until the first ident line; phase ident: the ident query until a
    // complete answer holds "UCRQ" (step 8).
    std::string call(1, kRescueCall);
    bool identPhase = false;
    m_nTickMs = 0;
    m_nReplyFlag = 0;
    m_strReply.clear();
    int result = 0;
    int lastTick = 0;
    SendRaw(call, 7, "", 0);
    while (result == 0) {
        PumpOnce();
        if (m_nStep == 0) break;   // the process was ended meanwhile
        if (CancelAsked()) {
            result = RESCUE_REFUSED;
            break;
        }
        const bool newTick = m_nTickMs != lastTick;
        lastTick = m_nTickMs;
        const bool callNow = newTick && IsWholeSecond(m_nTickMs);
        if (callNow) Host().WaitDlgStepIt();
        if (m_nTickMs >= range) {
            result = RESCUE_TIMEOUT;
            break;
        }
        if (!identPhase) {
            if (m_nReplyFlag) {
                Host().WaitDlgSetPos(range / 2);
                m_nStep = 8;
                call = kIdentQuery;
                m_nReplyFlag = 0;
                m_strReply.clear();
                identPhase = true;
                if (IsWholeSecond(m_nTickMs)) SendSentence(call, 0, "", 0);
            } else if (callNow) {
                SendRaw(call, 0, "", 0);
            }
        } else if (m_nReplyFlag) {
            Host().WaitDlgSetPos(range);
            result = RESCUE_ANSWERED;
        } else if (callNow) {
            SendSentence(call, 8, "", 0);
        }
    }
    m_nTickMs = -1;
    Host().WaitDlgDestroy();
    return result;
}

// --- the offer to retry in rescue mode (message 153) --------------------------------------

bool CProcessEngine::RescueOffered(int /*dialogResult*/)
{
    const bool query = m_nProcess == PROC_QUERY;
    SetActivity(false);
    m_bRawReceive = true;
    const MsgAnswer answer = ShowMessage(MSG_RETRY_IN_RESCUE, query ? CAPTION_QUERY_ERROR : CAPTION_TRANSFER,
                                         MB_YES_NO, ICON_QUESTION);
    if (answer != ANSWER_YES) {
        EndProcess(22, false);
        return true;
    }
    m_bRawReceive = false;
    // The process that failed hands over to its rescue form: the running
    // guard of the start commands must not refuse it.
    m_replyTimer.stop();
    m_nStep = 0;
    m_nProcess = PROC_NONE;
    m_bDocRunning = false;
    if (query) {
        SetActivity(true);
        StartQuery(PROC_RESCUE_QUERY);
    } else {
        StartTransfer(PROC_RESCUE_TRANSFER);
    }
    return true;
}

// --- the restore of the serial parameters ---------------------------------------------------

int CProcessEngine::RestoreSerial(int messageId, int waitMs)
{
    if (!Host().WaitDlgCreate()) return RESTORE_NO_LINK;
    StartWaitDialog(messageId, waitMs);
    CBoardConf& line = CurrentLine();
    const int savedHop = line.m_nHop;
    line.m_nHop = 0;
    m_nTickMs = 0;
    // No step of the restore expects an answer: lines that still come in
    // (a late ident answer) are dropped, and the reply of the step is kept.
    const std::string savedReply = m_strReply;
    const bool savedRaw = m_bRawReceive;
    m_bRawReceive = true;

    const std::vector<RestoreAction> actions = RestoreActions(line, BoardAlone());
    size_t next = 0;
    int result = actions.empty() ? RESTORE_DONE : 0;
    int lastTick = 0;
    while (result == 0) {
        PumpOnce();
        if (m_nStep == 0) break;   // the process was ended meanwhile
        if (m_nTickMs != lastTick) {
            lastTick = m_nTickMs;
            if (lastTick % WAIT_STEP_MS == 0) Host().WaitDlgStepIt();
        }
        if (CancelAsked()) {
            result = RESTORE_ABORTED;
            break;
        }
        if (m_nTickMs >= waitMs) {
            result = RESTORE_TIMEOUT;
            break;
        }
        const RestoreAction& action = actions[next];
        bool done = false;
        switch (action.kind) {
        case RestoreAction::SendOwnRate:
            done = SendSentence("$PKVR,HARDRS,,,," + BaudText(action.speed), 0, "", 0);
            break;
        case RestoreAction::SwitchLink:
            if (!ChangeBaudRate(action.speed, App().m_nWriteTimeoutMs)) result = RESTORE_NO_LINK;
            done = result == 0;
            break;
        case RestoreAction::Join:
            done = SendSentence(JoinSentence(action.letter), 0, "", 0);
            if (done) m_nJoinedHop = action.hop;
            break;
        case RestoreAction::Leave:
            done = SendSentence(std::string("$PKVR,JOIN,") + action.letter + ",0", 0, "", 0);
            if (done) m_nJoinedHop = action.hop - 1;
            break;
        case RestoreAction::SendPortRate:
            done = SendSentence(std::string("$PKVR,HARDRS,,,") + action.letter + "," + BaudText(action.speed),
                                0, "", 0);
            break;
        }
        if (!done) continue;   // a failed send is tried again on the next pass
        if (action.kind == RestoreAction::SendPortRate) ++line.m_nHop;
        if (++next == actions.size()) result = RESTORE_DONE;
    }
    line.m_nHop = savedHop;
    m_nTickMs = -1;
    // A port that could not be re-opened leaves received text to nobody.
    if (result != RESTORE_NO_LINK) m_bRawReceive = savedRaw;
    m_strReply = savedReply;
    Host().WaitDlgDestroy();
    return result;
}
