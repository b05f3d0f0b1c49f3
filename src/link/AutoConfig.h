#pragma once
// Auto-configure: finds the rate the connected board answers at. It takes
// the link and, when it may change rates, first sweeps the range: one
// "$PKVR,IDENT" per rate, listened to for kSweepListenMs (a board that has
// begun to answer gets a whole scan period). A board slower than that is
// found by the careful scan that follows: "$PKVR,IDENT" up to three times per
// rate (1.5 s apart), walking the rate table inside a minimum/maximum range.
// Either ends on a complete identification answer, on its time limit, after a
// fixed number of rate changes of the careful scan, or on Cancel. With rate
// changes locked it is the plain identification query of the processes.
//
// CAutoConfigDlg is the dialog's logic without widgets: a window (or none)
// shows it through IAutoConfigView, and RunModal runs it in a nested event
// loop and returns 1 found, 2 cancelled, 7 not found.
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <string>
#include <vector>

#include "link/SerialLink.h"

class CAutoConfigDlg;

// LED images of the dialog (see the indicator controls).
enum AutoConfigLedImage {
    LED_IMAGE_IDLE = 1,
    LED_IMAGE_BLINK_A = 2,
    LED_IMAGE_BLINK_B = 3,   // also: answered
    LED_IMAGE_FAILED = 4,
};

enum AutoConfigResult {
    AUTOCONFIG_FOUND = 1,
    AUTOCONFIG_CANCELLED = 2,
    AUTOCONFIG_NOT_FOUND = 7,
};

// What a window shows of a run. Every call has an empty default, so a
// window implements only what it displays. The window forwards its "Cancel"
// button and its "Lock baud rate" box to OnCancel and OnLockClicked.
class IAutoConfigView {
public:
    virtual ~IAutoConfigView() = default;
    virtual void Attach(CAutoConfigDlg* /*logic*/) {}
    virtual void Shown(bool /*open*/) {}
    virtual void SetTitle(const std::string& /*text*/) {}
    virtual void EnableLockOption(bool /*enable*/) {}
    // The "Lock baud rate" box: ticked while rate changes are switched off.
    virtual void SetLockChecked(bool /*locked*/) {}
    virtual void SetProgressRange(int /*maximum*/) {}
    virtual void StepProgress() {}
    virtual void SetConnectionText(const std::string& /*text*/) {}
    virtual void SetLedBlinkPeriod(int /*led*/, int /*ms*/) {}
    virtual void SetLedImage(int /*led*/, int /*image*/) {}
    virtual void SetLedBlink(int /*led*/, int /*imageA*/, int /*imageB*/) {}
    virtual void ShowLed(int /*led*/, bool /*show*/) {}
    // The first bytes heard at a rate, understood or not.
    virtual void HeardBytes(int /*rate*/) {}
    // The run stopped early: whole rounds of the range brought back no byte.
    virtual void StoppedSilent() {}
};

class CAutoConfigDlg : public QObject {
public:
    static constexpr int kScanPeriodMs = 1500;        // timer 2
    // The line settles after each open as after any rate change of a process.
    static constexpr int kAfterOpenMs = CSerialLink::kLineSettleMs;
    static constexpr int kBeforeSpeedChangeMs = 200;
    // Sweep: a board at the rate asked begins its answer within a few
    // milliseconds (the sentence is short and answered from the board's
    // command loop); 300 ms is many times that and costs little at each
    // wrong rate. A first byte heard extends the listen to a scan period.
    static constexpr int kSweepListenMs = 300;
    static constexpr int kAfterRefusedSetupMs = 800;
    static constexpr int kScanWriteTimeoutMs = 200;
    static constexpr int kGetWriteTimeoutMaxMs = 3000;
    static constexpr int kGetWriteTimeoutRetryMs = 100;
    static constexpr int kLedBlinkPeriodMs = 200;
    static constexpr int kAbortPollMs = 200;
    static constexpr int kAttemptsPerRate = 3;
    static constexpr int kSilentRounds = 2;
    static constexpr int kLedCount = 4;
    static constexpr int kMinLineChars = 18;
    // An answer that grows beyond this is no identification: the series restarts.
    static constexpr size_t kMaxReplyBytes = 65536;
    // Longest time limit: its milliseconds must fit a timer's int.
    static constexpr int kMaxTimeLimitSec = 2000000;

