#include "link/AutoConfig.h"

#include <QEvent>

#include <algorithm>
#include <string_view>

#include "app/CommSettings.h"
#include "app/ExitSignals.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "link/DeviceSentence.h"
#include "link/ReceiveParser.h"
#include "link/SerialLink.h"

namespace {

constexpr int kLowestRate = 300;
constexpr int kHighestRate = 256000;
constexpr int kFallbackRate = 9600;
constexpr int kTitleQuery = 95;            // "Query"
constexpr int kTitleAutoConfigure = 154;   // "Query auto configure"
constexpr int kMsgAborted = 22;
constexpr int kMsgIncompatibleRates = 150;
constexpr int kFmtMinSec = 165, kFmtMin = 166, kFmtSec = 167;
constexpr char kIdentSentence[] = "$PKVR,IDENT";

// Next rate of the search, after the table's order.
struct RateStep {
    int from;
    int to;
};
constexpr RateStep kNextRates[] = {
    {300, 1200},     {1200, 4800},     {9600, 19200},    {19200, 38400},  {38400, 57600},
    {57600, 115200}, {115200, 128000}, {128000, 256000}, {256000, 300},
};

}  // namespace

CAutoConfigDlg::CAutoConfigDlg(CSerialLink& link, int timeLimitSec, IAutoConfigView* view)
    : m_link(link), m_pView(view), m_pSavedTarget(link.NotifyTarget())
{
    m_nTimeLimitMs = std::clamp(timeLimitSec, 0, kMaxTimeLimitSec) * 1000;
    for (QTimer* timer : {&m_startTimer, &m_scanTimer, &m_limitTimer})
        timer->setSingleShot(true);
    connect(&m_startTimer, &QTimer::timeout, this, [this] { OnStartTimer(); });
    connect(&m_scanTimer, &QTimer::timeout, this, [this] { OnScanTimer(); });
    connect(&m_limitTimer, &QTimer::timeout, this, [this] { OnTimeLimit(); });
    connect(&m_abortPoll, &QTimer::timeout, this, [this] {
        // The abort key, or a stop of the whole program (a signal).
        if (Host().AbortKeyPressed() || StopRequested())
            OnCancel();
    });
}

CAutoConfigDlg::~CAutoConfigDlg()
{
    // Never leave the link pointing at a dead object.
    if (m_link.NotifyTarget() == this)
        m_link.SetNotifyTarget(m_pSavedTarget);
}

// --- rules ------------------------------------------------------------------

int CAutoConfigDlg::NormaliseRate(int rate)
{
    if (rate < kLowestRate)
        return kLowestRate;
    if (rate > kHighestRate)
        return kHighestRate;
    return BaudIndexOf(rate) >= 0 ? rate : kFallbackRate;
}

int CAutoConfigDlg::NextRate(int rate, int minRate, int maxRate)
{
    if (rate == maxRate)
        return minRate;
    for (const RateStep& step : kNextRates)
        if (step.from == rate)
            return step.to;
    return kFallbackRate;   // 4800 and any rate off the table
}

int CAutoConfigDlg::RateIndex(int rate) { return std::max(BaudIndexOf(rate), 0); }

void CAutoConfigDlg::SetRange(int startRate, int minRate, int maxRate)
{
    startRate = NormaliseRate(startRate);
    minRate = NormaliseRate(minRate);
    maxRate = NormaliseRate(maxRate);
    if (maxRate < minRate)
        minRate = maxRate = kFallbackRate;
    if (startRate < minRate)
        minRate = startRate;
    else if (startRate > maxRate)
        maxRate = startRate;
    m_nStartRate = startRate;
    m_nMinRate = minRate;
    m_nMaxRate = maxRate;
}

bool CAutoConfigDlg::SetMaxTime(int seconds)
{
    if (seconds < 0) {
        m_nTimeLimitMs = 0;
        return false;
    }
    m_nTimeLimitMs = std::min(seconds, kMaxTimeLimitSec) * 1000;
    return true;
}

void CAutoConfigDlg::GetRange(int& minRate, int& maxRate) const
{
    minRate = m_nMinRate;
    maxRate = m_nMaxRate;
}

