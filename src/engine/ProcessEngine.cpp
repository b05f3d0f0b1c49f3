#include "engine/ProcessEngine.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>

#include <algorithm>

#include "app/CommSettings.h"
#include "app/ExitSignals.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "engine/IdentMatch.h"
#include "engine/ProcessReport.h"
#include "model/ModelFiles.h"
#include "link/DataRecord.h"
#include "link/SerialLink.h"
#include "model/UpdateDoc.h"
#include "release/VleFile.h"

namespace {

using Clock = std::chrono::steady_clock;

// Posted notifications travel as Qt events of type User + their number.
QEvent::Type NotificationType(int notification)
{
    return static_cast<QEvent::Type>(QEvent::User + notification);
}

// The line clock counts the device's frame, two stop bits (",n,8,2"): a port
// set to one stop bit is done sooner, never later, than the clock says.
constexpr int kDeviceStopBits = 2;

}  // namespace

CProcessEngine::CProcessEngine(CUpdateDoc& doc, CSerialLink& link, QObject* parent)
    : QObject(parent), m_doc(doc), m_link(link)
{
    m_tickTimer.setInterval(TICK_PERIOD_MS);
    QObject::connect(&m_tickTimer, &QTimer::timeout, this, [this] { OnTick(); });
    QObject::connect(&m_replyTimer, &QTimer::timeout, this, [this] { OnReplyTimeout(); });
    m_wakeTimer.setSingleShot(true);
    m_wakeTimer.setTimerType(Qt::PreciseTimer);
    m_cmdLineTimer.setSingleShot(true);
    QObject::connect(&m_cmdLineTimer, &QTimer::timeout, this, [this] {
        m_cmdLineTimer.stop();
        StartTransfer(PROC_TRANSFER);
    });

    m_receiver.logSentence = [](const std::string& sentence) { App().WriteLog(sentence); };
    m_receiver.onSentence = [this](const std::string& sentence) { OnReplyLine(sentence); };
    m_receiver.acceptsRecords = [this] { return m_nStep == 26; };

    m_stopTarget.stop = [this](int reason) { RequestStop(reason); };
    m_stopTarget.takesAbortKey = [this] { return TakesAbortKey(); };
    SetStopTarget(&m_stopTarget);
}

CProcessEngine::~CProcessEngine()
{
    m_tickTimer.stop();
    m_replyTimer.stop();
    m_cmdLineTimer.stop();
    m_link.Close();
    if (CurrentStopTarget() == &m_stopTarget) SetStopTarget(nullptr);
}

void CProcessEngine::ArmCommandLineTransfer()
{
    m_cmdLineTimer.start(CMDLINE_START_DELAY_MS);
}

// --- events ----------------------------------------------------------------------

bool CProcessEngine::event(QEvent* e)
{
    EntryGuard entry(*this);
    if (e->type() == CommNotifyEventType()) {
        OnCommNotify();
        return true;
    }
    for (int notification : {NOTIFY_STEP_15, NOTIFY_STEP_27, NOTIFY_STEP_12}) {
        if (e->type() != NotificationType(notification)) continue;
        const int step = notification == NOTIFY_STEP_15   ? 15
                         : notification == NOTIFY_STEP_27 ? 27
                                                          : 12;
        // A notification left over from a process that has ended, or that
        // moved on meanwhile, has nothing to run.
        if (m_nStep == step) ProcessStep(EV_STEP, step);
        return true;
    }
    return QObject::event(e);
}

void CProcessEngine::PostStep(int notification, int step)
{
    m_nStep = step;
    QCoreApplication::postEvent(this, new QEvent(NotificationType(notification)));
}

