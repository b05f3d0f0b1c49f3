// Loads through the simulator: records checked, resends asked, the checksum
// message, the restart and the image the board keeps.
#include "SimHarness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace simtest {
namespace {

constexpr int kDriveC = 12;    // destination index of the connected board's records
constexpr int kKindN = 3;
constexpr int kKindC = 4;

struct Block {
    uint32_t address;
    std::vector<uint8_t> data;
};

// Three blocks; the first two hold every byte that needs stuffing.
const std::vector<Block> kBlocks = {
    {0x1000, {0x01, 0x02, 0xFE, 0xFD}},
    {0x1004, {0xFF, 0x00, 0x7E}},
    {0x1007, {0x09, 0x09}},
};

nlohmann::json TwoBoards()
{
    std::ifstream in(TAVREL_SIM_RECEIVERS "/two_boards.json");
    return nlohmann::json::parse(in);
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Transfer mode, erase and announce, as the program opens a load.
void OpenLoad(SimProcess& sim, long size, int restart)
{
    sim.Send("$PKVR,XSOFT,M,D");
    ASSERT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,XSOFT,M,D"});
    sim.Send("$PKVR,XSOFT,E,1");
    ASSERT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,XSOFT,E,1"});
    std::string announce = "$PKVR,XSOFT,P,1," + std::to_string(size) + "," + std::to_string(restart);
    sim.Send(announce);
    ASSERT_EQ(sim.ReadSentences(1), std::vector<std::string>{announce});
    sim.SendRecord(MakeRecord('L', kDriveC, kKindN, 0xFFFFFF));
}

void SendBlock(SimProcess& sim, size_t number, int kind = kKindN)
{
    const Block& b = kBlocks[number - 1];
    sim.SendRecord(MakeRecord('D', kDriveC, kind, static_cast<uint32_t>(number), b.address, b.data));
}

TEST(SimLoad, CleanLoadImageChecksumAndRestart)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start(TwoBoards().dump()));
    OpenLoad(sim, 7, 1);
    SendBlock(sim, 1);
    SendBlock(sim, 2);
    sim.SendRecord(MakeRecord('F', kDriveC, kKindN, 3));
    EXPECT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,XSOFT,C,1,037B,037B"});

    // The board cabled to the PC gets no end-of-transfer sentence: with the
    // restart flag it restarts by itself, silent, then runs its new software.
    sim.Send("$PKVR,IDENT");
    EXPECT_TRUE(sim.ReadSentences(1, 300ms).empty());
    std::this_thread::sleep_for(400ms);
    sim.Send("$PKVR,IDENT");
    std::vector<std::string> lines = sim.ReadSentences(4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "$PKVR,IDENT,4,2,U1234A,NAV0300");

    nlohmann::json stats = sim.Stats();
    EXPECT_EQ(stats["boards"][0]["data_bytes"], 7);
    EXPECT_EQ(stats["boards"][0]["loads"], 1);
    EXPECT_EQ(stats["resends_asked"], 0);
    EXPECT_TRUE(stats["data_phase"]["finished"].get<bool>());
    ASSERT_EQ(sim.Stop(), 0);
    EXPECT_EQ(ReadFile(sim.Dir() / "images" / "CPU.srec"),
              "S006000043505511\n"
              "S30C000010000102FEFDFF007E68\n"
              "S70500000000FA\n");
}

TEST(SimLoad, RelayedBoardComesBackOnlyAfterReprobe)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start(TwoBoards().dump()));
    sim.Send("$PKVR,JOIN,,2,IO,A");
    sim.Send("$PKVR,XSOFT,M,D");
    ASSERT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,XSOFT,M,D"});
    sim.Send("$PKVR,XSOFT,E,2");
    ASSERT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,XSOFT,E,2"});
    sim.Send("$PKVR,XSOFT,P,2,4,1");
    ASSERT_EQ(sim.ReadSentences(1).size(), 1u);
    const int portA = 0;
    sim.SendRecord(MakeRecord('L', portA, kKindN, 0xFFFFFF));
    sim.SendRecord(MakeRecord('D', portA, kKindN, 1, 0, {1, 2, 3, 4}));
    sim.SendRecord(MakeRecord('F', portA, kKindN, 2));
    EXPECT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,XSOFT,C,2,000A,000A"});
    sim.Send("$PKVR,JOIN,,0");
    sim.Send("$PKVR,JOIN,A,0");
    sim.Send("$PKVR,XSOFT,M,E,A,1");
    EXPECT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,XSOFT,M,E,A,1"});

    std::this_thread::sleep_for(500ms);  // past the restart time of the board behind
    sim.Send("$PKVR,IDENT");
    EXPECT_EQ(sim.ReadSentences(4, 800ms).size(), 2u);  // only the connected board
    sim.Send("$PKVR,IDENT,,,,,A");
    sim.Send("$PKVR,IDENT");
    std::vector<std::string> lines = sim.ReadSentences(4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "$PKVR,IDENT,4,4,G77B,GPS0200,A");
}

struct ResendCase {
    const char* name;
    const char* faults;
    std::vector<size_t> firstPass;   // blocks sent before the board asks
    int requests;                    // resend requests expected for block 2
    int errors;
};

void PrintTo(const ResendCase& c, std::ostream* os) { *os << c.name; }

class SimResend : public testing::TestWithParam<ResendCase> {};

