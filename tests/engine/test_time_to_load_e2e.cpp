// End-to-end: what every shortened wait of a transfer still waits for. The
// restart identification asks at the rates it knows before it searches, and
// the search then starts elsewhere; a relayed board still restarting when its
// parent first probes is asked for again; a resend asked for the last record
// of a line paced at its rate is served; a rate found by a query is the one
// the next process starts at, and tavrel-cli stores it with --save only; a
// packed release reaches the board whole.
// How long each of them takes is measured by bench/transfer/run.sh.
#include <fstream>
#include <sstream>

#include "EngineFixture.h"
#include "app/UpdateApp.h"

namespace {

using demo::CpuLine;
using demo::GpsLine;

constexpr int kCpu = 0;
constexpr int kGps = 1;
constexpr int kIndex19200 = 4;
constexpr int kIndex115200 = 7;

class TimeToLoadE2E : public EngineE2E {
protected:
    // The log from the first line that contains `marker` on ("" when absent).
    std::string LogFrom(const std::string& marker) const
    {
        const std::string log = Log();
        const size_t at = log.find(marker);
        return at == std::string::npos ? std::string() : log.substr(at);
    }
    // Sets `key` of `section`, in place of the fixture's value.
    void ReplaceSetting(const std::string& section, const std::string& key, const std::string& value)
    {
        std::erase_if(iniLines, [&](const auto& line) { return line.first == section && line.second.rfind(key + "=", 0) == 0; });
        Setting(section, key + "=" + value);
    }
    static std::string ReadText(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static size_t Count(const std::string& text, const std::string& part)
    {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
        return n;
    }
};

// The connected board answers at 19200 bit/s while the settings say 9600:
// the start searches, and the restart identification asks at 19200 (the
// rate before the transfer) and at 115200 (the transfer rate) without
// searching again, whichever of the two the board comes back at.
class KnownRatesAfterRestart : public TimeToLoadE2E, public testing::WithParamInterface<bool> {};

TEST_P(KnownRatesAfterRestart, FindTheBoardWithoutASearch)
{
    const bool keepsRate = GetParam();
    receiver["boards"][kCpu]["rate"] = 19200;
    receiver["boards"][kCpu]["keeps_rate"] = keepsRate;
    StartSim();
    const std::string release = MakeRelease("cpu.s19", 2000, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(true)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    EXPECT_TRUE(ImageEquals("CPU", release));
    EXPECT_TRUE(LogHas(",9600,n,8,2\r\n"));   // the search at the start
    const std::string restart = LogFrom("; Fin du fichier.");
    ASSERT_FALSE(restart.empty());
    EXPECT_EQ(restart.find(",n,8,2\r\n"), std::string::npos) << restart;   // no search after the restart
    EXPECT_EQ(App().m_nBaudIndex, keepsRate ? kIndex115200 : kIndex19200);
    EXPECT_EQ(SettledSimStats()["link_rate"], keepsRate ? 115200 : 19200);
}

INSTANTIATE_TEST_SUITE_P(Rates, KnownRatesAfterRestart, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "back_at_the_transfer_rate" : "back_at_its_own_rate");
                         });

// Silent for longer than the restart its definition allows (6 s), the board
// is searched for; the search does not ask again at the rate just asked
// (115200) but goes on at once to the next one of the range.
TEST_F(TimeToLoadE2E, BoardSilentBeyondItsRestartTimeIsFoundByTheSearch)
{
    Setting("Communication", "BAUDRATE=19200");
    ReplaceSetting("Miscellaneous", "Auto speed min. range", "19200");
    envBoards[kCpu]["restart_timeout"] = 6;
    receiver["boards"][kCpu]["rate"] = 19200;
    receiver["boards"][kCpu]["restart_ms"] = 7500;
    StartSim();
    MakeRelease("cpu.s19", 1000, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(true)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    const std::string restart = LogFrom("; Fin du fichier.");
    const size_t searchStart = restart.find(",115200,n,8,2\r\n");
    ASSERT_NE(searchStart, std::string::npos) << restart;
    const size_t nextRate = restart.find(",19200,n,8,2\r\n", searchStart);
    ASSERT_NE(nextRate, std::string::npos) << restart;
    EXPECT_EQ(restart.substr(searchStart, nextRate - searchStart).find(">$PKVR,IDENT<"), std::string::npos)
        << restart;
}

// The GPS restarts for 4 s: it is not yet up when its parent probes port B
// after the up-time (2 s); the parent is asked to probe again and the board
// is found, not reported "Not found at re-start".
TEST_F(TimeToLoadE2E, RelayedBoardStillRestartingAtTheFirstProbeIsFound)
{
    receiver["boards"][kGps]["restart_ms"] = 4000;
    StartSim();
    const std::string release = MakeRelease("gps.s19", 2000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(true)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    EXPECT_TRUE(ImageEquals("GPS", release));
    EXPECT_GE(Count(LogFrom("; Fin du fichier."), ">$PKVR,IDENT,,,,,B<"), 2u);
}

// A parent that answers the probe of its port with the board's lines: the
// board is identified on that answer, no further question is sent.
TEST_F(TimeToLoadE2E, RelayedBoardShownInTheAnswerToTheProbeEndsTheWait)
{
    receiver["reprobe_answers"] = true;
    StartSim();
    MakeRelease("gps.s19", 2000, 0x20000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(true)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    const std::string afterProbe = LogFrom(">$PKVR,IDENT,,,,,B<");
    ASSERT_FALSE(afterProbe.empty());
    EXPECT_EQ(Count(afterProbe, ">$PKVR,IDENT"), 1u) << afterProbe;
}

// The line is paced at 115200 bit/s, so the last records are still on their
// way when the program has written them; the board asks for the last one
// again once it has it, and the end of the data waits for that request.
TEST_F(TimeToLoadE2E, ResendOfTheLastRecordOnAPacedLineIsServed)
{
    simOptions = {"--pace"};
    receiver["boards"][kCpu]["faults"]["resend"] = {{{"block", 1250}, {"times", 1}}};
    StartSim();
    const std::string release = MakeRelease("cpu.s19", 20000, 0x10000);   // 1250 records of 16 bytes
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(false)})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    EXPECT_TRUE(ImageEquals("CPU", release));
    EXPECT_TRUE(LogHas("bloc 1250\r\n"));
    EXPECT_EQ(engine->LastBoardStats().at(0).resends, 1);
}

// A rate found by a query is the one the next process of the same run starts
// at: the transfer that follows finds the board at once.
TEST_F(TimeToLoadE2E, RateFoundByAQueryIsWhereTheNextTransferStarts)
{
    receiver["boards"][kCpu]["rate"] = 19200;
    StartSim();
    MakeRelease("cpu.s19", 1000, 0x10000);
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(false)})));
    RunQuery();
    ASSERT_TRUE(engine->QueryAnswered());
    EXPECT_EQ(App().m_nBaudIndex, kIndex19200);
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    const std::string transfer = LogFrom("**** Début du transfert");
    EXPECT_EQ(transfer.find(",9600,n,8,2\r\n"), std::string::npos) << transfer;
    EXPECT_EQ(Count(transfer.substr(0, transfer.find("; ===============")), ">$PKVR,IDENT<"), 1u) << transfer;
}