void CProcessEngine::OnTick()
{
    if (m_nTickMs != -1) m_nTickMs += TICK_PERIOD_MS;
    if (m_bActivityOn) Host().ActivityTick();
    m_bTickHalf = !m_bTickHalf;
    const bool transfer = m_nProcess == PROC_TRANSFER || m_nProcess == PROC_RESCUE_TRANSFER;
    // The elapsed time is the clock's, whatever the activity indicator does.
    if (transfer && m_bDocRunning) {
        m_nElapsed = SecondsSinceStart();
        Host().SetElapsedText(ElapsedText(m_nElapsed));
    }
}

void CProcessEngine::OnReplyTimeout()
{
    m_replyTimer.stop();
    ProcessStep(EV_RX_TIMEOUT, 0);
}

bool CProcessEngine::ArmReplyTimer(int timeoutMs)
{
    m_replyTimer.start(timeoutMs);
    return m_replyTimer.isActive();
}

void CProcessEngine::SetActivity(bool on)
{
    m_bActivityOn = on;
    Host().SetActivityBlink(on);
}

void CProcessEngine::PumpOnce()
{
    // Sleeps until something happens: timer 1 wakes the loop every 500 ms.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void CProcessEngine::PumpOnceFor(int ms)
{
    m_wakeTimer.start(std::max(ms, 1));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_wakeTimer.stop();
}

// --- the step machine -------------------------------------------------------------

void CProcessEngine::ProcessStep(int kind, int argument)
{
    EntryGuard entry(*this);
    switch (kind) {
    case EV_TIMER_ERROR:
        EndProcess(58, true);
        break;
    case EV_COMM_ERROR:
        EndProcess(argument != 0 ? argument : 7, true);
        break;
    case EV_STEP:
        if (argument != 0) m_nStep = argument;
        RunStep(m_nStep);
        break;
    case EV_RX_TIMEOUT:
        m_replyTimer.stop();
        switch (m_nStep) {
        case 14:
            RunStep(14);
            break;
        case 16: case 19: case 24: case 26: case 32:
            EndProcess(12, true);
            break;
        case 34:
            ProcessStep(EV_STEP, 30);
            break;
        default:
            break;   // no reply awaited in this step
        }
        break;
    case EV_SEND_FAILED:
        EndProcess(55, true);
        break;
    default:
        break;
    }
}

void CProcessEngine::RunStep(int step)
{
    for (const StepRow* row = kStepTable; row->step != 0; ++row) {
        if (row->step == step) {
            (this->*row->run)();
            return;
        }
    }
}

// --- starting and ending -------------------------------------------------------------

void CProcessEngine::StartQuery(int type)
{
    if (m_bDocRunning || !IsIdle()) return;
    EntryGuard entry(*this);
    m_bQueryAnswered = false;
    m_strLastIdentReply.clear();
    RecordRunStart(type);
    SetActivity(true);
    const int firstStep = type == PROC_RESCUE_QUERY ? 9 : 10;
    if (!StartProcess(type, firstStep, -1)) {
        EndProcess(22, false);
        return;
    }
    ProcessStep(EV_STEP, 0);
}

int CProcessEngine::StartProcess(int type, int firstStep, int boardIndex)
{
    m_nProcess = type;
    m_nStep = firstStep;
    App().WriteLogNote("\r\n");
    switch (type) {
    case PROC_QUERY:
    case PROC_RESCUE_QUERY:
        App().WriteLogNote("==( Query )====\r\n");
        break;
    case PROC_TRANSFER:
    case PROC_RESCUE_TRANSFER: {
        Host().ShowProcessControls(true);
        ForgetReceiverPath();
        m_bFirstBoard = boardIndex == -1;
        // The first board is the first line that takes part in the transfer.
        const long next = static_cast<long>(m_doc.NextSelectedLine(boardIndex));
        if (next >= LineCount()) return 0;
        RecordBoardTime();
        RecordBoardEnd("");
        m_nBoard = static_cast<int>(next);
        m_boardStart = Clock::now();
        ResetBoardFigures(0);
        m_bEraseSent = false;
        m_bChecksumOk = false;
        RecordBoardStart();
        ShowBoard();
        if (boardIndex != -1) App().WriteLogNote("**********************************\r\n");
        if (type == PROC_RESCUE_TRANSFER) App().WriteLogNote("==( Rescue mode )====\r\n");
        App().WriteLogNote("\r\n" + BoardSummaryText());
        break;
    }
    case PROC_REPAIR:
        App().WriteLogNote("==( Repair )====\r\n");
        break;
    default:
        return 0;
    }
    if (type == PROC_RESCUE_QUERY || type == PROC_RESCUE_TRANSFER) {
        App().m_nBaudIndex = DEFAULT_BAUD_INDEX;
        ShowLinkText(App().m_nBaudIndex);
    }
    if (!ChangeBaudRate(App().m_nBaudIndex, App().m_nWriteTimeoutMs)) return 0;
    m_tickTimer.start();
    if (!m_tickTimer.isActive()) {
        ProcessStep(EV_TIMER_ERROR, 0);
        return 0;
    }
    m_bDocRunning = true;
    Host().ShowBusyLook(true);
    return 1;
}

void CProcessEngine::EndProcess(int messageId, bool showBox)
{
    if (m_nStep == 0 || m_bRestoringPath) return;
    m_bRestoreFailed = false;
    if (m_nProcess == PROC_TRANSFER || m_nProcess == PROC_RESCUE_TRANSFER) {
        RestoreReceiverPath();
        m_receiverLeft = DescribeReceiverLeft();
        if (!m_receiverLeft.Empty()) App().WriteLogNote(m_receiverLeft.Text() + "\r\n");
    }
    m_nStep = 0;
    m_nEndMessage = messageId;
    m_replyTimer.stop();
    m_tickTimer.stop();
    m_nTickMs = -1;
    m_link.SetWriteTimeout(App().m_nWriteTimeoutMs);
    m_link.Close();
    Host().PlayAnimation(false);
    m_pReleaseFile.reset();

    if (m_nProcess == PROC_TRANSFER || m_nProcess == PROC_RESCUE_TRANSFER) {
        RecordBoardTime();
        m_nElapsed = SecondsSinceStart();
        SetActivity(false);
        if (showBox) ShowMessage(messageId, 94, MB_OK_ONLY, ICON_EXCLAMATION);
        App().WriteLogNote(GetString(43) + "\r\n");
        std::string report;
        bool anomalous = false;
        for (const CBoardConf& line : m_doc.m_lines) {
            const std::string text = EndReportLine(line.m_strBoardName, line.m_nResult, line.m_bSelected != 0);
            App().WriteLogNote(text);
            report += text;
            if (!line.m_bSelected || line.m_nResult != RESULT_OK) anomalous = true;
        }
        if (m_doc.m_lines.empty()) anomalous = true;
        if (!anomalous) Host().PlaySoundResource(193);
        m_strEndReport = GetString(anomalous ? 61 : 42) + "\r\n\r\n" + report;
        Host().MessageBox(m_strEndReport, GetString(43), MB_OK_ONLY,
                          anomalous ? ICON_STOP : ICON_INFORMATION);
        LogOperationTime();
        App().WriteLogNote("\r\n************************ Fin du transfert ***********************\r\n");
        App().m_bCmdLineStart = false;
        ShowNoBoard();
        Host().SetBoardCounter("");
    } else {
        if (showBox) ShowMessage(messageId, 95, MB_OK_ONLY, ICON_EXCLAMATION);
        App().WriteLogNote("\r\n===============\r\n");
    }

    RecordRunEnd(messageId);
    m_receiver.ClearText();
    m_receiver.ClearQueue();
    m_strReply.clear();
    m_nProcess = PROC_NONE;
    Host().ShowProcessControls(false);
    SetActivity(false);
    m_bDocRunning = false;
    Host().ShowBusyLook(false);
    m_link.SetBaudRate(BaudFromIndex(App().m_nBaudIndex));
    ShowLinkText(App().m_nBaudIndex);
}

// --- stopping from outside ---------------------------------------------------------------

void CProcessEngine::RequestStop(int reason)
{
    if (StopRequested() || (IsIdle() && !m_bDocRunning)) {
        ::RequestStop(reason);
        return;
    }
    ::RequestStop(reason);
    App().WriteLogNote(reason > 0 ? "Signal " + SignalName(reason) + " reçu : arrêt du processus\r\n"
                                  : std::string("Fenêtre fermée : arrêt du processus\r\n"));
    if (m_nEntryDepth == 0) StopNow();
}

void CProcessEngine::LeaveEntry()
{
    if (--m_nEntryDepth == 0 && StopRequested()) StopNow();
}

void CProcessEngine::StopNow()
{
    if (m_nStep == 0 || m_bRestoringPath) return;
    const bool transfer = m_nProcess == PROC_TRANSFER || m_nProcess == PROC_RESCUE_TRANSFER;
    if (transfer && m_nBoard >= 0 && m_nBoard < LineCount()) {
        CBoardConf& line = CurrentLine();
        if (line.m_bSelected && line.m_nResult != RESULT_OK) line.m_nResult = RESULT_ABORTED;
        if (!m_bAbort) App().WriteLogNoteString(44);
        m_bAbort = true;
    }
    EndProcess(22, false);
}

bool CProcessEngine::CancelAsked() const
{
    return Host().WaitDlgCheckCancel() || StopRequested();
}

// --- sending ------------------------------------------------------------------------------

bool CProcessEngine::WriteToLink(const std::string& bytes)
{
    const int written = m_link.Write(bytes.data(), static_cast<int>(bytes.size()));
    NoteWritten(static_cast<size_t>(std::max(written, 0)));
    return written == static_cast<int>(bytes.size());
}

std::chrono::microseconds CProcessEngine::WireTime(size_t bytes) const
{
    const long long bits = 1 + m_link.ByteSize() + (m_link.Parity() != 0 ? 1 : 0) + kDeviceStopBits;
    const long long rate = std::max<long long>(m_link.BaudRate(), 1);
    return std::chrono::microseconds(static_cast<long long>(bytes) * bits * 1000000LL / rate);
}

void CProcessEngine::NoteWritten(size_t bytes)
{
    const auto now = Clock::now();
    m_lineFreeAt = std::max(m_lineFreeAt, now) + WireTime(bytes);
    m_lastWrite = now;
    m_bLastAnswered = false;
    m_nBytesSinceWrite = 0;
}

int CProcessEngine::InterWritePauseMs() const
{
    const int pause = App().m_nInterWriteDelayMs;
    if (pause <= 0 || m_bLastAnswered) return 0;
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_lastWrite).count();
    return static_cast<int>(std::max<long long>(pause - since, 0));
}