TEST_P(SimResend, BoardAsksForTheBlockAgainUntilItHasIt)
{
    const ResendCase& c = GetParam();
    nlohmann::json receiver = TwoBoards();
    receiver["boards"][0]["faults"] = nlohmann::json::parse(c.faults);
    SimProcess sim;
    ASSERT_TRUE(sim.Start(receiver.dump()));
    OpenLoad(sim, 9, 0);
    for (size_t n : c.firstPass)
        SendBlock(sim, n);
    int requests = 0;
    DataRecord request;
    while (sim.ReadRecord(request, 700ms)) {
        ++requests;
        EXPECT_EQ(request.Type(), 'R');
        EXPECT_EQ(request.Value(), 2u);
        EXPECT_EQ(request.Address(), 0x1004u);
        // As the program does: the block asked for with kind 'C', then the rest.
        SendBlock(sim, 2, kKindC);
        SendBlock(sim, 3);
    }
    EXPECT_EQ(requests, c.requests);
    sim.SendRecord(MakeRecord('F', kDriveC, kKindN, 4));
    EXPECT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,XSOFT,C,1,038D,038D"});
    nlohmann::json stats = sim.Stats();
    EXPECT_EQ(stats["resends_asked"], c.requests);
    EXPECT_EQ(stats["errors"], c.errors);
}

INSTANTIATE_TEST_SUITE_P(
    Resends, SimResend,
    testing::Values(ResendCase{"corrupted_on_the_line", R"({"corrupt_block": [{"block": 2}]})", {1, 2, 3}, 1, 1},
                    ResendCase{"block_missing", "{}", {1, 3}, 1, 0},
                    ResendCase{"asked_again_twice", R"({"resend": [{"block": 2, "times": 2}]})", {1, 2, 3}, 2, 0}),
    [](const testing::TestParamInfo<ResendCase>& info) { return std::string(info.param.name); });

// The block asked for again must come back as a resend, of kind 'C': with
// another kind it is an error and is not kept.
TEST(SimLoad, ResentBlockMustBeOfKindC)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start(TwoBoards().dump()));
    OpenLoad(sim, 9, 0);
    SendBlock(sim, 1);
    SendBlock(sim, 3);
    DataRecord request;
    ASSERT_TRUE(sim.ReadRecord(request));
    EXPECT_EQ(request.Value(), 2u);
    SendBlock(sim, 2, kKindN);
    EXPECT_EQ(sim.StatsWhen([](const nlohmann::json& s) { return s["boards"][0].value("errors", 0) > 0; })
                  ["boards"][0]["errors"],
              1);
    SendBlock(sim, 2, kKindC);
    SendBlock(sim, 3);
    sim.SendRecord(MakeRecord('F', kDriveC, kKindN, 4));
    EXPECT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,XSOFT,C,1,038D,038D"});
}

struct ChecksumCase {
    const char* name;
    const char* boardChanges;
    std::vector<size_t> blocks;
    const char* expected;
};

void PrintTo(const ChecksumCase& c, std::ostream* os) { *os << c.name; }

class SimChecksum : public testing::TestWithParam<ChecksumCase> {};

TEST_P(SimChecksum, MessageFormAndAgreement)
{
    const ChecksumCase& c = GetParam();
    nlohmann::json receiver = TwoBoards();
    receiver["boards"][0].update(nlohmann::json::parse(c.boardChanges));
    SimProcess sim;
    ASSERT_TRUE(sim.Start(receiver.dump()));
    OpenLoad(sim, 7, 0);
    for (size_t n : c.blocks)
        SendBlock(sim, n);
    sim.SendRecord(MakeRecord('F', kDriveC, kKindN, static_cast<uint32_t>(c.blocks.size() + 1)));
    std::vector<std::string> got = sim.ReadSentences(1, 1000ms);
    if (*c.expected)
        EXPECT_EQ(got, std::vector<std::string>{c.expected});
    else
        EXPECT_TRUE(got.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Checksums, SimChecksum,
    testing::Values(
        ChecksumCase{"seven_fields", R"({"checksum_form": 7, "checksum_extra": "Z"})", {1, 2},
                     "$PKVR,XSOFT,C,Z,1,037B,037B"},
        ChecksumCase{"mismatch", R"({"faults": {"checksum_mismatch": true}})", {1, 2}, "$PKVR,XSOFT,C,1,037B,5921"},
        ChecksumCase{"size_differs_from_announce", "{}", {1}, "$PKVR,XSOFT,C,1,01FE,FE01"},
        ChecksumCase{"never", R"({"faults": {"checksum_never": true}})", {1, 2}, ""},
        ChecksumCase{"lines_before_it", R"({"faults": {"checksum_lines": ["$PKVR,XSOFT,C,9,1111,2222"]}})", {1, 2},
                     "$PKVR,XSOFT,C,9,1111,2222"},
        ChecksumCase{"only_the_given_lines",
                     R"({"faults": {"checksum_never": true, "checksum_lines": ["$PKVR,XSOFT,C,1,AB"]}})", {1, 2},
                     "$PKVR,XSOFT,C,1,AB"},
        ChecksumCase{"late", R"({"faults": {"checksum_delay_ms": 5000}})", {1, 2}, ""}),
    [](const testing::TestParamInfo<ChecksumCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace simtest
