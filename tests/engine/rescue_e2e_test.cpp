// End-to-end: the rescue wait, the restore of the serial parameters and the
// Repair against tavrel-sim's rescue loader and power cycle.
#include <QCoreApplication>
#include <QTimer>
#include <QEventLoop>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/wait.h>

#include "EngineFixture.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "link/AutoConfig.h"
#include "link/ChangeComm.h"

namespace {

const std::string kDc2Logged = ">\x12<";

// An identification window whose operator presses Cancel once, when the scan
// has tried `cancelAfterTries` times (0: never).
class CCancellingIdentView : public IAutoConfigView {
public:
    int cancelAfterTries = 0;
    void Attach(CAutoConfigDlg* logic) override
    {
        m_logic = logic;
        m_tries = 0;
    }
    void StepProgress() override
    {
        if (cancelAfterTries > 0 && ++m_tries == cancelAfterTries) {
            cancelAfterTries = 0;
            QTimer::singleShot(0, m_logic, [logic = m_logic] { logic->OnCancel(); });
        }
    }

private:
    CAutoConfigDlg* m_logic = nullptr;
    int m_tries = 0;
};

class CRescueTestHost : public CEngineTestHost {
public:
    CCancellingIdentView identView;

    IAutoConfigView* IdentDialogView() override { return &identView; }
};

nlohmann::json CpuLine()
{
    return {{"board_name", "CPU"}, {"env_name", "DEMO"}, {"subassy_hardw", "10"}, {"board_index", 0},
            {"release_file", "cpu.s19"}, {"soft_id", "CPU0200"}, {"board_alone", true},
            {"restart", true}, {"transfer_speed", "115200"}, {"config_speed", "9600"}};
}

nlohmann::json RelayedLine(const std::string& name, int boardIndex, const std::string& hardware,
                           const std::string& softId)
{
    return {{"board_name", name}, {"env_name", "DEMO"}, {"subassy_hardw", hardware},
            {"board_index", boardIndex}, {"release_file", "gps.s19"}, {"soft_id", softId},
            {"board_alone", false}, {"restart", true}, {"transfer_speed", "57600"},
            {"config_speed", "9600"}};
}

nlohmann::json GpsLine() { return RelayedLine("GPS", 1, "20", "GPS0200"); }

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class RescueE2E : public EngineE2E {
protected:
    void SetUp() override
    {
        EngineE2E::SetUp();
        hostScope.reset();
        hostScope = std::make_unique<CHostScope>(rhost);
        rhost.defaultAnswer = ANSWER_NO;
        Override("Miscellaneous", "Rescue enable", "YES");
        Override("Miscellaneous", "Rescue mode(sec.)", "10");
    }

    // One "key=value" line in its section, in place of any earlier one.
    void Override(const std::string& section, const std::string& key, const std::string& value)
    {
        const std::string prefix = key + "=";
        iniLines.erase(std::remove_if(iniLines.begin(), iniLines.end(),
                                      [&](const auto& entry) {
                                          return entry.first == section && entry.second.rfind(prefix, 0) == 0;
                                      }),
                       iniLines.end());
        Setting(section, prefix + value);
    }

    // The connected board supports the rescue mode; `broken` boards answer only
    // in their rescue loader; the operator's power cycle comes `cycleMs` after
    // the first call (0: nobody switches the receiver).
    void RescuableCpu(bool broken, int cycleMs)
    {
        envBoards[0]["subassy_id"] = "UC";
        // A restarted board comes back at its own rate: room for the rate search.
        envBoards[0]["restart_timeout"] = 30;
        receiver["boards"][0]["subassy"] = "UC";
        receiver["boards"][0]["rescue"] = {{"supported", true}, {"broken", broken}, {"window_ms", 4000},
                                           {"auto_power_cycle_ms", cycleMs}, {"rate", 9600},
                                           {"text", "UCRQ"}};
    }

    void RunUntilIdle()
    {
        while (!engine->IsIdle()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    void Run(void (CProcessEngine::*start)(int), int type)
    {
        (engine.get()->*start)(type);
        RunUntilIdle();
    }
    void RunRepair(std::function<int(CChangeCommDlg&)> choices)
    {
        rhost.onChangeComm = std::move(choices);
        engine->StartRepair();
        RunUntilIdle();
    }

    const CScriptedHost::Box* FindBox(const std::string& text) const
    {
        for (const auto& box : rhost.boxes)
            if (box.text.find(text) != std::string::npos) return &box;
        return nullptr;
    }
    std::string LastBox(const std::string& caption) const
    {
        for (auto it = rhost.boxes.rbegin(); it != rhost.boxes.rend(); ++it)
            if (it->caption == caption) return it->text;
        return {};
    }
    // `first` is logged before `second`.
    bool LoggedInOrder(const std::vector<std::string>& parts) const
    {
        const std::string log = Log();
        size_t at = 0;
        for (const std::string& part : parts) {
            at = log.find(part, at);
            if (at == std::string::npos) return false;
            ++at;
        }
        return true;
    }
    long SimBoardRate(const std::string& board) const
    {
        const nlohmann::json stats = SimStats();
        for (const auto& b : stats["boards"])
            if (b.value("name", "") == board) return b.value("rate", 0L);
        return 0;
    }

    CRescueTestHost rhost;
};

}  // namespace

// --- the rescue wait ------------------------------------------------------------------------

TEST_F(RescueE2E, RescueWaitRefusedThenTimedOut)
{
    RescuableCpu(true, 0);   // nobody switches the receiver
    Override("Miscellaneous", "Rescue mode(sec.)", "3");
    StartSim();
    MakeRelease("cpu.s19", 1000, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine()})));
    struct Row {
        MsgAnswer prompt;
        int endMessage;
        const char* box;   // caption of the box of the end message, "" for none
        int result;
        size_t minCalls, maxCalls;
    };
    const Row rows[] = {
        {ANSWER_CANCEL, 22, "", RESULT_ABORTED, 0, 0},
        {ANSWER_OK, 12, "Transfer", RESULT_NOT_UPDATED, 3, 5},   // one call a second
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.endMessage);
        const size_t callsBefore = Count(Log(), kDc2Logged);
        const size_t boxesBefore = rhost.boxes.size();
        rhost.QueueAnswer(row.prompt);
        Run(&CProcessEngine::StartTransfer, PROC_RESCUE_TRANSFER);
        EXPECT_EQ(engine->LastEndMessage(), row.endMessage);
        EXPECT_EQ(Line(0).m_nResult, row.result);
        const size_t calls = Count(Log(), kDc2Logged) - callsBefore;
        EXPECT_GE(calls, row.minCalls);
        EXPECT_LE(calls, row.maxCalls);
        const bool boxShown = std::any_of(rhost.boxes.begin() + static_cast<long>(boxesBefore), rhost.boxes.end(),
                                          [&](const auto& box) { return box.text == GetString(row.endMessage); });
        EXPECT_EQ(boxShown, *row.box != 0);
    }
    EXPECT_FALSE(LogHas(">$PKVR,IDENT"));   // the loader never answered the calls
}

