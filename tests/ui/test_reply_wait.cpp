// The Reply dialog (identification answers as a table, "<-->", auto-close)
// and the "Wait ..." dialog (progress texts, Cancel, the disabled owner).
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QLabel>
#include <QTreeWidget>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

#include "app/UpdateApp.h"
#include "common/ScriptedHost.h"
#include "common/SimProcess.h"
#include "common/TempDir.h"
#include "link/IdentQuery.h"
#include "ui/ReplyDlg.h"
#include "ui/WaitDlg.h"
#include "ui/controls/ColorLabel.h"

namespace {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QTest::qWait(1);
    }
    return true;
}

// The identification answer tavrel-sim gives for a CPU board (CM10) with a
// GPS board (GP20) behind its port B: boot loader and software of each.
const std::string kTwoBoardAnswer =
    "$PKVR,IDENT,4,1,CM10,CMB2\r\n"
    "$PKVR,IDENT,4,2,CM10,CPU0100\r\n"
    "$PKVR,IDENT,4,3,GP20,GPB1,B\r\n"
    "$PKVR,IDENT,4,4,GP20,GPS0100,B\r\n";

struct Row {
    std::string number, hardware, software, port;
    int image;
};

std::vector<Row> ShownRows(CReplyDlg& dialog)
{
    auto* list = static_cast<QTreeWidget*>(dialog.Control(CReplyDlg::IDC_LIST));
    std::vector<Row> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        const int image = item->data(0, CReplyDlg::kImageRole).toInt();
        EXPECT_EQ(item->icon(0).isNull(), image < 0) << "row " << i;
        rows.push_back({item->text(0).toStdString(), item->text(1).toStdString(), item->text(2).toStdString(),
                        item->text(3).toStdString(), image});
    }
    return rows;
}

void ExpectRows(const std::vector<Row>& shown, const std::vector<Row>& expected)
{
    ASSERT_EQ(shown.size(), expected.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(shown[i].number, expected[i].number);
        EXPECT_EQ(shown[i].hardware, expected[i].hardware);
        EXPECT_EQ(shown[i].software, expected[i].software);
        EXPECT_EQ(shown[i].port, expected[i].port);
        EXPECT_EQ(shown[i].image, expected[i].image);
    }
}

QPushButton* Button(const CReplyDlg& dialog, int id) { return static_cast<QPushButton*>(dialog.Control(id)); }

std::string Lines(int count)
{
    std::string answer;
    for (int i = 1; i <= count; ++i)
        answer += "$PKVR,IDENT," + std::to_string(count) + "," + std::to_string(i) + ",CM10,SOFT" +
                  std::to_string(i) + "\r\n";
    return answer;
}

class ReplyDlgTest : public ::testing::Test {
protected:
    void SetUp() override { App().m_nReserved2 = 1; }
    CScriptedHost host;
    CHostScope scope{host};
};

}  // namespace

// --- the table ---------------------------------------------------------------------------