// --- running -------------------------------------------------------------------

int CAutoConfigDlg::RunModal()
{
    if (m_pView == nullptr)
        m_pView = &m_noView;
    m_pView->Attach(this);
    m_pView->Shown(true);
    QEventLoop loop;
    m_pLoop = &loop;
    m_abortPoll.start(kAbortPollMs);
    Initialise();
    if (!m_bEnded)
        loop.exec();
    m_abortPoll.stop();
    m_pLoop = nullptr;
    m_pView->Shown(false);
    m_pView->Attach(nullptr);
    return m_nResult;
}

void CAutoConfigDlg::Initialise()
{
    if (m_pView == nullptr)
        m_pView = &m_noView;
    SetRange(m_nStartRate, m_nMinRate, m_nMaxRate);
    int rates = RateIndex(m_nMaxRate) - RateIndex(m_nMinRate) + 1;
    m_nMaxSpeedChanges = 2 * rates;
    ApplyTitle();
    m_pView->EnableLockOption(m_bLockOffered);
    m_pView->SetLockChecked(m_bLocked);
    m_pView->SetProgressRange(kAttemptsPerRate * rates);
    m_pView->SetConnectionText(ConnectionText());
    for (int led = 0; led < kLedCount - 1; ++led)
        m_pView->SetLedBlinkPeriod(led, kLedBlinkPeriodMs);
    AllLedsIdle();
    m_bFirstPass = true;
    // Ended before the scan begins (cancelled at once), the link stays as it is.
    m_bLinkWasOpen = m_link.IsOpen();
    m_startTimer.start(m_nStartDelayMs);
}

void CAutoConfigDlg::ApplyTitle()
{
    // A caller's own title (the restart identification) is kept; without
    // one the title tells whether rate changes are offered.
    int id = m_nTitleId;
    if (id == 0)
        id = m_bLockOffered ? kTitleAutoConfigure : kTitleQuery;
    m_pView->SetTitle(GetString(id));
}

void CAutoConfigDlg::OnStartTimer()
{
    m_startTimer.stop();
    if (m_bEnded)
        return;
    m_bLinkWasOpen = m_link.IsOpen();
    m_strRxText.clear();
    ResetSeries();
    m_bFound = false;

    if (m_bLinkWasOpen && m_link.BaudRate() == static_cast<uint32_t>(m_nStartRate)) {
        // The holder's line is open and settled at the start rate: it is
        // taken over as it is rather than closed and opened again.
        m_link.SetNotifyTarget(this);
        m_link.PurgeReceive(0);
        ShowConnectionText();
        Log(ConnectionText() + "\r\n");
    } else {
        m_link.Close();
        m_link.SetBaudRate(static_cast<uint32_t>(m_nStartRate));
        ShowConnectionText();
        Log(ConnectionText() + "\r\n");
        int opened = m_link.Open(this);
        if (opened == OPEN_NO_PORT || opened == OPEN_NO_THREAD) {
            Log(FormatText("Open comm return %d\r\n", {std::to_string(opened)}));
            EndScan(false);
            return;
        }
        if (!PumpWait(kAfterOpenMs))
            return;
    }

    int writeTimeout = m_link.GetWriteTimeout();
    for (int waited = 0; writeTimeout == -1 && waited < kGetWriteTimeoutMaxMs;
         waited += kGetWriteTimeoutRetryMs) {
        if (!PumpWait(kGetWriteTimeoutRetryMs))
            return;
        writeTimeout = m_link.GetWriteTimeout();
    }
    if (writeTimeout == -1) {
        Log(FormatText("Com error %d\r\n", {std::to_string(m_link.LastError())}));
        m_nSavedWriteTimeout = App().m_nWriteTimeoutMs;
    } else {
        m_nSavedWriteTimeout = writeTimeout;
        m_link.SetWriteTimeout(kScanWriteTimeoutMs);
    }

    if (m_nTimeLimitMs > 0) {
        m_limitTimer.start(m_nTimeLimitMs);
        if (!m_limitTimer.isActive()) {
            Log("Can't set time out timer !\r\n");
            EndScan(false);
            return;
        }
    }
    ScanStep(ScanEvent::Start);
}

