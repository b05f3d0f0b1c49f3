// The simulator seen from the line: identification, relays, rates, faults in
// the answers, the rescue window, bad input.
#include "SimHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace simtest {
namespace {

nlohmann::json TwoBoards()
{
    std::ifstream in(TAVREL_SIM_RECEIVERS "/two_boards.json");
    return nlohmann::json::parse(in);
}

TEST(SimIdent, SeriesOfTheConnectedBoardAndTheBoardBehindIt)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start(TwoBoards().dump()));
    sim.Send("$PKVR,IDENT");
    std::vector<std::string> lines = sim.ReadSentences(4);
    ASSERT_EQ(lines.size(), 4u);
    const std::vector<std::vector<std::string>> expected = {
        {"$PKVR", "IDENT", "4", "1", "U1234A", "BOOT0102"},
        {"$PKVR", "IDENT", "4", "2", "U1234A", "NAV0201"},
        {"$PKVR", "IDENT", "4", "3", "G77B", "GBOOT1", "A"},
        {"$PKVR", "IDENT", "4", "4", "G77B", "GPS0105", "A"},
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(Fields(lines[i]), expected[i]) << lines[i];
        EXPECT_GE(lines[i].size(), 18u);
    }
}

TEST(SimIdent, RelayedIdentificationAndPortRates)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start(TwoBoards().dump()));
    sim.Send("$PKVR,HARDRS,,,A,38400");
    sim.Send("$PKVR,HARDRS");
    EXPECT_EQ(sim.ReadSentences(2), (std::vector<std::string>{"$PKVR,HARDRS,2,1,A,38400",
                                                              "$PKVR,HARDRS,2,2,B,19200"}));
    sim.Send("$PKVR,JOIN,,2,IO,A");
    sim.Send("$PKVR,IDENT");
    EXPECT_EQ(sim.ReadSentences(2), (std::vector<std::string>{"$PKVR,IDENT,2,1,G77B,GBOOT1",
                                                              "$PKVR,IDENT,2,2,G77B,GPS0105"}));
    // The board behind has no ports: a table of none, still long enough to end.
    sim.Send("$PKVR,HARDRS");
    EXPECT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,HARDRS,0,0,,"});
    sim.Send("$PKVR,JOIN,,0");
    sim.Send("$PKVR,JOIN,A,0");
    sim.Send("$PKVR,IDENT");
    EXPECT_EQ(sim.ReadSentences(4).size(), 4u);
}

TEST(SimRate, BytesAtAnotherRateAreLost)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start(TwoBoards().dump()));
    // Asked as soon as the program's line has settled (50 ms): the board,
    // still at 9600, does not hear it.
    ASSERT_TRUE(sim.SetRate(19200, 50ms));
    sim.Send("$PKVR,IDENT");
    EXPECT_TRUE(sim.ReadSentences(1, 700ms).empty());
    EXPECT_GT(sim.Stats()["bytes_lost"].get<long>(), 0);

    ASSERT_TRUE(sim.SetRate(9600));
    // The connected board moves to 19200; the program must follow it.
    sim.Send("$PKVR,HARDRS,,,,19200");
    sim.Send("$PKVR,IDENT");
    EXPECT_TRUE(sim.ReadSentences(1, 700ms).empty());
    ASSERT_TRUE(sim.SetRate(19200));
    sim.Send("$PKVR,IDENT");
    EXPECT_EQ(sim.ReadSentences(4).size(), 4u);
}

