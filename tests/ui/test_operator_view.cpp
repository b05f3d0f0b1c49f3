// The desktop program as an operator meets it: questions whose Enter is the
// safe answer and that ignore keys typed before they opened, value fields a
// screen reader can read, progress figures that agree, list headers that fit
// their titles, and a window that keeps answering while the line is busy.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <vector>

#include "GuiSession.h"
#include "app/Strings.h"
#include "engine/ProcessEngine.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"
#include "release/VleFile.h"
#include "ui/QtHost.h"
#include "ui/UpdateView.h"
#include "ui/editors/EnvDefDlg.h"
#include "ui/editors/TransferDlg.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

QString AccessibleName(QWidget* widget)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

// --- questions -------------------------------------------------------------------------

// Enter answers what leaves things as they are; a key that reaches the box
// as it opens (typed before) answers nothing; a key pressed once the
// question has been shown for a while answers it.
TEST(Questions, EnterGivesTheSafeAnswerAndEarlyKeysAreIgnored)
{
    const struct {
        MsgButtons buttons;
        MsgAnswer enter;
    } rows[] = {
        {MB_YES_NO, ANSWER_NO},
        {MB_YES_NO_CANCEL, ANSWER_YES},
        {MB_OK_CANCEL, ANSWER_OK},
        {MB_RETRY_CANCEL, ANSWER_RETRY},
    };
    CQtHost host;
    for (const auto& r : rows) {
        bool openAfterEarlyKey = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            QTest::keyClick(box, Qt::Key_Return);   // as if typed before the box showed
            QApplication::processEvents();
            openAfterEarlyKey = box->isVisible();
            QTimer::singleShot(CStaleKeyGuard::kQuestionKeyGuardMs + 150, [] {
                if (auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    QTest::keyClick(open, Qt::Key_Return);
            });
        });
        const MsgAnswer answer = host.MessageBox("Continue ?", "Warning", r.buttons, ICON_QUESTION);
        EXPECT_TRUE(openAfterEarlyKey) << "buttons " << r.buttons;
        EXPECT_EQ(answer, r.enter) << "buttons " << r.buttons;
    }
}

// --- the view -------------------------------------------------------------------------

TEST(ProcessView, ValueFieldsTellTheirValueToAScreenReader)
{
    CUpdateView view;
    view.ShowBusyLook(true);
    view.ShowProcessControls(true);
    view.SetBoardText("GPS");
    view.SetFileNameText("gps.s19");
    view.SetElapsedText("01:23");
    view.SetBoardCounter("2/3");
    view.SetLinkText("COM1:57600,n,8,2");
    view.SetTransferProgress(600, 2500, 4, "Temps restant estimé : 12 s");
    view.FlushPendingTexts();

    const struct {
        int id;
        const char* name;
    } rows[] = {
        {IDC_BOARD_TEXT, "Board processing: GPS"},
        {IDC_FILE_TEXT, "File processing: gps.s19"},
        {IDC_ELAPSED, "Elapsed Time: 01:23"},
        {IDC_BOARD_COUNTER, "Board number: 2/3"},
        {IDC_LINK_TEXT, "COM1:57600,n,8,2"},
        {IDC_BLOCKS, "600 blocks"},
        {IDC_RETRIES, "4 retries"},
        {IDC_REMAINING, "Remaining time: Temps restant estimé : 12 s"},
    };
    for (const auto& r : rows) EXPECT_EQ(AccessibleName(view.Control(r.id)).toStdString(), r.name);

    // Idle again: the fields say what they show then.
    view.ShowBusyLook(false);
    EXPECT_EQ(AccessibleName(view.Control(IDC_ELAPSED)).toStdString(), "Elapsed Time: 00:00");
    EXPECT_EQ(AccessibleName(view.Control(IDC_BOARD_TEXT)).toStdString(), "Board processing: " + GetString(161));
}