int CProcessEngine::SendSentence(const std::string& sentence, int nextStep,
                                 const std::string& expected, int timeoutMs, int quiet)
{
    App().WriteLog(">" + sentence + "<\r\n");
    return SendBytes(sentence + "\r\n", nextStep, expected, timeoutMs, quiet);
}

int CProcessEngine::SendRaw(const std::string& text, int nextStep, const std::string& expected,
                            int timeoutMs, int quiet)
{
    App().WriteLog(">" + text + "<\r\n");
    return SendBytes(text, nextStep, expected, timeoutMs, quiet);
}

int CProcessEngine::SendBytes(const std::string& bytes, int nextStep, const std::string& expected,
                              int timeoutMs, int quiet)
{
    if (const int pause = InterWritePauseMs(); pause > 0) App().PumpDelay(pause);
    if (nextStep != 0) m_nStep = nextStep;
    if (!expected.empty()) m_strExpected = expected;
    if (timeoutMs != 0 && !ArmReplyTimer(timeoutMs)) {
        App().WriteLogNoteString(58);
        ShowMessage(58, 28, MB_OK_ONLY, ICON_EXCLAMATION);
        return 0;
    }
    Host().FlashLamp(LAMP_TRANSMIT);
    const bool written = WriteToLink(bytes);
    if (quiet) return written ? 1 : 0;
    if (!written) {
        m_replyTimer.stop();
        m_link.PurgeReceive(0);
        App().WriteLogNoteString(55);
        return 0;
    }
    return 1;
}

