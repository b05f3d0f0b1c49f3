// The logic of the "Change communication" dialog (choices, enabling rule,
// results) and of the Communication command.
#include <gtest/gtest.h>

#include <functional>

#include "app/IniFile.h"
#include "app/UpdateApp.h"
#include "common/ScriptedHost.h"
#include "common/TempDir.h"
#include "link/ChangeComm.h"
#include "link/SerialLink.h"

namespace {

constexpr int kPortB = 1;
constexpr int kDpram1 = 8;

struct ChangeCommRow {
    const char* name;
    std::vector<ChangeCommLine> lines;
    int currentBaud;
    std::function<void(CChangeCommDlg&)> choose;   // the user's changes after initialisation
    int board, destination, baud;
    bool portEnabled, rateEnabled, runEnabled, direct;
};

TEST(ChangeCommDlg, ChoicesAndEnablingRule)
{
    const ChangeCommLine gps{"GPS", false, kPortB, -1};
    const ChangeCommLine dsp{"DSP", false, kDpram1, -1};
    const ChangeCommLine cpu{"CPU", true, 0, 7};
    const ChangeCommRow rows[] = {
        {"without lines only the rate is asked", {}, 3, nullptr, 0, -1, 3, false, true, true, true},
        {"without lines Run needs a rate", {}, -1, nullptr, 0, -1, -1, false, true, false, true},
        {"Dpram line needs only a destination", {dsp}, 3, nullptr, 1, kDpram1, -1, true, false, true, false},
        {"Dpram line without destination", {dsp}, 3, [](CChangeCommDlg& d) { d.OnPortChanged(-1); },
         1, -1, -1, true, false, false, false},
        {"board alone is set directly", {cpu}, 3, nullptr, 1, 0, 7, false, true, true, true},
        {"port line without transfer speed", {gps}, 3, nullptr, 1, kPortB, -1, true, true, false, false},
        {"port line with a rate chosen", {gps}, 3, [](CChangeCommDlg& d) { d.OnRateChanged(5); },
         1, kPortB, 5, true, true, true, false},
        {"Dpram line moved to a port asks a rate", {dsp}, 3, [](CChangeCommDlg& d) { d.OnPortChanged(2); },
         1, 2, -1, true, true, false, false},
        {"back to the connected system takes the current rate", {gps, cpu}, 4,
         [](CChangeCommDlg& d) { d.OnBoardChanged(2); d.OnBoardChanged(0); }, 0, 0, 4, false, true, true, true},
        {"a board outside the list is ignored", {gps}, 3, [](CChangeCommDlg& d) { d.OnBoardChanged(2); },
         1, kPortB, -1, true, true, false, false},
    };
    for (const ChangeCommRow& row : rows) {
        SCOPED_TRACE(row.name);
        CChangeCommDlg dialog;
        dialog.SetUp(!row.lines.empty(), true, row.lines, row.currentBaud);
        dialog.Initialise();
        if (row.choose) row.choose(dialog);
        EXPECT_EQ(dialog.BoardChoice(), row.board);
        EXPECT_EQ(dialog.Destination(), row.destination);
        EXPECT_EQ(dialog.BaudIndex(), row.baud);
        EXPECT_EQ(dialog.PortListEnabled(), row.portEnabled);
        EXPECT_EQ(dialog.RateListEnabled(), row.rateEnabled);
        EXPECT_EQ(dialog.RunEnabled(), row.runEnabled);
        EXPECT_EQ(dialog.IsDirect(), row.direct);
    }
}

TEST(ChangeCommDlg, BoardListAndInitialFocus)
{
    CChangeCommDlg alone;
    alone.SetUp(false, false, {}, 3);
    alone.Initialise();
    EXPECT_EQ(alone.BoardListTexts(), std::vector<std::string>{"Connected system"});
    EXPECT_EQ(alone.InitialFocus(), CChangeCommDlg::CTRL_RATE_LIST);

    CChangeCommDlg withLines;
    withLines.SetUp(true, true, {{"GPS", false, kPortB, 6}, {"CPU", true, 0, 7}}, 3);
    withLines.Initialise();
    EXPECT_EQ(withLines.BoardListTexts(), (std::vector<std::string>{"Connected system", "GPS", "CPU"}));
    EXPECT_EQ(withLines.InitialFocus(), 0);   // a board line chosen: the focus stays
}

// --- the Communication command ------------------------------------------------------------

class CommunicationCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.Ok());
        App().SetConfigDir(dir.Path());
        App().m_comm = CCommSettings{};
        App().m_nPortIndex = 0;
        App().m_nBaudIndex = 3;
        App().m_bQueryAutoSpeed = true;
        link.SetPortNumber(1);
        link.SetBaudRate(9600);
    }
    std::string Saved(const std::string& key) const
    {
        CIniFile ini;
        if (!ini.Load(App().IniPath())) return "(no file)";
        return ini.GetString("Communication", key, "(none)");
    }

    CTempDir dir;
    CScriptedHost host;
    CHostScope scope{host};
    CSerialLink link;
};

