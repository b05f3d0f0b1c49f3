// Auto-configure: range and rate rules, the sweep and the careful scan
// against a board that answers at one rate only, cancel, and the properties
// logic.
#include <gtest/gtest.h>

#include <QTimer>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "PtyPair.h"
#include "app/Host.h"
#include "app/UpdateApp.h"
#include "link/AutoConfig.h"
#include "link/ChangeComm.h"
#include "link/SerialLink.h"

namespace {

// A board on the master side: records at which rate each "$PKVR,IDENT"
// arrived and answers only at `answerRate`.
class Responder {
public:
    Responder(PtyPair& pty, uint32_t answerRate, std::vector<std::string> answers)
        : m_pty(pty), m_nAnswerRate(answerRate), m_answers(std::move(answers))
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~Responder()
    {
        m_bStop = true;
        m_thread.join();
    }
    // Runs of (rate, idents received at that rate), in order.
    std::vector<std::pair<uint32_t, int>> Runs()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_runs;
    }

private:
    void Run()
    {
        std::string text;
        while (!m_bStop) {
            pollfd pfd{m_pty.master, POLLIN, 0};
            if (poll(&pfd, 1, 20) <= 0)
                continue;
            text += m_pty.ReadNow();
            size_t at;
            while ((at = text.find("$PKVR,IDENT\r\n")) != std::string::npos) {
                text.erase(0, at + 13);
                Record(m_pty.SlaveRate());
            }
        }
    }
    void Record(uint32_t rate)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_runs.empty() || m_runs.back().first != rate)
            m_runs.emplace_back(rate, 0);
        ++m_runs.back().second;
        if (rate == m_nAnswerRate && m_nAnswered < m_answers.size())
            m_pty.Send(m_answers[m_nAnswered++]);
    }

    PtyPair& m_pty;
    uint32_t m_nAnswerRate;
    std::vector<std::string> m_answers;
    size_t m_nAnswered = 0;
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    std::vector<std::pair<uint32_t, int>> m_runs;
    std::thread m_thread;
};

class RecordingView : public IAutoConfigView {
public:
    std::vector<std::string> titles;
    std::string connection;
    int progressMax = 0;
    int lockChecked = -1;
    void SetTitle(const std::string& text) override { titles.push_back(text); }
    void SetConnectionText(const std::string& text) override { connection = text; }
    void SetProgressRange(int maximum) override { progressMax = maximum; }
    void SetLockChecked(bool locked) override { lockChecked = locked ? 1 : 0; }
};

class TestHost : public CHost {
public:
    std::vector<std::string> boxes;
    std::vector<std::string> captions;
    std::vector<MsgIcon> icons;
    std::vector<BeepKind> beeps;
    int abortAfterPolls = -1;
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons,
                         MsgIcon icon) override
    {
        boxes.push_back(text);
        captions.push_back(caption);
        icons.push_back(icon);
        return ANSWER_OK;
    }
    void Beep(BeepKind kind) override { beeps.push_back(kind); }
    bool PromptFileName(const std::string&, std::string&, const std::string&,
                        const std::string&, const std::string&, bool) override
    {
        return false;
    }
    bool PromptDirectory(std::string&) override { return false; }
    bool AbortKeyPressed() override { return abortAfterPolls >= 0 && abortAfterPolls-- == 0; }
};

struct HostScope {
    TestHost host;
    HostScope() { SetHost(&host); }
    ~HostScope() { SetHost(nullptr); }
};

class Holder : public QObject {};

using Runs = std::vector<std::pair<uint32_t, int>>;

TEST(AutoConfig, RangeRules)
{
    struct Row {
        int start, min, max;
        int wantStart, wantMin, wantMax;
    } rows[] = {
        {4800, 9600, 115200, 4800, 4800, 115200},
        {9600, 300, 256000, 9600, 300, 256000},
        {9600, 115200, 9600, 9600, 9600, 9600},        // max below min
        {500000, 100, 2400, 256000, 300, 256000},       // clamped; 2400 is off the table
        {57600, 4800, 19200, 57600, 4800, 57600},
    };
    CSerialLink link;
    for (const Row& row : rows) {
        CAutoConfigDlg dlg(link, 0);
        dlg.SetRange(row.start, row.min, row.max);
        int min = 0, max = 0;
        dlg.GetRange(min, max);
        EXPECT_EQ(dlg.StartRate(), row.wantStart) << row.start;
        EXPECT_EQ(min, row.wantMin) << row.start;
        EXPECT_EQ(max, row.wantMax) << row.start;
    }
}