int CProcessEngine::SendRecord(const DataRecord& record, bool blink)
{
    if (blink) Host().FlashLamp(LAMP_TRANSMIT);
    const int size = static_cast<int>(record.SizeToWrite());
    const int written = WriteRecordBytes(reinterpret_cast<const char*>(record.BytesToWrite()), size);
    NoteWritten(static_cast<size_t>(std::max(written, 0)));
    if (size == 0 || written != size) {
        m_link.PurgeReceive(0);
        return 0;
    }
    return 1;
}

// A driver that is full holds a write until the line has carried what it
// has, which on a slow line is longer than a key may wait: while it is full,
// the event loop runs (the abort key is asked about at once) and the rest is
// offered again. The link's write time-out for the record still bounds the
// write; time spent in a dialog opened meanwhile does not count against it.
int CProcessEngine::WriteRecordBytes(const char* bytes, int size)
{
    using namespace std::chrono;
    auto deadline = Clock::now() + milliseconds(m_link.WriteBudgetMs(size));
    int written = 0;
    while (written < size) {
        const int n = m_link.WriteAvailable(bytes + written, size - written);
        if (n < 0) break;
        written += n;
        if (written == size || Clock::now() >= deadline) break;
        const auto before = Clock::now();
        if (Host().AbortKeyPressed()) AskAbort();
        PumpOnceFor(RECORD_WRITE_RETRY_MS);
        const auto away = Clock::now() - before - milliseconds(RECORD_WRITE_RETRY_MS);
        if (away > milliseconds(TICK_PERIOD_MS)) deadline += duration_cast<Clock::duration>(away);
    }
    return written;
}

