// End-to-end: the process engine against tavrel-sim, through the scripted host.
#include <QCoreApplication>

#include "EngineFixture.h"

namespace {

using demo::CpuLine;
using demo::GpsLine;

nlohmann::json& Faults(nlohmann::json& receiver, int board)
{
    return receiver["boards"][board]["faults"];
}

}  // namespace

TEST_F(EngineE2E, QueryShowsTheTree)
{
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine()})));
    RunQuery();
    EXPECT_TRUE(engine->QueryAnswered());
    EXPECT_NE(host.lastReply.find("$PKVR,IDENT,4,3,GP20,GPB1,B"), std::string::npos) << host.lastReply;
    EXPECT_EQ(host.replyShown, 1);
    EXPECT_TRUE(LogHas("==( Query )===="));
    EXPECT_TRUE(LogHas(">$PKVR,IDENT<"));
    EXPECT_TRUE(LogHas("\r\n===============\r\n"));
}

TEST_F(EngineE2E, RelayedBoardOnAPortIsLoadedAndRestarted)
{
    StartSim();
    const std::string release = MakeRelease("gps.s19", 5000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine()})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK);
    EXPECT_TRUE(ImageEquals("GPS", release));
    // Rates change on both sides of the relay, then go back.
    EXPECT_TRUE(LogHas(">$PKVR,HARDRS<"));
    EXPECT_TRUE(LogHas(">$PKVR,XSOFT,M,B,B,1<"));
    EXPECT_TRUE(LogHas(">$PKVR,JOIN,,2,IO,B<"));
    EXPECT_TRUE(LogHas(">$PKVR,HARDRS,,,B,57600<"));
    EXPECT_TRUE(LogHas(">$PKVR,HARDRS,,,,57600<"));
    EXPECT_TRUE(LogHas(">$PKVR,XSOFT,M,E,B,1<"));
    EXPECT_TRUE(LogHas(">$PKVR,HARDRS,,,B,19200<"));
    EXPECT_TRUE(LogHas(">$PKVR,IDENT,,,,,B<"));
    EXPECT_TRUE(LogHas("; 'GPS'    :  OK\r\n"));
    EXPECT_TRUE(LogHas("Lancement") == false);
    EXPECT_EQ(EndReportBox(), "Transfer completed successfully.\r\n\r\n'GPS'    :  OK\r\n");
}

TEST_F(EngineE2E, RelayedBoardOnADpramIsLoadedAndRestarted)
{
    envBoards[1]["destination"] = "Dpram 1";
    receiver["boards"][1]["letter"] = "I";
    StartSim();
    const std::string release = MakeRelease("gps.s19", 3000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine()})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    EXPECT_TRUE(ImageEquals("GPS", release));
    // No port behind a Dpram: no port table, no port rate; only the link's own rate changes.
    EXPECT_FALSE(LogHas(">$PKVR,HARDRS<"));
    EXPECT_FALSE(LogHas(">$PKVR,HARDRS,,,I,"));
    for (const char* sent : {">$PKVR,XSOFT,M,B,I,1<", ">$PKVR,JOIN,,2,IO,I<", ">$PKVR,JOIN,I,0<",
                             ">$PKVR,HARDRS,,,,57600<", ">$PKVR,HARDRS,,,,9600<", ">$PKVR,XSOFT,M,E,I,1<",
                             ">$PKVR,IDENT,,,,,I<"})
        EXPECT_TRUE(LogHas(sent)) << sent;
    EXPECT_TRUE(LogHas("|et port local      : Dpram 1\r\n"));
}

TEST_F(EngineE2E, BoardAloneIsLoaded)
{
    StartSim();
    const std::string release = MakeRelease("cpu.s19", 3000, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(false)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK);
    EXPECT_TRUE(ImageEquals("CPU", release));
    EXPECT_TRUE(LogHas(">$PKVR,XSOFT,P,1,3000,0<"));
    EXPECT_FALSE(LogHas(">$PKVR,JOIN"));   // a board alone is never relayed
    EXPECT_TRUE(LogHas("|Carte seule        : Oui\r\n"));
    EXPECT_TRUE(LogHas("; Fin du fichier.\r\n"));
}