void CAutoConfigDlg::OnScanTimer()
{
    m_scanTimer.stop();
    if (m_bSweeping)
        SweepTick();
    else
        ScanStep(ScanEvent::Tick);
}

void CAutoConfigDlg::OnTimeLimit()
{
    m_limitTimer.stop();
    m_scanTimer.stop();
    EndScan(false);
}

void CAutoConfigDlg::OnCancel()
{
    m_scanTimer.stop();
    EndScan(true);
}

void CAutoConfigDlg::OnLockClicked(bool locked)
{
    m_bLocked = locked;
    m_pView->SetTitle(GetString(locked ? kTitleQuery : kTitleAutoConfigure));
    Log(locked ? "Mode auto-configuration désactivé par l'utilisateur.\r\n"
               : "Mode auto-configuration autorisé par l'utilisateur.\r\n");
}

bool CAutoConfigDlg::StartScanTimer(const char* failureText, int periodMs)
{
    m_scanTimer.start(periodMs);
    if (m_scanTimer.isActive())
        return true;
    Log(failureText);
    EndScan(false);
    return false;
}

void CAutoConfigDlg::ScanStep(ScanEvent ev)
{
    if (m_bFound || m_bEnded)
        return;
    if (ev == ScanEvent::Start) {
        AllLedsIdle();
        if (!m_bLocked && RatesInRange() > 1)
            BeginSweep();
        else
            BeginCarefulScan();
        return;
    }

    m_pView->StepProgress();
    m_pView->SetLedImage(m_nAttempts - 1, LED_IMAGE_FAILED);
    ShowConnectionText();
    if (m_nAttempts < kAttemptsPerRate) {
        m_pView->SetLedBlink(m_nAttempts, LED_IMAGE_BLINK_A, LED_IMAGE_BLINK_B);
        if (!StartScanTimer("Can't set scan timer !\r\n"))
            return;
        m_link.PurgeReceive(0);
        SendIdent();
        ++m_nAttempts;
        return;
    }

    AllLedsIdle();
    m_scanTimer.stop();
    m_nAttempts = 0;
    if (RateLeftUnanswered()) return;
    if (m_nTimeLimitMs == 0 && m_nSpeedChanges >= m_nMaxSpeedChanges) {
        EndScan(false);
        return;
    }
    if (!m_bLocked) {
        if (m_bFirstPass) {
            m_bFirstPass = false;
        } else {
            if (!ChangeSpeed())
                return;   // the scan has ended
            ++m_nSpeedChanges;
        }
    }
    if (!StartScanTimer("Can't Set Config Timer !\r\n"))
        return;
    m_pView->SetLedBlink(m_nAttempts, LED_IMAGE_BLINK_A, LED_IMAGE_BLINK_B);
    ++m_nAttempts;
    SendIdent();
}

int CAutoConfigDlg::RatesInRange() const
{
    // From the minimum round to it again (at most the whole table).
    int count = 1;
    int rate = NextRate(m_nMinRate, m_nMinRate, m_nMaxRate);
    for (; rate != m_nMinRate && count <= static_cast<int>(kBaudRates.size()); ++count)
        rate = NextRate(rate, m_nMinRate, m_nMaxRate);
    return count;
}

void CAutoConfigDlg::BeginSweep()
{
    m_bSweeping = true;
    m_nSweepRatesLeft = RatesInRange();
    if (m_bBeginWithChange) {
        --m_nSweepRatesLeft;   // the caller has just asked at the start rate
        if (!ChangeSpeed(0))
            return;
    }
    SweepAsk();
}

void CAutoConfigDlg::SweepAsk()
{
    m_pView->SetLedBlink(0, LED_IMAGE_BLINK_A, LED_IMAGE_BLINK_B);
    m_nAttempts = 1;
    m_bSweepExtended = false;
    m_bHeardSinceAsk = false;
    m_strRxText.clear();
    ResetSeries();
    m_link.PurgeReceive(0);
    if (StartScanTimer("Can't set scan timer !\r\n", kSweepListenMs))
        SendIdent();
}

