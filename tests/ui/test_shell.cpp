// The window parts of start-up and the Log menu: one copy per desktop, the
// start-up picture, the log viewers, the About box's figures, and a request
// on the command line that does not open.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QLabel>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QUrl>

#include "GuiSession.h"
#include "app/Strings.h"
#include "model/UpdateDoc.h"
#include "ui/AboutDlg.h"
#include "ui/LogCommands.h"
#include "ui/SingleInstance.h"
#include "ui/SplashScreen.h"

namespace {

TEST(SingleInstance, SecondCopyHandsItsRequestToTheFirstAndEnds)
{
    const QString key = QString("tavrel-test-%1").arg(QCoreApplication::applicationPid());
    CSingleInstance first(key);
    ASSERT_FALSE(first.HandToRunningCopy({})) << "nobody else runs: the first copy listens";
    ASSERT_TRUE(first.IsListening());
    QSignalSpy spy(&first, &CSingleInstance::activationRequested);

    CSingleInstance second(key);
    EXPECT_TRUE(second.HandToRunningCopy("/tmp/some request.sfl"));
    ASSERT_TRUE(spy.wait(2000));
    EXPECT_EQ(spy.takeFirst().at(0).toString(), "/tmp/some request.sfl");

    CSingleInstance third(key);
    EXPECT_TRUE(third.HandToRunningCopy({}));
    ASSERT_TRUE(spy.wait(2000));
    EXPECT_EQ(spy.takeFirst().at(0).toString(), "");
}

TEST(SplashScreen, FirstKeyPressEndsItAndIsConsumed)
{
    QWidget owner;
    owner.show();
    auto* splash = new CSplashScreen(&owner);
    QSignalSpy finished(splash, &CSplashScreen::finished);
    splash->ShowCentred();
    EXPECT_EQ(splash->size(), QSize(400, 250));

    // A key meant for the owner goes to the splash first and goes no further.
    class KeyCounter : public QObject {
    public:
        int keys = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::KeyPress) ++keys;
            return false;
        }
    } counter;
    owner.installEventFilter(&counter);
    QTest::keyClick(&owner, Qt::Key_A);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(counter.keys, 0);
    QTest::keyClick(&owner, Qt::Key_B);
    EXPECT_EQ(counter.keys, 1) << "after the picture has gone, keys reach the window";
}

TEST(SplashScreen, GoesByItselfAfterTwoSeconds)
{
    auto* splash = new CSplashScreen;
    QSignalSpy finished(splash, &CSplashScreen::finished);
    splash->ShowCentred();
    QTest::qWait(CSplashScreen::kShowMs / 2);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(finished.wait(CSplashScreen::kShowMs * 2));
}

// Stands for the desktop's viewer: records what it was asked to open.
class CDesktopViewer : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

class LogMenu : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(session.Start(error)) << error;
        QDesktopServices::setUrlHandler("file", &opened, "Open");
    }
    void TearDown() override { QDesktopServices::unsetUrlHandler("file"); }

    CDesktopViewer opened;
    CGuiSession session;
};

TEST_F(LogMenu, ViewLogFileHandsTheLogToTheDesktopViewer)
{
    session.Frame().RunCommand(ID_VIEW_LOG);
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls.front().toLocalFile().toStdString(), App().m_strLogPath);
}

TEST_F(LogMenu, BuiltInViewerShowsTheLogReadOnly)
{
    QDialog* viewer = OpenBuiltInLogViewer(&session.Frame(), QString::fromStdString(App().m_strLogPath));
    ASSERT_NE(viewer, nullptr);
    auto* text = viewer->findChild<QPlainTextEdit*>("logText");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_TRUE(text->toPlainText().contains("***** Tavrel"));
    viewer->close();
}

TEST_F(LogMenu, ALogThatCannotBeReadGivesAMessage)
{
    EXPECT_EQ(OpenBuiltInLogViewer(&session.Frame(), QString::fromStdString(session.Dir().File("no-such.log"))), nullptr);
    QTest::qWait(100);
    EXPECT_TRUE(session.Operator().Saw("no-such.log"));
}

TEST_F(LogMenu, RequestThatIsNoRequestLeavesAnIdleWindowAndSaysWhy)
{
    const std::string bogus = session.Dir().Write("bogus.sfl", "this is no request file");
    EXPECT_FALSE(session.Frame().OpenDocument(bogus));
    EXPECT_TRUE(session.Operator().Saw("bogus.sfl"));
    EXPECT_FALSE(session.Frame().OpenDocument(session.Dir().File("missing.sfl")));
    EXPECT_TRUE(session.Operator().Saw("missing.sfl"));
    session.Frame().UpdateCommandStates();
    EXPECT_FALSE(session.Frame().Action(ID_TRANSFER)->isEnabled());
    EXPECT_TRUE(session.Frame().Action(ID_QUERY)->isEnabled());
}

TEST_F(LogMenu, AnotherCopysRequestIsOpenedWhenNoProcessRuns)
{
    session.Frame().ActivateFromOtherInstance(QString::fromStdString(session.RequestPath()));
    EXPECT_EQ(session.Frame().TitleText(), "demo.sfl - TAVREL");
}

// Send to runs the desktop's mail helper with the log attached; a helper that
// finds no mail program gives the failure message with the reason. The helper
// here is a stand-in on PATH that records its arguments.
TEST(SendTo, AttachesTheLogAndSaysWhenNoMailProgramIsSetUp)
{
    CTempDir bin;
    const std::string args = bin.File("args");
    bin.Write("xdg-email", "#!/bin/sh\necho \"$@\" > '" + args + "'\nexit 3\n");
    ASSERT_EQ(std::system(("chmod +x '" + bin.File("xdg-email") + "'").c_str()), 0);
    qputenv("PATH", QByteArray::fromStdString(bin.Path()) + ":" + qgetenv("PATH"));

    CGuiSession session;
    std::string error;
    ASSERT_TRUE(session.Start(error)) << error;
    session.Frame().RunCommand(ID_FILE_SEND_MAIL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.Operator().Saw("No mail program"); }, 10000));
    EXPECT_TRUE(session.Operator().Saw(GetString(61842)));
    EXPECT_EQ(CGuiSession::ReadFile(args), "--attach " + App().m_strLogPath + "\n");
}

TEST(AboutBox, FiguresInFourDigitMegabytesAndNoOverflowBeyondFourGigabytes)
{
    EXPECT_EQ(CAboutDlg::MegabytesText(512ull * 1048576), " 512 Mb");
    EXPECT_EQ(CAboutDlg::MegabytesText(6ull * 1024 * 1048576), "6144 Mb");
    EXPECT_EQ(CAboutDlg::MegabytesText(300ull * 1024 * 1048576), "307200 Mb");
    EXPECT_GT(CAboutDlg::PhysicalMemoryBytes(), 0u);

    CAboutDlg about;
    EXPECT_EQ(static_cast<QLabel*>(about.Control(IDC_ABOUT_WEB))->text().toStdString(), App().m_strWebSite);
    EXPECT_TRUE(static_cast<QLabel*>(about.Control(IDC_ABOUT_MEMORY))->text().endsWith(" Mb"));
}

}  // namespace

#include "test_shell.moc"
