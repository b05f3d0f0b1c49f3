#pragma once
// CProcessEngine: the process controller. One step machine that drives every
// conversation with the receiver (Query, Rescue query, Transfer, Rescue-mode
// transfer, Repair). It advances on received lines, the reply timer, the
// notifications it posts to itself and the results of its modal waits; it
// never blocks without pumping the event loop. Everything it asks of the user
// or the screen goes through Host().
//
// Owned by the view (GUI) or by tavrel-cli, with the document and the serial
// link it works on.
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ExitSignals.h"
#include "engine/EngineTypes.h"
#include "engine/ProcessProgress.h"
#include "engine/ProcessRecorder.h"
#include "link/ReceiveParser.h"

class CSerialLink;
class CUpdateDoc;
class CBoardConf;
class CBoardDef;
class CVleFile;
class CProgressIndicator;
class DataRecord;
struct IdentTarget;

// Results of the Repair (LastRepairResult).
enum RepairResult {
    REPAIR_NONE = 0,
    REPAIR_DONE = 1,            // the board answered after it
    REPAIR_SEND_FAILED = 2,
    REPAIR_ABORTED = 3,
    REPAIR_NO_DIALOG = 4,
    REPAIR_NOT_CONFIRMED = 5,   // every sentence went out, the board did not answer
};

// What a transfer that did not load every board left the receiver as, and
// what to do next. Empty `state` when every board loaded.
struct ReceiverLeft {
    std::string state;                       // relays and rates, then the board lines
    std::vector<std::string> transferMode;   // boards that may still be in transfer mode
    std::vector<std::string> toLoad;         // selected lines that did not load
    std::string rescueBoard;                 // the cabled board, erased, with a rescue loader
    bool powerCycle = false;                 // the receiver must be switched off and on first
    std::string next;                        // the next step, as the log words it
    bool Empty() const { return state.empty(); }
    // "the receiver: STATE; next: NEXT" (empty when Empty()).
    std::string Text() const;
};

class CProcessEngine : public QObject {
public:
    CProcessEngine(CUpdateDoc& doc, CSerialLink& link, QObject* parent = nullptr);
    ~CProcessEngine() override;
    CProcessEngine(const CProcessEngine&) = delete;
    CProcessEngine& operator=(const CProcessEngine&) = delete;

    // --- commands ------------------------------------------------------------
    void StartQuery(int type);
    void StartTransfer(int type);
    // The Repair command: the "Change communication" dialog, then the repair
    // exchange with the chosen board (step 35).
    void StartRepair();
    // Arms the one-shot timer 3 that starts a transfer of the whole request
    // named on the command line.
    void ArmCommandLineTransfer();
    // The view's Abort button (and Escape during the data phase).
    int AskAbort();
    // Ends the running process at once through its own clean-up, with no
    // question (a signal, the window closing): the current board is
    // aborted, relays are left, rates restored, the end report written.
    // From inside a wait the wait returns first; the process ends as soon
    // as its step gives control back. `reason`: the signal, 0 for the window.
    void RequestStop(int reason);
    // Closing the window while a process runs: the abort question at any
    // step; Yes stops the process as RequestStop(0) does. 1 when the process
    // is on its way out (asked now or before).
    int AskStop();
    // A Ctrl+C now is the abort key of the data phase: its loop asks.
    bool TakesAbortKey() const { return m_nStep == 26 && !m_bAbort; }
    // The end of the last transfer could not put the receiver back (the
    // port was lost on the way): it must be switched off and on.
    bool RestoreFailed() const { return m_bRestoreFailed; }