TEST_F(RescueE2E, QueryWithoutAnswerOffersTheRescueModeAndRetries)
{
    RescuableCpu(true, 300);
    Override("Miscellaneous", "Query auto speed enable", "NO");
    Override("Miscellaneous", "Auto speed max. time", "3");
    Override("Miscellaneous", "CrLf before Ident", "NO");   // no line ends outside sentences
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine()})));
    rhost.QueueAnswer(ANSWER_YES);   // 153: retry in rescue mode
    rhost.QueueAnswer(ANSWER_OK);    // 149: the receiver is switched off and on
    Run(&CProcessEngine::StartQuery, PROC_QUERY);

    const CScriptedHost::Box* offer = FindBox(GetString(153));
    ASSERT_NE(offer, nullptr);
    EXPECT_EQ(offer->caption, "Query error");
    EXPECT_EQ(offer->buttons, MB_YES_NO);
    const CScriptedHost::Box* prompt = FindBox(GetString(149));
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(prompt->caption, "Switching to rescue mode");
    EXPECT_EQ(rhost.waitMessages.back(), "Enabling rescue mode");
    EXPECT_NE(rhost.lastReply.find("$PKVR,IDENT,2,2,UC10,UCRQ"), std::string::npos) << rhost.lastReply;
    // The wake-up character goes alone until the loader answers, then the ident query.
    EXPECT_TRUE(LoggedInOrder({"==( Query )====", "==( Query )====", kDc2Logged, ">$PKVR,IDENT<",
                               "$PKVR,IDENT,2,2,UC10,UCRQ"}));
    EXPECT_EQ(Count(Log(), "\r\n===============\r\n"), 1u);   // one end, of the rescue query
    EXPECT_EQ(App().m_nBaudIndex, 3);
    // Every ident query of the rescue wait ends with its line end: none is
    // left half-heard in front of the next one.
    EXPECT_EQ(SettledSimStats()["garbage_bytes"], 0);
}

// --- the rescue-mode transfer -------------------------------------------------------------

