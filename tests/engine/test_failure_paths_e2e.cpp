// End-to-end: every way a transfer can end leaves the receiver as the program
// found it (relays left, every rate it changed back), reports the real cause,
// and a query at the settings' rate then finds the whole tree. Also the reply
// time-outs of the step table, the checksum forms, the ident check at the
// start, the restart identification and the Repair's confirmation.
#include <QCoreApplication>

#include <fstream>
#include <functional>
#include <sstream>

#include "EngineFixture.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "link/ChangeComm.h"

namespace {

using demo::CpuLine;
using demo::GpsLine;

constexpr int kCpu = 0;
constexpr int kGps = 1;
const char* const kRestoredNote = "; Retour du récepteur à son état d'avant le transfert\r\n";

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What a case may change before the simulator starts.
struct Rig {
    nlohmann::json& receiver;
    nlohmann::json& env;
    CEngineTestHost& host;
    std::vector<std::pair<std::string, std::string>>& ini;   // section, "key=value"

    nlohmann::json& Faults(int board) { return receiver["boards"][board]["faults"]; }
};
using Injection = std::function<void(Rig&)>;

// The receiver's tests talk only at the settings' rate: what a failure
// leaves behind cannot be hidden by a rate search.
class ReceiverStateE2E : public EngineE2E {
protected:
    void SetUp() override
    {
        EngineE2E::SetUp();
        Setting("Miscellaneous", "Query auto speed enable=NO");
    }
    nlohmann::json& Faults(int board) { return receiver["boards"][board]["faults"]; }
    void Inject(const Injection& injection)
    {
        Rig rig{receiver, envBoards, host, iniLines};
        injection(rig);
    }

