// The main window: its command tables against the operator's menus, the
// enabling rules, and Query and Transfer run from the keyboard against
// tavrel-sim, watching the view while they run.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QToolBar>
#include <QTreeWidget>

#include <set>

#include "GuiSession.h"
#include "app/Strings.h"
#include "history/HistoryDb.h"
#include "history/HistoryQuery.h"
#include "model/UpdateDoc.h"
#include "ui/Commands.h"
#include "ui/ReplyDlg.h"
#include "ui/UpdateView.h"
#include "ui/WaitDlg.h"
#include "ui/controls/Indicator.h"
#include "ui/controls/StateLabel.h"

namespace {

QStringList MenuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            texts << "-";
        else if (action->isVisible())
            texts << action->text() + (action->shortcut().isEmpty() ? "" : "\t" + action->shortcut().toString());
    }
    return texts;
}

QMenu* MenuTitled(QMenuBar* bar, const QString& title)
{
    for (QAction* action : bar->actions())
        if (action->text() == title) return action->menu();
    return nullptr;
}

// --- command tables --------------------------------------------------------------------------------

struct MenuCase {
    const char* title;
    QStringList items;
};

class MainWindowTables : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(session.Start(error)) << error;
    }
    CGuiSession session;
};

TEST_F(MainWindowTables, MenusShowEveryItemWithItsAccelerator)
{
    const std::vector<MenuCase> cases = {
        {"&File", {"&New\tCtrl+N", "&Open...\tCtrl+O", "&View content\tCtrl+V", "&Save", "Save &As", "-",
                   "&Import\tCtrl+I", "-", "Recent file", "-", "E&xit"}},
        {"&Environment", {"List\tCtrl+L", "&Set Directory", "-", "&Open"}},
        {"&Options", {"&Communication\tCtrl+C", "-", "Query auto configure", "Rescue mode", "-",
                      "&Repair\tCtrl+R"}},
        {"&Log", {"View &Log file\tCtrl+G", "Send to ...", "-", "Transfer history\u2026"}},
        {"&Device", {"&Query\tCtrl+Q", "-", "&Transfer\tCtrl+T", "-", "&Rescue mode"}},
        {"&?", {"&About Tavrel"}},
    };
    QMenuBar* bar = session.Frame().menuBar();
    ASSERT_EQ(bar->actions().size(), static_cast<int>(cases.size()));
    for (const MenuCase& c : cases) {
        QMenu* menu = MenuTitled(bar, c.title);
        ASSERT_NE(menu, nullptr) << c.title;
        EXPECT_EQ(MenuTexts(menu), c.items) << c.title;
    }
}

TEST_F(MainWindowTables, PromptsAndToolTipsComeFromTheStringOfTheSameId)
{
    const struct {
        int id;
        const char* prompt;
        const char* tip;
    } cases[] = {
        {ID_FILE_NEW, "Create a new transfer request file.", "New transfer request file"},
        {ID_QUERY, "Query hardware identification and software revision.", "Query"},
        {ID_TRANSFER, "Transfer the software new release.", "Start transfer"},
        {ID_REPAIR, "Set communication parameters of a board.", "&Repair"},
        {ID_APP_EXIT, "Close the active window and prompt saving the transfer request file", "E&xit"},
    };
    for (const auto& c : cases) {
        QAction* action = session.Frame().Action(c.id);
        ASSERT_NE(action, nullptr) << c.id;
        EXPECT_EQ(action->statusTip().toStdString(), c.prompt) << c.id;
        EXPECT_EQ(action->toolTip(), QString(c.tip).remove('&')) << c.id;
    }
}

TEST_F(MainWindowTables, ToolbarButtonsInOrderWithSeparators)
{
    auto* toolbar = session.Frame().findChild<QToolBar*>("toolbar");
    ASSERT_NE(toolbar, nullptr);
    std::vector<int> ids;
    for (QAction* action : toolbar->actions()) ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
    EXPECT_EQ(ids, (std::vector<int>{57600, 57601, 57604, 0, 32768, 32784, 0, 32798, 57612, 0, 32770, 0, 32775}));
    for (QAction* action : toolbar->actions()) {
        if (action->isSeparator()) continue;
        EXPECT_FALSE(action->icon().isNull()) << action->data().toInt();
    }
    EXPECT_EQ(toolbar->allowedAreas(), Qt::AllToolBarAreas);
}