TEST_F(EngineE2E, TwoLineRequestLoadsBothBoards)
{
    StartSim();
    const std::string gps = MakeRelease("gps.s19", 2000, 0x20000);
    const std::string cpu = MakeRelease("cpu.s19", 2500, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(), CpuLine(false)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK);
    EXPECT_EQ(Line(1).m_nResult, RESULT_OK);
    EXPECT_TRUE(ImageEquals("GPS", gps));
    EXPECT_TRUE(ImageEquals("CPU", cpu));
    EXPECT_TRUE(LogHas("| Carte 2 sur 2\r\n"));
    EXPECT_TRUE(LogHas("; **********************************\r\n"));
}

TEST_F(EngineE2E, OneResendIsServed)
{
    Faults(receiver, 1)["resend"] = {{{"block", 5}, {"times", 1}}};
    StartSim();
    const std::string release = MakeRelease("gps.s19", 3000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK);
    EXPECT_TRUE(ImageEquals("GPS", release));
    EXPECT_TRUE(LogHas("bloc 5\r\n"));
    // The board may ask again while the records behind block 5 still arrive.
    EXPECT_GE(engine->LastBoardStats().at(0).resends, 1);
    EXPECT_TRUE(LogHas("; Nombre de renvoi(s) demandé(s) : "));
}