int CProcessEngine::SendFinalRecord(int kindIndex, long blockNumber)
{
    const CBoardDef* def = CurrentDef();
    if (def == nullptr) return 0;
    DataRecord record;
    const uint8_t zeros[6] = {};
    if (!record.SetDestination(def->m_nDestination) || !record.SetKind(kindIndex) ||
        !record.Build(RECORD_CLOSING, zeros, sizeof zeros, static_cast<uint32_t>(blockNumber) & 0xFFFFFF))
        return 0;
    return SendRecord(record, false);
}

std::string CProcessEngine::JoinSentence(char letter) const
{
    return std::string("$PKVR,JOIN,,2,IO,") + (letter != 0 ? letter : DestLetter());
}

int CProcessEngine::LeaveRelay(char letter)
{
    if (BoardAlone()) return 0;
    const char dest = letter != 0 ? letter : DestLetter();
    if (!SendSentence("$PKVR,JOIN,,0", 0, "", 0)) return 0;
    if (!SendSentence(std::string("$PKVR,JOIN,") + dest + ",0", 0, "", 0)) return 0;
    return 1;
}

// --- receiving ----------------------------------------------------------------------------

void CProcessEngine::OnCommNotify()
{
    std::string bytes(MAX_READ_CHUNK, '\0');
    const int count = m_link.Read(bytes.data(), MAX_READ_CHUNK);
    if (m_bRawReceive) {
        m_receiver.ClearText();
        m_receiver.ClearQueue();
        m_strReply.clear();
        m_nReplyFlag = 0;
        return;
    }
    if (count <= 0) return;
    if (m_nBytesSinceWrite == 0) m_firstByteAt = Clock::now();
    m_nBytesSinceWrite += count;
    m_receiver.Append(bytes.data(), static_cast<size_t>(count));
    Host().FlashLamp(LAMP_RECEIVE);
    m_receiver.ParseReceived();
}

