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

#include <memory>
#include <string>
#include <vector>

#include "engine/EngineTypes.h"
#include "link/ReceiveParser.h"

class CSerialLink;
class CUpdateDoc;
class CBoardConf;
class CBoardDef;
class CVleFile;
class DataRecord;
struct IdentTarget;

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

    bool IsIdle() const { return m_nStep == 0 && m_nProcess == 0; }
    bool IsRunning() const { return m_bDocRunning; }
    // The query found a board (an ident reply reached step 11).
    bool QueryAnswered() const { return m_bQueryAnswered; }
    const std::string& LastIdentReply() const { return m_strLastIdentReply; }
    // Text of the end-report box of the last transfer (empty before one).
    const std::string& LastEndReport() const { return m_strEndReport; }
    int LastEndMessage() const { return m_nEndMessage; }
    // Result of the last repair exchange (1 every step sent; 0 none ran).
    int LastRepairResult() const { return m_nRepairResult; }

    // Figures of one board line of the last transfer (for reports).
    struct BoardStats {
        long resends = 0;
        long long bytes = 0;
        long seconds = 0;   // from the board's start to its end
    };
    const std::vector<BoardStats>& LastBoardStats() const { return m_boardStats; }

    // --- the controller --------------------------------------------------------
    void ProcessStep(int kind, int argument);
    int StartProcess(int type, int firstStep, int boardIndex);
    int SendSentence(const std::string& sentence, int nextStep, const std::string& expected,
                     int timeoutMs, int quiet = 1);
    int SendRaw(const std::string& text, int nextStep, const std::string& expected,
                int timeoutMs, int quiet = 1);
    int SendRecord(const DataRecord& record, bool blink);
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

    // Pieces of the steps.
    void RunIdentificationDialog(int fromStep);
    void IdentificationFailed(int dialogResult);
    void NextBoardOrEnd();
    int RunBlockLoop();
    int AfterBlockLoop(int result, int kind);
    void OnReplyTimeout();
    void PostStep(int notification, int step);
    bool ArmReplyTimer(int timeoutMs);
    void OnTick();
    void SetActivity(bool on);
    void ShowLinkText(int baudIndex);
    void ShowBoard();
    void ShowNoBoard();
    void RecordBoardTime();
    bool WriteToLink(const std::string& bytes);
    int SendBytes(const std::string& bytes, int nextStep, const std::string& expected,
                  int timeoutMs, int quiet);
    void PumpOnce();
    void StartWaitDialog(int messageId, int range);

    // Seams of the rescue, restore and repair exchanges.
    int WaitRescue(int seconds);
    int RestoreSerial(int messageId, int waitMs);
    bool RescueOffered(int dialogResult);
    int RepairExchange(bool direct, int rateIndex, int destination);
    bool RunChangeCommunication(bool& direct, int& rateIndex, int& destination);

    // Transfer start pieces.
    bool CheckRequest();
    bool CheckReleaseFiles();
    bool BuildRelayPaths();
    void ResetLinesForTransfer(const std::vector<int>& keptSelected);
    bool CheckRescueBoard();
    int ConvertReleaseFiles();
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
    bool JoinHops(int firstHop, int lastHop);
    bool LeaveHops(int fromHop, int downToHop);
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

    bool m_bDocRunning = false;
    bool m_bActivityOn = false;
    bool m_bTickHalf = false;
    bool m_bFirstBoard = true;       // the current board is the first of the process
    bool m_bQueryAnswered = false;
    int m_nLinkBaudIndex = DEFAULT_BAUD_INDEX;   // rate the link is open at
    int m_nHopLetterHop = 0;
    long long m_nBytesSent = 0;
    std::string m_strLastIdentReply;
    std::string m_strEndReport;
    int m_nEndMessage = 0;
    int m_nRepairResult = 0;
    std::vector<char> m_releaseOk;
    std::vector<BoardStats> m_boardStats;
    long m_nBoardStartElapsed = 0;   // per line: its release file passed the checks
};