TEST_F(EngineE2E, FiveConsecutiveResendsEndTheTransfer)
{
    Faults(receiver, 1)["stuck_at_block"] = 5;
    StartSim();
    MakeRelease("gps.s19", 3000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    RunTransfer();
    EXPECT_EQ(engine->LastEndMessage(), 19);
    EXPECT_EQ(Line(0).m_nResult, RESULT_FAILED);
    EXPECT_TRUE(LogHas("; 'GPS'    :  Transfer failed (see log file).\r\n"));
    EXPECT_TRUE(LogHas("Envoi du bloc d'abort"));
    EXPECT_TRUE(HasBox("Too many errors."));
    EXPECT_EQ(EndReportBox().rfind("Operation completed, anomalous event(s) detected", 0), 0u);
}

TEST_F(EngineE2E, AbortKeyInTheBlockLoop)
{
    StartSim();
    MakeRelease("gps.s19", 20000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    host.abortAfterBlock = 20;
    host.QueueAnswer(ANSWER_YES);   // "Are you sure you want to abort the process ?"
    RunTransfer();
    EXPECT_EQ(engine->LastEndMessage(), 22);
    EXPECT_EQ(Line(0).m_nResult, RESULT_ABORTED);
    EXPECT_TRUE(LogHas("!! Process aborted by the user."));
    EXPECT_TRUE(LogHas("Envoi du bloc d'abort"));
    EXPECT_TRUE(LogHas(">$PKVR,XSOFT,M,A,B,1<"));
    EXPECT_TRUE(LogHas("; 'GPS'    :  Transfer aborted by the user.\r\n"));
}

TEST_F(EngineE2E, EraseFailure)
{
    Faults(receiver, 1)["erase_fails"] = true;
    StartSim();
    MakeRelease("gps.s19", 1000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    RunTransfer();
    EXPECT_EQ(engine->LastEndMessage(), 36);
    EXPECT_TRUE(HasBox("Error erasing memory."));
    EXPECT_EQ(Line(0).m_nResult, RESULT_NOT_UPDATED);
}

TEST_F(EngineE2E, TransferModeDenied)
{
    Faults(receiver, 0)["mode_denied"] = "C";
    StartSim();
    MakeRelease("gps.s19", 1000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    RunTransfer();
    EXPECT_EQ(engine->LastEndMessage(), 87);
    EXPECT_TRUE(HasBox("Transfer mode request denied !"));
}

TEST_F(EngineE2E, ChecksumMismatch)
{
    Faults(receiver, 1)["checksum_mismatch"] = true;
    StartSim();
    MakeRelease("gps.s19", 1000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    RunTransfer();
    EXPECT_EQ(engine->LastEndMessage(), 22);
    EXPECT_TRUE(HasBox("Checksum error ("));
    EXPECT_TRUE(LogHas("; Checksum error ("));
    EXPECT_NE(Line(0).m_nResult, RESULT_OK);
}

TEST_F(EngineE2E, LateChecksum)
{
    Setting("Times out", "Checksum reception (sec.)=1");
    Faults(receiver, 1)["checksum_delay_ms"] = 4000;
    StartSim();
    MakeRelease("gps.s19", 1000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    RunTransfer();
    EXPECT_EQ(engine->LastEndMessage(), 140);
    EXPECT_TRUE(HasBox("Time out waiting for checksum message."));
}

TEST_F(EngineE2E, NewReleaseNotFoundAtRestart)
{
    Faults(receiver, 1)["back_with_software"] = {"GPS0111"};
    StartSim();
    MakeRelease("gps.s19", 1000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(true)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_NEW_RELEASE_NOT_FOUND);
    EXPECT_TRUE(LogHas("; 'GPS'    :  New release soft not found at re-start.\r\n"));
}

TEST_F(EngineE2E, MissingReleaseFileInATwoLineRequest)
{
    StartSim();
    const std::string cpu = MakeRelease("cpu.s19", 1500, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false, "absent.s19"), CpuLine(false)})));
    host.QueueAnswer(ANSWER_YES);   // "... will not be updated. Continue ?"
    RunTransfer();
    ASSERT_FALSE(host.boxes.empty());
    EXPECT_NE(host.boxes.front().text.find("Continue ?"), std::string::npos);
    EXPECT_NE(host.boxes.front().text.find("\"absent.s19\" file not found."), std::string::npos);
    EXPECT_FALSE(Line(0).m_bSelected);
    EXPECT_EQ(Line(1).m_nResult, RESULT_OK);
    EXPECT_TRUE(ImageEquals("CPU", cpu));
    EXPECT_TRUE(LogHas("; 'GPS'    :  Not updated.\r\n"));
}

TEST_F(EngineE2E, BoardAloneIsLoadedAndRestarted)
{
    StartSim();
    const std::string release = MakeRelease("cpu.s19", 3000, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(true)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    EXPECT_TRUE(ImageEquals("CPU", release));
    EXPECT_TRUE(LogHas(">$PKVR,XSOFT,P,1,3000,1<"));
    EXPECT_TRUE(LogHas("|Re-boot            : Oui\r\n"));
    EXPECT_EQ(SimStats()["boards"][0]["software"][0], "CPU0200");
    EXPECT_EQ(EndReportBox(), "Transfer completed successfully.\r\n\r\n'CPU'    :  OK\r\n");
}

TEST_F(EngineE2E, BoardNotFoundAtRestart)
{
    Faults(receiver, 1)["never_back"] = true;
    StartSim();
    MakeRelease("gps.s19", 1000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(true)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_NOT_FOUND);
    EXPECT_TRUE(LogHas("; 'GPS'    :  Not found at re-start.\r\n"));
    EXPECT_EQ(EndReportBox().rfind("Operation completed, anomalous event(s) detected", 0), 0u);
}

TEST_F(EngineE2E, EndOfTransferModeAnsweredForAnotherBoard)
{
    Faults(receiver, 0)["mode_end_denied"] = "C";
    StartSim();
    MakeRelease("gps.s19", 1000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    RunTransfer();
    EXPECT_EQ(engine->LastEndMessage(), 88);
    EXPECT_TRUE(HasBox("End-of-transfer mode error !"));
    EXPECT_TRUE(LogHas(">$PKVR,XSOFT,M,E,B,1<"));
    EXPECT_NE(Line(0).m_nResult, RESULT_OK);
}

TEST_F(EngineE2E, PortRateOutsideTheTable)
{
    Faults(receiver, 0)["reported_port_rates"] = {{"B", 14400}};
    StartSim();
    MakeRelease("gps.s19", 1000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    RunTransfer();
    EXPECT_EQ(engine->LastEndMessage(), 52);
    EXPECT_TRUE(HasBox("Incorrect message."));
    EXPECT_FALSE(LogHas(">$PKVR,XSOFT,M,B"));
    EXPECT_EQ(Line(0).m_nResult, RESULT_NOT_UPDATED);
}

TEST_F(EngineE2E, InvalidReceptionAfterTheAnnounce)
{
    Faults(receiver, 1)["wrong_answer"] = {{{"sentence", "$PKVR,XSOFT,P"}, {"answer", "$PKVR,XSOFT,E,-2"}}};
    StartSim();
    MakeRelease("gps.s19", 1000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    RunTransfer();
    EXPECT_EQ(engine->LastEndMessage(), 14);
    EXPECT_TRUE(HasBox("Process was aborted due to invalid reception."));
    EXPECT_EQ(SimStats()["boards"][1]["records"], 0);
}

// connected CPU -> port B -> GPS -> port C -> NAV, with a rate change on every hop
// and the restart of NAV.
TEST_F(EngineE2E, ThreeBoardChainWithRateChangesAndRestart)
{
    AddNavBehindGps(false);
    StartSim();
    const std::string release = MakeRelease("nav.s19", 4000, 0x30000);
    nlohmann::json nav = {{"board_name", "NAV"}, {"env_name", "DEMO"}, {"subassy_hardw", "30"}, {"board_index", 2},
                          {"release_file", "nav.s19"}, {"soft_id", "NAV0200"}, {"board_alone", false},
                          {"restart", true}, {"transfer_speed", "57600"}, {"config_speed", "9600"}};
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({nav})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    EXPECT_TRUE(ImageEquals("NAV", release));
    EXPECT_TRUE(LogHas("|Carte parent       : GPS\r\n"));
    for (const char* sent : {">$PKVR,XSOFT,M,B,B,1<", ">$PKVR,JOIN,,2,IO,B<", ">$PKVR,XSOFT,M,B,C,1<",
                             ">$PKVR,JOIN,,2,IO,C<", ">$PKVR,HARDRS,,,C,57600<", ">$PKVR,HARDRS,,,B,57600<",
                             ">$PKVR,XSOFT,M,E,C,1<", ">$PKVR,HARDRS,,,C,38400<", ">$PKVR,HARDRS,,,B,19200<"})
        EXPECT_TRUE(LogHas(sent)) << sent;
    EXPECT_TRUE(LogHas(">$PKVR,IDENT,,,,,C<"));   // the restarted board is looked for again
    // Every board of the chain is back at its own rate.
    const nlohmann::json stats = SimStats();
    EXPECT_EQ(stats["boards"][2]["software"][0], "NAV0200");
    EXPECT_EQ(stats["link_rate"], 9600);
    EXPECT_EQ(stats["boards"][1]["rate"], 19200);
    EXPECT_EQ(stats["bytes_lost"], 0);
}

// The receiver goes away in the middle of the data: the write fails.
TEST_F(EngineE2E, PortVanishesDuringTheData)
{
    StartSim();
    MakeRelease("gps.s19", 20000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(false)})));
    host.onBlock = [this](long block) {
        if (block == 30 && sim.Running()) {
            sim.Kill();
        }
    };
    RunTransfer();
    const int message = engine->LastEndMessage();
    EXPECT_TRUE(message == 55 || message == 12) << message;
    EXPECT_TRUE(engine->IsIdle());
    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(Line(0).m_nResult, RESULT_FAILED);
    EXPECT_TRUE(LogHas("; 'GPS'    :  Transfer failed (see log file).\r\n"));
    // The vanished port cannot carry the way back to the receiver.
    EXPECT_TRUE(LogHas("; Port série perdu : relais et vitesses du récepteur non restaurés\r\n"));
    EXPECT_TRUE(LogHas("************************ Fin du transfert ***********************"));
}