// --- the link -------------------------------------------------------------------------------

void CProcessEngine::ShowLinkText(int baudIndex)
{
    Host().SetLinkText(LinkText(App().m_nPortIndex, baudIndex));
}

int CProcessEngine::ChangeBaudRate(int baudIndex, int writeTimeoutMs)
{
    m_link.Close();
    m_receiver.ClearText();
    m_link.SetPortNumber(App().m_nPortIndex + 1);
    m_link.SetBaudRate(BaudFromIndex(baudIndex));
    ShowLinkText(baudIndex);
    if (m_link.Open(this) == 1) {
        // The line clock starts again on the idle line.
        m_lineFreeAt = Clock::now();
        App().PumpDelay(CSerialLink::kLineSettleMs);
        const int timeout = writeTimeoutMs == -1 ? App().m_nWriteTimeoutMs : writeTimeoutMs;
        if (!m_link.SetWriteTimeout(timeout))
            App().WriteLog("ERREUR écriture TimeOut à l'ouverture du port.\r\n");
        m_bRawReceive = false;
        m_nLinkBaudIndex = (baudIndex >= 0 && baudIndex <= 9) ? baudIndex : DEFAULT_BAUD_INDEX;
        return 1;
    }
    App().WriteLogNote(GetString(57));
    ShowMessage(57, 8, MB_OK_ONLY, ICON_STOP);
    m_bRawReceive = true;
    m_link.SetBaudRate(BaudFromIndex(App().m_nBaudIndex));
    ShowLinkText(App().m_nBaudIndex);
    return 0;
}

// --- progress -------------------------------------------------------------------------------

void CProcessEngine::ReportPhase(int phase)
{
    if (!onProgress) return;
    ProcessProgress progress;
    progress.phase = phase;
    progress.lines = LineCount();
    if ((m_nProcess == PROC_TRANSFER || m_nProcess == PROC_RESCUE_TRANSFER) && m_nBoard >= 0 &&
        m_nBoard < LineCount()) {
        progress.line = m_nBoard;
        progress.board = CurrentLine().m_strBoardName;
    }
    progress.bytes = m_nReleaseBytesSent;
    progress.total = m_nReleaseTotal;
    progress.resends = m_nResends;
    progress.lineRate = static_cast<long>(m_link.BaudRate());
    onProgress(progress);
}

// --- waiting --------------------------------------------------------------------------------

void CProcessEngine::StartWaitDialog(int messageId, int range)
{
    Host().WaitDlgSetRange(0, range);
    Host().WaitDlgSetStep(1000);
    Host().WaitDlgSetPos(0);
    if (messageId != 0) Host().WaitDlgSetMessage(GetString(messageId));
}

int CProcessEngine::WaitForEvent(int messageId, int timeoutMs)
{
    if (!Host().WaitDlgCreate()) return WAIT_NO_DIALOG;
    m_nReplyFlag = 0;
    StartWaitDialog(messageId, timeoutMs);
    m_nTickMs = 0;
    int lastTick = 0;
    int result = 0;
    while (result == 0) {
        PumpOnce();
        // The process may have been ended from inside the loop (a failed
        // link, the second Ctrl+C): nothing is left to wait for.
        if (m_nStep == 0) break;
        if (m_nTickMs != lastTick) {
            lastTick = m_nTickMs;
            if (lastTick % 1000 == 0) Host().WaitDlgStepIt();
        }
        if (CancelAsked()) result = WAIT_CANCEL;
        else if (m_nTickMs >= timeoutMs) result = WAIT_TIMEOUT;
        else if (m_nReplyFlag == 1) result = WAIT_REPLY;
        else if (m_nReplyFlag == -1) result = WAIT_NEGATIVE;
    }
    m_nTickMs = -1;
    Host().WaitDlgDestroy();
    return result;
}

// --- model access ---------------------------------------------------------------------------