struct FaultCase {
    const char* name;
    const char* faults;
    std::vector<std::string> sent;
    std::vector<std::string> answers;  // "" where no answer may come
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class SimFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(SimFaults, AnswersFollowTheInjectedFault)
{
    const FaultCase& c = GetParam();
    nlohmann::json receiver = TwoBoards();
    receiver["boards"][0]["faults"] = nlohmann::json::parse(c.faults);
    SimProcess sim;
    ASSERT_TRUE(sim.Start(receiver.dump()));
    for (size_t i = 0; i < c.sent.size(); ++i) {
        sim.Send(c.sent[i]);
        std::vector<std::string> got = sim.ReadSentences(1, c.answers[i].empty() ? 600ms : 2000ms);
        EXPECT_EQ(got, c.answers[i].empty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{c.answers[i]})
            << c.sent[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimFaults,
    testing::Values(
        FaultCase{"mode_denied", R"({"mode_denied": "C"})",
                  {"$PKVR,XSOFT,M,B,A,2"}, {"$PKVR,XSOFT,M,B,C,2"}},
        FaultCase{"erase_fails", R"({"erase_fails": true})",
                  {"$PKVR,XSOFT,M,D", "$PKVR,XSOFT,E,1"}, {"$PKVR,XSOFT,M,D", "$PKVR,XSOFT,E,-1"}},
        FaultCase{"erase_wrong_id", "{}",
                  {"$PKVR,XSOFT,M,D", "$PKVR,XSOFT,E,7"}, {"$PKVR,XSOFT,M,D", "$PKVR,XSOFT,E,-7"}},
        FaultCase{"erase_outside_transfer_mode", "{}", {"$PKVR,XSOFT,E,1"}, {"$PKVR,XSOFT,E,-1"}},
        FaultCase{"no_answer_once", R"({"no_answer": [{"sentence": "$PKVR,XSOFT,M,D", "times": 1}]})",
                  {"$PKVR,XSOFT,M,D", "$PKVR,XSOFT,M,D"}, {"", "$PKVR,XSOFT,M,D"}},
        // An ignored sentence is not acted on either: port A keeps its rate.
        FaultCase{"ignored_rate_change", R"({"ignored": [{"sentence": "$PKVR,HARDRS,,,A"}]})",
                  {"$PKVR,HARDRS,,,A,38400", "$PKVR,HARDRS"}, {"", "$PKVR,HARDRS,2,1,A,9600"}},
        FaultCase{"ignored_once", R"({"ignored": [{"sentence": "$PKVR,XSOFT,M,D", "times": 1}]})",
                  {"$PKVR,XSOFT,M,D", "$PKVR,XSOFT,M,D"}, {"", "$PKVR,XSOFT,M,D"}},
        FaultCase{"no_answer_always", R"({"no_answer": [{"sentence": "$PKVR,IDENT"}]})",
                  {"$PKVR,IDENT", "$PKVR,IDENT"}, {"", ""}}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(SimLine, NoiseAndSplitAnswersStillCarryTheSentence)
{
    nlohmann::json receiver = TwoBoards();
    receiver["line"] = {{"noise_bytes", 5}, {"nmea", true}, {"split_piece", 4}, {"split_delay_ms", 5}};
    SimProcess sim;
    ASSERT_TRUE(sim.Start(receiver.dump()));
    sim.Send("$PKVR,XSOFT,M,D");
    std::string all = sim.Drain(1500ms);
    EXPECT_NE(all.find("$GPGGA,"), std::string::npos);
    EXPECT_NE(all.find("$PKVR,XSOFT,M,D\r\n"), std::string::npos);
    EXPECT_GT(all.find("$GPGGA,"), 4u);  // noise bytes come first
}

// Noise takes every byte value, the starts of sentences and records too.
TEST(SimLine, NoiseHoldsEveryByteValue)
{
    nlohmann::json receiver = TwoBoards();
    receiver["line"] = {{"noise_bytes", 64}};
    SimProcess sim;
    ASSERT_TRUE(sim.Start(receiver.dump()));
    std::string all;
    for (int i = 0; i < 16; ++i) {
        sim.Send("$PKVR,IDENT");
        all += sim.Drain(150ms);
    }
    std::vector<bool> seen(256, false);
    for (unsigned char c : all)
        seen[c] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
    // Every answer is still there behind its noise.
    size_t answers = 0;
    for (size_t at = all.find("$PKVR,IDENT,4,4,G77B,GPS0105,A\r\n"); at != std::string::npos;
         at = all.find("$PKVR,IDENT,4,4,G77B,GPS0105,A\r\n", at + 1))
        ++answers;
    EXPECT_EQ(answers, 16u);
}

// The summary shows what a program leaves in the receiver: rates of every
// port, the relays and the board that sentences reach.
TEST(SimState, SummaryShowsPortsRelaysAndTheAddressedBoard)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start(TwoBoards().dump()));
    sim.Send("$PKVR,HARDRS,,,B,38400");
    sim.Send("$PKVR,JOIN,,2,IO,A");
    sim.Send("$PKVR,XSOFT,M,D");
    ASSERT_EQ(sim.ReadSentences(1), std::vector<std::string>{"$PKVR,XSOFT,M,D"});
    sim.Send("$PKVR,HARDRS,,,,19200");
    nlohmann::json stats =
        sim.StatsWhen([](const nlohmann::json& s) { return s["boards"][1].value("rate", 0) == 19200; });
    EXPECT_EQ(stats["addressed"], "GPS");
    EXPECT_EQ(stats["boards"][0]["ports"], (nlohmann::json{{"A", 9600}, {"B", 38400}}));
    EXPECT_EQ(stats["boards"][0]["relays_to"], "A");
    EXPECT_EQ(stats["boards"][1]["rate"], 19200);
    EXPECT_EQ(stats["boards"][1]["transfer_mode"], true);
    EXPECT_EQ(stats["boards"][1]["ports"], nlohmann::json::object());

    sim.Send("$PKVR,JOIN,A,0");
    stats = sim.StatsWhen([](const nlohmann::json& s) { return s.value("addressed", "") == "CPU"; });
    EXPECT_EQ(stats["addressed"], "CPU");
    EXPECT_TRUE(stats["boards"][0]["relays_to"].is_null());
}

TEST(SimLine, SurvivesGarbageHalfRecordsAndAProgramThatLeaves)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start(TwoBoards().dump()));
    std::string garbage;
    for (int i = 0; i < 3000; ++i)
        garbage += static_cast<char>((i * 37 + 11) & 0xFF);
    sim.SendBytes(garbage);
    sim.SendBytes(std::string("\xFE" "X\x00\x40" "D", 5));  // a record cut short
    sim.SendBytes(std::string(300, '$'));
    sim.SendBytes("$PKVR,IDENT,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,Z\r\n");
    sim.SendBytes("$PKVR,HARDRS,,,Q,99999999999999999999\r\n$PKVR,JOIN,,2,IO,\r\n");
    sim.Drain(300ms);
    sim.Send("$PKVR,IDENT");
    EXPECT_EQ(sim.ReadSentences(4).size(), 4u);
    EXPECT_EQ(sim.Stop(), 0);
}

struct RescueCase {
    const char* name;
    bool bySignal;
};

void PrintTo(const RescueCase& c, std::ostream* os) { *os << c.name; }

class SimRescue : public testing::TestWithParam<RescueCase> {};

TEST_P(SimRescue, BrokenBoardAnswersOnlyInItsPowerOnWindow)
{
    nlohmann::json receiver = TwoBoards();
    receiver["boards"][0]["rate"] = 115200;
    receiver["boards"][0]["rescue"] = {{"broken", true}, {"window_ms", 3000},
                                       {"auto_power_cycle_ms", GetParam().bySignal ? 0 : 300}};
    SimProcess sim;
    ASSERT_TRUE(sim.Start(receiver.dump()));
    sim.Send("$PKVR,IDENT");
    EXPECT_TRUE(sim.ReadSentences(1, 600ms).empty());

    if (GetParam().bySignal)
        sim.Signal(SIGUSR1);
    else
        sim.SendBytes("\x12");  // the first DC2 starts the automatic power cycle
    std::this_thread::sleep_for(500ms);
    sim.SendBytes("\x12");
    std::vector<std::string> lines = sim.ReadSentences(2);
    EXPECT_EQ(lines, (std::vector<std::string>{"$PKVR,IDENT,2,1,U1234A,BOOT0102",
                                               "$PKVR,IDENT,2,2,U1234A,UCRQ"}));
    // Caught in the rescue loader, it stays there and answers at 9600.
    std::this_thread::sleep_for(3000ms);
    sim.Send("$PKVR,IDENT");
    EXPECT_EQ(sim.ReadSentences(2), lines);
}

TEST(SimRescueWindow, WithoutDc2TheBrokenBoardFallsSilentAgain)
{
    nlohmann::json receiver = TwoBoards();
    receiver["boards"][0]["rescue"] = {{"broken", true}, {"window_ms", 300}};
    SimProcess sim;
    ASSERT_TRUE(sim.Start(receiver.dump()));
    sim.Signal(SIGUSR1);
    std::this_thread::sleep_for(700ms);
    sim.SendBytes("\x12");
    sim.Send("$PKVR,IDENT");
    EXPECT_TRUE(sim.ReadSentences(1, 600ms).empty());
}

INSTANTIATE_TEST_SUITE_P(Rescue, SimRescue,
                         testing::Values(RescueCase{"sigusr1", true}, RescueCase{"auto", false}),
                         [](const testing::TestParamInfo<RescueCase>& info) {
                             return std::string(info.param.name);
                         });

struct BadFileCase {
    const char* name;
    const char* json;
    const char* mention;
};

void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.name; }