TEST_F(RescueE2E, RescueModeTransferLoadsTheBrokenBoard)
{
    RescuableCpu(true, 300);
    StartSim();
    const std::string release = MakeRelease("cpu.s19", 3000, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine()})));
    rhost.QueueAnswer(ANSWER_OK);
    Run(&CProcessEngine::StartTransfer, PROC_RESCUE_TRANSFER);

    EXPECT_EQ(Line(0).m_nResult, RESULT_OK);
    EXPECT_TRUE(ImageEquals("CPU", release));
    EXPECT_TRUE(LoggedInOrder({"==( Rescue mode )====", kDc2Logged, ">$PKVR,XSOFT,M,D<"}));
    EXPECT_EQ(App().m_nBaudIndex, 3);   // the rescue mode's 9600 stays
    EXPECT_EQ(SimStats()["boards"][0]["state"], "running");
}

TEST_F(RescueE2E, TransferFindingUcrqSwitchesToRescueModeAndLoadsTheNextBoardPlainly)
{
    RescuableCpu(true, 300);
    StartSim();
    const std::string cpu = MakeRelease("cpu.s19", 2000, 0x10000);
    const std::string gps = MakeRelease("gps.s19", 2000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(), GpsLine()})));
    rhost.QueueAnswer(ANSWER_OK);
    Run(&CProcessEngine::StartQuery, PROC_RESCUE_QUERY);   // leaves the board in its loader
    ASSERT_EQ(SimStats()["boards"][0]["state"], "rescue loader");

    Run(&CProcessEngine::StartTransfer, PROC_TRANSFER);
    // The loader's answer does not show the GPS: only the rescue mode goes on without it.
    EXPECT_EQ(FindBox("is not found"), nullptr);
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK);
    EXPECT_EQ(Line(1).m_nResult, RESULT_OK);
    EXPECT_TRUE(ImageEquals("CPU", cpu));
    EXPECT_TRUE(ImageEquals("GPS", gps));
    EXPECT_TRUE(LoggedInOrder({"$PKVR,IDENT,2,2,UC10,UCRQ", "**********************************",
                               ">$PKVR,XSOFT,M,B,B,1<"}));
}

// A transfer scans without a time limit: the operator cancels the search, and
// the transfer offers the rescue mode itself when the board supports it.
class CancelledIdentE2E : public RescueE2E {
protected:
    // `supported`: the board's definition names a rescue-capable board;
    // `answer`: the operator's answer to 153.
    void TransferCancelledAtIdentification(bool supported, MsgAnswer answer)
    {
        RescuableCpu(true, 300);
        if (!supported) envBoards[0]["subassy_id"] = "CM";
        rhost.identView.cancelAfterTries = 2;
        StartSim();
        release = MakeRelease("cpu.s19", 2000, 0x10000);
        ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine()})));
        rhost.QueueAnswer(answer);       // 153: retry in rescue mode
        rhost.QueueAnswer(ANSWER_OK);    // 149: the receiver is switched off and on
        Run(&CProcessEngine::StartTransfer, PROC_TRANSFER);
    }
    void ExpectOffer() const
    {
        const CScriptedHost::Box* offer = FindBox(GetString(153));
        ASSERT_NE(offer, nullptr);
        EXPECT_EQ(offer->caption, "Transfer");
        EXPECT_EQ(offer->buttons, MB_YES_NO);
    }
    void ExpectSilentEndWithoutLoad()
    {
        EXPECT_EQ(engine->LastEndMessage(), 22);
        EXPECT_EQ(Line(0).m_nResult, RESULT_NOT_UPDATED);
        EXPECT_FALSE(ImageEquals("CPU", release));
        EXPECT_FALSE(LogHas("==( Rescue mode )===="));
    }
    std::string release;
};

TEST_F(CancelledIdentE2E, YesLoadsTheBoardInRescueMode)
{
    TransferCancelledAtIdentification(true, ANSWER_YES);
    ExpectOffer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK);
    EXPECT_TRUE(ImageEquals("CPU", release));
    EXPECT_TRUE(LoggedInOrder({"**** Début du transfert", "==( Rescue mode )====", kDc2Logged, ">$PKVR,XSOFT,M,D<"}));
}

TEST_F(CancelledIdentE2E, NoEndsSilently)
{
    TransferCancelledAtIdentification(true, ANSWER_NO);
    ExpectOffer();
    ExpectSilentEndWithoutLoad();
}

TEST_F(CancelledIdentE2E, NoOfferForABoardWithoutRescueMode)
{
    TransferCancelledAtIdentification(false, ANSWER_YES);
    EXPECT_EQ(FindBox(GetString(153)), nullptr);
    ExpectSilentEndWithoutLoad();
}