int CounterValue(const QString& text)
{
    const QRegularExpressionMatch m = QRegularExpression(R"(^\s*(\d+) blocks$)").match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The engine reports each record with the bar (every record), the counter and
// the remaining time (every hundredth) and the whole progress (every record):
// whenever the screen is refreshed, the bar and the counter tell the same.
TEST(ProcessView, BarAndBlockCounterAgreeAtEveryRefresh)
{
    CUpdateView view;
    view.ShowBusyLook(true);
    view.ShowProcessControls(true);
    auto* bar = static_cast<QProgressBar*>(view.Control(IDC_BAR_OVERALL));
    const long blocks = 2500;
    int refreshes = 0;
    for (long n = 1; n <= blocks; ++n) {
        view.SetOverallProgress(n, blocks);
        if (n % 100 == 0) view.SetBlockCounter(FormatString(135, {std::to_string(n)}));
        view.SetTransferProgress(n, blocks, 0, "");
        if (n % 37 != 0 && n != blocks) continue;
        view.FlushPendingTexts();
        ++refreshes;
        const int counter = CounterValue(view.ControlText(IDC_BLOCKS));
        ASSERT_EQ(counter, n);
        ASSERT_EQ(bar->value(), static_cast<int>(counter * 100 / blocks)) << "at block " << n;
    }
    EXPECT_GT(refreshes, 60);

    // A value set for the end of the loop is not overwritten by a late refresh.
    view.SetOverallProgress(blocks / 2, blocks);
    view.SetProgressItem(IDC_BAR_OVERALL, 0);
    view.FlushPendingTexts();
    EXPECT_EQ(bar->value(), 0);
}

// --- the editors' lists -------------------------------------------------------------------

void ExpectTitlesFit(const QTreeWidget& list)
{
    const QHeaderView* head = list.header();
    const int margins = 2 * head->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, head);
    for (int i = 0; i < list.columnCount(); ++i) {
        const QString title = list.headerItem()->text(i);
        EXPECT_GE(head->sectionSize(i), head->fontMetrics().horizontalAdvance(title) + margins)
            << title.toStdString() << " at " << head->font().pointSizeF() << " pt";
    }
}

// In a font larger than the one the pixel widths were made for, the
// columns grow to their titles ("Baud rate" was cut to "3aud rate").
TEST(EditorLists, ColumnTitlesFitTheirText)
{
    const QFont saved = QApplication::font();
    for (const qreal points : {saved.pointSizeF(), 14.0, 20.0}) {
        QFont font = saved;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        std::vector<CEnvDef> environments;
        std::vector<CBoardConf> lines;
        CTransferDlg request(TRANSFER_MODE_NEW, environments, lines);
        ExpectTitlesFit(*request.List());
        CEnvDefDlg environment(ENV_MODE_EDIT, environments, -1, -1);
        ExpectTitlesFit(*environment.List());
    }
    QApplication::setFont(saved);
}

// --- the program itself --------------------------------------------------------------------

// --help and --version answer without a window system (no display, a
// platform that cannot start): they never reach it.
TEST(Program, HelpAndVersionNeedNoDisplay)
{
    const struct {
        const char* option;
        const char* begins;
    } rows[] = {{"--help", "usage: tavrel"}, {"--version", "Tavrel V2.0 04/02/2002"}, {"-h", "usage: tavrel"}};
    for (const auto& r : rows) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TAVREL_BINARY_DIR "/src/ui/tavrel"), {QString::fromLatin1(r.option)});
        ASSERT_TRUE(program.waitForFinished(30000)) << r.option;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << r.option;
        EXPECT_EQ(program.exitCode(), 0) << r.option << ": " << program.readAllStandardError().toStdString();
        EXPECT_TRUE(program.readAllStandardOutput().startsWith(r.begins)) << r.option;
    }
}

// --- a transfer on a line paced like a real one -------------------------------------------

// The demo receiver behind a simulator that reads at the line's rate; the
// request holds only the CPU board, whose release is larger than what the
// port's buffer takes, loaded at 38400 bit/s (about 12 s of data).
class PacedTransfer : public ::testing::Test {
protected:
    static constexpr int kRateIndex = 5;   // 38400 bit/s
    static constexpr int kReleaseBytes = 45000;
    static constexpr int kWatchMs = 10;
    // Generous limits for a loaded machine; an idle one answers in a few ms.
    static constexpr int kLongestStallMs = 1000;
    static constexpr int kAbortKeyAnswerMs = 1000;