    // Starts the simulator and transfers one line of the board `board`.
    void TransferOneLine(int board, bool restart)
    {
        StartSim();
        MakeRelease(board == kGps ? "gps.s19" : "cpu.s19", 2000, board == kGps ? 0x20000 : 0x10000);
        ASSERT_TRUE(OpenRequest(nlohmann::json::array({board == kGps ? GpsLine(restart) : CpuLine(restart)})));
        RunTransfer();
    }
};

// --- failures and aborts of a relayed board --------------------------------------------------

struct FailureCase {
    const char* name;
    Injection inject;
    int endMessage;
    int result;
    const char* box;              // a box that names the cause ("" for none)
    const char* logged;           // a line of the log that shows the way back ("" for none)
    bool transferModeLeft;        // the fault keeps the board in transfer mode
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class RelayedFailure : public ReceiverStateE2E, public testing::WithParamInterface<FailureCase> {};

TEST_P(RelayedFailure, LeavesTheReceiverAsItWasAndReportsTheCause)
{
    const FailureCase& c = GetParam();
    Inject(c.inject);
    TransferOneLine(kGps, false);
    EXPECT_EQ(engine->LastEndMessage(), c.endMessage);
    EXPECT_EQ(Line(0).m_nResult, c.result);
    if (*c.box) {
        EXPECT_TRUE(HasBox(c.box)) << c.box;
    }
    // The report keeps the cause and comes after the way back.
    const std::string log = Log();
    const size_t restored = log.find(kRestoredNote);
    ASSERT_NE(restored, std::string::npos) << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
    EXPECT_LT(restored, log.find("; End of transfer\r\n"));
    if (*c.logged) {
        EXPECT_NE(log.find(c.logged, restored), std::string::npos) << c.logged;
    }
    EXPECT_FALSE(LogHas("Port série perdu"));
    ExpectReceiverAsConfigured(!c.transferModeLeft);
    ExpectQueryFindsTheTree();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RelayedFailure,
    testing::Values(
        FailureCase{"erase_fails", [](Rig& r) { r.Faults(kGps)["erase_fails"] = true; }, 36, RESULT_NOT_UPDATED,
                    "Error erasing memory.", ">$PKVR,XSOFT,M,A,B,1<", false},
        FailureCase{"erase_times_out",
                    [](Rig& r) {
                        r.env[kGps]["erase_timeout"] = 1;
                        r.receiver["boards"][kGps]["erase_ms"] = 3000;
                    },
                    12, RESULT_NOT_UPDATED, "Reception time-out", ">$PKVR,HARDRS,,,B,19200<", false},
        FailureCase{"erase_cancelled", [](Rig& r) { r.host.cancelWaitShowing = GetString(53); }, 22, RESULT_ABORTED,
                    "", ">$PKVR,XSOFT,M,A,B,1<", false},
        FailureCase{"invalid_reception",
                    [](Rig& r) {
                        r.Faults(kGps)["wrong_answer"] = {
                            {{"sentence", "$PKVR,XSOFT,P"}, {"answer", "$PKVR,XSOFT,E,-2"}}};
                    },
                    14, RESULT_NOT_UPDATED, "Process was aborted due to invalid reception.",
                    ">$PKVR,HARDRS,,,,19200<", false},
        FailureCase{"too_many_resends", [](Rig& r) { r.Faults(kGps)["stuck_at_block"] = 5; }, 19, RESULT_FAILED,
                    "Too many errors.", ">$PKVR,XSOFT,M,A,B,1<", false},
        FailureCase{"abort_key_in_the_data",
                    [](Rig& r) {
                        r.host.abortAfterBlock = 20;
                        r.host.QueueAnswer(ANSWER_YES);
                    },
                    22, RESULT_ABORTED, "Process aborted.", ">$PKVR,HARDRS,,,B,19200<", false},
        FailureCase{"checksum_mismatch", [](Rig& r) { r.Faults(kGps)["checksum_mismatch"] = true; }, 22,
                    RESULT_UNKNOWN, "Checksum error (", ">$PKVR,XSOFT,M,A,B,1<", false},
        FailureCase{"checksum_late",
                    [](Rig& r) {
                        r.ini.emplace_back("Times out", "Checksum reception (sec.)=1");
                        r.Faults(kGps)["checksum_delay_ms"] = 4000;
                    },
                    140, RESULT_UNKNOWN, "Time out waiting for checksum message.", ">$PKVR,XSOFT,M,A,B,1<", false},
        FailureCase{"checksum_of_five_fields",
                    [](Rig& r) {
                        r.Faults(kGps)["checksum_never"] = true;
                        r.Faults(kGps)["checksum_lines"] = {"$PKVR,XSOFT,C,2,1A2B"};
                    },
                    141, RESULT_UNKNOWN, "Incorrect checksum message.", ">$PKVR,XSOFT,M,A,B,1<", false},
        // Cancel in the checksum wait: the end of transfer mode is M,A, never M,E.
        FailureCase{"checksum_wait_cancelled",
                    [](Rig& r) {
                        r.Faults(kGps)["checksum_delay_ms"] = 3000;
                        r.host.cancelWaitShowing = GetString(76);
                    },
                    22, RESULT_ABORTED, "Process aborted.", ">$PKVR,XSOFT,M,A,B,1<", false},
        FailureCase{"end_of_transfer_mode_refused", [](Rig& r) { r.Faults(kCpu)["mode_end_denied"] = "C"; }, 88,
                    RESULT_UNKNOWN, "End-of-transfer mode error !", ">$PKVR,HARDRS,,,B,19200<", true}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// The abort gives port B back the 19200 it reported, not the PC's 9600, and
// takes the board out of transfer mode through its parent.
TEST_F(ReceiverStateE2E, AbortRestoresTheReportedPortRate)
{
    host.abortAfterBlock = 20;
    host.QueueAnswer(ANSWER_YES);
    TransferOneLine(kGps, false);
    EXPECT_EQ(engine->LastEndMessage(), 22);
    const std::string log = Log();
    const size_t restored = log.find(kRestoredNote);
    const size_t modeEnd = log.find(">$PKVR,XSOFT,M,A,B,1<");
    ASSERT_NE(modeEnd, std::string::npos);
    // The board is left first: the end of transfer mode goes to its parent.
    EXPECT_LT(log.find(">$PKVR,JOIN,B,0<", restored), modeEnd);
    EXPECT_NE(log.find(">$PKVR,HARDRS,,,B,19200<", modeEnd), std::string::npos);
    EXPECT_EQ(log.find(">$PKVR,HARDRS,,,B,9600<"), std::string::npos);
    EXPECT_FALSE(LogHas(">$PKVR,XSOFT,M,E,"));
    ExpectReceiverAsConfigured();
}

// A board two relays deep: every port and board of the chain goes back to
// the rate it had, and no relay stays joined.
class ChainFailure : public ReceiverStateE2E, public testing::WithParamInterface<FailureCase> {};

TEST_P(ChainFailure, EveryHopIsPutBack)
{
    const FailureCase& c = GetParam();
    AddNavBehindGps(false);
    Inject(c.inject);
    StartSim();
    MakeRelease("nav.s19", 3000, 0x30000);
    nlohmann::json nav = GpsLine(false);
    nav.update({{"board_name", "NAV"}, {"subassy_hardw", "30"}, {"board_index", 2}, {"release_file", "nav.s19"},
                {"soft_id", "NAV0200"}});
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({nav})));
    RunTransfer();
    EXPECT_EQ(engine->LastEndMessage(), c.endMessage);
    EXPECT_EQ(Line(0).m_nResult, c.result);
    EXPECT_TRUE(LogHas(kRestoredNote));
    EXPECT_TRUE(LogHas(c.logged)) << c.logged;
    ExpectReceiverAsConfigured();
    ExpectQueryFindsTheTree();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ChainFailure,
    testing::Values(FailureCase{"abort_key_in_the_data",
                                [](Rig& r) {
                                    r.host.abortAfterBlock = 20;
                                    r.host.QueueAnswer(ANSWER_YES);
                                },
                                22, RESULT_ABORTED, "", ">$PKVR,XSOFT,M,A,C,1<", false},
                    FailureCase{"erase_fails", [](Rig& r) { r.Faults(2)["erase_fails"] = true; }, 36,
                                RESULT_NOT_UPDATED, "", ">$PKVR,HARDRS,,,C,38400<", false}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// --- a board alone ---------------------------------------------------------------------------

struct AloneCase {
    const char* name;
    Injection inject;
    int endMessage;
    int result;
};

void PrintTo(const AloneCase& c, std::ostream* os) { *os << c.name; }

class AloneFailure : public ReceiverStateE2E, public testing::WithParamInterface<AloneCase> {};

TEST_P(AloneFailure, ConnectedBoardIsBackAtItsRate)
{
    const AloneCase& c = GetParam();
    Inject(c.inject);
    TransferOneLine(kCpu, false);
    EXPECT_EQ(engine->LastEndMessage(), c.endMessage);
    EXPECT_EQ(Line(0).m_nResult, c.result);
    const std::string log = Log();
    const size_t restored = log.find(kRestoredNote);
    ASSERT_NE(restored, std::string::npos);
    EXPECT_NE(log.find(">$PKVR,HARDRS,,,,9600<", restored), std::string::npos);
    // A board alone is taken out of transfer mode by nothing but its restart.
    ExpectReceiverAsConfigured(false);
    ExpectQueryFindsTheTree();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AloneFailure,
    testing::Values(AloneCase{"abort_key_in_the_data",
                              [](Rig& r) {
                                  r.host.abortAfterBlock = 20;
                                  r.host.QueueAnswer(ANSWER_YES);
                              },
                              22, RESULT_ABORTED},
                    AloneCase{"erase_fails", [](Rig& r) { r.Faults(kCpu)["erase_fails"] = true; }, 36,
                              RESULT_NOT_UPDATED},
                    AloneCase{"too_many_resends", [](Rig& r) { r.Faults(kCpu)["stuck_at_block"] = 5; }, 19,
                              RESULT_FAILED}),
    [](const testing::TestParamInfo<AloneCase>& info) { return std::string(info.param.name); });

// --- reply time-outs that the transfer survives, and the checksum forms it accepts ----------

struct SurvivedCase {
    const char* name;
    int board;
    const char* faults;       // the faults of `board`
    const char* boardFields;  // other fields of `board`
    const char* logged;       // a line of the log that shows the case happened
};

void PrintTo(const SurvivedCase& c, std::ostream* os) { *os << c.name; }

class Survived : public ReceiverStateE2E, public testing::WithParamInterface<SurvivedCase> {};

TEST_P(Survived, TransferEndsOkWithTheReceiverAsItWas)
{
    const SurvivedCase& c = GetParam();
    receiver["boards"][c.board]["faults"] = nlohmann::json::parse(c.faults);
    receiver["boards"][kGps].update(nlohmann::json::parse(c.boardFields));
    TransferOneLine(kGps, true);
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    EXPECT_EQ(engine->LastEndMessage(), 43);
    EXPECT_TRUE(LogHas(c.logged)) << c.logged;
    ExpectReceiverAsConfigured();
    ExpectQueryFindsTheTree();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Survived,
    testing::Values(
        // Step 14: the transfer-mode request unanswered, the join goes out anyway.
        SurvivedCase{"no_answer_at_step_14", kCpu, R"({"no_answer": [{"sentence": "$PKVR,XSOFT,M,B", "times": 1}]})",
                     "{}", ">$PKVR,JOIN,,2,IO,B<"},
        // Step 34: the end of transfer mode unanswered, the port goes back anyway.
        SurvivedCase{"no_answer_at_step_34", kCpu, R"({"no_answer": [{"sentence": "$PKVR,XSOFT,M,E", "times": 1}]})",
                     "{}", ">$PKVR,HARDRS,,,B,19200<"},
        SurvivedCase{"checksum_of_seven_fields", kGps, "{}", R"({"checksum_form": 7, "checksum_extra": "X"})",
                     "$PKVR,XSOFT,C,X,2,"},
        // A checksum message of another Progr.ID is not this board's: the wait goes on.
        SurvivedCase{"checksum_of_another_program_first", kGps,
                     R"({"checksum_lines": ["$PKVR,XSOFT,C,9,1111,2222"]})", "{}", "$PKVR,XSOFT,C,9,1111,2222"}),
    [](const testing::TestParamInfo<SurvivedCase>& info) { return std::string(info.param.name); });

// Steps 16, 19 and 24: the unanswered sentence ends the transfer with 12.
struct TimeOutCase {
    const char* name;
    int board;
    const char* sentence;
};

void PrintTo(const TimeOutCase& c, std::ostream* os) { *os << c.name; }

class ReplyTimeOut : public ReceiverStateE2E, public testing::WithParamInterface<TimeOutCase> {};

TEST_P(ReplyTimeOut, EndsWithReceptionTimeOut)
{
    const TimeOutCase& c = GetParam();
    Faults(c.board)["no_answer"] = {{{"sentence", c.sentence}}};
    TransferOneLine(kGps, false);
    EXPECT_EQ(engine->LastEndMessage(), 12);
    EXPECT_TRUE(HasBox(GetString(12)));
    EXPECT_EQ(Line(0).m_nResult, RESULT_NOT_UPDATED);
    ExpectReceiverAsConfigured();
    ExpectQueryFindsTheTree();
}

INSTANTIATE_TEST_SUITE_P(Steps, ReplyTimeOut,
                         testing::Values(TimeOutCase{"step_16", kGps, "$PKVR,XSOFT,M,D"},
                                         TimeOutCase{"step_19", kCpu, "$PKVR,HARDRS"},
                                         TimeOutCase{"step_24", kGps, "$PKVR,XSOFT,P"}),
                         [](const testing::TestParamInfo<TimeOutCase>& info) { return std::string(info.param.name); });

// --- a board alone whose destination is not a port -------------------------------------------

class DriveBoard : public ReceiverStateE2E, public testing::WithParamInterface<bool> {};

// It goes back to the rate it had before, not to index 0 (300 bit/s): the
// restarted board is found at once, a board without restart is told the rate.
TEST_P(DriveBoard, GoesBackToItsEarlierRate)
{
    const bool restart = GetParam();
    envBoards[kCpu]["destination"] = "C:\\";
    TransferOneLine(kCpu, restart);
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    for (const std::string& text : host.linkTexts) EXPECT_EQ(text.find(":300,"), std::string::npos) << text;
    if (!restart) {
        EXPECT_TRUE(LogHas(">$PKVR,HARDRS,,,,9600<"));
    }
    EXPECT_EQ(App().m_nBaudIndex, 3);
    ExpectReceiverAsConfigured(false);
    ExpectQueryFindsTheTree();
}

INSTANTIATE_TEST_SUITE_P(Restart, DriveBoard, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "restarted" : "not_restarted");
                         });

// --- "Save transfer speed" 1 without "Re-start" ----------------------------------------------

class SavedSpeedWithoutRestart : public ReceiverStateE2E, public testing::WithParamInterface<int> {};

TEST_P(SavedSpeedWithoutRestart, RatesAreRestoredAfterTheLoad)
{
    const int board = GetParam();
    envBoards[board]["save_speed"] = "checked";
    for (auto& b : receiver["boards"]) b["keeps_rate"] = true;
    TransferOneLine(board, false);
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    EXPECT_NE(std::find(host.waitMessages.begin(), host.waitMessages.end(), GetString(128)), host.waitMessages.end());
    EXPECT_EQ(EndReportBox().rfind(GetString(42), 0), 0u);
    ExpectReceiverAsConfigured(false);
    ExpectQueryFindsTheTree();
}

INSTANTIATE_TEST_SUITE_P(Boards, SavedSpeedWithoutRestart, testing::Values(kCpu, kGps),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == kCpu ? "board_alone" : "relayed");
                         });