class SimBadFile : public testing::TestWithParam<BadFileCase> {};

TEST_P(SimBadFile, ExitsWithTwoNamingTheField)
{
    const BadFileCase& c = GetParam();
    SimProcess holder;
    std::string path = (holder.Dir() / "bad.json").string();
    std::ofstream(path) << c.json;
    std::string command = std::string(TAVREL_BINARY_DIR "/src/tavrel-sim --receiver ") + path + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 2) << output;
    EXPECT_NE(output.find(c.mention), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, SimBadFile,
    testing::Values(
        BadFileCase{"not_json", "{\"boards\": [", "not valid JSON"},
        BadFileCase{"no_boards", "{}", "boards: missing"},
        BadFileCase{"missing_subassy", R"({"boards": [{"name": "X", "boot_loader": "B"}]})", "boards[0].subassy"},
        BadFileCase{"odd_rate", R"({"boards": [{"name": "X", "subassy": "U", "boot_loader": "B", "rate": 1234}]})",
                    "boards[0].rate"},
        BadFileCase{"misspelt", R"({"boards": [{"name": "X", "subassy": "U", "boot_loader": "B", "rat": 9600}]})",
                    "boards[0].rat: unknown field"},
        BadFileCase{"comma_in_text", R"({"boards": [{"name": "X", "subassy": "U,1", "boot_loader": "B"}]})",
                    "boards[0].subassy"},
        BadFileCase{"unknown_parent",
                    R"({"boards": [{"name": "X", "subassy": "U", "boot_loader": "B"},
                                   {"name": "Y", "subassy": "V", "boot_loader": "B", "parent": "Z", "letter": "A"}]})",
                    "boards[1].parent"},
        BadFileCase{"bad_fault", R"({"boards": [{"name": "X", "subassy": "U", "boot_loader": "B",
                                                 "faults": {"resend": [{"times": 2}]}}]})",
                    "boards[0].faults.resend[0].block"},
        BadFileCase{"port_off_the_rate_table",
                    R"({"boards": [{"name": "X", "subassy": "U", "boot_loader": "B", "ports": {"B": 14400}}]})",
                    "boards[0].ports.B"},
        BadFileCase{"reported_port_letter",
                    R"({"boards": [{"name": "X", "subassy": "U", "boot_loader": "B",
                                    "faults": {"reported_port_rates": {"Z": 14400}}}]})",
                    "boards[0].faults.reported_port_rates.Z"},
        BadFileCase{"unknown_key_in_a_fault",
                    R"({"boards": [{"name": "X", "subassy": "U", "boot_loader": "B",
                                    "faults": {"wrong_answer": [{"sentence": "$PKVR,ID", "answer": "$PKVR,X",
                                                                 "time": 1}]}}]})",
                    "boards[0].faults.wrong_answer[0].time: unknown field"},
        BadFileCase{"fault_list_not_a_list",
                    R"({"boards": [{"name": "X", "subassy": "U", "boot_loader": "B",
                                    "faults": {"no_answer": {"sentence": "$PKVR,ID"}}}]})",
                    "boards[0].faults.no_answer: expected a list"},
        BadFileCase{"ignored_without_sentence",
                    R"({"boards": [{"name": "X", "subassy": "U", "boot_loader": "B",
                                    "faults": {"ignored": [{"times": 1}]}}]})",
                    "boards[0].faults.ignored[0].sentence: missing"},
        BadFileCase{"checksum_line_not_a_sentence",
                    R"({"boards": [{"name": "X", "subassy": "U", "boot_loader": "B",
                                    "faults": {"checksum_lines": ["$GPGGA,1"]}}]})",
                    "boards[0].faults.checksum_lines[0]: expected a \"$PKVR\" sentence"}),
    [](const testing::TestParamInfo<BadFileCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace simtest