TEST_F(MainWindowTables, KeysWithoutMenuTextRunTheirCommands)
{
    std::set<QString> keys;
    for (QAction* action : session.Frame().actions()) keys.insert(action->shortcut().toString());
    EXPECT_TRUE(keys.count("Ctrl+A"));
    EXPECT_TRUE(keys.count("Ctrl+E"));
    EXPECT_TRUE(keys.count("Ctrl+X"));
}

TEST_F(MainWindowTables, ContextMenuRepeatsTheCommandsWithTheEnvironmentSubMenu)
{
    QMenu* menu = session.Frame().ContextMenuWidget();
    const QStringList texts = MenuTexts(menu);
    EXPECT_EQ(texts.first(), "&New\tCtrl+N");
    EXPECT_TRUE(texts.contains("&Environnment"));
    EXPECT_EQ(texts.last(), "&Rescue mode");
}

TEST_F(MainWindowTables, TitleNamesTheRequestAndMarksItModified)
{
    EXPECT_EQ(session.Frame().TitleText(), "Untitled - TAVREL");
    ASSERT_TRUE(session.Frame().OpenDocument(session.RequestPath()));
    EXPECT_EQ(session.Frame().TitleText(), "demo.sfl - TAVREL");
    session.Frame().Document().SetModifiedFlag(true);
    EXPECT_EQ(session.Frame().TitleText(), "demo.sfl * - TAVREL");
    session.Frame().Document().SetModifiedFlag(false);
}

TEST_F(MainWindowTables, RecentFilesKeepTheLastFourAndDropOnesThatNoLongerOpen)
{
    App().m_recentFiles.clear();
    ASSERT_TRUE(session.Frame().OpenDocument(session.RequestPath()));
    ASSERT_EQ(App().m_recentFiles.size(), 1u);
    EXPECT_TRUE(session.Frame().Action(ID_FILE_MRU_FIRST)->isVisible());
    EXPECT_FALSE(session.Frame().Action(ID_FILE_MRU_FIRST + 1)->isVisible());

    const std::string gone = session.Dir().File("gone.sfl");
    App().m_recentFiles.insert(App().m_recentFiles.begin(), gone);
    session.Frame().RunCommand(ID_FILE_MRU_FIRST);   // opens the missing file: message, entry dropped
    EXPECT_TRUE(session.Operator().Saw("gone.sfl"));
    ASSERT_EQ(App().m_recentFiles.size(), 1u);
    EXPECT_NE(App().m_recentFiles.front(), gone);
}

// --- enabling table ----------------------------------------------------------------------------------

struct EnablingCase {
    const char* name;
    CommandState state;
    std::set<int> enabled;
};