void CAutoConfigDlg::SweepTick()
{
    if (m_bFound || m_bEnded)
        return;
    if (m_bHeardSinceAsk && !m_bSweepExtended) {
        // An answer under way gets the time of a careful attempt.
        m_bSweepExtended = true;
        m_scanTimer.start(kScanPeriodMs - kSweepListenMs);
        return;
    }
    m_pView->SetLedImage(0, LED_IMAGE_FAILED);
    if (RateLeftUnanswered()) return;
    if (--m_nSweepRatesLeft > 0 && !m_bLocked) {
        if (ChangeSpeed(0))
            SweepAsk();
        return;
    }
    // Nothing answered at once: the careful scan starts over from the start
    // rate, the next one after the last rate swept.
    m_bSweeping = false;
    AllLedsIdle();
    if (!m_bLocked && m_link.BaudRate() != static_cast<uint32_t>(m_nStartRate) && !ChangeSpeed(0))
        return;
    BeginCarefulScan();
}

void CAutoConfigDlg::BeginCarefulScan()
{
    m_nAttempts = 0;
    m_nSpeedChanges = 0;
    if (m_bBeginWithChange && !m_bLocked) {
        m_bFirstPass = false;
        if (!ChangeSpeed())
            return;   // the scan has ended
        ++m_nSpeedChanges;
    }
    m_pView->SetLedBlink(0, LED_IMAGE_BLINK_A, LED_IMAGE_BLINK_B);
    if (!StartScanTimer("Can't set scan timer !\r\n"))
        return;
    m_strRxText.clear();
    ResetSeries();
    SendIdent();
    m_nAttempts = 1;
}

bool CAutoConfigDlg::RateLeftUnanswered()
{
    // A round is complete once every rate of the range was left unanswered
    // (the careful scan may ask at its start rate twice before it moves on).
    const int rate = static_cast<int>(m_link.BaudRate());
    if (std::find(m_roundRates.begin(), m_roundRates.end(), rate) == m_roundRates.end()) m_roundRates.push_back(rate);
    if (static_cast<int>(m_roundRates.size()) >= (m_bLocked ? 1 : RatesInRange())) {
        ++m_nSilentRounds;
        m_roundRates.clear();
    }
    if (!m_bStopWhenSilent || !m_ratesWithBytes.empty() || m_nSilentRounds < kSilentRounds)
        return false;
    m_bStoppedSilent = true;
    m_pView->StoppedSilent();
    EndScan(false);
    return true;
}

void CAutoConfigDlg::NoteBytesHeard()
{
    m_bHeardSinceAsk = true;
    const int rate = static_cast<int>(m_link.BaudRate());
    if (std::find(m_ratesWithBytes.begin(), m_ratesWithBytes.end(), rate) != m_ratesWithBytes.end()) return;
    m_ratesWithBytes.push_back(rate);
    m_pView->HeardBytes(rate);
}

bool CAutoConfigDlg::ChangeSpeed(int waitBeforeMs)
{
    if (waitBeforeMs > 0 ? !PumpWait(waitBeforeMs) : m_bEnded)
        return false;
    m_link.Close();
    const int firstRate = static_cast<int>(m_link.BaudRate());
    for (;;) {
        int next = NextRate(static_cast<int>(m_link.BaudRate()), m_nMinRate, m_nMaxRate);
        if (next == firstRate) {   // every rate tried
            EndScan(false);
            return false;
        }
        m_link.SetBaudRate(static_cast<uint32_t>(next));
        ShowConnectionText();
        Log(ConnectionText() + "\r\n");
        ResetSeries();
        m_strRxText.clear();
        int opened = m_link.Open(this);
        if (opened == OPEN_OK || opened == OPEN_NOTHING)
            return PumpWait(kAfterOpenMs);
        if (opened == OPEN_NO_THREAD) {
            Log(FormatText("Open comm return %d (Create thread error)\r\n", {std::to_string(opened)}));
            EndScan(false);
            return false;
        }
        if (opened != OPEN_SETUP_FAILED) {
            EndScan(false);
            return false;
        }
        Log(FormatText("Open comm return %d (parameters error)\r\n", {std::to_string(opened)}));
        for (int led = 0; led < kAttemptsPerRate; ++led)
            m_pView->SetLedImage(led, LED_IMAGE_FAILED);
        if (!PumpWait(kAfterRefusedSetupMs))
            return false;
    }
}