int CProcessEngine::LineCount() const
{
    return static_cast<int>(m_doc.m_lines.size());
}

CBoardConf& CProcessEngine::CurrentLine()
{
    return m_doc.m_lines.at(static_cast<size_t>(m_nBoard));
}

const CBoardConf& CProcessEngine::CurrentLine() const
{
    return m_doc.m_lines.at(static_cast<size_t>(m_nBoard));
}

const CBoardDef* CProcessEngine::TargetDef(const CBoardConf& line) const
{
    return CUpdateDoc::LineBoardDef(line);
}

const CBoardDef* CProcessEngine::CurrentDef() const
{
    if (m_nBoard < 0 || m_nBoard >= LineCount()) return nullptr;
    return TargetDef(CurrentLine());
}

const CBoardDef* CProcessEngine::HopDef(const CBoardConf& line, int hop) const
{
    if (hop < 0 || hop >= static_cast<int>(line.m_hops.size())) return nullptr;
    return line.m_hops[static_cast<size_t>(hop)].m_pBoardDef;
}

char CProcessEngine::DestLetter() const
{
    const CBoardDef* def = CurrentDef();
    return def != nullptr ? def->DestinationLetter() : 'A';
}

const CBoardDef* CProcessEngine::HopTargetDef() const
{
    if (m_nBoard < 0 || m_nBoard >= LineCount()) return nullptr;
    const CBoardConf& line = CurrentLine();
    const CBoardDef* def = HopDef(line, line.m_nHop + 1);
    return def != nullptr ? def : TargetDef(line);
}

char CProcessEngine::HopLetter() const
{
    const CBoardDef* def = HopTargetDef();
    return def != nullptr ? def->DestinationLetter() : 'A';
}

int CProcessEngine::LastHop() const
{
    if (m_nBoard < 0 || m_nBoard >= LineCount()) return 0;
    return std::max(0, static_cast<int>(CurrentLine().m_hops.size()) - 1);
}

char CProcessEngine::LetterOfHop(int hop) const
{
    const CBoardDef* def = m_nBoard >= 0 && m_nBoard < LineCount() ? HopDef(CurrentLine(), hop) : nullptr;
    return def != nullptr ? def->DestinationLetter() : DestLetter();
}

bool CProcessEngine::HopHasPort(int hop) const
{
    const CBoardDef* def = m_nBoard >= 0 && m_nBoard < LineCount() ? HopDef(CurrentLine(), hop) : nullptr;
    return def != nullptr && def->HasPortDestination();
}

long CProcessEngine::HopRate(int hop) const
{
    return RateOf(CurrentLine().GetHopSpeed(hop));
}

bool CProcessEngine::BoardAlone() const
{
    if (m_nBoard < 0 || m_nBoard >= LineCount()) return true;
    return CurrentLine().m_bBoardAlone != 0;
}

bool CProcessEngine::NoSelectedLineFollows() const
{
    return m_doc.IsLastSelected(m_nBoard);
}

IdentTarget CProcessEngine::TargetOf(const CBoardConf& line) const
{
    IdentTarget target;
    if (const CBoardDef* def = TargetDef(line)) {
        target.subassyId = def->m_strSubassyId;
        target.subassyHardw = def->m_strSubassyHardw;
        target.bootLoader = def->m_strBootLoader;
        target.destLetter = def->DestinationLetter();
    }
    target.boardAlone = line.m_bBoardAlone != 0;
    return target;
}

int CProcessEngine::DefaultKind() const
{
    const CBoardDef* def = CurrentDef();
    if (BoardAlone() || def == nullptr) return 3;
    return def->m_nProcessing;
}

long CProcessEngine::RateOf(int baudIndex) const
{
    return BaudFromIndex(baudIndex);
}

// --- view texts -----------------------------------------------------------------------------