// --- the restart identification searches the rates ------------------------------------------

class RestartIdentification : public ReceiverStateE2E, public testing::WithParamInterface<bool> {};

// A board alone on a port keeps the transfer rate on the program's side; the
// restarted board comes back at that rate or at its own, and is found either way.
TEST_P(RestartIdentification, FindsTheBoardAtTheRateItCameBackAt)
{
    const bool keepsRate = GetParam();
    receiver["boards"][kCpu]["keeps_rate"] = keepsRate;
    TransferOneLine(kCpu, true);
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    EXPECT_EQ(App().m_nBaudIndex, keepsRate ? 7 : 3);
    EXPECT_EQ(SettledSimStats()["link_rate"], keepsRate ? 115200 : 9600);
}

INSTANTIATE_TEST_SUITE_P(Rates, RestartIdentification, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "at_the_transfer_rate" : "at_its_default_rate");
                         });

// --- the ident check at the start -------------------------------------------------------------

class IdentCheck : public ReceiverStateE2E, public testing::WithParamInterface<MsgAnswer> {};

// The GPS line's board is not in the receiver: 137 is logged and asked with
// "Continue ?"; Yes loads the CPU line, No ends with 33.
TEST_P(IdentCheck, MissingRelayedBoardAsksWhetherToContinue)
{
    const MsgAnswer answer = GetParam();
    receiver["boards"].erase(1);
    StartSim();
    const std::string cpu = MakeRelease("cpu.s19", 1500, 0x10000);
    MakeRelease("gps.s19", 1500, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false), CpuLine(false)})));
    host.QueueAnswer(answer);
    RunTransfer();
    const std::string text = "The relayed \"GPS\" board  attached to \"Port B\" is not found, updating is impossible.\r\n";
    EXPECT_TRUE(LogHas("; " + text));
    EXPECT_TRUE(HasBox(text + GetString(23)));
    EXPECT_EQ(Line(0).m_nResult, RESULT_NOT_UPDATED);
    if (answer == ANSWER_YES) {
        EXPECT_EQ(Line(1).m_nResult, RESULT_OK);
        EXPECT_TRUE(ImageEquals("CPU", cpu));
    } else {
        EXPECT_EQ(engine->LastEndMessage(), 33);
        EXPECT_FALSE(LogHas(">$PKVR,XSOFT"));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, IdentCheck, testing::Values(ANSWER_YES, ANSWER_NO),
                         [](const testing::TestParamInfo<MsgAnswer>& info) {
                             return std::string(info.param == ANSWER_YES ? "yes" : "no");
                         });