TEST(AutoConfig, NextRateAndSpeedChangeCount)
{
    const std::vector<int> cycle = {19200, 38400, 57600, 115200, 128000, 256000,
                                    300,   1200,  4800,  9600,   19200};
    int rate = 9600;
    for (int expected : cycle) {
        rate = CAutoConfigDlg::NextRate(rate, 300, 256000);
        EXPECT_EQ(rate, expected);
    }
    EXPECT_EQ(CAutoConfigDlg::NextRate(115200, 4800, 115200), 4800);
    EXPECT_EQ(CAutoConfigDlg::NextRate(4800, 4800, 115200), 9600);

    CSerialLink link;
    RecordingView view;
    CAutoConfigDlg wide(link, 0, &view);
    wide.SetRange(9600, 300, 256000);
    wide.Initialise();
    EXPECT_EQ(wide.MaxSpeedChanges(), 20);
    EXPECT_EQ(view.progressMax, 30);
    ASSERT_FALSE(view.titles.empty());
    EXPECT_EQ(view.titles.back(), "Query auto configure");

    CAutoConfigDlg locked(link, 0, &view);
    locked.EnableLockOption(false);
    locked.SetTitle(59);
    locked.Initialise();
    EXPECT_EQ(view.titles.back(), "Re-start in progress");
}

TEST(AutoConfig, FindsTheBoardAtItsRate)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    // The first answer breaks its series (2 announced, number 3 follows).
    Responder board(pty, 38400,
                    {"$PKVR,IDENT,2,1,CPU-BOARD,HW-7\r\n$PKVR,IDENT,2,3,BAD-SERIES\r\n",
                     "noise\r\n$PKVR,IDENT,2,1,CPU-BOARD,HW-7\r\n$PKVR,IDENT,2,2,SOFT-4.2\r\n"});
    Holder view;
    CSerialLink link;
    link.SetBaudRate(19200);
    ASSERT_EQ(link.Open(&view, pty.slavePath), OPEN_OK);
    ASSERT_TRUE(link.SetWriteTimeout(700));

    CAutoConfigDlg dlg(link, 0);
    dlg.SetRange(19200, 19200, 57600);
    EXPECT_EQ(dlg.RunModal(), AUTOCONFIG_FOUND);
    EXPECT_EQ(dlg.GetIdentReply(),
              "$PKVR,IDENT,2,1,CPU-BOARD,HW-7\r\n$PKVR,IDENT,2,2,SOFT-4.2\r\n");
    // The sweep hears the broken answer at 38400 and moves on; the careful
    // scan then starts over at 19200 and is answered at 38400.
    EXPECT_EQ(board.Runs(), (Runs{{19200, 1}, {38400, 1}, {57600, 1}, {19200, 6}, {38400, 1}}));
    // The link stays at the rate found, open as before, back with its holder.
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.BaudRate(), 38400u);
    EXPECT_EQ(pty.SlaveRate(), 38400u);
    EXPECT_EQ(link.NotifyTarget(), &view);
    EXPECT_EQ(link.GetWriteTimeout(), CSerialLink::kDefaultWriteConstantMs);   // reopened
    link.Close();
}

// A board that answers at once is found by the sweep: one question per rate,
// none of the careful scan's, and the link stays where it answered.
TEST(AutoConfig, SweepFindsABoardThatAnswersAtOnce)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    Responder board(pty, 57600, {"$PKVR,IDENT,1,1,CM10,CMB2\r\n"});
    CSerialLink link;
    link.SetDevicePath(pty.slavePath);
    CAutoConfigDlg dlg(link, 0);
    dlg.SetRange(9600, 4800, 115200);
    EXPECT_EQ(dlg.RunModal(), AUTOCONFIG_FOUND);
    EXPECT_EQ(board.Runs(), (Runs{{9600, 1}, {19200, 1}, {38400, 1}, {57600, 1}}));
    EXPECT_EQ(link.BaudRate(), 57600u);
    EXPECT_EQ(dlg.SpeedChangesDone(), 0);   // the careful scan's budget is untouched
    link.Close();

    // A caller that has just asked at the start rate: the sweep begins at
    // the next rate and does not ask at the start rate again.
    PtyPair other;
    ASSERT_TRUE(other.Create(true));
    Responder next(other, 19200, {"$PKVR,IDENT,1,1,CM10,CMB2\r\n"});
    CSerialLink restarted;
    restarted.SetDevicePath(other.slavePath);
    CAutoConfigDlg after(restarted, 0);
    after.SetRange(9600, 4800, 115200);
    after.BeginWithRateChange(true);
    EXPECT_EQ(after.RunModal(), AUTOCONFIG_FOUND);
    EXPECT_EQ(next.Runs(), (Runs{{19200, 1}}));
}