TEST(CommandEnablingTable, EachStateEnablesExactlyItsCommands)
{
    CommandState noEnvironment;
    noEnvironment.logOk = true;
    noEnvironment.queryAutoSpeed = true;
    CommandState loaded = noEnvironment;
    loaded.environmentsExist = true;
    loaded.requestLoaded = true;
    loaded.editRights = true;
    loaded.mailAvailable = true;
    loaded.rescueEnable = true;
    loaded.recentCount = 2;
    CommandState running = loaded;
    running.processRunning = true;
    CommandState viewOnly = loaded;
    viewOnly.editRights = false;

    const std::set<int> always = {ID_QUERY_AUTO_CONFIG, ID_RESCUE_ENABLE, ID_APP_ABOUT, ID_VIEW_LOG, ID_HISTORY};
    auto with = [&](std::set<int> ids) {
        ids.insert(always.begin(), always.end());
        return ids;
    };
    const std::vector<EnablingCase> cases = {
        {"no environment", noEnvironment,
         with({ID_IMPORT, ID_APP_EXIT, ID_ENV_SET_DIR, ID_COMMUNICATION, ID_REPAIR, ID_QUERY})},
        {"request loaded", loaded,
         with({ID_FILE_NEW, ID_FILE_OPEN, ID_VIEW_CONTENT, ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_IMPORT,
               ID_FILE_MRU_FIRST, ID_FILE_MRU_FIRST + 1, ID_APP_EXIT, ID_ENV_LIST, ID_ENV_SET_DIR, ID_ENV_OPEN,
               ID_COMMUNICATION, ID_REPAIR, ID_FILE_SEND_MAIL, ID_QUERY, ID_TRANSFER, ID_RESCUE_MODE})},
        {"view only", viewOnly,
         with({ID_FILE_OPEN, ID_VIEW_CONTENT, ID_IMPORT, ID_FILE_MRU_FIRST, ID_FILE_MRU_FIRST + 1, ID_APP_EXIT,
               ID_ENV_LIST, ID_ENV_SET_DIR, ID_ENV_OPEN, ID_COMMUNICATION, ID_REPAIR, ID_FILE_SEND_MAIL,
               ID_QUERY, ID_TRANSFER, ID_RESCUE_MODE})},
        {"process running", running, always},
    };
    std::vector<int> ids;
    for (const CommandInfo& c : CommandTable()) ids.push_back(c.id);
    for (int id = ID_FILE_MRU_FIRST; id <= ID_FILE_MRU_LAST; ++id) ids.push_back(id);
    for (const EnablingCase& c : cases)
        for (int id : ids)
            EXPECT_EQ(CommandEnabling(id, c.state).enabled, c.enabled.count(id) == 1) << c.name << ": " << id;
}

TEST(CommandEnablingTable, TogglesShowTheirSwitchOnlyWhileIdle)
{
    CommandState s;
    s.queryAutoSpeed = true;
    s.rescueEnable = false;
    EXPECT_TRUE(CommandEnabling(ID_QUERY_AUTO_CONFIG, s).checked);
    EXPECT_FALSE(CommandEnabling(ID_RESCUE_ENABLE, s).checked);
    s.processRunning = true;
    EXPECT_FALSE(CommandEnabling(ID_QUERY_AUTO_CONFIG, s).checked);
    EXPECT_TRUE(CommandEnabling(ID_QUERY_AUTO_CONFIG, s).enabled);
}

// --- processes from the keyboard, against the simulator ------------------------------------------------

class MainWindowProcess : public MainWindowTables {
protected:
    // The key is pressed from the event loop, as an operator's would be: a
    // process runs its waits in nested loops, so the test keeps watching
    // with timers while it runs.
    void Press(Qt::Key key)
    {
        QApplication::setActiveWindow(&session.Frame());
        QTimer::singleShot(0, &session.Frame(), [this, key] {
            QTest::keyClick(&session.Frame(), key, Qt::ControlModifier);
        });
    }

    CUpdateView& View() { return session.Frame().View(); }
};

TEST_F(MainWindowProcess, QueryShowsTheAnswerOfEveryBoardInTheReplyDialog)
{
    // Looked at each time the view's busy state changes (after the frame has
    // updated its commands): a query against the simulator may last less
    // than any polling period.
    bool started = false, disabledWhileRunning = false;
    QObject watch;   // ends the connection with the test
    QObject::connect(&View(), &CUpdateView::commandStatesChanged, &watch, [&] {
        if (session.Idle()) return;
        started = true;
        disabledWhileRunning |= !session.Frame().Action(ID_QUERY)->isEnabled();
    });
    Press(Qt::Key_Q);
    ASSERT_TRUE(QTest::qWaitFor([&] { return started && session.Idle(); }, 60000)) << "Ctrl+Q started nothing";
    EXPECT_TRUE(disabledWhileRunning);

    CReplyDlg* reply = session.Host().ReplyDialog();
    ASSERT_NE(reply, nullptr);
    EXPECT_TRUE(reply->isVisible());
    auto* list = qobject_cast<QTreeWidget*>(reply->Control(CReplyDlg::IDC_LIST));
    ASSERT_NE(list, nullptr);
    ASSERT_GE(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(1).trimmed(), "CM10");
    EXPECT_EQ(list->topLevelItem(0)->data(0, CReplyDlg::kImageRole).toInt(), 1);   // the connected board
    bool relayed = false;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        relayed |= list->topLevelItem(i)->text(1).trimmed() == "GP20" && list->topLevelItem(i)->text(3) == "B";
    EXPECT_TRUE(relayed) << "the GPS behind port B is missing";
    EXPECT_TRUE(session.Frame().Action(ID_QUERY)->isEnabled());
    reply->close();
}

