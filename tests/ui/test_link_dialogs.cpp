// The link's windows on the offscreen platform: Communication, Change
// communication, Auto configure and Auto configure properties — their fields,
// lists, enabling, title rules, lock box, spin button, OK and Cancel.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "app/IniFile.h"
#include "app/UpdateApp.h"
#include "common/ScriptedHost.h"
#include "common/TempDir.h"
#include "link/ChangeComm.h"
#include "link/SerialLink.h"
#include "ui/controls/Led.h"
#include "ui/controls/StateLabel.h"
#include "ui/link/AutoConfigPropsWindow.h"
#include "ui/link/AutoConfigWindow.h"
#include "ui/link/ChangeCommWindow.h"
#include "ui/link/CommunicationWindow.h"
#include "ui/link/LinkDialogs.h"
#include "LinkTestUtil.h"

namespace {

QStringList Items(QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

// The communication dialogs forwarded to the windows, as the Qt host does.
class CWindowHost : public CScriptedHost {
public:
    int RunCommunicationDialog(CCommunicationDlg& dialog) override
    {
        return ExecCommunicationDialog(dialog, nullptr);
    }
    int RunChangeCommDialog(CChangeCommDlg& dialog) override { return ExecChangeCommDialog(dialog, nullptr); }
};

// A pseudo-terminal whose far end nobody reads: a port that opens and never answers.
class CSilentPort {
public:
    CSilentPort()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_path = ::ptsname(m_master);
    }
    ~CSilentPort()
    {
        if (m_master >= 0) ::close(m_master);
    }
    const std::string& Path() const { return m_path; }

private:
    int m_master = -1;
    std::string m_path;
};

class LinkDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.Ok());
        App().SetConfigDir(dir.Path());
        App().m_comm = CCommSettings{};
        App().m_nPortIndex = 0;
        App().m_nBaudIndex = 3;
        App().m_bQueryAutoSpeed = true;
        App().m_bShowCommBox = true;
        App().m_nAutoBaudMin = 4800;
        App().m_nAutoBaudMax = 115200;
        App().m_nAutoMaxTimeSec = 120;
        link.SetPortNumber(2);
        link.SetBaudRate(57600);
    }
    std::string Saved(const std::string& section, const std::string& key) const
    {
        CIniFile ini;
        if (!ini.Load(App().IniPath())) return "(no file)";
        return ini.GetString(section, key, "(none)");
    }

    CTempDir dir;
    CWindowHost host;
    CHostScope scope{host};
    CSerialLink link;
};

// --- Communication ------------------------------------------------------------------------

TEST_F(LinkDialogs, CommunicationShowsTheLinkAndTheSettings)
{
    struct Row {
        bool queryAuto;
        bool showAtStartUp;
        const char* caption;
        bool propertiesEnabled;
    } rows[] = {{true, true, "Auto-configure", true}, {false, false, "Query", false}};
    App().m_comm.devices[1] = "/dev/ttyUSB7";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caption);
        App().m_bQueryAutoSpeed = row.queryAuto;
        App().m_bShowCommBox = row.showAtStartUp;
        CCommunicationDlg logic(link);
        logic.Initialise();
        CCommunicationWindow window(logic, nullptr);
        auto* ports = As<QComboBox>(window.Control(CCommunicationWindow::CTRL_PORT_LIST));
        auto* rates = As<QComboBox>(window.Control(CCommunicationWindow::CTRL_RATE_LIST));
        EXPECT_EQ(ports->count(), 8);
        EXPECT_EQ(ports->itemText(0), "COM1 (/dev/ttyS0)");
        EXPECT_EQ(ports->itemText(1), "COM2 (/dev/ttyUSB7)");
        EXPECT_EQ(ports->currentIndex(), 1);
        EXPECT_EQ(Items(rates), (QStringList{"300", "1200", "4800", "9600", "19200", "38400", "57600", "115200",
                                             "128000", "256000"}));
        EXPECT_EQ(rates->currentIndex(), 6);
        EXPECT_EQ(As<QLabel>(window.Control(CCommunicationWindow::CTRL_CONNECTION))->text(), "COM2:57600,n,8,2");
        auto* search = As<QPushButton>(window.Control(CCommunicationWindow::CTRL_AUTO_CONFIGURE));
        EXPECT_EQ(search->text(), row.caption);
        EXPECT_EQ(window.Control(CCommunicationWindow::CTRL_PROPERTIES)->isEnabled(), row.propertiesEnabled);
        EXPECT_EQ(As<QCheckBox>(window.Control(CCommunicationWindow::CTRL_SHOW_AT_START_UP))->isChecked(),
                  row.showAtStartUp);
        for (int id : {1, 2, 259, 294, 296, 399, 401, 413}) {
            QWidget* control = window.Control(id);
            ASSERT_NE(control, nullptr) << id;
            EXPECT_FALSE(control->objectName().isEmpty()) << id;
            EXPECT_FALSE(control->accessibleName().isEmpty()) << id;
        }
    }
}