// tavrel-cli says that the rate a query found is not the settings' and
// stores it only with --save; the next query then starts at it.
TEST_F(TimeToLoadE2E, CliStoresTheRateAQueryFoundOnlyWithSave)
{
    receiver["boards"][kCpu]["rate"] = 19200;
    StartSim();
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(false)})));
    const std::string ini = dir.Path() + "/config/Tavrel.ini";
    const char* const note = "tavrel-cli: the board answers at 19200 bit/s, the settings say 9600: --save stores the rate found";
    std::string out;
    ASSERT_EQ(RunCli("query", out), 0) << out;
    EXPECT_NE(out.find(note), std::string::npos) << out;
    EXPECT_EQ(ReadText(ini).find("BAUDRATE=19200"), std::string::npos);

    ASSERT_EQ(RunCli("query --save", out), 0) << out;
    EXPECT_NE(out.find("Communication settings: " + tty + ":19200,n,8,2 (a path is not stored: the settings keep COM1)"),
              std::string::npos)
        << out;
    EXPECT_NE(ReadText(ini).find("BAUDRATE=19200"), std::string::npos) << ReadText(ini);

    ASSERT_EQ(RunCli("query", out), 0) << out;
    EXPECT_EQ(out.find("the settings say"), std::string::npos) << out;
    EXPECT_EQ(out.find("9600 bit/s"), std::string::npos) << out;   // no search
}

// "Pack release records": the transfer converts the S3 release into 64-byte
// records (47 for 3000 bytes, with the opening and final records 49) and the
// board's image is the release.
TEST_F(TimeToLoadE2E, PackedReleaseReachesTheBoardWhole)
{
    Setting("Miscellaneous", "Pack release records=YES");
    StartSim();
    const std::string release = MakeRelease("cpu.s3", 3000, 0x10000, "--srec-forceS3 --srec-len 16");
    ASSERT_TRUE(OpenRequest(nlohmann::json::array({CpuLine(false, "cpu.s3")})));
    RunTransfer();
    EXPECT_EQ(Line(0).m_nResult, RESULT_OK) << Log();
    EXPECT_TRUE(ImageEquals("CPU", release));
    EXPECT_EQ(SettledSimStats()["records"], 2 + (3000 + 63) / 64);
}

}  // namespace
