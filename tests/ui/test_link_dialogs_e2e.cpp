// The link's windows against tavrel-sim: "Auto-configure" of the Communication
// dialog finds a receiver at a rate the settings do not name and stores it, a
// Repair chosen in the Change communication window changes a relayed board's
// rate, and the identification window of a transfer steps its LEDs through
// the attempts.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>

// The engine's end-to-end fixture (environment, request, simulator, engine).
// Each GUI test executable is built from its one file, so the fixture's
// definitions come in here.
#define TAVREL_FIXTURE_OWN_MAIN
#include "engine/EngineFixture.cpp"

#include "app/IniFile.h"
#include "app/UpdateApp.h"
#include "link/ChangeComm.h"
#include "ui/ReplyDlg.h"
#include "ui/controls/Led.h"
#include "ui/controls/StateLabel.h"
#include "ui/link/AutoConfigWindow.h"
#include "ui/link/ChangeCommWindow.h"
#include "ui/link/CommunicationWindow.h"
#include "ui/link/LinkDialogs.h"
#include "LinkTestUtil.h"

namespace {

// The engine's test host with the link's windows, as the Qt host has them.
class CLinkWindowHost : public CEngineTestHost {
public:
    CLinkWindowHost() : identWindow(dynamic_cast<CAutoConfigWindow*>(CreateIdentDialogWindow(nullptr))) {}

    IAutoConfigView* IdentDialogView() override { return identWindow.get(); }
    int RunChangeCommDialog(CChangeCommDlg& dialog) override
    {
        ++changeCommRuns;
        return ExecChangeCommDialog(dialog, nullptr);
    }
    int RunCommunicationDialog(CCommunicationDlg& dialog) override
    {
        ++communicationRuns;
        return ExecCommunicationDialog(dialog, nullptr);
    }

    std::unique_ptr<CAutoConfigWindow> identWindow;
};

class LinkDialogsE2E : public EngineE2E {
protected:
    void SetUp() override
    {
        EngineE2E::SetUp();
        hostScope.reset();
        hostScope = std::make_unique<CHostScope>(windowHost);
        windowHost.defaultAnswer = ANSWER_NO;
        ASSERT_NE(windowHost.identWindow, nullptr);
    }
    void TearDown() override
    {
        EngineE2E::TearDown();
        App().m_bLogOk = false;   // the log lies in the test's directory
    }

    std::string Saved(const std::string& section, const std::string& key) const
    {
        CIniFile ini;
        if (!ini.Load(App().IniPath())) return "(no file)";
        return ini.GetString(section, key, "(none)");
    }
    // The board's own rate in the simulator's summary, once it reads `expected`
    // (the summary is written at most ten times a second) or after 2 s.
    long SimBoardRate(const std::string& board, long expected)
    {
        long rate = 0;
        QElapsedTimer clock;
        clock.start();
        do {
            const nlohmann::json stats = SimStats();
            if (stats.is_object())
                for (const auto& b : stats["boards"])
                    if (b.value("name", "") == board) rate = b.value("rate", 0L);
            if (rate == expected) break;
            QTest::qWait(50);
        } while (clock.elapsed() < 2000);
        return rate;
    }
    void RunUntilIdle()
    {
        while (!engine->IsIdle()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    CLinkWindowHost windowHost;
};

nlohmann::json CpuLine()
{
    return {{"board_name", "CPU"}, {"env_name", "DEMO"}, {"subassy_hardw", "10"}, {"board_index", 0},
            {"release_file", "cpu.s19"}, {"soft_id", "CPU0200"}, {"board_alone", true},
            {"restart", true}, {"transfer_speed", "115200"}, {"config_speed", "9600"}};
}

nlohmann::json GpsLine()
{
    return {{"board_name", "GPS"}, {"env_name", "DEMO"}, {"subassy_hardw", "20"}, {"board_index", 1},
            {"release_file", "gps.s19"}, {"soft_id", "GPS0200"}, {"board_alone", false},
            {"restart", true}, {"transfer_speed", "57600"}, {"config_speed", "9600"}};
}

TEST_F(LinkDialogsE2E, AutoConfigureFindsTheReceiverAtAnUnnamedRateAndOkStoresIt)
{
    receiver["boards"][0]["rate"] = 57600;
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine()})));
    App().m_comm.devices[1] = tty;   // COM2 is the simulated receiver
    App().m_nAutoBaudMin = 38400;
    App().m_nAutoBaudMax = 115200;
    App().m_nAutoMaxTimeSec = 0;     // 600 s
    ASSERT_EQ(App().m_nBaudIndex, 3);
    CSerialLink commLink;
    commLink.ApplySettings(App().m_comm);

    std::string replyHardware;
    WhenOpen<CCommunicationWindow>([&](CCommunicationWindow& window) {
        As<QComboBox>(window.Control(CCommunicationWindow::CTRL_PORT_LIST))->setCurrentIndex(1);
        As<QComboBox>(window.Control(CCommunicationWindow::CTRL_RATE_LIST))->setCurrentIndex(5);   // 38400
        WhenOpen<CReplyDlg>([&](CReplyDlg& reply) {
            auto* list = As<QTreeWidget>(reply.Control(CReplyDlg::IDC_LIST));
            if (list->topLevelItemCount() > 0) replyHardware = list->topLevelItem(0)->text(1).toStdString();
            QTest::mouseClick(reply.Control(CReplyDlg::IDC_OK), Qt::LeftButton);
        });
        QTest::mouseClick(window.Control(CCommunicationWindow::CTRL_AUTO_CONFIGURE), Qt::LeftButton);
        EXPECT_EQ(As<QLabel>(window.Control(CCommunicationWindow::CTRL_CONNECTION))->text(), "COM2:57600,n,8,2");
        EXPECT_EQ(As<QComboBox>(window.Control(CCommunicationWindow::CTRL_RATE_LIST))->currentIndex(), 6);
        QTest::mouseClick(window.Control(CCommunicationWindow::CTRL_OK), Qt::LeftButton);
    });
    EXPECT_TRUE(RunCommunicationCommand(commLink));
    EXPECT_EQ(windowHost.communicationRuns, 1);
    EXPECT_EQ(replyHardware, "CM10");
    EXPECT_TRUE(windowHost.boxes.empty());
    EXPECT_EQ(App().m_nPortIndex, 1);
    EXPECT_EQ(App().m_nBaudIndex, 6);
    EXPECT_EQ(Saved("Communication", "PORTNUM"), "2");
    EXPECT_EQ(Saved("Communication", "BAUDRATE"), "57600");
    EXPECT_EQ(Saved("Miscellaneous", "Auto speed min. range"), "38400");
    EXPECT_FALSE(commLink.IsOpen());
    EXPECT_TRUE(LogHas(">$PKVR,IDENT<"));
}