// --- the restore of the serial parameters -------------------------------------------------

class RestoreE2E : public RescueE2E {
protected:
    // "Save transfer speed" 1 on the GPS; both boards keep the rates they are given.
    void SetUpRestore()
    {
        envBoards[1]["save_speed"] = "checked";
        receiver["boards"][0]["keeps_rate"] = true;
        receiver["boards"][1]["keeps_rate"] = true;
        StartSim();
        release = MakeRelease("gps.s19", 2000, 0x20000);
        ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine()})));
    }
    std::string release;
};

TEST_F(RestoreE2E, RelayedBoardGetsItsPortRateBack)
{
    SetUpRestore();
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK);
    EXPECT_TRUE(ImageEquals("GPS", release));
    EXPECT_NE(std::find(rhost.waitMessages.begin(), rhost.waitMessages.end(), "Restoring baud rate ..."),
              rhost.waitMessages.end());
    // Both sides of port B go back to the 19200 the CPU reported before the transfer.
    EXPECT_TRUE(LoggedInOrder({">$PKVR,XSOFT,M,E,B,1<", ">$PKVR,JOIN,,2,IO,B<", ">$PKVR,HARDRS,,,,19200<",
                               ">$PKVR,JOIN,B,0<", ">$PKVR,HARDRS,,,B,19200<"}));
    EXPECT_EQ(SimBoardRate("GPS"), 19200);
}

// A board two relays deep: every hop of the chain goes back to its own rate,
// hop by hop from the PC outwards, although every board keeps given rates.
TEST_F(RestoreE2E, ThreeBoardChainGetsEveryHopRateBack)
{
    AddNavBehindGps(true);
    for (auto& board : receiver["boards"]) board["keeps_rate"] = true;
    StartSim();
    release = MakeRelease("gps.s19", 2000, 0x30000);   // the release file of every relayed line
    ASSERT_TRUE(OpenRequest(nlohmann::json::array(
        {RelayedLine("NAV", 2, "30", "NAV0200")})));
    RunTransfer();

    EXPECT_EQ(Line(0).m_nResult, RESULT_OK);
    EXPECT_TRUE(ImageEquals("NAV", release));
    EXPECT_NE(std::find(rhost.waitMessages.begin(), rhost.waitMessages.end(), "Restoring baud rate ..."),
              rhost.waitMessages.end());
    // Port B (both sides), then port C through it, each at the rate reported before the transfer.
    EXPECT_TRUE(LoggedInOrder({">$PKVR,XSOFT,M,E,C,1<", ">$PKVR,HARDRS,,,,19200<", ">$PKVR,HARDRS,,,B,19200<",
                               ">$PKVR,JOIN,,2,IO,C<", ">$PKVR,HARDRS,,,,38400<", ">$PKVR,HARDRS,,,C,38400<"}));
    EXPECT_EQ(SimBoardRate("NAV"), 38400);
    EXPECT_EQ(SimBoardRate("GPS"), 19200);
    EXPECT_EQ(SimStats()["link_rate"], 9600);
}

TEST_F(RestoreE2E, CancelledRestoreEndsWith129)
{
    rhost.cancelWaitShowing = GetString(128);
    SetUpRestore();
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_BAD_SERIAL);
    EXPECT_EQ(engine->LastEndMessage(), 129);
    EXPECT_NE(FindBox(GetString(129)), nullptr);
    EXPECT_NE(LastBox("End of transfer").find("'GPS'    :  incorrect serial parameters."), std::string::npos);
}

// --- Repair ---------------------------------------------------------------------------------

TEST_F(RescueE2E, RepairOfTheConnectedBoardIsUsedByTheNextProcess)
{
    Override("Miscellaneous", "Query auto speed enable", "NO");
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine()})));
    RunRepair([](CChangeCommDlg& dialog) {
        dialog.OnBoardChanged(CChangeCommDlg::kConnectedSystem);
        dialog.OnRateChanged(4);   // 19200
        return 1;
    });
    EXPECT_EQ(engine->LastRepairResult(), 1);
    EXPECT_TRUE(LoggedInOrder({"==( Repair )====", ">$PKVR,HARDRS,,,,19200<", ">$PKVR,IDENT<"}));
    EXPECT_NE(rhost.lastReply.find("$PKVR,IDENT,4,1,CM10,CMB2"), std::string::npos) << rhost.lastReply;
    EXPECT_EQ(App().m_nBaudIndex, 4);
    std::ifstream ini(dir.Path() + "/config/Tavrel.ini");
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_NE(text.str().find("BAUDRATE=19200"), std::string::npos) << text.str();

    // The next process talks at the new rate at once (no rate search).
    rhost.lastReply.clear();
    RunQuery();
    EXPECT_TRUE(engine->QueryAnswered());
    EXPECT_EQ(SimStats()["link_rate"], 19200);
}