void CAutoConfigDlg::SendIdent()
{
    std::string text = std::string(kIdentSentence) + "\r\n";
    if (App().m_bCrLfBeforeIdent)
        text = "\r\n" + text;
    if (m_link.Write(text) < 0) {
        Log("Can't Send Command !\r\n");
        m_link.PurgeReceive(0);
    }
    Log(std::string(">") + kIdentSentence + "<\r\n");
}

void CAutoConfigDlg::EndScan(bool cancelled)
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    m_startTimer.stop();
    m_scanTimer.stop();
    m_limitTimer.stop();
    if (!m_bFound) {
        RestoreStartRate();
        if (cancelled) {
            App().WriteLogString(kMsgAborted);
            Log(ConnectionText() + "\r\n");
        }
        if (m_nSavedWriteTimeout != -1)
            m_link.SetWriteTimeout(m_nSavedWriteTimeout);
    }
    ShowConnectionText();
    if (!m_bLinkWasOpen)
        m_link.Close();
    m_link.SetNotifyTarget(m_pSavedTarget);
    m_nResult = cancelled ? AUTOCONFIG_CANCELLED
                          : (m_bFound ? AUTOCONFIG_FOUND : AUTOCONFIG_NOT_FOUND);
    if (m_pLoop)
        m_pLoop->exit(m_nResult);
}

void CAutoConfigDlg::RestoreStartRate()
{
    const bool lineElsewhere = m_link.BaudRate() != static_cast<uint32_t>(m_nStartRate);
    m_link.SetBaudRate(static_cast<uint32_t>(m_nStartRate));
    // A link its holder had open goes back to that holder at the start rate:
    // left open at the last rate tried, its line would disagree with its rate.
    if (lineElsewhere && m_bLinkWasOpen && m_link.IsOpen()) {
        m_link.Close();
        int opened = m_link.Open(this);
        if (opened != OPEN_OK)
            Log(FormatText("Open comm return %d\r\n", {std::to_string(opened)}));
    }
}

bool CAutoConfigDlg::PumpWait(int ms)
{
    if (m_bEnded)
        return false;
    QEventLoop wait;
    QTimer::singleShot(ms, &wait, &QEventLoop::quit);
    wait.exec();
    return !m_bEnded;
}

// --- receiving -----------------------------------------------------------------

bool CAutoConfigDlg::event(QEvent* e)
{
    if (e->type() != CommNotifyEventType())
        return QObject::event(e);
    OnCommNotify();
    return true;
}

void CAutoConfigDlg::OnCommNotify()
{
    // After the end the bytes belong to whoever holds the link again.
    if (m_bFound || m_bEnded || m_link.NotifyTarget() != this)
        return;
    std::string buffer(CReceiveParser::kMaxReadBytes, '\0');
    int got = m_link.Read(buffer.data(), static_cast<int>(buffer.size()));
    if (got > 0)
        NoteBytesHeard();
    m_strRxText.append(buffer.data(), static_cast<size_t>(std::max(got, 0)));

    // Lines are cut through an offset and the text is erased once, so a
    // flood of '$' without "$PKVR,IDENT" costs linear time.
    size_t head = 0;
    size_t lf = std::string::npos;
    for (;;) {
        if (lf == std::string::npos || lf < head)
            lf = m_strRxText.find('\n', head);
        if (lf == std::string::npos) {
            if (m_strRxText.size() - head >= CReceiveParser::kOverflowBytes)
                head = m_strRxText.size();
            break;
        }
        size_t dollar = std::string_view(m_strRxText).substr(head, lf - head).find('$');
        if (dollar == std::string::npos) {
            head = lf + 1;
            continue;
        }
        dollar += head;
        if (m_strRxText.compare(dollar, sizeof kIdentSentence - 1, kIdentSentence) != 0) {
            head = dollar + 1;
            continue;
        }
        std::string line = m_strRxText.substr(dollar, lf - dollar + 1);
        head = lf + 1;
        if (line.size() < kMinLineChars || !SeriesCheck(line))
            continue;

        m_strRxText.erase(0, head);
        m_scanTimer.stop();
        m_bFound = true;
        for (int led = std::max(m_nAttempts - 1, 0); led < kAttemptsPerRate; ++led)
            m_pView->SetLedImage(led, LED_IMAGE_BLINK_B);
        Log(m_strReply);
        EndScan(false);
        return;
    }
    m_strRxText.erase(0, head);
}