TEST_F(LinkDialogsE2E, RepairChosenInTheWindowChangesARelayedBoardsRate)
{
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine()})));
    WhenOpen<CChangeCommWindow>([](CChangeCommWindow& window) {
        auto* boards = As<QComboBox>(window.Control(CChangeCommWindow::CTRL_BOARD_LIST));
        auto* ports = As<QComboBox>(window.Control(CChangeCommWindow::CTRL_PORT_LIST));
        auto* rates = As<QComboBox>(window.Control(CChangeCommWindow::CTRL_RATE_LIST));
        EXPECT_EQ(boards->count(), 2);
        EXPECT_EQ(boards->currentText(), "GPS");
        EXPECT_EQ(ports->currentText(), "Port B");
        EXPECT_TRUE(ports->isEnabled());
        EXPECT_EQ(rates->currentText(), "57600");   // the line's transfer speed
        rates->setCurrentIndex(5);                   // 38400
        QTest::mouseClick(window.Control(CChangeCommWindow::CTRL_RUN), Qt::LeftButton);
    });
    engine->StartRepair();
    RunUntilIdle();
    EXPECT_EQ(windowHost.changeCommRuns, 1);
    EXPECT_EQ(engine->LastRepairResult(), 1);
    EXPECT_EQ(SimBoardRate("GPS", 38400), 38400);
    EXPECT_TRUE(LogHas(">$PKVR,HARDRS,,,B,38400<"));
    EXPECT_NE(windowHost.lastReply.find("GP20"), std::string::npos) << windowHost.lastReply;
}

TEST_F(LinkDialogsE2E, IdentificationWindowOfATransferStepsThroughTheAttempts)
{
    // The link starts at 19200, the board answers at 9600 but not at once:
    // it lets the sweep's question go, so the careful scan makes its three
    // unanswered attempts twice at 19200, then the rate changes.
    Setting("Communication", "BAUDRATE=19200");
    receiver["boards"][0]["faults"]["no_answer"] = {{{"sentence", "$PKVR,IDENT"}, {"times", 1}}};
    StartSim();
    MakeRelease("cpu.s19", 1000, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine()})));
    App().m_nAutoBaudMax = 19200;

    CAutoConfigWindow& window = *windowHost.identWindow;
    std::set<std::string> seen;   // "blink:<led>", "failed:<led>", "title:<title>", "text:<connection>"
    QTimer watch;
    watch.setInterval(25);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!window.isVisible()) return;
        seen.insert("title:" + window.windowTitle().toStdString());
        seen.insert("text:" + As<CStateLabel>(window.Control(CAutoConfigWindow::CTRL_CONNECTION))->Text().toStdString());
        for (int led = 0; led < 3; ++led) {
            if (window.Led(led)->IsBlinking()) seen.insert("blink:" + std::to_string(led));
            if (window.Led(led)->Image() == LED_IMAGE_FAILED) seen.insert("failed:" + std::to_string(led));
        }
        if (window.Led(3)->isVisible()) seen.insert("LED 3 shown");
    });
    watch.start();
    RunTransfer();
    watch.stop();

    // The third failed attempt puts every LED back to idle at once, so LED 2
    // never stays on its failed image.
    const std::string expected[] = {"blink:0", "blink:1", "blink:2", "failed:0", "failed:1",
                                    "title:Query auto configure", "text:" + tty + ",19200,n,8,2",
                                    "text:" + tty + ",9600,n,8,2"};
    for (const std::string& state : expected) EXPECT_EQ(seen.count(state), 1u) << state;
    EXPECT_EQ(seen.count("LED 3 shown"), 0u);
    EXPECT_FALSE(window.isVisible());
    // The last identification ended on an answer: its LED and the later ones show it.
    EXPECT_EQ(window.Led(2)->Image(), LED_IMAGE_BLINK_B);
    EXPECT_TRUE(ImageEquals("CPU", "cpu.s19"));
}

}  // namespace