TEST_F(MainWindowProcess, TransferOfTwoBoardsShowsItsProgressAndEndsWithTheReport)
{
    ASSERT_TRUE(session.Frame().OpenDocument(session.RequestPath()));
    std::set<std::string> boards;
    bool greenOnBlack = false, counting = false, transmitLit = false, abortShown = false;
    QTimer watch;
    watch.setInterval(15);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        CUpdateView& view = View();
        if (!view.IsBusyLook()) return;
        boards.insert(view.ControlText(IDC_BOARD_TEXT).toStdString());
        greenOnBlack |= view.Control(IDC_BOARD_TEXT)->palette().color(QPalette::WindowText) == QColor(0, 255, 0);
        counting |= view.ControlText(IDC_BLOCKS).endsWith(" blocks") && !view.ControlText(IDC_BLOCKS).endsWith(" 0 blocks");
        transmitLit |= static_cast<CIndicator*>(view.Control(IDC_LAMP_TX))->IsOn();
        abortShown |= view.Control(IDC_ABORT)->isVisible();
    });
    watch.start();
    Press(Qt::Key_T);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boards.empty() && session.Idle(); }, 120000))
        << "Ctrl+T started nothing";
    watch.stop();

    EXPECT_TRUE(boards.count("GPS") && boards.count("CPU"));
    EXPECT_TRUE(greenOnBlack);
    EXPECT_TRUE(counting);
    EXPECT_TRUE(transmitLit);
    EXPECT_TRUE(abortShown);
    EXPECT_TRUE(session.Operator().Saw(GetString(42))) << "no end report of a successful transfer";
    EXPECT_TRUE(session.Operator().Saw("'GPS'"));
    EXPECT_TRUE(session.ImageEqualsRelease("CPU", "cpu"));
    EXPECT_TRUE(session.ImageEqualsRelease("GPS", "gps"));

    // The desktop program keeps the run in the history, board by board.
    CHistoryDb history;
    ASSERT_TRUE(history.OpenForReading(App().HistoryPath())) << history.Error();
    std::vector<HistoryRow> rows;
    std::string error;
    ASSERT_TRUE(QueryHistory(history, HistoryFilter{}, rows, error)) << error;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].board, "GPS");
    EXPECT_EQ(rows[1].softwareAfter, "GPS0200");
    EXPECT_EQ(rows[0].program, "tavrel");
    EXPECT_EQ(rows[0].result, "ok");

    // Back to idle: the busy look is gone and the view says so.
    EXPECT_FALSE(View().IsBusyLook());
    EXPECT_EQ(View().ControlText(IDC_BOARD_TEXT).toStdString(), GetString(161));
    EXPECT_EQ(View().ControlText(IDC_ELAPSED), "00:00");
    EXPECT_FALSE(View().Control(IDC_ABORT)->isVisible());
    EXPECT_EQ(static_cast<QProgressBar*>(View().Control(IDC_BAR_OVERALL))->value(), 0);
}

// In the data phase `act` runs once (the operator answers every question Yes);
// true when the process then ended.
bool AbortInDataPhase(CGuiSession& session, const std::function<void()>& act, const std::function<void()>& start)
{
    QTimer watch;
    bool acted = false;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (acted || session.Frame().Engine().m_nStep != 26) return;
        acted = true;
        act();
    });
    watch.start(10);
    start();
    return QTest::qWaitFor([&] { return acted && session.Idle(); }, 120000);
}

void ExpectCleanAbort(const CGuiSession& session)
{
    const std::string log = session.Log();
    EXPECT_NE(log.find(">$PKVR,XSOFT,M,A"), std::string::npos) << "transfer mode was not abandoned:\n" << log;
    EXPECT_NE(log.find(">$PKVR,JOIN,B,0<"), std::string::npos) << "the relay was not left:\n" << log;
}