TEST_F(ReplyDlgTest, RowsAndImagesOfAnswers)
{
    struct Case {
        const char* name;
        std::string answer;
        std::vector<Row> rows;
        std::string text;   // control 432
    };
    const Case cases[] = {
        {"two boards, two lines each", kTwoBoardAnswer,
         {{" 1", "CM10", "CMB2", "", 1},
          {" 2", "CM10", "CPU0100", "", -1},
          {" 3", "GP20", "GPB1", "B", 0},
          {" 4", "GP20", "GPS0100", "B", -1}},
         "$PKVR,IDENT,4,1,CM10,CMB2\n$PKVR,IDENT,4,2,CM10,CPU0100\n$PKVR,IDENT,4,3,GP20,GPB1,B\n"
         "$PKVR,IDENT,4,4,GP20,GPS0100,B"},
        {"three sentences for two boards",
         "$PKVR,IDENT,3,1,CM10,CMB2\r\n$PKVR,IDENT,3,2,CM10,CPU0100\r\n$PKVR,IDENT,3,3,GP20,GPB1,B\r\n",
         {{" 1", "CM10", "CMB2", "", 1}, {" 2", "CM10", "CPU0100", "", -1}, {" 3", "GP20", "GPB1", "B", 0}},
         "$PKVR,IDENT,3,1,CM10,CMB2\n$PKVR,IDENT,3,2,CM10,CPU0100\n$PKVR,IDENT,3,3,GP20,GPB1,B"},
        {"a board in its rescue loader", "$PKVR,IDENT,2,1,UC10,UCB1\r\n$PKVR,IDENT,2,2,UC10,UCRQ\r\n",
         {{" 1", "UC10", "UCB1", "", 2}, {" 2", "UC10", "UCRQ", "", -1}},
         "$PKVR,IDENT,2,1,UC10,UCB1\n$PKVR,IDENT,2,2,UC10,UCRQ"},
        {"missing and empty fields", "$PKVR,IDENT,2,1,CM10\r\n$PKVR,IDENT,2,,,,\r\n$PKVR,IDENT,2,2,CM10,X\r\n",
         {{" 1", "CM10", " xxxxxxxxxxxxxxx", "", 1},
          {"  x", " xxxxxx", " xxxxxxxxxxxxxxx", "", -1},
          {" 2", "CM10", "X", "", -1}},
         "$PKVR,IDENT,2,1,CM10\n$PKVR,IDENT,2,,,,\n$PKVR,IDENT,2,2,CM10,X"},
        {"lines after the last sentence",
         "$PKVR,IDENT,2,1,CM10,CMB2\r\n$PKVR,IDENT,2,2,CM10,CPU0100\r\n$PKVR,IDENT,2,1,XX99,LATE\r\n",
         {{" 1", "CM10", "CMB2", "", 1}, {" 2", "CM10", "CPU0100", "", -1}},
         "$PKVR,IDENT,2,1,CM10,CMB2\n$PKVR,IDENT,2,2,CM10,CPU0100"},
        {"an unfinished last line", "$PKVR,IDENT,2,1,CM10,CMB2\r\n$PKVR,IDENT,2,2,CM10,CP",
         {{" 1", "CM10", "CMB2", "", 1}}, "$PKVR,IDENT,2,1,CM10,CMB2"},
        {"no answer", "", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CReplyDlg dialog;
        dialog.SetAnswer(c.answer, false);
        dialog.show();
        ExpectRows(ShownRows(dialog), c.rows);
        EXPECT_EQ(dialog.RawText().toStdString(), c.text);
    }
}

TEST_F(ReplyDlgTest, ColumnsOfTheList)
{
    CReplyDlg dialog;
    auto* list = static_cast<QTreeWidget*>(dialog.Control(CReplyDlg::IDC_LIST));
    ASSERT_EQ(list->columnCount(), 4);
    const QTreeWidgetItem* header = list->headerItem();
    EXPECT_EQ(header->text(0), "");
    EXPECT_EQ(header->text(1), "Hardware");
    EXPECT_EQ(header->text(2), "Software");
    EXPECT_EQ(header->text(3), "Port");
    dialog.SetAnswer(kTwoBoardAnswer, false);
    dialog.show();
    const QTreeWidgetItem* row = list->topLevelItem(2);
    EXPECT_FALSE(row->textAlignment(0) & Qt::AlignHCenter);
    for (int column = 1; column < 4; ++column) EXPECT_TRUE(row->textAlignment(column) & Qt::AlignHCenter);
}

TEST_F(ReplyDlgTest, AnswerOfTheSimulator)
{
    CTempDir dir;
    ASSERT_TRUE(dir.Ok());
    const nlohmann::json receiver = {{"boards", nlohmann::json::array({
        {{"name", "CPU"}, {"subassy", "CM"}, {"hardware", "10"}, {"boot_loader", "CMB2"},
         {"software", {"CPU0100"}}, {"rate", 9600}, {"ports", {{"B", 19200}}}, {"progr_id", 1}},
        {{"name", "GPS"}, {"subassy", "GP"}, {"hardware", "20"}, {"boot_loader", "GPB1"},
         {"software", {"GPS0100"}}, {"parent", "CPU"}, {"letter", "B"}, {"rate", 19200}, {"progr_id", 2}},
    })}};
    dir.Write("receiver.json", receiver.dump());
    CSimProcess sim;
    std::string ready;
    ASSERT_TRUE(sim.Start(TAVREL_BINARY_DIR "/src/tavrel-sim",
                          {"--receiver", dir.File("receiver.json"), "--log", dir.File("sim.log")}, ready, 5000));
    ASSERT_EQ(ready.rfind("ready ", 0), 0u) << ready;

    IdentRequest request;
    request.port = ready.substr(6);
    request.nStartRate = 9600;
    request.nMaxTimeSec = 20;
    const IdentOutcome outcome = RunIdentQuery(request, nullptr);
    ASSERT_EQ(outcome.nResult, 1) << outcome.error;

    CReplyDlg dialog;
    dialog.SetAnswer(outcome.answer, false);
    dialog.show();
    ExpectRows(ShownRows(dialog), {{" 1", "CM10", "CMB2", "", 1},
                                   {" 2", "CM10", "CPU0100", "", -1},
                                   {" 3", "GP20", "GPB1", "B", 0},
                                   {" 4", "GP20", "GPS0100", "B", -1}});
}

// --- size and buttons --------------------------------------------------------------------

TEST_F(ReplyDlgTest, GrowsSoEveryRowShows)
{
    CReplyDlg small;
    small.SetAnswer(kTwoBoardAnswer, false);
    small.show();
    const QSize template_ = small.size();

    constexpr int kRows = 24;
    CReplyDlg dialog;
    dialog.SetAnswer(Lines(kRows), false);
    dialog.show();
    QTest::qWait(20);   // the list lays its rows out
    auto* list = static_cast<QTreeWidget*>(dialog.Control(CReplyDlg::IDC_LIST));
    ASSERT_EQ(list->topLevelItemCount(), kRows);
    EXPECT_GT(dialog.height(), template_.height());
    EXPECT_EQ(dialog.width(), template_.width());
    const QRect lastRow = list->visualItemRect(list->topLevelItem(kRows - 1));
    EXPECT_FALSE(lastRow.isEmpty());
    EXPECT_LE(lastRow.bottom(), list->viewport()->height());
    EXPECT_FALSE(list->verticalScrollBar()->isVisible());
    // The buttons moved down with the list.
    EXPECT_GT(Button(dialog, CReplyDlg::IDC_OK)->y(), list->geometry().bottom());
    EXPECT_GT(Button(dialog, CReplyDlg::IDC_WIDEN)->y(), list->geometry().bottom());
}

// The health check's verdict sits between the rows and the buttons; the rows
// and their list keep their place and size.
TEST_F(ReplyDlgTest, AStatusLineUnderTheRows)
{
    CReplyDlg plain;
    plain.SetAnswer(kTwoBoardAnswer, false);
    plain.show();
    auto* plainList = static_cast<QTreeWidget*>(plain.Control(CReplyDlg::IDC_LIST));

    CReplyDlg dialog;
    dialog.SetAnswer(kTwoBoardAnswer, false);
    dialog.SetStatus("Verdict: not ready: GPS missing\nNext step for GPS: check Port B of board CPU");
    dialog.show();
    auto* list = static_cast<QTreeWidget*>(dialog.Control(CReplyDlg::IDC_LIST));
    auto* status = dialog.findChild<QLabel*>("replyStatus");
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isVisible());
    EXPECT_FALSE(status->accessibleName().isEmpty());
    EXPECT_TRUE(status->text().contains("GPS missing"));
    EXPECT_EQ(list->topLevelItemCount(), plainList->topLevelItemCount());
    EXPECT_EQ(list->geometry(), plainList->geometry());
    EXPECT_GT(status->y(), list->geometry().bottom());
    EXPECT_GT(Button(dialog, CReplyDlg::IDC_OK)->y(), status->geometry().bottom());
    EXPECT_GT(dialog.height(), plain.height());
    EXPECT_FALSE(plain.findChild<QLabel*>("replyStatus")->isVisible());
}