    CAutoConfigDlg(CSerialLink& link, int timeLimitSec, IAutoConfigView* view = nullptr);
    ~CAutoConfigDlg() override;

    // --- set-up before running -------------------------------------------------
    void SetTitle(int stringId) { m_nTitleId = stringId; }
    void SetRange(int startRate, int minRate, int maxRate);
    bool SetMaxTime(int seconds);
    void EnableLockOption(bool offered) { m_bLockOffered = offered; }
    void AllowSpeedChange(bool allowed) { m_bLocked = !allowed; }
    // The caller has just asked at the start rate (the identification after
    // a restart asks at the rates it knows first): the scan begins at the
    // next rate of the range, without a first pass at the start rate.
    void BeginWithRateChange(bool on) { m_bBeginWithChange = on; }
    // A search nobody watches: once kSilentRounds whole rounds of the range
    // brought back no byte at all, it ends as not found (a cable, power or
    // port fault is not cured by the rest of the time limit). While bytes
    // come back, understood or not, the time limit holds.
    void StopWhenSilent(bool on) { m_bStopWhenSilent = on; }
    bool StoppedSilent() const { return m_bStoppedSilent; }
    // Rates at which bytes came back, in the order first heard.
    const std::vector<int>& RatesWithBytes() const { return m_ratesWithBytes; }

    void GetRange(int& minRate, int& maxRate) const;
    const std::string& GetIdentReply() const { return m_strReply; }
    int StartRate() const { return m_nStartRate; }
    int TimeLimitMs() const { return m_nTimeLimitMs; }
    bool SpeedChangeLocked() const { return m_bLocked; }
    bool LockOptionOffered() const { return m_bLockOffered; }
    int SpeedChangesDone() const { return m_nSpeedChanges; }
    bool Sweeping() const { return m_bSweeping; }
    int MaxSpeedChanges() const { return m_nMaxSpeedChanges; }
    bool Ended() const { return m_bEnded; }
    int Result() const { return m_nResult; }

    // Runs the dialog in a nested event loop; AutoConfigResult.
    int RunModal();

    // --- event handlers (timers, buttons, the link) -----------------------------
    void Initialise();      // dialog shown: range, counts, title, LEDs, timer 3
    void OnStartTimer();    // timer 3: take the link and start scanning
    void OnScanTimer();     // timer 2: next attempt or next rate
    void OnTimeLimit();     // timer 4
    void OnCancel();
    void OnLockClicked(bool locked);
    void OnCommNotify();

    // --- rules ------------------------------------------------------------------
    // A rate outside 300..256000 is clamped; one not in the table becomes 9600.
    static int NormaliseRate(int rate);
    static int NextRate(int rate, int minRate, int maxRate);
    // Position in the rate table, 0 when absent.
    static int RateIndex(int rate);

protected:
    bool event(QEvent* e) override;

private:
    enum class ScanEvent { Start, Tick };
    void ScanStep(ScanEvent ev);
    // The sweep before the careful scan (rate changes allowed, more than one
    // rate in the range).
    int RatesInRange() const;
    void BeginSweep();
    void SweepAsk();
    void SweepTick();
    void BeginCarefulScan();
    // One rate of the range was asked and left without an answer; true when
    // the run has ended because the line stayed silent.
    bool RateLeftUnanswered();
    void NoteBytesHeard();
    bool ChangeSpeed(int waitBeforeMs = kBeforeSpeedChangeMs);
    void SendIdent();
    void EndScan(bool cancelled);
    void RestoreStartRate();
    bool SeriesCheck(const std::string& line);
    void ResetSeries();
    bool PumpWait(int ms);   // false when the run ended meanwhile
    bool StartScanTimer(const char* failureText, int periodMs = kScanPeriodMs);
    void ShowConnectionText();
    std::string ConnectionText() const;
    void ApplyTitle();
    void AllLedsIdle();
    void Log(const std::string& text);