TEST_F(LinkDialogs, CommunicationChoicesGoToTheLinkAtOnceAndCancelPutsThemBack)
{
    WhenOpen<CCommunicationWindow>([this](CCommunicationWindow& window) {
        As<QComboBox>(window.Control(CCommunicationWindow::CTRL_PORT_LIST))->setCurrentIndex(2);
        As<QComboBox>(window.Control(CCommunicationWindow::CTRL_RATE_LIST))->setCurrentIndex(4);
        EXPECT_EQ(link.PortNumber(), 3);
        EXPECT_EQ(link.BaudRate(), 19200u);
        EXPECT_EQ(As<QLabel>(window.Control(CCommunicationWindow::CTRL_CONNECTION))->text(), "COM3:19200,n,8,2");
        Click(window.Control(CCommunicationWindow::CTRL_CANCEL));
    });
    EXPECT_TRUE(RunCommunicationCommand(link));
    EXPECT_EQ(link.PortNumber(), 2);
    EXPECT_EQ(link.BaudRate(), 57600u);
    EXPECT_EQ(Saved("Communication", "PORTNUM"), "2");
    EXPECT_EQ(Saved("Communication", "STOPBITS"), "2");
    EXPECT_TRUE(App().m_bShowCommBox);
}

TEST_F(LinkDialogs, CommunicationOkStoresTheChoicesAndTheStartUpBox)
{
    WhenOpen<CCommunicationWindow>([](CCommunicationWindow& window) {
        As<QComboBox>(window.Control(CCommunicationWindow::CTRL_RATE_LIST))->setCurrentIndex(7);
        Click(window.Control(CCommunicationWindow::CTRL_SHOW_AT_START_UP));
        Click(window.Control(CCommunicationWindow::CTRL_OK));
    });
    EXPECT_TRUE(RunCommunicationCommand(link));
    EXPECT_EQ(App().m_nBaudIndex, 7);
    EXPECT_FALSE(App().m_bShowCommBox);
    EXPECT_EQ(Saved("Communication", "BAUDRATE"), "115200");
    EXPECT_EQ(Saved("Miscellaneous", "Show the communications box"), "NO");
}

TEST_F(LinkDialogs, CommunicationWithAPortBeyondTheListSelectsNone)
{
    link.SetPortNumber(12);
    CCommunicationDlg logic(link);
    logic.Initialise();
    CCommunicationWindow window(logic, nullptr);
    EXPECT_EQ(As<QComboBox>(window.Control(CCommunicationWindow::CTRL_PORT_LIST))->currentIndex(), -1);
    As<QComboBox>(window.Control(CCommunicationWindow::CTRL_RATE_LIST))->setCurrentIndex(3);
    EXPECT_EQ(link.PortNumber(), 12);   // kept, not replaced by a port nobody chose
    EXPECT_EQ(link.BaudRate(), 9600u);
}