TEST_F(ReplyDlgTest, ALongAnswerStaysOnTheScreen)
{
    std::string answer = Lines(3000);
    answer.insert(answer.find("\r\n"), std::string(5000, 'S'));   // a very long first line
    CReplyDlg dialog;
    dialog.SetAnswer(answer, false);
    dialog.show();
    const QRect screen = dialog.screen()->availableGeometry();
    EXPECT_EQ(static_cast<QTreeWidget*>(dialog.Control(CReplyDlg::IDC_LIST))->topLevelItemCount(), 3000);
    EXPECT_GT(dialog.height(), 300);
    EXPECT_LE(dialog.height(), screen.height());
    QTest::mouseClick(Button(dialog, CReplyDlg::IDC_WIDEN), Qt::LeftButton);
    EXPECT_TRUE(dialog.IsWide());
    EXPECT_LE(dialog.width(), screen.width());
}

TEST_F(ReplyDlgTest, WidenShowsTheAnswerTextBesideTheList)
{
    CReplyDlg dialog;
    dialog.SetAnswer(kTwoBoardAnswer, false);
    dialog.show();
    QPushButton* widen = Button(dialog, CReplyDlg::IDC_WIDEN);
    ASSERT_TRUE(widen->isEnabled());
    EXPECT_TRUE(Button(dialog, CReplyDlg::IDC_OK)->isEnabled());
    auto* text = static_cast<CColorLabel*>(dialog.Control(CReplyDlg::IDC_RAW_TEXT));
    EXPECT_FALSE(text->isVisible());
    EXPECT_EQ(text->TextColor(), QColor(128, 0, 128));

    const QSize initial = dialog.size();
    const QWidget* list = dialog.Control(CReplyDlg::IDC_LIST);
    const QRect listRect = list->geometry();
    const int widest = dialog.fontMetrics().horizontalAdvance("$PKVR,IDENT,4,4,GP20,GPS0100,B");

    QTest::mouseClick(widen, Qt::LeftButton);
    EXPECT_TRUE(dialog.IsWide());
    EXPECT_EQ(dialog.width(), initial.width() + widest + listRect.x());
    EXPECT_EQ(dialog.height(), initial.height());
    EXPECT_TRUE(text->isVisible());
    EXPECT_GT(text->x(), listRect.right());
    EXPECT_EQ(text->y(), listRect.y());
    EXPECT_EQ(text->height(), listRect.height());
    EXPECT_LE(text->geometry().right(), dialog.width());

    QTest::mouseClick(widen, Qt::LeftButton);
    EXPECT_FALSE(dialog.IsWide());
    EXPECT_EQ(dialog.size(), initial);
    EXPECT_EQ(list->geometry(), listRect);
    EXPECT_FALSE(text->isVisible());
}