// A single line whose board answers with another hardware version: 136 is
// shown, nothing is asked, the transfer ends with 33.
TEST_F(ReceiverStateE2E, SingleLineNotFoundEndsWith33)
{
    receiver["boards"][kCpu]["hardware"] = "11";
    TransferOneLine(kCpu, false);
    const std::string text = "The non-relayed \"CPU\" board  is not found, updating is impossible.\r\n";
    EXPECT_TRUE(HasBox(text));
    EXPECT_FALSE(HasBox(GetString(23)));
    EXPECT_EQ(engine->LastEndMessage(), 33);
    EXPECT_FALSE(LogHas(">$PKVR,XSOFT"));
}

// A rescue-mode transfer of a board that has no rescue loader is refused (144).
TEST_F(ReceiverStateE2E, RescueModeRefusedForABoardWithoutIt)
{
    StartSim();
    MakeRelease("cpu.s19", 1000, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(true)})));
    engine->StartTransfer(PROC_RESCUE_TRANSFER);
    while (!engine->IsIdle()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const std::string text = "The \"CPU\" board does not support the rescue mode !";
    ASSERT_TRUE(HasBox(text));
    EXPECT_EQ(host.boxes.front().caption, "Transfer");
    EXPECT_TRUE(LogHas("; " + text + "\r\n"));
    EXPECT_EQ(engine->LastEndMessage(), 22);
    EXPECT_FALSE(LogHas(">$PKVR"));
}