    void SetUp() override
    {
        session.simOptions = {"--pace"};
        std::string error;
        ASSERT_TRUE(session.Start(error)) << error;
        const std::string make = "head -c " + std::to_string(kReleaseBytes) + " /dev/urandom > '" +
                                 session.Dir().File("cpu.bin") + "' && objcopy -I binary -O srec " +
                                 "--change-addresses 0x10000 '" + session.Dir().File("cpu.bin") + "' '" +
                                 session.Dir().File("request/cpu.s19") + "'";
        ASSERT_EQ(std::system(make.c_str()), 0);
        ASSERT_TRUE(session.Frame().OpenDocument(session.RequestPath()));
        auto& lines = session.Frame().Document().m_lines;
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [](const CBoardConf& line) { return line.m_strBoardName != "CPU"; }),
                    lines.end());
        ASSERT_EQ(lines.size(), 1u);
        lines[0].m_nTransferSpeed = kRateIndex;
    }

    CGuiSession session;
};

TEST_F(PacedTransfer, WindowAnswersEveryKeyWhileTheLineIsBusy)
{
    CMainFrame& frame = session.Frame();
    EXPECT_EQ(frame.windowTitle(), "demo.sfl - TAVREL");
    EXPECT_EQ(AccessibleName(&frame), frame.windowTitle());

    CUpdateView& view = frame.View();
    auto* bar = static_cast<QProgressBar*>(view.Control(IDC_BAR_OVERALL));
    Clock::time_point dataStart{}, lastTick{}, escapeAt{}, boxAt{};
    long long longestStall = 0, escapeToBox = -1;
    long blocks = 0;
    bool earlyKeyIgnored = false, answered = false;
    int disagreements = 0, samples = 0;

    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const bool dataPhase = frame.Engine().m_nStep == 26;
        if (dataPhase && lastTick != Clock::time_point{})
            longestStall = std::max<long long>(longestStall, MsSince(lastTick));
        lastTick = dataPhase ? now : Clock::time_point{};
        if (!dataPhase) return;
        if (dataStart == Clock::time_point{}) dataStart = now;
        if (frame.Engine().m_pReleaseFile) blocks = static_cast<long>(frame.Engine().m_pReleaseFile->RecordCount());

        // What the screen shows now: the bar and the counter tell the same.
        const int counter = CounterValue(view.ControlText(IDC_BLOCKS));
        if (counter > 0 && blocks > 0 && view.Control(IDC_BLOCKS)->isVisible()) {
            ++samples;
            if (bar->value() != static_cast<int>(std::min<long>(100, counter * 100L / blocks))) ++disagreements;
        }

        // Two seconds into the data: Escape, queued as a key from the window system is.
        if (escapeAt == Clock::time_point{} && MsSince(dataStart) > 2000) {
            session.Operator().Pause(true);
            escapeAt = now;
            QCoreApplication::postEvent(&view, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            QCoreApplication::postEvent(&view, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier));
        }
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible() && boxAt == Clock::time_point{}) {
            boxAt = now;
            escapeToBox = std::chrono::duration_cast<std::chrono::milliseconds>(now - escapeAt).count();
            QTest::keyClick(box, Qt::Key_Return);   // typed before the question showed
            earlyKeyIgnored = box->isVisible();
        }
        // The operator thinks it over, then goes on with the load.
        if (box && box->isVisible() && !answered && MsSince(boxAt) > 400) {
            answered = true;
            box->button(QMessageBox::No)->click();
            session.Operator().Pause(false);
        }
    });
    watch.start(kWatchMs);
    QTimer::singleShot(0, [&] { frame.RunCommand(ID_TRANSFER); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return dataStart != Clock::time_point{}; }, 60000)) << "no data phase";
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.Idle(); }, 120000)) << "the transfer did not end";
    watch.stop();
    std::printf("longest stall %lld ms, Escape answered in %lld ms, %d samples\n", longestStall, escapeToBox, samples);

    EXPECT_LT(longestStall, kLongestStallMs) << "the event loop stood still during the data phase";
    ASSERT_GE(escapeToBox, 0) << "Escape in the data phase asked nothing";
    EXPECT_LT(escapeToBox, kAbortKeyAnswerMs);
    EXPECT_TRUE(earlyKeyIgnored) << "a key typed before the question answered it";
    EXPECT_TRUE(answered);
    EXPECT_GT(samples, 10);
    EXPECT_EQ(disagreements, 0) << "of " << samples << " refreshes";
    // No: the load went on and completed.
    EXPECT_TRUE(session.Operator().Saw(GetString(42))) << "no end report of a successful transfer";
    EXPECT_TRUE(session.ImageEqualsRelease("CPU", "cpu"));
}

}  // namespace