void CProcessEngine::ShowBoard()
{
    const CBoardConf& line = CurrentLine();
    Host().SetBoardText(line.m_strBoardName);
    Host().SetFileNameText(FileNamePart(line.m_strReleaseFile));
    if (LineCount() > 1)
        Host().SetBoardCounter(std::to_string(m_nBoard + 1) + "/" + std::to_string(LineCount()));
}

void CProcessEngine::ShowNoBoard()
{
    Host().SetBoardText(GetString(161));
    Host().SetFileNameText(GetString(161));
}

std::string CProcessEngine::BoardSummaryText() const
{
    const CBoardConf& line = CurrentLine();
    BoardSummaryFacts facts;
    facts.lineNumber = m_nBoard + 1;
    facts.lineCount = LineCount();
    facts.envName = line.m_strEnvName;
    facts.boardName = line.m_strBoardName;
    facts.softId = line.m_strSoftId;
    facts.restart = line.m_bRestart != 0;
    facts.boardAlone = line.m_bBoardAlone != 0;
    facts.releaseFile = line.m_strReleaseFile;
    facts.vleFile = line.m_strVleFile;
    if (const CBoardDef* def = TargetDef(line)) {
        facts.subassyId = def->m_strSubassyId;
        facts.subassyHardw = def->m_strSubassyHardw;
        facts.bootLoader = def->m_strBootLoader;
        facts.relayedDefinition = def->m_bRelayed != 0;
        facts.destinationName = DestinationName(def->m_nDestination);
        if (const CEnvDef* env = CUpdateDoc::LineEnvironment(line))
            if (const CBoardDef* parent = env->Board(def->m_nParentBoard)) facts.parentName = parent->m_strName;
    }
    return BoardSummary(facts);
}

void CProcessEngine::RecordBoardTime()
{
    if (m_nBoard < 0 || static_cast<size_t>(m_nBoard) >= m_boardStats.size() || m_boardStart == Clock::time_point{})
        return;
    BoardStats& stats = m_boardStats[static_cast<size_t>(m_nBoard)];
    stats.seconds = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - m_boardStart).count());
    stats.bytes = m_nReleaseBytesSent;
    stats.resends = m_nResends;
    m_boardStart = Clock::time_point{};
}

long CProcessEngine::SecondsSinceStart() const
{
    if (m_transferStart == Clock::time_point{}) return 0;
    return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - m_transferStart).count());
}

void CProcessEngine::ResetBoardFigures(long long total)
{
    m_nBytesSent = 0;
    m_nReleaseBytesSent = 0;
    m_nReleaseTotal = total;
    m_nResends = 0;
    m_blockEnds.clear();
}

void CProcessEngine::CountBlockSent(long number, int n)
{
    m_nBytesSent += n;
    // Block numbers of the reader run 1, 2, ... and each is counted when it
    // first follows the blocks the board holds; a block sent again is a resend.
    if (number != static_cast<long>(m_blockEnds.size()) + 1) return;
    m_nReleaseBytesSent += n;
    m_blockEnds.push_back(m_nReleaseBytesSent);
}

void CProcessEngine::ForgetBlocksFrom(long block)
{
    if (block < 1 || block > static_cast<long>(m_blockEnds.size())) return;
    m_blockEnds.resize(static_cast<size_t>(block - 1));
    m_nReleaseBytesSent = m_blockEnds.empty() ? 0 : m_blockEnds.back();
}

void CProcessEngine::LogOperationTime()
{
    App().WriteLogNote(OperationTimeText(m_nElapsed));
}

std::string CProcessEngine::RemainingTimeText(long long bytesSent) const
{
    const bool transfer = m_nProcess == PROC_TRANSFER || m_nProcess == PROC_RESCUE_TRANSFER;
    if (!transfer || m_nBoard < 0 || m_nBoard >= LineCount()) return {};
    const long long total = m_pReleaseFile ? m_pReleaseFile->TotalBytes() : 0;
    return ::RemainingTimeText(true, total, std::min(bytesSent, total), RateOf(CurrentLine().m_nEffectiveSpeed));
}