TEST_F(CommunicationCommand, CancelAfterChoosingCom3PutsThePortBackAndSaves)
{
    host.onCommunication = [this](CCommunicationDlg& dialog) {
        dialog.OnSelectionChanged(2, dialog.m_nBaudIndex);
        EXPECT_EQ(link.PortNumber(), 3);   // the dialog writes its choices into the link
        EXPECT_EQ(dialog.ConnectionText(), "COM3:9600,n,8,2");
        return CCommunicationDlg::RESULT_CANCEL;
    };
    EXPECT_TRUE(RunCommunicationCommand(link));
    EXPECT_EQ(link.PortNumber(), 1);
    EXPECT_EQ(App().m_nPortIndex, 0);
    EXPECT_EQ(Saved("PORTNUM"), "1");
    EXPECT_EQ(Saved("PARITY"), "NO");
    EXPECT_EQ(Saved("BYTESIZE"), "8");
    EXPECT_EQ(Saved("STOPBITS"), "2");
}

TEST_F(CommunicationCommand, OkStoresTheChoicesAndSavesEvenUnchanged)
{
    host.onCommunication = [](CCommunicationDlg&) { return CCommunicationDlg::RESULT_OK; };
    EXPECT_TRUE(RunCommunicationCommand(link));
    EXPECT_EQ(Saved("STOPBITS"), "2");
    EXPECT_EQ(link.StopBits(), 2);

    host.onCommunication = [](CCommunicationDlg& dialog) {
        dialog.OnSelectionChanged(1, 4);
        dialog.m_bShowAtStartUp = false;
        return CCommunicationDlg::RESULT_OK;
    };
    EXPECT_TRUE(RunCommunicationCommand(link));
    EXPECT_EQ(App().m_nPortIndex, 1);
    EXPECT_EQ(App().m_nBaudIndex, 4);
    EXPECT_FALSE(App().m_bShowCommBox);
    EXPECT_EQ(Saved("PORTNUM"), "2");
    EXPECT_EQ(Saved("BAUDRATE"), "19200");
}

TEST_F(CommunicationCommand, PropertiesComeFromTheSettingsAndGoBackOnOk)
{
    struct Row {
        const char* name;
        int storedSeconds;
        bool timeOut;     // the "Time out" box when "OK" is pressed
        int spin;         // the spin button's change
        int wantShownSeconds;
        bool wantShownOn;
        int wantStored;
    } rows[] = {
        {"no time: box off at 10 s", 0, true, -2, 10, false, 20},
        {"a time: box on", 95, true, 1, 95, true, 90},
        {"box turned off stores 0", 95, false, 0, 95, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        App().m_nAutoBaudMin = 4800;
        App().m_nAutoBaudMax = 115200;
        App().m_nAutoMaxTimeSec = row.storedSeconds;
        CAutoConfigPropsDlg properties = CCommunicationDlg::PropertiesFromSettings();
        EXPECT_EQ(properties.Seconds(), row.wantShownSeconds);
        EXPECT_EQ(properties.TimeOutOn(), row.wantShownOn);
        EXPECT_EQ(properties.MinRate(), 4800);
        properties.SetTimeOut(row.timeOut);
        properties.Spin(row.spin);
        ASSERT_TRUE(properties.OnOk(9600, 57600));
        CCommunicationDlg::StoreProperties(properties);
        EXPECT_EQ(App().m_nAutoBaudMin, 9600);
        EXPECT_EQ(App().m_nAutoBaudMax, 57600);
        EXPECT_EQ(App().m_nAutoMaxTimeSec, row.wantStored);
    }
}

TEST_F(CommunicationCommand, SavedChoiceGoesToTheLinkAndTheSettings)
{
    ASSERT_TRUE(SaveCommunicationChoice(link, 1, 6));
    EXPECT_EQ(link.PortNumber(), 2);
    EXPECT_EQ(link.BaudRate(), 57600u);
    EXPECT_EQ(App().m_nBaudIndex, 6);
    EXPECT_EQ(Saved("PORTNUM"), "2");
    EXPECT_EQ(Saved("BAUDRATE"), "57600");
    EXPECT_EQ(Saved("STOPBITS"), "2");

    App().SetConfigDir("/proc/tavrel-cannot-write-here");
    EXPECT_FALSE(SaveCommunicationChoice(link, 0, 3));
}

TEST_F(CommunicationCommand, CancelWithoutChangesSavesNothing)
{
    EXPECT_FALSE(RunCommunicationCommand(link));   // no dialog: cancelled
    EXPECT_EQ(Saved("PORTNUM"), "(no file)");
}

}  // namespace