    bool IsIdle() const { return m_nStep == 0 && m_nProcess == 0; }
    bool IsRunning() const { return m_bDocRunning; }
    // The query found a board (an ident reply reached step 11).
    bool QueryAnswered() const { return m_bQueryAnswered; }
    const std::string& LastIdentReply() const { return m_strLastIdentReply; }
    // Text of the end-report box of the last transfer (empty before one).
    const std::string& LastEndReport() const { return m_strEndReport; }
    int LastEndMessage() const { return m_nEndMessage; }
    // Why the last transfer was refused before it sent anything (a rescue
    // rule its first line breaks); empty otherwise.
    const std::string& StartRefusal() const { return m_strStartRefusal; }
    // What the last transfer left the receiver as, when it did not load
    // every board (relays and rates put back or not, each board line, a
    // board still in transfer mode) and the next step.
    const ::ReceiverLeft& LastReceiverLeft() const { return m_receiverLeft; }
    // RepairResult of the last repair: REPAIR_DONE only when the board
    // answered afterwards (at its new rate when it is the connected board).
    int LastRepairResult() const { return m_nRepairResult; }

    // Figures of one board line of the last transfer (for reports).
    struct BoardStats {
        long resends = 0;
        long long bytes = 0;   // release data the board took (resends not counted again)
        long seconds = 0;      // wall-clock time from the board's start to its end
    };
    const std::vector<BoardStats>& LastBoardStats() const { return m_boardStats; }

    // The boards the last transfer on this link's port left in transfer
    // mode, as the recorder keeps them (none without a recorder).
    std::vector<std::string> LeftInTransferMode() const;

    // The first identification of a process keeps searching on a silent line
    // until its time limit (a receiver being switched on), instead of giving
    // up after two silent rounds of the rates.
    void SetWaitForReceiver(bool wait) { m_bWaitForReceiver = wait; }

    // --- observers (tavrel-cli's progress and failure reasons) ------------------
    // Told at each phase of a process and after every data record.
    std::function<void(const ProcessProgress&)> onProgress;
    // Told the identification answer the connected board was found with.
    std::function<void(const std::string&)> onIdentReply;
    // Told once per process when its recorder failed (the reason); the
    // process goes on unchanged.
    std::function<void(const std::string&)> onRecorderFailure;

    // The keeper of the record of every run (the history); nullptr: none.
    // Not owned; it must outlive the processes it records.
    void SetRecorder(CProcessRecorder* recorder) { m_pRecorder = recorder; }

    // --- the controller --------------------------------------------------------
    void ProcessStep(int kind, int argument);
    int StartProcess(int type, int firstStep, int boardIndex);
    int SendSentence(const std::string& sentence, int nextStep, const std::string& expected,
                     int timeoutMs, int quiet = 1);
    int SendRaw(const std::string& text, int nextStep, const std::string& expected,
                int timeoutMs, int quiet = 1);
    int SendRecord(const DataRecord& record, bool blink);
    // Writes a record's bytes while the event loop keeps running; the count written.
    int WriteRecordBytes(const char* bytes, int size);
    int SendFinalRecord(int kindIndex, long blockNumber);
    void OnReplyLine(const std::string& line);
    int WaitForEvent(int messageId, int timeoutMs);
    int ChangeBaudRate(int baudIndex, int writeTimeoutMs);
    void EndProcess(int messageId, bool showBox);
    int LeaveRelay(char letter = 0);
    std::string JoinSentence(char letter = 0) const;
    // The link's "bytes waiting" notification: read, then parse.
    void OnCommNotify();

    // --- query and identification ---------------------------------------------
    int AnalyseIdentReply(const std::string& reply);
    int BoardFound(const CBoardConf& line, const std::string& reply) const;
    int NewReleaseFound(const CBoardConf& line, const std::string& reply) const;
    int IdentifyAfterRestart();
    int RestartWait(const CBoardConf& line, bool wholeChain) const;

    // --- transfer ----------------------------------------------------------------
    int CheckChecksumMessage(const std::string& reply);
    std::string RemainingTimeText(long long bytesSent) const;
    std::string BoardSummaryText() const;
    void LogOperationTime();

    // --- controller state --------------------------------------------------------
    int m_nStep = 0;
    int m_nProcess = PROC_NONE;
    int m_nBoard = 0;
    std::string m_strExpected;
    std::string m_strReply;
    int m_nReplyFlag = 0;
    int m_nTickMs = -1;
    bool m_bRawReceive = false;
    bool m_bAbort = false;
    bool m_bChecksumOk = false;
    bool m_bFinished = false;
    std::unique_ptr<CVleFile> m_pReleaseFile;
    long m_nResends = 0;
    long m_nResendAddress = -1;
    long m_nResendBlock = -1;
    long m_nElapsed = 0;