// The request named on the command line starts through timer 3; closing the
// window during it asks, then ends the process cleanly and closes.
TEST_F(MainWindowProcess, CommandLineTransferClosedByTheOperatorEndsCleanly)
{
    ASSERT_TRUE(session.Frame().OpenDocument(session.RequestPath()));
    App().m_bCmdLineStart = true;
    ASSERT_TRUE(AbortInDataPhase(
        session, [&] { session.Frame().close(); }, [&] { session.Frame().ArmCommandLineTransfer(); }));
    EXPECT_TRUE(session.Operator().Saw("abort"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !session.Frame().isVisible(); }, 5000)) << "the window stayed open";
    EXPECT_NE(session.Log().find("Lancement avec nom du fichier en ligne de commande"), std::string::npos)
        << "not logged as a command-line start";
    ExpectCleanAbort(session);
}

TEST_F(MainWindowProcess, EscapeInTheDataPhaseIsTheAbortKey)
{
    ASSERT_TRUE(session.Frame().OpenDocument(session.RequestPath()));
    ASSERT_TRUE(AbortInDataPhase(
        session, [&] { QTest::keyClick(&session.Frame().View(), Qt::Key_Escape); }, [&] { Press(Qt::Key_T); }));
    EXPECT_TRUE(session.Operator().Saw("abort"));
    EXPECT_TRUE(session.Frame().isVisible());
    ExpectCleanAbort(session);
}

// Device > Rescue mode: the operator is asked to switch the receiver off and
// on, the wait dialog runs while the board is called, and the Reply dialog
// shows the rescue loader's answer.
class RescueFromTheWindow : public MainWindowProcess {
protected:
    void SetUp() override
    {
        for (std::string& line : session.miscSettings)
            if (line.rfind("Rescue enable=", 0) == 0) line = "Rescue enable=YES";
        session.editReceiver = [](nlohmann::json& receiver) {
            receiver["boards"][0]["subassy"] = "UC";
            receiver["boards"][0]["rescue"] = {{"supported", true}, {"broken", true}, {"window_ms", 4000},
                                               {"auto_power_cycle_ms", 300}, {"rate", 9600}, {"text", "UCRQ"}};
        };
        MainWindowTables::SetUp();
    }
};

TEST_F(RescueFromTheWindow, RescueQueryShowsTheLoadersAnswer)
{
    bool waitShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        CWaitDlg* wait = session.Host().WaitDialog();
        waitShown |= wait && wait->isVisible();
    });
    watch.start(10);
    session.Frame().UpdateCommandStates();
    ASSERT_TRUE(session.Frame().Action(ID_RESCUE_MODE)->isEnabled());
    QTimer::singleShot(0, [&] { session.Frame().Action(ID_RESCUE_MODE)->trigger(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.Host().ReplyDialog() != nullptr && session.Idle(); }, 60000));

    EXPECT_TRUE(session.Operator().Saw("switch the receiver off")) << "no power-cycle prompt";
    EXPECT_TRUE(waitShown);
    auto* list = qobject_cast<QTreeWidget*>(session.Host().ReplyDialog()->Control(CReplyDlg::IDC_LIST));
    ASSERT_NE(list, nullptr);
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list->topLevelItem(i);
        rows << row->text(1).trimmed() + " " + row->text(2).trimmed() + " " + row->data(0, CReplyDlg::kImageRole).toString();
    }
    // The board in its loader: its first row has the loader image, and it reports UCRQ.
    EXPECT_TRUE(rows.value(0).startsWith("UC10 ") && rows.value(0).endsWith(" 2")) << rows.join(" | ").toStdString();
    EXPECT_TRUE(rows.contains("UC10 UCRQ -1")) << rows.join(" | ").toStdString();
}

TEST(MainViewText, ShortenTextKeepsTheEnd)
{
    EXPECT_EQ(CUpdateView::ShortenText("abcdefgh", 5), "abcdefgh");
    EXPECT_EQ(CUpdateView::ShortenText("abcdefghij", 5), "...cdefghij");
    EXPECT_EQ(CUpdateView::ShortenText("", 0), "");
}

}  // namespace