TEST_F(RescueE2E, RepairBehindAPortSetsTheBoardAndItsParentsPort)
{
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine()})));
    RunRepair([](CChangeCommDlg& dialog) {
        EXPECT_EQ(dialog.BoardChoice(), 1);
        EXPECT_TRUE(dialog.PortListEnabled());
        dialog.OnRateChanged(5);   // 38400
        return 1;
    });
    EXPECT_EQ(engine->LastRepairResult(), 1);
    EXPECT_TRUE(LoggedInOrder({">$PKVR,JOIN,,2,IO,B<", ">$PKVR,HARDRS,,,,38400<", ">$PKVR,JOIN,,0<",
                               ">$PKVR,JOIN,B,0<", ">$PKVR,HARDRS,,,B,38400<", ">$PKVR,IDENT,,,,,B<",
                               ">$PKVR,IDENT<"}));
    EXPECT_EQ(SimBoardRate("GPS"), 38400);
    EXPECT_EQ(App().m_nBaudIndex, 3);   // the connected board keeps its rate
    EXPECT_EQ(rhost.replyShown, 1);
}

TEST_F(RescueE2E, RepairBehindADpramSendsNoRate)
{
    envBoards.push_back({{"name", "DSP"}, {"subassy_id", "DS"}, {"subassy_hardw", "30"}, {"boot_loader", "DSB1"},
                         {"prog_id", 3}, {"relayed", true}, {"destination", "Dpram 1"}, {"processing", "Aucun"},
                         {"max_speed", "115200"}, {"erase_timeout", 10}, {"restart_timeout", 10},
                         {"parent_board", 0}, {"save_speed", "unchecked"}});
    receiver["boards"].push_back({{"name", "DSP"}, {"subassy", "DS"}, {"hardware", "30"}, {"boot_loader", "DSB1"},
                                  {"software", {"DSP0100"}}, {"parent", "CPU"}, {"letter", "I"}, {"progr_id", 3}});
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({RelayedLine("DSP", 2, "30", "DSP0200")})));
    RunRepair([](CChangeCommDlg& dialog) {
        EXPECT_TRUE(dialog.PortListEnabled());
        EXPECT_FALSE(dialog.RateListEnabled());
        return 1;
    });
    EXPECT_EQ(engine->LastRepairResult(), 1);
    EXPECT_TRUE(LoggedInOrder({">$PKVR,JOIN,,0<", ">$PKVR,JOIN,I,0<", ">$PKVR,IDENT,,,,,I<"}));
    EXPECT_FALSE(LogHas(">$PKVR,HARDRS"));
    EXPECT_FALSE(LogHas(">$PKVR,JOIN,,2,IO"));
}

// --- tavrel-cli rescue and repair --------------------------------------------------------------

TEST_F(RescueE2E, CliRescueGoesOnWithoutATerminalAndRepairSavesTheRate)
{
    RescuableCpu(true, 300);
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine()})));
    const std::string cli = std::string(TAVREL_BINARY_DIR) + "/src/tavrel-cli --config-dir '" + dir.Path() +
                            "/config' --log '" + dir.File("cli.log") + "' ";
    auto run = [&](const std::string& args, std::string& out) {
        const std::string command = cli + args + " --port '" + tty + "' </dev/null >'" + dir.File("out.txt") + "' 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream in(dir.File("out.txt"));
        std::stringstream text;
        text << in.rdbuf();
        out = text.str();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string out;
    EXPECT_EQ(run("rescue", out), 0) << out;
    EXPECT_NE(out.find("Click Ok then switch the receiver off"), std::string::npos) << out;
    EXPECT_NE(out.find("$PKVR,IDENT,2,2,UC10,UCRQ"), std::string::npos) << out;

    EXPECT_EQ(run("repair --connected --dest B --rate 19200", out), 2) << out;
    EXPECT_EQ(run("repair --connected --rate 19200", out), 0) << out;
    EXPECT_NE(out.find("Communication settings: " + tty + ":19200,n,8,2 (a path is not stored: the settings keep COM1)"),
              std::string::npos)
        << out;
    std::ifstream ini(dir.Path() + "/config/Tavrel.ini");
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_NE(text.str().find("BAUDRATE=19200"), std::string::npos) << text.str();
}