    // Receive buffer (m_strRxText) and received-record queue.
    CReceiveParser m_receiver;

protected:
    bool event(QEvent* e) override;

private:
    // m_nStep while the end of a transfer puts the receiver back: no row of
    // the step table, so no received line is taken and no abort is asked.
    static constexpr int STEP_RESTORING = 99;

    using StepHandler = void (CProcessEngine::*)();
    struct StepRow {
        int step;
        StepHandler run;
    };
    static const StepRow kStepTable[];

    // Steps of the step table.
    void StepNothing();
    void Step9RescueWait();
    void Step10Identify();
    void Step11Analyse();
    void Step12OpenRelease();
    void Step13TransferModeRequest();
    void Step14Join();
    void Step15TransferModeData();
    void Step17FirstHop();
    void Step18AskPortRate();
    void Step19PortRate();
    void Step20RateChange();
    void Step21Erase();
    void Step23Announce();
    void Step25StartData();
    void Step26BlockLoop();
    void Step27Checksum();
    void Step28IdentifyAfterRestart();
    void Step30NormalSpeed();
    void Step31Identify();
    void Step32Results();
    void Step33EndTransferMode();
    void Step35Repair();
    void RunStep(int step);

    // Every entry into the engine from the event loop counts itself, so a
    // stop asked while a step runs ends the process once the step is left.
    struct EntryGuard {
        explicit EntryGuard(CProcessEngine& engine) : m_engine(engine) { ++m_engine.m_nEntryDepth; }
        ~EntryGuard() { m_engine.LeaveEntry(); }
        EntryGuard(const EntryGuard&) = delete;
        EntryGuard& operator=(const EntryGuard&) = delete;
        CProcessEngine& m_engine;
    };
    void LeaveEntry();
    void StopNow();
    // The Cancel of a wait: its button, Ctrl+C, or a stop.
    bool CancelAsked() const;
    // Asks text 49 (activity paused meanwhile); true on Yes.
    bool AbortConfirmed();

    // Pieces of the steps.
    void RunIdentificationDialog(int fromStep);
    void IdentificationFailed(int dialogResult);
    void TellReceiverHealth(const std::string& reply);
    void NextBoardOrEnd();
    int RunBlockLoop();
    int AfterBlockLoop(int result, int kind);
    // End of the data: waits until the line has carried the last record and
    // a board had its time to ask for one again; true when it did (the
    // pending resend is then set).
    bool LateResendAsked();
    bool TakeResendRequest();
    void OnReplyTimeout();
    void PostStep(int notification, int step);
    bool ArmReplyTimer(int timeoutMs);
    void OnTick();
    void SetActivity(bool on);
    void ShowLinkText(int baudIndex);
    void ShowBoard();
    void ShowNoBoard();
    void RecordBoardTime();
    // Whole seconds of wall-clock time since the transfer started.
    long SecondsSinceStart() const;
    // The data of the current board starts again: nothing of it taken yet.
    void ResetBoardFigures(long long total);
    // Block `number` (n bytes) went out: counted once, the first time.
    void CountBlockSent(long number, int n);
    // The board asked for `block` again: what it had from there on is not taken.
    void ForgetBlocksFrom(long block);
    bool WriteToLink(const std::string& bytes);
    int SendBytes(const std::string& bytes, int nextStep, const std::string& expected,
                  int timeoutMs, int quiet);
    // The pause "Between 2 write (ms.)" still owed before the next sentence:
    // none once the board has answered the last one (it has taken it in),
    // else what is left of it since the last write.
    int InterWritePauseMs() const;
    // A reply line matched the step: the board took in what it answers.
    void NoteAnswered() { m_bLastAnswered = true; }
    // The line clock: when the bytes written so far have crossed the line.
    void NoteWritten(size_t bytes);
    std::chrono::microseconds WireTime(size_t bytes) const;
    void PumpOnce();
    // Sleeps in the event loop until something happens or `ms` have passed.
    void PumpOnceFor(int ms);
    void StartWaitDialog(int messageId, int range);
    void ReportPhase(int phase);