// --- tavrel-cli: the failure's own result in --json -------------------------------------------

TEST_F(ReceiverStateE2E, CliReportsAFailureAsSuch)
{
    Faults(kGps)["stuck_at_block"] = 5;
    StartSim();
    MakeRelease("gps.s19", 2000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    std::string out;
    EXPECT_EQ(RunCli("transfer '" + dir.Path() + "/request/demo.sfl' --json '" + dir.File("report.json") + "'", out), 1)
        << out;
    const nlohmann::json report = nlohmann::json::parse(ReadText(dir.File("report.json")), nullptr, false);
    ASSERT_TRUE(report.is_object()) << out;
    EXPECT_EQ(report["end_message"], 19);
    EXPECT_EQ(report["boards"][0]["result"], RESULT_FAILED);
    EXPECT_EQ(report["boards"][0]["result_text"], "Transfer failed (see log file).");
    ExpectReceiverAsConfigured();
}

// --- Repair ------------------------------------------------------------------------------------

// The connected board runs at 19200 while the settings say 9600.
class RepairE2E : public EngineE2E {
protected:
    void SetUp() override
    {
        EngineE2E::SetUp();
        receiver["boards"][kCpu]["rate"] = 19200;
    }
    std::string Ini() const { return ReadText(dir.Path() + "/config/Tavrel.ini"); }
    long CpuRate() const { return SettledSimStats()["boards"][kCpu].value("rate", 0L); }
};

// The board is found at 19200 first, so it hears the new rate; the rate is
// saved once the board answers at it.
TEST_F(RepairE2E, BoardFoundAtAnotherRateIsRepairedAndTheRateSaved)
{
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(false)})));
    std::string out;
    EXPECT_EQ(RunCli("repair --connected --rate 38400", out), 0) << out;
    EXPECT_EQ(CpuRate(), 38400);
    EXPECT_NE(Ini().find("BAUDRATE=38400"), std::string::npos) << Ini();
}