TEST_F(ReplyDlgTest, WidenNeedsReserved2AndNoAutoClose)
{
    struct Case {
        int reserved2;
        bool autoClose;
        bool okEnabled, widenEnabled;
    };
    const Case cases[] = {{1, false, true, true}, {0, false, true, false}, {2, false, true, false},
                          {1, true, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Reserved 2 = " << c.reserved2 << ", auto-close " << c.autoClose);
        App().m_nReserved2 = c.reserved2;
        CReplyDlg dialog;
        dialog.SetAnswer(kTwoBoardAnswer, c.autoClose);
        dialog.show();
        EXPECT_EQ(Button(dialog, CReplyDlg::IDC_OK)->isEnabled(), c.okEnabled);
        EXPECT_EQ(Button(dialog, CReplyDlg::IDC_WIDEN)->isEnabled(), c.widenEnabled);
    }
}

TEST_F(ReplyDlgTest, CentredOnItsOwner)
{
    QWidget owner;
    owner.setGeometry(100, 80, 700, 500);
    owner.show();
    CReplyDlg dialog(&owner);
    dialog.SetAnswer(kTwoBoardAnswer, false);
    dialog.show();
    const QPoint centre = dialog.geometry().center();
    const QPoint ownerCentre = owner.frameGeometry().center();
    EXPECT_LE(std::abs(centre.x() - ownerCentre.x()), 2);
    EXPECT_LE(std::abs(centre.y() - ownerCentre.y()), 2);
}

// --- closing -------------------------------------------------------------------------------

TEST_F(ReplyDlgTest, AutoCloseBeepsAndClosesAfter1500Ms)
{
    QPointer<CReplyDlg> dialog = new CReplyDlg;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    int result = -1;
    QObject::connect(dialog, &QDialog::finished, [&result](int r) { result = r; });
    dialog->SetAnswer(kTwoBoardAnswer, true);
    QElapsedTimer clock;
    clock.start();
    dialog->show();
    EXPECT_EQ(host.beeps, std::vector<BeepKind>{BEEP_ASTERISK});
    ASSERT_TRUE(WaitUntil([&] { return dialog.isNull(); }, 10000));   // closed and deleted
    EXPECT_GE(clock.elapsed(), CReplyDlg::kAutoCloseMs - 1);
    EXPECT_EQ(result, QDialog::Accepted);
}

TEST_F(ReplyDlgTest, ModalAutoCloseEndsExec)
{
    CReplyDlg dialog;
    dialog.SetAnswer(kTwoBoardAnswer, true);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_GE(clock.elapsed(), CReplyDlg::kAutoCloseMs - 1);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(ReplyDlgTest, OkAndEscapeClose)
{
    CReplyDlg dialog;
    dialog.SetAnswer(kTwoBoardAnswer, false);
    dialog.show();
    QTest::mouseClick(Button(dialog, CReplyDlg::IDC_OK), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(host.beeps.empty());

    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// --- the wait dialog -----------------------------------------------------------------------

TEST(WaitDlg, PercentageTexts)
{
    struct Case {
        int minimum, maximum, position;
        const char* text;
    };
    const Case cases[] = {
        {0, 100, 0, "0%"},       {0, 100, 50, "50%"},     {0, 100, 100, "100%"},
        {0, 100, 150, "50%"},    // beyond the maximum by half the range
        {0, 100, 250, "50%"},    {0, 100, 99, "99%"},     {0, 1000, 420, "42%"},
        {100, 200, 150, "50%"},  {0, 0, 0, "100%"},       // an empty range divides by nothing
        {50, 50, 10, "0%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.minimum << ".." << c.maximum << " at " << c.position);
        CWaitDlg wait;
        ASSERT_TRUE(wait.Create(nullptr));
        wait.SetRange(c.minimum, c.maximum);
        wait.SetPos(c.position);
        EXPECT_EQ(wait.ProgressText().toStdString(), c.text);
        wait.Destroy();
    }
}

TEST(WaitDlg, ElapsedTexts)
{
    struct Case {
        int position;
        const char* text;
    };
    const Case cases[] = {{0, "0s"},         {999, "0s"},       {59999, "59s"},       {60000, "1min"},
                          {125000, "2min 5s"}, {120000, "2min"}, {3599000, "59min 59s"}, {3600000, "60min"}};
    CWaitDlg wait;
    ASSERT_TRUE(wait.Create(nullptr));
    wait.SetRange(0, 4000000);
    wait.SetTextMode(CWaitDlg::TEXT_ELAPSED_BAR);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        wait.SetPos(c.position);
        EXPECT_EQ(wait.ProgressText().toStdString(), c.text);
    }
}

TEST(WaitDlg, StepsAndOffsets)
{
    CWaitDlg wait;
    ASSERT_TRUE(wait.Create(nullptr));
    auto* bar = static_cast<QProgressBar*>(wait.Control(CWaitDlg::IDC_PROGRESS));
    wait.StepIt(3);   // default step 10
    EXPECT_EQ(wait.ProgressText(), "30%");
    EXPECT_EQ(bar->value(), 30);
    wait.OffsetPos(12);
    EXPECT_EQ(wait.ProgressText(), "42%");
    wait.SetStep(25);
    wait.StepIt();
    EXPECT_EQ(wait.ProgressText(), "67%");
    wait.SetPos(180);   // the bar stops at its maximum, the text goes round
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(wait.ProgressText(), "80%");
    EXPECT_EQ(wait.BarPosition(), 180);
}

TEST(WaitDlg, InternalPositionAndLimit)
{
    CWaitDlg wait;
    ASSERT_TRUE(wait.Create(nullptr));
    wait.SetRange(0, 3000);
    wait.SetStep(1000);
    wait.SetTextMode(CWaitDlg::TEXT_ELAPSED_INTERNAL);
    wait.StepIt(2);
    EXPECT_EQ(wait.Position(), 2000);
    EXPECT_EQ(wait.BarPosition(), 2000);
    EXPECT_EQ(wait.ProgressText(), "2s");
    EXPECT_FALSE(wait.LimitReached());
    wait.SetPos(500);   // the bar moves; the text follows the internal position only
    EXPECT_EQ(wait.ProgressText(), "2s");
    EXPECT_EQ(wait.Position(), 2000);
    wait.StepIt();
    EXPECT_EQ(wait.Position(), 3000);
    EXPECT_TRUE(wait.LimitReached());   // the limit is the maximum
    wait.SetLimit(5000);
    EXPECT_FALSE(wait.LimitReached());
    wait.StepIt(2);
    EXPECT_EQ(wait.ProgressText(), "5s");
    EXPECT_TRUE(wait.LimitReached());
}

TEST(WaitDlg, PositionChangesRunPendingEventsFirst)
{
    CWaitDlg wait;
    ASSERT_TRUE(wait.Create(nullptr));
    const std::vector<std::function<void()>> changes = {[&] { wait.SetPos(5); }, [&] { wait.OffsetPos(1); },
                                                        [&] { wait.StepIt(); }};
    for (const auto& change : changes) {
        bool ran = false;
        QMetaObject::invokeMethod(&wait, [&ran] { ran = true; }, Qt::QueuedConnection);
        change();
        EXPECT_TRUE(ran);
    }
}

TEST(WaitDlg, CancelIsReadOnce)
{
    CWaitDlg wait;
    ASSERT_TRUE(wait.Create(nullptr));
    EXPECT_FALSE(wait.CheckCancel());
    QTest::mouseClick(static_cast<QPushButton*>(wait.Control(CWaitDlg::IDC_CANCEL)), Qt::LeftButton);
    EXPECT_TRUE(wait.CheckCancel());
    EXPECT_FALSE(wait.CheckCancel());
    EXPECT_TRUE(wait.isVisible());   // only the waiting code ends it

    // Escape and the window's close button act as Cancel.
    QTest::keyClick(&wait, Qt::Key_Escape);
    EXPECT_TRUE(wait.isVisible());
    EXPECT_TRUE(wait.CheckCancel());
    wait.close();
    EXPECT_TRUE(wait.isVisible());
    EXPECT_TRUE(wait.CheckCancel());
    EXPECT_FALSE(wait.CheckCancel());
}

TEST(WaitDlg, OwnerIsDisabledWhileTheDialogLives)
{
    QWidget owner;
    owner.show();
    CWaitDlg wait(0, &owner);
    EXPECT_EQ(wait.windowTitle(), "Waiting ...");
    ASSERT_TRUE(wait.Create(&owner));
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_TRUE(wait.isVisible());
    // The dialog, a child of the owner, still takes its Cancel click.
    auto* cancel = static_cast<QPushButton*>(wait.Control(CWaitDlg::IDC_CANCEL));
    EXPECT_TRUE(cancel->isEnabled());
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_TRUE(wait.CheckCancel());
    EXPECT_FALSE(wait.Create(&owner));   // one window at a time
    wait.Destroy();
    EXPECT_TRUE(owner.isEnabled());
    EXPECT_FALSE(wait.isVisible());
    // Made again after Destroy, with the cancel flag cleared.
    ASSERT_TRUE(wait.Create(&owner));
    EXPECT_FALSE(wait.CheckCancel());
    wait.Destroy();
}

TEST(WaitDlg, AnOwnerDisabledBeforehandStaysDisabled)
{
    QWidget owner;
    owner.setEnabled(false);
    CWaitDlg wait(95);   // "Query"
    ASSERT_TRUE(wait.Create(&owner));
    EXPECT_EQ(wait.windowTitle(), "Query");
    wait.Destroy();
    EXPECT_FALSE(owner.isEnabled());
}

TEST(WaitDlg, DeletedWithoutDestroyEnablesTheOwner)
{
    QWidget owner;
    {
        CWaitDlg wait(0, &owner);
        ASSERT_TRUE(wait.Create(&owner));
        EXPECT_FALSE(owner.isEnabled());
    }
    EXPECT_TRUE(owner.isEnabled());
}