TEST(AutoConfig, EndsAfterTwiceTheRangeInSpeedChanges)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    Responder silent(pty, 0, {});
    CSerialLink link;
    link.SetDevicePath(pty.slavePath);
    RecordingView view;
    CAutoConfigDlg dlg(link, 0, &view);
    dlg.SetRange(9600, 9600, 38400);
    dlg.Initialise();
    dlg.OnStartTimer();
    // The ticks of timer 2, driven by hand.
    for (int tick = 0; tick < 40 && !dlg.Ended(); ++tick)
        dlg.OnScanTimer();
    ASSERT_TRUE(dlg.Ended());
    EXPECT_EQ(dlg.Result(), AUTOCONFIG_NOT_FOUND);
    EXPECT_EQ(dlg.SpeedChangesDone(), 6);
    PumpUntil([&] { return silent.Runs().size() == 10 && silent.Runs().back().second == 3; },
              1000);
    // The sweep (one question per rate), then the careful scan from the start rate.
    EXPECT_EQ(silent.Runs(), (Runs{{9600, 1}, {19200, 1}, {38400, 1}, {9600, 6}, {19200, 3}, {38400, 3},
                                   {9600, 3}, {19200, 3}, {38400, 3}, {9600, 3}}));
    EXPECT_FALSE(link.IsOpen());   // it was closed before the scan
    EXPECT_EQ(link.BaudRate(), 9600u);
    EXPECT_EQ(view.connection, pty.slavePath + ",9600,n,8,2");
}

TEST(AutoConfig, AbortKeyCancelsAndRestoresTheStartRate)
{
    HostScope scope;
    scope.host.abortAfterPolls = 3;
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    Holder view;
    CSerialLink link;
    ASSERT_EQ(link.Open(&view, pty.slavePath), OPEN_OK);
    CAutoConfigDlg dlg(link, 0);
    dlg.AllowSpeedChange(false);
    dlg.SetRange(115200, 300, 256000);
    EXPECT_EQ(dlg.RunModal(), AUTOCONFIG_CANCELLED);
    EXPECT_EQ(link.BaudRate(), 115200u);
    EXPECT_EQ(link.NotifyTarget(), &view);
    EXPECT_EQ(link.GetWriteTimeout(), CSerialLink::kDefaultWriteConstantMs);
    link.Close();
}

TEST(AutoConfig, CancelPutsAnOpenLinkBackOnTheLineAtTheStartRate)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    Holder holder;
    CSerialLink link;
    ASSERT_EQ(link.Open(&holder, pty.slavePath), OPEN_OK);
    ASSERT_TRUE(link.SetWriteTimeout(700));
    CAutoConfigDlg dlg(link, 0);
    dlg.SetRange(9600, 9600, 19200);
    dlg.Initialise();
    dlg.OnStartTimer();
    // The sweep's first tick moves the line to 19200.
    dlg.OnScanTimer();
    ASSERT_TRUE(dlg.Sweeping());
    ASSERT_EQ(pty.SlaveRate(), 19200u);
    dlg.OnCancel();
    EXPECT_EQ(dlg.Result(), AUTOCONFIG_CANCELLED);
    ASSERT_TRUE(link.IsOpen());
    EXPECT_EQ(link.BaudRate(), 9600u);
    EXPECT_EQ(pty.SlaveRate(), 9600u);
    EXPECT_EQ(link.GetWriteTimeout(), 700);   // the holder's own, taken over with the line
    EXPECT_EQ(link.NotifyTarget(), &holder);
    link.Close();
}

// --- the "Auto-configure" search of the Communication dialog --------------------------

