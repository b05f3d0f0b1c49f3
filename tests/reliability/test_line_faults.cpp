// Faults on the line, end to end: tavrel-sim adds noise, foreign NMEA lines,
// answers cut into 1-byte pieces, corrupted records at a rate, or vanishes in
// the middle of the data. Every transfer must end as the step table says,
// with the link closed, the controller idle, the log complete and no file
// descriptor or thread left behind.
#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <random>
#include <thread>

#include "EngineFixture.h"
#include "ResourceCount.h"
#include "app/Strings.h"
#include "link/SerialLink.h"

namespace {

constexpr int kReleaseBytes = 4000;
constexpr unsigned kReleaseAddress = 0x20000;
constexpr long kReleaseBlocks = (kReleaseBytes + 15) / 16;   // S2 lines of 16 bytes

nlohmann::json GpsLine(bool restart)
{
    return {{"board_name", "GPS"}, {"env_name", "DEMO"}, {"subassy_hardw", "20"}, {"board_index", 1},
            {"release_file", "gps.s19"}, {"soft_id", "GPS0200"}, {"board_alone", false},
            {"restart", restart}, {"transfer_speed", "57600"}, {"config_speed", "9600"}};
}

class LineFaults : public EngineE2E {
protected:
    // Runs the transfer of one GPS line; with `vanishAtBlock` the simulator is
    // killed once that many records have gone out. Checks what must hold
    // after any end: idle controller, closed link, and no descriptor or thread
    // beyond those open before the transfer.
    void Transfer(bool restart, long vanishAtBlock = 0)
    {
        release = MakeRelease("gps.s19", kReleaseBytes, kReleaseAddress);
        ASSERT_TRUE(OpenRequest(nlohmann::json::array({GpsLine(restart)})));
        // A sanitizer may start a helper thread at the first thread created:
        // let that happen before counting.
        std::thread([] {}).join();
        const std::vector<std::string> fdsBefore = OpenDescriptors();
        const size_t threadsBefore = ThreadCount();

        // Looked at after every data record, so the device vanishes at that
        // record however fast the line drains.
        host.onBlock = [&](long block) {
            if (vanishAtBlock > 0 && block >= vanishAtBlock && sim.Running()) {
                // The device side of the pseudo-terminal closes: hang-up here.
                sim.Kill();
                vanishedAt = block;
            }
        };
        RunTransfer();
        host.onBlock = nullptr;

        EXPECT_TRUE(engine->IsIdle());
        EXPECT_FALSE(link->IsOpen());
        // Descriptors may close (the simulator's pipes once it is gone), none may stay open.
        for (const std::string& fd : OpenDescriptors())
            EXPECT_NE(std::find(fdsBefore.begin(), fdsBefore.end(), fd), fdsBefore.end()) << "left open: " << fd;
        EXPECT_EQ(ThreadCount(), threadsBefore);
    }

    // The end of the log: the end-of-transfer note, the board's line of the
    // report with its result text, then the closing banner.
    void ExpectReportLogged(int resultTextId)
    {
        const std::string log = Log();
        const std::string tail = log.substr(log.size() > 1500 ? log.size() - 1500 : 0);
        const size_t end = log.rfind("; " + GetString(43) + "\r\n");
        ASSERT_NE(end, std::string::npos) << tail;
        const size_t board = log.find("; 'GPS'    :  " + GetString(resultTextId), end);
        EXPECT_NE(board, std::string::npos) << tail;
        EXPECT_NE(log.find("* Fin du transfert *", end), std::string::npos) << tail;
    }

    void ExpectLoaded()
    {
        EXPECT_EQ(Line(0).m_nResult, RESULT_OK);
        EXPECT_EQ(engine->LastEndMessage(), 43);
        EXPECT_TRUE(ImageEquals("GPS", release));
        ExpectReportLogged(97);
    }

    std::string release;
    long vanishedAt = 0;
};

TEST_F(LineFaults, NoiseAndForeignLinesBetweenSentences)
{
    receiver["line"] = {{"noise_bytes", 7}, {"nmea", true}};
    StartSim();
    Transfer(true);
    ExpectLoaded();
}

// The longest noise the simulator makes, of every byte value (record start
// and end bytes, '$' and line feeds among them), before every answer: each
// burst costs nothing but itself.
TEST_F(LineFaults, LongNoiseOfEveryByteValueBeforeEveryAnswer)
{
    receiver["line"] = {{"noise_bytes", 64}, {"nmea", true}};
    StartSim();
    Transfer(true);
    ExpectLoaded();
    EXPECT_FALSE(LogHas("Retour du récepteur"));   // nothing had to be put back
}

TEST_F(LineFaults, AnswersInOneBytePiecesWithDelays)
{
    receiver["line"] = {{"split_piece", 1}, {"split_delay_ms", 2}};
    StartSim();
    Transfer(false);
    ExpectLoaded();
}

TEST_F(LineFaults, RecordsCorruptedAtARateAreSentAgain)
{
    // About one record in twelve is damaged on the line once; the board asks
    // for each again and the transfer completes.
    constexpr double kErrorRate = 1.0 / 12;
    std::mt19937 random(20021);
    std::bernoulli_distribution damaged(kErrorRate);
    nlohmann::json corrupt = nlohmann::json::array();
    for (long block = 3; block <= kReleaseBlocks; block += 2)   // never two in a row
        if (damaged(random)) corrupt.push_back({{"block", block}, {"times", 1}});
    ASSERT_GE(corrupt.size(), 5u);
    receiver["boards"][1]["faults"]["corrupt_block"] = corrupt;
    receiver["line"] = {{"noise_bytes", 3}};
    StartSim();
    Transfer(false);
    ExpectLoaded();
    // Damaged records that arrive while an earlier resend is awaited are
    // covered by that resend, so there are fewer resends than damaged records.
    EXPECT_GE(engine->LastBoardStats().at(0).resends, 1);
    EXPECT_GE(SimStats()["boards"][1].value("errors", 0), static_cast<int>(corrupt.size()));
}

TEST_F(LineFaults, DeviceVanishingInTheDataEndsWithASendError)
{
    StartSim();
    Transfer(false, 40);
    ASSERT_GE(vanishedAt, 40);
    EXPECT_LT(host.lastBlock, kReleaseBlocks);
    EXPECT_EQ(engine->LastEndMessage(), 55);
    EXPECT_EQ(Line(0).m_nResult, RESULT_FAILED);
    EXPECT_TRUE(HasBox(GetString(55)));
    EXPECT_FALSE(EndReportBox().empty());
    ExpectReportLogged(178);
}

TEST_F(LineFaults, DeviceVanishingBeforeTheClosingRecordEndsWithASendError)
{
    // Every data record went out; the closing record cannot: the board is
    // reported as failed, not with an unknown result.
    StartSim();
    Transfer(false, kReleaseBlocks);
    ASSERT_EQ(vanishedAt, kReleaseBlocks);
    EXPECT_EQ(engine->LastEndMessage(), 55);
    EXPECT_EQ(Line(0).m_nResult, RESULT_FAILED);
    EXPECT_FALSE(EndReportBox().empty());
    ExpectReportLogged(178);
}

}  // namespace

