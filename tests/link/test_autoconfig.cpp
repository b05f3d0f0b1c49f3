// Auto-configure: range and rate rules, the scan against a board that
// answers at one rate only, cancel, and the properties logic.
#include <gtest/gtest.h>

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
    void SetTitle(const std::string& text) override { titles.push_back(text); }
    void SetConnectionText(const std::string& text) override { connection = text; }
    void SetProgressRange(int maximum) override { progressMax = maximum; }
};

class TestHost : public CHost {
public:
    std::vector<std::string> boxes;
    int abortAfterPolls = -1;
    MsgAnswer MessageBox(const std::string& text, const std::string&, MsgButtons,
                         MsgIcon) override
    {
        boxes.push_back(text);
        return ANSWER_OK;
    }
    void Beep(BeepKind) override {}
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
    EXPECT_EQ(board.Runs(), (Runs{{19200, 6}, {38400, 2}}));
    // The link stays at the rate found, open as before, back with its holder.
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.BaudRate(), 38400u);
    EXPECT_EQ(pty.SlaveRate(), 38400u);
    EXPECT_EQ(link.NotifyTarget(), &view);
    EXPECT_EQ(link.GetWriteTimeout(), CSerialLink::kDefaultWriteConstantMs);   // reopened
    link.Close();
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
    PumpUntil([&] { return silent.Runs().size() == 7 && silent.Runs().back().second == 3; },
              1000);
    EXPECT_EQ(silent.Runs(), (Runs{{9600, 6}, {19200, 3}, {38400, 3}, {9600, 3}, {19200, 3},
                                   {38400, 3}, {9600, 3}}));
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
    // Three ticks of the first pass, three more, and the rate changes.
    for (int tick = 0; tick < 6; ++tick)
        dlg.OnScanTimer();
    ASSERT_EQ(pty.SlaveRate(), 19200u);
    dlg.OnCancel();
    EXPECT_EQ(dlg.Result(), AUTOCONFIG_CANCELLED);
    ASSERT_TRUE(link.IsOpen());
    EXPECT_EQ(link.BaudRate(), 9600u);
    EXPECT_EQ(pty.SlaveRate(), 9600u);
    EXPECT_EQ(link.GetWriteTimeout(), CSerialLink::kDefaultWriteConstantMs);   // read after reopening
    EXPECT_EQ(link.NotifyTarget(), &holder);
    link.Close();
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
}

}  // namespace