// The settings the search reads, put back after each test.
class AutoConfigure : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = {App().m_nAutoBaudMin, App().m_nAutoBaudMax, App().m_nAutoMaxTimeSec,
                   App().m_bQueryAutoSpeed};
    }
    void TearDown() override
    {
        App().m_nAutoBaudMin = m_saved.min;
        App().m_nAutoBaudMax = m_saved.max;
        App().m_nAutoMaxTimeSec = m_saved.seconds;
        App().m_bQueryAutoSpeed = m_saved.queryAuto;
    }
    static void Settings(int min, int max, int seconds, bool queryAuto)
    {
        App().m_nAutoBaudMin = min;
        App().m_nAutoBaudMax = max;
        App().m_nAutoMaxTimeSec = seconds;
        App().m_bQueryAutoSpeed = queryAuto;
    }

    HostScope scope;

private:
    struct {
        int min, max, seconds;
        bool queryAuto;
    } m_saved{};
};

TEST_F(AutoConfigure, SetUpFollowsTheSettings)
{
    struct Row {
        const char* name;
        int min, max, seconds;
        bool queryAuto;
        bool allowed;
        int explicitSeconds;
        int linkRate;
        int wantLimitMs, wantMin, wantMax;
        bool wantOffered, wantLocked;
    } rows[] = {
        {"the setting's time", 4800, 115200, 120, true, true, -1, 9600, 120000, 4800, 115200, true, false},
        {"no time set: 600 s", 4800, 115200, 0, true, true, -1, 9600, 600000, 4800, 115200, true, false},
        {"an explicit 0: no limit", 4800, 115200, 30, true, true, 0, 9600, 0, 4800, 115200, true, false},
        {"an explicit time", 4800, 115200, 30, true, true, 5, 9600, 5000, 4800, 115200, true, false},
        {"rate below the range widens it", 4800, 115200, 30, true, true, -1, 1200, 30000, 1200, 115200, true,
         false},
        {"minimum above maximum", 115200, 9600, 30, true, true, -1, 57600, 30000, 9600, 57600, true, false},
        {"auto speed off: query only", 4800, 115200, 30, false, false, -1, 9600, 30000, 4800, 115200, false,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Settings(row.min, row.max, row.seconds, row.queryAuto);
        CSerialLink link;
        link.SetBaudRate(static_cast<uint32_t>(row.linkRate));
        CAutoConfigDlg search(link, 0);
        SetUpAutoConfigure(search, link, row.allowed, row.explicitSeconds);
        int min = 0, max = 0;
        search.GetRange(min, max);
        EXPECT_EQ(search.TimeLimitMs(), row.wantLimitMs);
        EXPECT_EQ(search.StartRate(), row.linkRate);
        EXPECT_EQ(min, row.wantMin);
        EXPECT_EQ(max, row.wantMax);
        EXPECT_EQ(search.LockOptionOffered(), row.wantOffered);
        EXPECT_EQ(search.SpeedChangeLocked(), row.wantLocked);
    }
}

TEST_F(AutoConfigure, FoundRateBecomesTheDialogsRateAndTheWidenedRangeIsStored)
{
    Settings(57600, 115200, 0, true);
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    Responder board(pty, 57600, {"$PKVR,IDENT,1,1,UC10,UCS5,UCSOFT-2\r\n"});
    CSerialLink link;
    link.SetDevicePath(pty.slavePath);
    CCommunicationDlg dialog(link);
    dialog.Initialise();
    dialog.OnSelectionChanged(0, 5);   // 38400: off the stored range
    RecordingView view;
    EXPECT_EQ(dialog.OnAutoConfigure(&view), AUTOCONFIG_FOUND);
    EXPECT_EQ(dialog.m_nBaudIndex, 6);   // 57600
    EXPECT_EQ(dialog.IdentReply(), "$PKVR,IDENT,1,1,UC10,UCS5,UCSOFT-2\r\n");
    EXPECT_EQ(dialog.ConnectionText(), "COM1:57600,n,8,2");
    EXPECT_EQ(board.Runs(), (Runs{{38400, 1}, {57600, 1}}));
    EXPECT_EQ(App().m_nAutoBaudMin, 38400);
    EXPECT_EQ(App().m_nAutoBaudMax, 115200);
    EXPECT_EQ(view.lockChecked, 0);
    EXPECT_EQ(view.titles.back(), "Query auto configure");
    EXPECT_FALSE(link.IsOpen());   // closed before, closed after
    EXPECT_TRUE(scope.host.boxes.empty());
}

TEST_F(AutoConfigure, NoAnswerGivesMessage93AndKeepsTheRate)
{
    Settings(9600, 115200, 0, false);   // query only: the lock box ticked
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    Responder silent(pty, 0, {});
    CSerialLink link;
    link.SetDevicePath(pty.slavePath);
    link.SetBaudRate(19200);
    CCommunicationDlg dialog(link);
    dialog.Initialise();
    ASSERT_FALSE(dialog.m_bAutoConfigAllowed);
    RecordingView view;
    std::string reply = "stale";
    EXPECT_EQ(RunAutoConfigure(link, dialog.m_bAutoConfigAllowed, &view, reply, 2), AUTOCONFIG_NOT_FOUND);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(view.lockChecked, 1);
    ASSERT_EQ(scope.host.boxes.size(), 1u);
    EXPECT_EQ(scope.host.boxes[0], "Unable to communicate with your remote system.\n");
    EXPECT_EQ(scope.host.captions[0], "TAVREL");
    EXPECT_EQ(scope.host.icons[0], ICON_STOP);
    EXPECT_EQ(scope.host.beeps, std::vector<BeepKind>{BEEP_STOP});
    for (const auto& run : silent.Runs()) EXPECT_EQ(run.first, 19200u);
    EXPECT_EQ(link.BaudRate(), 19200u);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(dialog.m_nBaudIndex, 4);   // the dialog's choice (19200) is untouched
}

TEST_F(AutoConfigure, APortThatCannotBeOpenedOrThatVanishesEndsAtTheStartRate)
{
    Settings(9600, 19200, 0, true);
    CSerialLink missing;
    missing.SetDevicePath("/nonexistent/tty-for-tavrel");
    std::string reply;
    EXPECT_EQ(RunAutoConfigure(missing, true, nullptr, reply), AUTOCONFIG_NOT_FOUND);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.BaudRate(), 9600u);
    ASSERT_EQ(scope.host.boxes.size(), 1u);

    // The device disappears during the first run of attempts; the next rate
    // cannot be opened and the search ends without touching the rate.
    PtyPair pty;
    ASSERT_TRUE(pty.Create(false));
    CSerialLink link;
    link.SetDevicePath(pty.slavePath);
    QTimer::singleShot(1000, [&pty] { pty.CloseMaster(); });
    EXPECT_EQ(RunAutoConfigure(link, true, nullptr, reply, 0), AUTOCONFIG_NOT_FOUND);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.BaudRate(), 9600u);
    EXPECT_EQ(scope.host.boxes.size(), 2u);
}