TEST_F(LinkDialogs, AutoConfigureWithoutAnswerShowsMessage93)
{
    App().m_nAutoMaxTimeSec = 2;
    App().m_nAutoBaudMin = App().m_nAutoBaudMax = 57600;
    CSilentPort port;
    ASSERT_FALSE(port.Path().empty());
    link.SetDevicePath(port.Path());
    CCommunicationDlg logic(link);
    logic.Initialise();
    CCommunicationWindow window(logic, nullptr);
    window.show();
    bool searchSeen = false;
    WhenOpen<CAutoConfigWindow>([&](CAutoConfigWindow& search) {
        searchSeen = true;
        EXPECT_EQ(search.windowTitle(), "Query auto configure");
        EXPECT_TRUE(search.isModal());
    });
    Click(window.Control(CCommunicationWindow::CTRL_AUTO_CONFIGURE));
    EXPECT_TRUE(searchSeen);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Unable to communicate with your remote system.\n");
    EXPECT_EQ(host.boxes[0].icon, ICON_STOP);
    EXPECT_EQ(logic.m_nBaudIndex, 6);
    EXPECT_EQ(link.BaudRate(), 57600u);
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(LinkDialogs, PropertiesButtonStoresTheRangeAndTimeOnOkOnly)
{
    CCommunicationDlg logic(link);
    logic.Initialise();
    CCommunicationWindow window(logic, nullptr);
    for (bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        WhenOpen<CAutoConfigPropsWindow>([ok](CAutoConfigPropsWindow& properties) {
            As<QComboBox>(properties.Control(CAutoConfigPropsWindow::CTRL_MIN_LIST))->setCurrentIndex(3);
            Click(properties.Control(CAutoConfigPropsWindow::CTRL_TIME_OUT));   // off
            Click(properties.Control(ok ? CAutoConfigPropsWindow::CTRL_OK : CAutoConfigPropsWindow::CTRL_CANCEL));
        });
        Click(window.Control(CCommunicationWindow::CTRL_PROPERTIES));
        EXPECT_EQ(App().m_nAutoBaudMin, ok ? 9600 : 4800);
        EXPECT_EQ(App().m_nAutoMaxTimeSec, ok ? 0 : 120);
        EXPECT_EQ(App().m_nAutoBaudMax, 115200);
    }
}

// --- Auto configure properties -------------------------------------------------------------

TEST_F(LinkDialogs, PropertiesShowTheRangeAndTheTime)
{
    struct Row {
        int min, max, seconds;
        int minIndex, maxIndex;
        bool on;
        const char* text;
    } rows[] = {
        {4800, 115200, 120, 2, 7, true, "2min"},
        {9600, 256000, 0, 3, 9, false, "10s"},
        {2400, 57600, 95, -1, 6, true, "1min 35s"},   // a rate off the list selects nothing
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        CAutoConfigPropsDlg logic(row.min, row.max, row.seconds);
        CAutoConfigPropsWindow window(logic, nullptr);
        EXPECT_EQ(As<QComboBox>(window.Control(CAutoConfigPropsWindow::CTRL_MIN_LIST))->currentIndex(), row.minIndex);
        EXPECT_EQ(As<QComboBox>(window.Control(CAutoConfigPropsWindow::CTRL_MAX_LIST))->currentIndex(), row.maxIndex);
        EXPECT_EQ(As<QCheckBox>(window.Control(CAutoConfigPropsWindow::CTRL_TIME_OUT))->isChecked(), row.on);
        EXPECT_EQ(window.Control(CAutoConfigPropsWindow::CTRL_SPIN)->isEnabled(), row.on);
        EXPECT_EQ(window.Control(CAutoConfigPropsWindow::CTRL_TIME_TEXT)->isEnabled(), row.on);
        EXPECT_EQ(As<QLineEdit>(window.Control(CAutoConfigPropsWindow::CTRL_TIME_TEXT))->text(), row.text);
    }
}

TEST_F(LinkDialogs, PropertiesSpinStopsAt10And600Seconds)
{
    CAutoConfigPropsDlg logic(4800, 115200, 30);
    CAutoConfigPropsWindow window(logic, nullptr);
    window.show();
    auto* spin = As<CTimeSpinBox>(window.Control(CAutoConfigPropsWindow::CTRL_SPIN));
    auto* text = As<QLineEdit>(window.Control(CAutoConfigPropsWindow::CTRL_TIME_TEXT));
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(logic.Seconds(), 35);
    EXPECT_EQ(text->text(), "35s");
    for (int i = 0; i < 200; ++i) QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(logic.Seconds(), 600);
    EXPECT_EQ(text->text(), "10min");
    for (int i = 0; i < 200; ++i) QTest::keyClick(spin, Qt::Key_Down);
    EXPECT_EQ(logic.Seconds(), 10);
    EXPECT_EQ(text->text(), "10s");

    // A time typed in either form is taken, within the bounds.
    for (auto [typed, seconds] : {std::pair{"1min 35s", 95}, {"4min", 240}, {"75", 75}, {"2", 10}}) {
        text->selectAll();
        QTest::keyClicks(text, typed);
        spin->interpretText();
        EXPECT_EQ(logic.Seconds(), seconds) << typed;
    }
    EXPECT_EQ(CTimeSpinBox::ParseTime("12 apples"), -1);

    QCheckBox* timeOut = As<QCheckBox>(window.Control(CAutoConfigPropsWindow::CTRL_TIME_OUT));
    Click(timeOut);
    EXPECT_FALSE(spin->isEnabled());
    EXPECT_EQ(logic.StoredSeconds(), 0);
    Click(timeOut);
    EXPECT_TRUE(spin->isEnabled());
}

TEST_F(LinkDialogs, PropertiesWithTheMaximumBelowTheMinimumStayOpen)
{
    CAutoConfigPropsDlg logic(4800, 115200, 30);
    CAutoConfigPropsWindow window(logic, nullptr);
    auto* minList = As<QComboBox>(window.Control(CAutoConfigPropsWindow::CTRL_MIN_LIST));
    auto* maxList = As<QComboBox>(window.Control(CAutoConfigPropsWindow::CTRL_MAX_LIST));
    int result = -1;
    WhenOpen<CAutoConfigPropsWindow>([&](CAutoConfigPropsWindow& open) {
        minList->setCurrentIndex(6);   // 57600
        maxList->setCurrentIndex(4);   // 19200
        Click(open.Control(CAutoConfigPropsWindow::CTRL_OK));
        EXPECT_TRUE(open.isVisible());
        EXPECT_TRUE(minList->hasFocus());
        ASSERT_EQ(host.boxes.size(), 1u);
        EXPECT_EQ(host.boxes[0].text, "Min. baud rate and Max. baud rate are incompatible values !");
        EXPECT_EQ(host.boxes[0].icon, ICON_STOP);
        EXPECT_EQ(host.beeps, std::vector<BeepKind>{BEEP_STOP});
        maxList->setCurrentIndex(7);
        Click(open.Control(CAutoConfigPropsWindow::CTRL_OK));
    });
    result = window.exec();
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(logic.MinRate(), 57600);
    EXPECT_EQ(logic.MaxRate(), 115200);
}

// --- Change communication -------------------------------------------------------------------

TEST_F(LinkDialogs, ChangeCommunicationListsAndEnabling)
{
    const ChangeCommLine gps{"GPS", false, 1, 4};
    const ChangeCommLine dsp{"DSP", false, 8, -1};
    const ChangeCommLine cpu{"CPU", true, 0, 7};
    struct Row {
        const char* name;
        std::vector<ChangeCommLine> lines;
        int currentBaud;
        QStringList boards;
        int board, port, rate;
        bool portOn, rateOn, runOn;
        int focus;
    } rows[] = {
        {"no board lines", {}, 5, {"Connected system"}, 0, -1, 5, false, true, true, CChangeCommDlg::CTRL_RATE_LIST},
        {"no rate known", {}, -1, {"Connected system"}, 0, -1, -1, false, true, false,
         CChangeCommDlg::CTRL_RATE_LIST},
        {"Dpram line", {dsp, cpu}, 3, {"Connected system", "DSP", "CPU"}, 1, 8, -1, true, false, true, 0},
        {"port line", {gps}, 3, {"Connected system", "GPS"}, 1, 1, 4, true, true, true, 0},
        {"board alone", {cpu}, 3, {"Connected system", "CPU"}, 1, 0, 7, false, true, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CChangeCommDlg logic;
        logic.SetUp(!row.lines.empty(), true, row.lines, row.currentBaud);
        logic.Initialise();
        CChangeCommWindow window(logic, nullptr);
        window.show();
        QApplication::setActiveWindow(&window);
        auto* boards = As<QComboBox>(window.Control(CChangeCommWindow::CTRL_BOARD_LIST));
        auto* ports = As<QComboBox>(window.Control(CChangeCommWindow::CTRL_PORT_LIST));
        auto* rates = As<QComboBox>(window.Control(CChangeCommWindow::CTRL_RATE_LIST));
        EXPECT_EQ(Items(boards), row.boards);
        EXPECT_EQ(ports->count(), 25);
        EXPECT_EQ(ports->itemText(0), "Port A");
        EXPECT_EQ(ports->itemText(8), "Dpram 1");
        EXPECT_EQ(rates->count(), 10);
        EXPECT_EQ(boards->currentIndex(), row.board);
        EXPECT_EQ(ports->currentIndex(), row.port);
        EXPECT_EQ(rates->currentIndex(), row.rate);
        EXPECT_EQ(ports->isEnabled(), row.portOn);
        EXPECT_EQ(window.Control(CChangeCommWindow::CTRL_PORT_LABEL)->isEnabled(), row.portOn);
        EXPECT_EQ(rates->isEnabled(), row.rateOn);
        EXPECT_EQ(window.Control(CChangeCommWindow::CTRL_RATE_LABEL)->isEnabled(), row.rateOn);
        EXPECT_EQ(window.Control(CChangeCommWindow::CTRL_RUN)->isEnabled(), row.runOn);
        if (row.focus != 0) {
            EXPECT_TRUE(window.Control(row.focus)->hasFocus());
        }
        window.hide();
    }
}

TEST_F(LinkDialogs, ChangeCommunicationFollowsTheBoardChoiceAndRunsOnlyWhenComplete)
{
    CChangeCommDlg logic;
    logic.SetUp(true, true, {{"GPS", false, 1, -1}, {"DSP", false, 8, -1}}, 4);
    logic.Initialise();
    WhenOpen<CChangeCommWindow>([](CChangeCommWindow& window) {
        auto* boards = As<QComboBox>(window.Control(CChangeCommWindow::CTRL_BOARD_LIST));
        auto* ports = As<QComboBox>(window.Control(CChangeCommWindow::CTRL_PORT_LIST));
        auto* rates = As<QComboBox>(window.Control(CChangeCommWindow::CTRL_RATE_LIST));
        QWidget* run = window.Control(CChangeCommWindow::CTRL_RUN);
        EXPECT_FALSE(run->isEnabled());   // the GPS line has no rate yet
        Click(run);
        EXPECT_TRUE(window.isVisible());
        boards->setCurrentIndex(0);   // the connected system takes the current rate
        EXPECT_EQ(rates->currentIndex(), 4);
        EXPECT_FALSE(ports->isEnabled());
        boards->setCurrentIndex(2);   // DSP on Dpram 1: no rate asked
        EXPECT_EQ(ports->currentIndex(), 8);
        EXPECT_FALSE(rates->isEnabled());
        ports->setCurrentIndex(2);    // moved to port C: a rate is needed
        EXPECT_TRUE(rates->isEnabled());
        EXPECT_FALSE(run->isEnabled());
        rates->setCurrentIndex(6);
        EXPECT_TRUE(run->isEnabled());
        Click(run);
    });
    EXPECT_EQ(ExecChangeCommDialog(logic, nullptr), CChangeCommDlg::RESULT_RUN);
    EXPECT_EQ(logic.BoardChoice(), 2);
    EXPECT_EQ(logic.Destination(), 2);
    EXPECT_EQ(logic.BaudIndex(), 6);
    EXPECT_FALSE(logic.IsDirect());

    WhenOpen<CChangeCommWindow>([](CChangeCommWindow& window) {
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    EXPECT_EQ(ExecChangeCommDialog(logic, nullptr), CChangeCommDlg::RESULT_CANCEL);
}

// --- Auto configure --------------------------------------------------------------------------

TEST_F(LinkDialogs, AutoConfigureWindowTitleLockBoxLedsAndProgress)
{
    struct Row {
        bool offered, allowed;
        int titleId;
        const char* title;
        bool lockChecked;
    } rows[] = {
        {true, true, 0, "Query auto configure", false},
        {false, false, 0, "Query", true},
        {true, false, 0, "Query auto configure", true},   // the title tells what is offered
        {false, true, 59, "Re-start in progress", false},   // a caller's own title stays
    };
    link.SetBaudRate(9600);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        CAutoConfigWindow window(nullptr);
        CAutoConfigDlg logic(link, 0, &window);
        logic.SetRange(9600, 4800, 57600);
        logic.EnableLockOption(row.offered);
        logic.AllowSpeedChange(row.allowed);
        logic.SetTitle(row.titleId);
        logic.Initialise();
        auto* lock = As<QCheckBox>(window.Control(CAutoConfigWindow::CTRL_LOCK));
        EXPECT_EQ(window.windowTitle(), row.title);
        EXPECT_EQ(lock->isEnabled(), row.offered);
        EXPECT_EQ(lock->isChecked(), row.lockChecked);
        auto* progress = As<QProgressBar>(window.Control(CAutoConfigWindow::CTRL_PROGRESS));
        EXPECT_EQ(progress->maximum(), 15);   // three attempts at each of 4800 .. 57600
        EXPECT_EQ(progress->value(), 0);
        EXPECT_EQ(As<CStateLabel>(window.Control(CAutoConfigWindow::CTRL_CONNECTION))->Text().toStdString(), "COM2,9600,n,8,2");
        for (int led = 0; led < 4; ++led) {
            ASSERT_NE(window.Led(led), nullptr);
            EXPECT_EQ(window.Led(led)->Image(), 1) << led;
            EXPECT_EQ(window.Control(CAutoConfigWindow::CTRL_LED_FIRST + led), window.Led(led));
        }
        for (int led = 0; led < 3; ++led) EXPECT_EQ(window.Led(led)->Period(), 200);
        EXPECT_TRUE(window.Led(3)->isHidden());
        logic.OnCancel();
    }
}

TEST_F(LinkDialogs, LockBoxSetsTheTitleAndTheLog)
{
    const std::string log = dir.File("Tavrel.log");
    App().SetLogPath(log);
    ASSERT_TRUE(App().OpenLog());
    CAutoConfigWindow window(nullptr);
    CAutoConfigDlg logic(link, 0, &window);
    window.Attach(&logic);
    logic.Initialise();
    window.show();
    auto* lock = As<QCheckBox>(window.Control(CAutoConfigWindow::CTRL_LOCK));
    Click(lock);
    EXPECT_TRUE(logic.SpeedChangeLocked());
    EXPECT_EQ(window.windowTitle(), "Query");
    Click(lock);
    EXPECT_FALSE(logic.SpeedChangeLocked());
    EXPECT_EQ(window.windowTitle(), "Query auto configure");
    const std::string text = dir.Read("Tavrel.log");
    const size_t off = text.find("Mode auto-configuration d\xc3\xa9sactiv\xc3\xa9 par l'utilisateur.\r\n");
    const size_t on = text.find("Mode auto-configuration autoris\xc3\xa9 par l'utilisateur.\r\n");
    EXPECT_NE(off, std::string::npos) << text;
    EXPECT_NE(on, std::string::npos) << text;
    EXPECT_LT(off, on);
    logic.OnCancel();
    App().m_bLogOk = false;
}

TEST_F(LinkDialogs, AutoConfigureCancelButtonAndEscapeEndTheRun)
{
    CSilentPort port;
    ASSERT_FALSE(port.Path().empty());
    link.SetDevicePath(port.Path());
    CAutoConfigWindow window(nullptr);
    for (bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Cancel");
        CAutoConfigDlg logic(link, 0, &window);
        logic.SetRange(57600, 57600, 57600);
        QTimer::singleShot(700, [&] {
            EXPECT_TRUE(window.isVisible());
            EXPECT_TRUE(window.Led(0)->IsBlinking());
            if (escape)
                QTest::keyClick(&window, Qt::Key_Escape);
            else
                Click(window.Control(CAutoConfigWindow::CTRL_CANCEL));
        });
        EXPECT_EQ(logic.RunModal(), AUTOCONFIG_CANCELLED);
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(window.Logic(), nullptr);
        EXPECT_EQ(link.BaudRate(), 57600u);
        EXPECT_FALSE(link.IsOpen());
    }
}

TEST_F(LinkDialogs, ProgressStartsOverPastItsEnd)
{
    CAutoConfigWindow window(nullptr);
    window.SetProgressRange(3);
    auto* progress = As<QProgressBar>(window.Control(CAutoConfigWindow::CTRL_PROGRESS));
    std::vector<int> seen;
    for (int step = 0; step < 5; ++step) {
        window.StepProgress();
        seen.push_back(progress->value());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 0, 1}));
}

TEST_F(LinkDialogs, ScreenshotsOfTheFourWindows)
{
    GrabLinkDialogs(QString::fromStdString(dir.Path()));
    for (const char* name : {"communication", "change-communication", "auto-configure", "auto-configure-properties"}) {
        QPixmap picture;
        ASSERT_TRUE(picture.load(QString::fromStdString(dir.File(std::string(name) + ".png")))) << name;
        EXPECT_GT(picture.width(), 100) << name;
        EXPECT_GT(picture.height(), 50) << name;
    }
}

}  // namespace