    // Seams of the rescue, restore and repair exchanges.
    int WaitRescue(int seconds);
    int RestoreSerial(int messageId, int waitMs);
    bool RescueOffered(int dialogResult);
    int RepairExchange(bool direct, int rateIndex, int destination);
    bool RunChangeCommunication(bool& direct, int& rateIndex, int& destination);
    // Runs the auto-configure dialog on the link (the identification); the
    // link stays at the rate it found the board at. IdentDialogResult.
    int RunAutoConfig(int timeLimitSec, bool searchRates, std::string& reply, bool stopWhenSilent = false);
    // The board of the repair answers after it (at its new rate when it is
    // the connected board).
    bool RepairConfirmed(const std::string& reply) const;
    void SaveRepairedRate();

    // The identification after a restart, phase by phase (QueryProcess.cpp).
    struct RestartIdent;
    std::vector<int> KnownRatesAfterRestart() const;
    bool ProbeKnownRate(RestartIdent& r, size_t index);
    void SendRestartIdent(RestartIdent& r);
    // `heardAt`: when the answer that found the board began (the wait's ms).
    void EnterFoundPhase(RestartIdent& r, int heardAt);
    void SendReprobe(RestartIdent& r);
    void LoseBoard(RestartIdent& r);
    int RestartAtKnownRates(RestartIdent& r);
    int RestartSearch(RestartIdent& r);
    int RestartFoundPhase(RestartIdent& r);
    int RestartRelayedPhase(RestartIdent& r);

    // The record of the run (ProcessRecording.cpp).
    template <class Call>
    void Record(Call call);
    void RecordRunStart(int type);
    void RecordIdent(const std::string& reply, bool afterRestart);
    void RecordBoardStart();
    void RecordBoardEnd(const std::string& reason);
    void RecordRunEnd(int messageId);
    bool RunSucceeded() const;

    // Transfer start pieces.
    bool CheckRequest();
    bool CheckReleaseFiles();
    bool BuildRelayPaths();
    void ResetLinesForTransfer(const std::vector<int>& keptSelected);
    bool CheckRescueBoard();
    int ConvertReleaseFiles();
    int ConvertLineRelease(CBoardConf& line, CProgressIndicator& progress);
    int RefreshSharedVle(CBoardConf& line);
    int EndMessageOfConversion(int result) const;

    // Model access.
    int LineCount() const;
    CBoardConf& CurrentLine();
    const CBoardConf& CurrentLine() const;
    const CBoardDef* TargetDef(const CBoardConf& line) const;
    const CBoardDef* CurrentDef() const;
    const CBoardDef* HopDef(const CBoardConf& line, int hop) const;
    char DestLetter() const;
    // The board the relay walk opens next (hop m_nHop + 1) and its letter.
    const CBoardDef* HopTargetDef() const;
    char HopLetter() const;
    // The hops of the current board line: the last one is the target board.
    int LastHop() const;
    char LetterOfHop(int hop) const;
    bool HopHasPort(int hop) const;
    long HopRate(int hop) const;
    // Relay walks over the hops of a chain (a board behind one parent has
    // hops 0 and 1 only).
    bool RaiseRatesBackToConnected(const std::string& rate);
    bool RestoreRatesBackToConnected();
    bool JoinHop(int hop);
    bool LeaveHop(int hop);
    bool JoinHops(int firstHop, int lastHop);
    bool LeaveHops(int fromHop, int downToHop);
    // Joins or leaves relays until the board of `hop` is the addressed one.
    bool AddressHop(int hop);
    std::string ModeEndSentence(bool checksumOk) const;