TEST(AutoConfigProps, TimeTextSpinAndRangeCheck)
{
    struct Row {
        int seconds;
        bool on;
        const char* text;
    } rows[] = {{0, false, "10s"}, {-4, false, "10s"}, {45, true, "45s"},
                {120, true, "2min"}, {95, true, "1min 35s"}};
    for (const Row& row : rows) {
        CAutoConfigPropsDlg props(9600, 115200, row.seconds);
        EXPECT_EQ(props.TimeOutOn(), row.on) << row.seconds;
        EXPECT_EQ(props.TimeText(), row.text) << row.seconds;
    }
    CAutoConfigPropsDlg props(9600, 115200, 30);
    props.Spin(10);
    EXPECT_EQ(props.Seconds(), 10);
    props.Spin(-200);
    EXPECT_EQ(props.Seconds(), 600);
    EXPECT_EQ(props.TimeText(), "10min");
    props.SetTimeOut(false);
    EXPECT_EQ(props.StoredSeconds(), 0);
    EXPECT_EQ(CAutoConfigPropsDlg::ListIndexOf(2400), -1);

    HostScope scope;
    EXPECT_FALSE(props.OnOk(57600, 19200));
    ASSERT_EQ(scope.host.boxes.size(), 1u);
    EXPECT_EQ(scope.host.boxes[0], "Min. baud rate and Max. baud rate are incompatible values !");
    EXPECT_TRUE(props.OnOk(19200, 57600));
    EXPECT_EQ(props.MinRate(), 19200);
    // A list without a choice is no range either.
    EXPECT_FALSE(props.OnOk(0, 57600));
    EXPECT_EQ(scope.host.boxes.size(), 2u);
    EXPECT_EQ(props.MinRate(), 19200);

    for (auto [typed, kept] : {std::pair{3, 10}, {45, 45}, {5000, 600}}) {
        props.SetSeconds(typed);
        EXPECT_EQ(props.Seconds(), kept) << typed;
    }
    props.Spin(-2000000000);   // a wild change stays within the bounds
    EXPECT_EQ(props.Seconds(), 600);
}

}  // namespace