// Without the rate search the board is not found: nothing is sent, nothing saved.
TEST_F(RepairE2E, BoardNotFoundIsNotRepaired)
{
    Setting("Miscellaneous", "Query auto speed enable=NO");
    Setting("Miscellaneous", "Auto speed max. time=3");
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(false)})));
    std::string out;
    EXPECT_EQ(RunCli("repair --connected --rate 38400", out), 1) << out;
    EXPECT_EQ(CpuRate(), 19200);
    EXPECT_EQ(Ini().find("BAUDRATE=38400"), std::string::npos) << Ini();
    EXPECT_FALSE(LogHas(">$PKVR,HARDRS,,,,38400<"));
}

// The board does not hear the rate sentence: it does not answer at the new
// rate, and the repair is a failure although every sentence went out.
TEST_F(RepairE2E, BoardThatKeepsItsRateIsAFailure)
{
    receiver["boards"][kCpu]["faults"]["ignored"] = {{{"sentence", "$PKVR,HARDRS,,,,"}}};
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(false)})));
    host.onChangeComm = [](CChangeCommDlg& dialog) {
        dialog.OnBoardChanged(CChangeCommDlg::kConnectedSystem);
        dialog.OnRateChanged(5);   // 38400
        return 1;
    };
    engine->StartRepair();
    while (!engine->IsIdle()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_TRUE(LogHas(">$PKVR,HARDRS,,,,38400<"));
    EXPECT_EQ(engine->LastRepairResult(), REPAIR_NOT_CONFIRMED);
    EXPECT_EQ(engine->LastEndMessage(), 7);
    EXPECT_TRUE(HasBox(GetString(7)));
    EXPECT_EQ(CpuRate(), 19200);
    EXPECT_NE(App().m_nBaudIndex, 5);
    EXPECT_EQ(Ini().find("BAUDRATE=38400"), std::string::npos) << Ini();
}

}  // namespace