    // The end of a transfer puts the receiver back as it was before: relays
    // left, the transfer mode ended, every rate it changed restored.
    bool ReceiverPathChanged() const;
    void RestoreReceiverPath();
    bool RestoreRelayedPath();
    bool RestoreBoardAlonePath();
    void ForgetReceiverPath();
    ::ReceiverLeft DescribeReceiverLeft() const;
    // The current board line as the failure left it.
    std::string FailedBoardState(const CBoardConf& line) const;
    // The restore of the serial parameters of step 32 (and of step 30
    // without a restart); false when it failed and the process has ended.
    bool RestoreSerialParameters();
    int RestoreWaitMs() const;
    bool SavesTransferSpeed() const;
    void KeepLinkRateInSettings();
    bool BoardAlone() const;
    bool NoSelectedLineFollows() const;
    IdentTarget TargetOf(const CBoardConf& line) const;
    int DefaultKind() const;
    long RateOf(int baudIndex) const;

    CUpdateDoc& m_doc;
    CSerialLink& m_link;
    QTimer m_tickTimer;     // timer 1
    QTimer m_replyTimer;    // timer 2
    QTimer m_cmdLineTimer;  // timer 3
    QTimer m_wakeTimer;     // ends a PumpOnceFor

    // What the current board's transfer has changed in the receiver.
    int m_nJoinedHop = 0;                  // deepest hop the relays lead to (0: none)
    bool m_bRatesRaised = false;           // the chain and the link run at the transfer rate
    bool m_bTargetRateRaised = false;      // the target board's own rate too
    bool m_bTargetPortRaised = false;      // and the parent's port towards it
    bool m_bTargetInTransferMode = false;  // "$PKVR,XSOFT,M,D" went to a relayed target
    bool m_bRestoringPath = false;
    bool m_bRestoreFailed = false;
    StopTarget m_stopTarget;
    int m_nEntryDepth = 0;
    bool m_bCabledInTransferMode = false;  // M,D went to the cabled board, no complete load yet
    enum PathRestore { PATH_UNCHANGED, PATH_RESTORED, PATH_NOT_RESTORED };
    PathRestore m_nPathRestore = PATH_UNCHANGED;
    ::ReceiverLeft m_receiverLeft;
    bool m_bEraseSent = false;             // the current board was told to erase
    bool m_bTargetLeftInMode = false;      // a relayed target could not be taken out of transfer mode

    bool m_bDocRunning = false;
    bool m_bActivityOn = false;
    bool m_bTickHalf = false;
    bool m_bFirstBoard = true;       // the current board is the first of the process
    bool m_bQueryAnswered = false;
    bool m_bWaitForReceiver = false;
    int m_nLinkBaudIndex = DEFAULT_BAUD_INDEX;   // rate the link is open at
    int m_nHopLetterHop = 0;
    long long m_nBytesSent = 0;
    std::chrono::steady_clock::time_point m_lineFreeAt{};   // the line clock
    std::chrono::steady_clock::time_point m_lastWrite{};
    bool m_bLastAnswered = false;   // the last sentence written was answered
    long m_nBytesSinceWrite = 0;    // received since the last write
    std::chrono::steady_clock::time_point m_firstByteAt{};   // the first of them
    long long m_nReleaseBytesSent = 0;   // release data the board holds so far (each block once)
    long long m_nReleaseTotal = 0;       // data bytes of the release being sent
    std::vector<long long> m_blockEnds;  // per block number sent: release bytes up to its end
    std::string m_strLastIdentReply;
    std::string m_strEndReport;
    std::string m_strStartRefusal;
    int m_nEndMessage = 0;
    int m_nRepairResult = 0;
    bool m_bRepairDirect = true;        // the choices of the running repair
    int m_nRepairRate = -1;
    int m_nRepairDestination = -1;
    CProcessRecorder* m_pRecorder = nullptr;
    bool m_bRecorderFailed = false;   // for the rest of this run
    bool m_bRunRecorded = false;      // a run start was recorded and not yet its end
    int m_nRecordedBoard = -1;        // board line recorded as started and not yet ended
    bool m_bFirstIdentRecorded = false;
    std::string m_strRestartReply;    // the current board's answer after its restart
    std::vector<char> m_releaseOk;
    std::vector<BoardStats> m_boardStats;
    std::chrono::steady_clock::time_point m_transferStart{};
    std::chrono::steady_clock::time_point m_boardStart{};
};