    CSerialLink& m_link;
    IAutoConfigView* m_pView = nullptr;
    IAutoConfigView m_noView;
    QObject* m_pSavedTarget = nullptr;

    int m_nTitleId = 0;
    bool m_bLocked = false;
    bool m_bLockOffered = true;
    int m_nMinRate = 300;
    int m_nMaxRate = 256000;
    int m_nStartRate = 9600;
    int m_nTimeLimitMs = 0;
    int m_nStartDelayMs = 0;
    int m_nMaxSpeedChanges = 0;
    int m_nSpeedChanges = 0;
    int m_nAttempts = 0;
    bool m_bFound = false;
    bool m_bFirstPass = true;
    bool m_bBeginWithChange = false;
    bool m_bSweeping = false;
    int m_nSweepRatesLeft = 0;
    bool m_bSweepExtended = false;
    bool m_bHeardSinceAsk = false;
    bool m_bStopWhenSilent = false;
    bool m_bStoppedSilent = false;
    int m_nSilentRounds = 0;           // whole rounds of the range without an answer
    std::vector<int> m_roundRates;     // rates left unanswered in the round under way
    std::vector<int> m_ratesWithBytes;
    int m_nSavedWriteTimeout = -1;
    bool m_bLinkWasOpen = false;
    std::string m_strRxText;
    std::string m_strReply;
    long m_nSeriesTotal = 0;
    long m_nSeriesCount = 0;

    bool m_bEnded = false;
    int m_nResult = AUTOCONFIG_NOT_FOUND;
    QEventLoop* m_pLoop = nullptr;
    QTimer m_startTimer;   // timer 3
    QTimer m_scanTimer;    // timer 2
    QTimer m_limitTimer;   // timer 4
    QTimer m_abortPoll;    // the host's abort key stands for "Cancel"
};

// "Auto configure properties": search range and time limit.
class CAutoConfigPropsDlg {
public:
    static constexpr int kMinSeconds = 10;
    static constexpr int kMaxSeconds = 600;
    static constexpr int kSpinStepSeconds = 5;
    static constexpr int kOffSeconds = 10;

    // "Auto speed min. range", "Auto speed max. range", "Auto speed max. time".
    CAutoConfigPropsDlg(int minRate, int maxRate, int maxTimeSec);

    // Index of `rate` in the lists of rate texts; -1 when none matches.
    static int ListIndexOf(int rate);
    int MinRate() const { return m_nMinRate; }
    int MaxRate() const { return m_nMaxRate; }
    int Seconds() const { return m_nSeconds; }
    bool TimeOutOn() const { return m_bTimeOut; }
    // "Time out" enables the spin button and the time text.
    void SetTimeOut(bool on) { m_bTimeOut = on; }
    const std::string& TimeText() const { return m_strTimeText; }
    // Seconds - 5 x change, kept within 10..600.
    void Spin(int change);
    // Seconds typed in the time text, kept within 10..600.
    void SetSeconds(int seconds);
    // "OK" with the rates chosen in the lists (0 when a list has no choice):
    // false (message 150) when the maximum is below the minimum or a list has
    // no table rate; the dialog then stays open.
    bool OnOk(int minRate, int maxRate);
    // What the caller stores as "Auto speed max. time".
    int StoredSeconds() const { return m_bTimeOut ? m_nSeconds : 0; }

    static std::string FormatTime(int seconds);

private:
    int m_nMinRate = 9600;
    int m_nMaxRate = 115200;
    int m_nSeconds = 30;
    bool m_bTimeOut = true;
    std::string m_strTimeText;
};