bool CAutoConfigDlg::SeriesCheck(const std::string& line)
{
    DeviceSentence fields(line);
    long total = 0;
    long number = 0;
    if (!fields.Int(2, total) || !fields.Int(3, number)) {
        ResetSeries();
        return false;
    }
    if (number == 1) {
        m_strReply = line;
        m_nSeriesTotal = total;
        m_nSeriesCount = 1;
        return total == 1;
    }
    if (number == m_nSeriesCount + 1 && m_nSeriesCount > 0 &&
        m_strReply.size() + line.size() <= kMaxReplyBytes) {
        m_strReply += line;
        ++m_nSeriesCount;
        return m_nSeriesCount == m_nSeriesTotal;
    }
    ResetSeries();
    return false;
}

void CAutoConfigDlg::ResetSeries()
{
    m_strReply.clear();
    m_nSeriesTotal = 0;
    m_nSeriesCount = 0;
}

// --- display -------------------------------------------------------------------

std::string CAutoConfigDlg::ConnectionText() const
{
    return m_link.PortName() + "," + std::to_string(m_link.BaudRate()) + ",n,8,2";
}

void CAutoConfigDlg::ShowConnectionText() { m_pView->SetConnectionText(ConnectionText()); }

void CAutoConfigDlg::AllLedsIdle()
{
    for (int led = 0; led < kLedCount; ++led)
        m_pView->SetLedImage(led, LED_IMAGE_IDLE);
    m_pView->ShowLed(kLedCount - 1, false);
}

void CAutoConfigDlg::Log(const std::string& text) { App().WriteLog(text); }

// --- properties ----------------------------------------------------------------

CAutoConfigPropsDlg::CAutoConfigPropsDlg(int minRate, int maxRate, int maxTimeSec)
    : m_nMinRate(minRate), m_nMaxRate(maxRate)
{
    if (maxTimeSec <= 0) {
        m_bTimeOut = false;
        m_nSeconds = kOffSeconds;
    } else {
        m_bTimeOut = true;
        m_nSeconds = maxTimeSec;
    }
    m_strTimeText = FormatTime(m_nSeconds);
}

int CAutoConfigPropsDlg::ListIndexOf(int rate) { return BaudIndexOf(rate); }

std::string CAutoConfigPropsDlg::FormatTime(int seconds)
{
    if (seconds < 60)
        return FormatString(kFmtSec, {std::to_string(seconds)});
    if (seconds % 60 == 0)
        return FormatString(kFmtMin, {std::to_string(seconds / 60)});
    return FormatString(kFmtMinSec, {std::to_string(seconds / 60), std::to_string(seconds % 60)});
}

void CAutoConfigPropsDlg::Spin(int change)
{
    // In 64 bits: a wild change cannot overflow before it is clamped.
    const long long seconds = m_nSeconds - static_cast<long long>(kSpinStepSeconds) * change;
    SetSeconds(static_cast<int>(std::clamp<long long>(seconds, kMinSeconds, kMaxSeconds)));
}

void CAutoConfigPropsDlg::SetSeconds(int seconds)
{
    m_nSeconds = std::clamp(seconds, kMinSeconds, kMaxSeconds);
    m_strTimeText = FormatTime(m_nSeconds);
}

bool CAutoConfigPropsDlg::OnOk(int minRate, int maxRate)
{
    if (maxRate < minRate || BaudIndexOf(minRate) < 0 || BaudIndexOf(maxRate) < 0) {
        ShowMessage(kMsgIncompatibleRates, 0, MB_OK_ONLY, ICON_STOP);
        return false;
    }
    m_nMinRate = minRate;
    m_nMaxRate = maxRate;
    return true;
}
