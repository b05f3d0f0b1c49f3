// tavrel-cli transfer: progress for people and for programs, -q and -v, and
// failures that say why and what to do next.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include "CliFixture.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliTransfer : public CliE2E {
protected:
    std::string CpuRequest()
    {
        MakeRelease("cpu.s19", 3000, 0x10000);
        return WriteRequest("cpu", nlohmann::json::array({RequestLine("CPU", "cpu.s19")}));
    }
};

TEST_F(CliTransfer, ProgressForPeopleAndForPrograms)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    MakeRelease("gps.s19", 2048, 0x20000);
    MakeRelease("cpu.s19", 3000, 0x10000);
    const std::string request =
        WriteRequest("demo", nlohmann::json::array({RequestLine("GPS", "gps.s19"), RequestLine("CPU", "cpu.s19")}));
    const CliResult run =
        Cli({"transfer", request, "-p", sim.tty, "--json", "-", "--progress-json", dir.File("events.json")});
    ASSERT_EQ(run.code, 0) << run.Both();

    // Standard output holds the report alone.
    const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(report.is_object()) << run.out;
    EXPECT_EQ(report["ok"], true);
    EXPECT_EQ(report["port"], sim.tty);
    EXPECT_FALSE(report.contains("reason"));
    ASSERT_EQ(report["boards"].size(), 2u);
    EXPECT_EQ(report["boards"][0]["bytes"], 2048);
    EXPECT_GT(report["boards"][0].value("wall_seconds", 0.0), 0.0);
    EXPECT_GT(report["boards"][1].value("bytes_per_second", 0.0), 0.0);

    // The events: each board's phases in order, data up to its total, then the board and the end.
    const std::vector<nlohmann::json> events = Events(ReadText(dir.File("events.json")));
    ASSERT_FALSE(events.empty());
    std::map<std::string, std::vector<std::string>> phases;
    std::map<std::string, long long> lastBytes;
    for (const nlohmann::json& event : events) {
        ASSERT_TRUE(event.is_object());
        for (const char* key : {"event", "elapsed"}) EXPECT_TRUE(event.contains(key)) << event.dump();
        const std::string board = event.value("board", "");
        if (event["event"] == "phase" || event["event"] == "data") {
            for (const char* key : {"phase", "board", "bytes", "total", "resends", "rate"})
                EXPECT_TRUE(event.contains(key)) << event.dump();
            std::vector<std::string>& seen = phases[board];
            if (seen.empty() || seen.back() != event["phase"]) seen.push_back(event["phase"]);
        }
        if (event["event"] == "data") {
            EXPECT_GE(event["bytes"].get<long long>(), lastBytes[board]) << event.dump();
            EXPECT_LE(event["bytes"], event["total"]) << event.dump();
            lastBytes[board] = event["bytes"];
        }
    }
    EXPECT_EQ(phases["GPS"], (std::vector<std::string>{"scan", "transfer mode", "erase", "data", "checksum", "restart"}));
    EXPECT_EQ(phases["CPU"], (std::vector<std::string>{"transfer mode", "erase", "data", "checksum"}));
    EXPECT_EQ(lastBytes["GPS"], 2048);
    EXPECT_EQ(lastBytes["CPU"], 3000);
    EXPECT_EQ(events.back(), (nlohmann::json{{"event", "end"}, {"ok", true}, {"elapsed", events.back()["elapsed"]}}));
    const nlohmann::json& cpuEnd = events[events.size() - 2];
    EXPECT_EQ(cpuEnd["event"], "board");
    EXPECT_EQ(cpuEnd["result"], "OK");
    EXPECT_EQ(cpuEnd["bytes"], 3000);

    // For people, without a terminal: plain lines on stderr (stdout is the report's).
    for (const char* line : {"[1/2] GPS: scan " , "[1/2] GPS: erase\n", "[1/2] GPS: data 100%  2048/2048 bytes  57600 bit/s",
                             "[1/2] GPS: restart\n", "[2/2] CPU: data 100%  3000/3000 bytes  115200 bit/s",
                             "GPS: 2048 bytes in ", "CPU: 3000 bytes in "})
        EXPECT_TRUE(Contains(run.err, line)) << line << "\n" << run.err;
    EXPECT_TRUE(ImageEquals(sim, "GPS", "gps.s19"));
}

TEST_F(CliTransfer, QuietSaysNothingOnSuccessAndVerboseShowsEverySentence)
{
    // A receiver each: a loaded board keeps its transfer rate.
    const SimReceiver& first = StartSim(DemoReceiver(), "first");
    const SimReceiver& second = StartSim(DemoReceiver(), "second");
    const std::string request = CpuRequest();
    const CliResult quiet = Cli({"-q", "transfer", request, "-p", first.tty});
    EXPECT_EQ(quiet.code, 0) << quiet.Both();
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");

    const CliResult verbose = Cli({"transfer", request, "-p", second.tty, "-v"});
    EXPECT_EQ(verbose.code, 0) << verbose.Both();
    for (const char* line : {"**** Début du transfert", ">$PKVR,XSOFT,M,D<\n", "$PKVR,XSOFT,E,1\n",
                             "CPU: data 100%  3000/3000 bytes"})
        EXPECT_TRUE(Contains(verbose.err, line)) << line << "\n" << verbose.err;
}

// A pseudo-terminal with nothing behind it.
struct DeadLine {
    DeadLine()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) device = ::ptsname(master);
    }
    ~DeadLine()
    {
        if (master >= 0) ::close(master);
    }
    int master = -1;
    std::string device;
};

TEST_F(CliTransfer, FailuresSayWhyAndWhatToDoNext)
{
    // One rate to search, a short wait for the checksum.
    Setting("Times out", "Checksum reception (sec.)=1");
    settings["Miscellaneous"][1] = "Auto speed max. range=9600";
    WriteSettings();
    const std::string request = CpuRequest();
    DeadLine nothing;
    nlohmann::json broken = DemoReceiver();
    broken["boards"][0]["rescue"] = {{"supported", true}, {"broken", true}, {"auto_power_cycle_ms", 500}};
    const SimReceiver& rescue = StartSim(broken, "broken");
    ASSERT_EQ(Cli({"rescue", "-p", rescue.tty}).code, 0);   // the board now waits in its loader
    nlohmann::json other = DemoReceiver();
    other["boards"][0]["subassy"] = "XX";
    const SimReceiver& stranger = StartSim(other, "other");
    nlohmann::json silent = DemoReceiver();
    silent["boards"][0]["faults"] = {{"checksum_never", true}};
    const SimReceiver& mute = StartSim(silent, "mute");

    const struct {
        std::string port;
        std::string reason;
    } rows[] = {
        {nothing.device, "no answer from a receiver on " + nothing.device +
                             " at 9600 bit/s: no byte came back: check the cable, the power and the port"},
        {rescue.tty, "the board on " + rescue.tty + " is waiting in its rescue loader (it answered \"UCRQ\"): load it "
                     "with `tavrel-cli transfer --rescue FILE.sfl`, whose first line is that board, alone"},
        {stranger.tty, "the receiver on " + stranger.tty + " answered with XX10 CMB2, XX10 CPU0100, GP20 GPB1, "
                       "GP20 GPS0100, not with the boards of the request"},
        {mute.tty, "board CPU failed during checksum (Time out waiting for checksum message.)"},
        {dir.File("ttyUSB9"), "cannot open " + dir.File("ttyUSB9") + ": No such file or directory; is the adapter "
                              "plugged in?"},
    };
    for (const auto& row : rows) {
        const CliResult run = Cli({"transfer", request, "-p", row.port, "--json", dir.File("report.json")});
        EXPECT_EQ(run.code, 1) << row.reason << "\n" << run.Both();
        // The program's own messages stay; the reason follows them.
        const std::size_t said = run.err.find("tavrel-cli: " + row.reason);
        EXPECT_NE(said, std::string::npos) << run.err;
        EXPECT_LT(run.err.find("End of transfer: Operation completed, anomalous event(s) detected"), said) << run.err;
        EXPECT_TRUE(Contains(nlohmann::json::parse(ReadText(dir.File("report.json")), nullptr, false).value("reason", ""),
                             row.reason));
        EXPECT_TRUE(Contains(Log(), "; tavrel-cli: " + row.reason)) << row.reason;
    }
}

// A request that cannot go into rescue mode is refused before anything is
// sent, with the rule its first line breaks.
TEST_F(CliTransfer, ARescueRefusalNamesTheRuleThatFailed)
{
    MakeRelease("gps.s19", 256, 0x20000);
    MakeRelease("cpu.s19", 256, 0x10000);
    nlohmann::json relayedFirst = nlohmann::json::array({RequestLine("GPS", "gps.s19"), RequestLine("CPU", "cpu.s19")});
    const struct {
        const char* name;
        nlohmann::json lines;
        std::string rule;
    } rows[] = {
        {"relayed-first", relayedFirst,
         "the first line of the request must be that board (\"Board alone\" set); \"GPS\" is reached through "
         "another board."},
        {"cabled-first", nlohmann::json::array({RequestLine("CPU", "cpu.s19")}),
         "only a board whose Subassy ID begins with \"U\" has a rescue loader; \"CPU\" has Subassy ID \"CM\"."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string request = WriteRequest(row.name, row.lines);
        const CliResult run = Cli({"transfer", "--rescue", request, "-p", dir.File("no-such-port")});
        EXPECT_EQ(run.code, 1) << run.Both();
        const std::string board = row.lines[0]["board_name"];
        EXPECT_TRUE(Contains(run.err, "The \"" + board + "\" board does not support the rescue mode !")) << run.err;
        EXPECT_TRUE(Contains(run.err, row.rule)) << run.err;
        EXPECT_TRUE(Contains(run.err, "the rescue mode was refused, nothing was sent")) << run.err;
        EXPECT_TRUE(Contains(Log(), row.rule));
    }
    const CliResult help = Cli({"transfer", "--help"});
    EXPECT_TRUE(Contains(help.Both(), "first line of the request must be the board cabled to the PC")) << help.Both();
    EXPECT_TRUE(Contains(help.Both(), "Subassy ID must begin with \"U\"")) << help.Both();
}

// --board loads only the lines named; --dry-run sends nothing and says what
// a transfer would load, how big and how long, and what the receiver holds.
TEST_F(CliTransfer, ChosenBoardsAloneAreLoadedAndADryRunSendsNothing)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    MakeRelease("gps.s19", 2048, 0x20000);
    MakeRelease("cpu.s19", 3000, 0x10000);
    const std::string request =
        WriteRequest("demo", nlohmann::json::array({RequestLine("GPS", "gps.s19"), RequestLine("CPU", "cpu.s19")}));

    const CliResult preview = Cli({"transfer", request, "--dry-run", "-p", sim.tty, "--json", dir.File("dry.json")});
    EXPECT_EQ(preview.code, 0) << preview.Both();
    EXPECT_TRUE(Contains(preview.out, "GPS: " + requestDir + "/gps.s19, S-records (S2, 24-bit addresses), 2048 bytes, at 57600 bit/s about 00:"))
        << preview.out;
    EXPECT_TRUE(Contains(preview.out, "CPU: " + requestDir + "/cpu.s19, S-records (S2, 24-bit addresses), 3000 bytes, at 115200 bit/s"))
        << preview.out;
    EXPECT_TRUE(Contains(preview.out, "Verdict: the receiver holds every expected board")) << preview.out;
    const nlohmann::json dry = nlohmann::json::parse(ReadText(dir.File("dry.json")), nullptr, false);
    EXPECT_EQ(dry.value("dry_run", false), true) << dry.dump(2);
    EXPECT_EQ(dry["boards"][1]["bytes"], 3000);
    EXPECT_GT(dry["boards"][1]["expected_seconds"], 0);
    EXPECT_EQ(dry["health"]["healthy"], true);
    EXPECT_EQ(dry["health"]["boards"].size(), 2u) << dry.dump(2);
    // Nothing reached the boards: no record, no erase.
    const nlohmann::json stats = nlohmann::json::parse(ReadText(sim.stats), nullptr, false);
    EXPECT_EQ(stats.value("records", -1), 0) << stats.dump(2);

    // A release that is missing is found without a port.
    const std::string broken =
        WriteRequest("broken", nlohmann::json::array({RequestLine("CPU", "nowhere.s19")}));
    const CliResult missing = Cli({"transfer", broken, "--dry-run"});
    EXPECT_EQ(missing.code, 1) << missing.Both();
    EXPECT_TRUE(Contains(missing.out, "nowhere.s19: release file not found")) << missing.out;
    EXPECT_TRUE(Contains(missing.out, "The receiver was not asked")) << missing.out;

    const CliResult cpuOnly = Cli({"transfer", request, "--board", "CPU", "-p", sim.tty, "--json", "-"});
    EXPECT_EQ(cpuOnly.code, 0) << cpuOnly.Both();
    const nlohmann::json report = nlohmann::json::parse(cpuOnly.out, nullptr, false);
    ASSERT_EQ(report["boards"].size(), 1u) << cpuOnly.out;
    EXPECT_EQ(report["boards"][0]["name"], "CPU");
    EXPECT_TRUE(ImageEquals(sim, "CPU", "cpu.s19"));

    const CliResult misspelt = Cli({"transfer", request, "--board", "GSP", "-p", sim.tty});
    EXPECT_EQ(misspelt.code, 2) << misspelt.Both();
    EXPECT_TRUE(Contains(misspelt.err, "--board GSP: no line of the request loads it; closest: GPS")) << misspelt.err;
}

// A failed transfer says what it left the receiver as: a relayed board is
// put back, a cabled board that did not finish its load stays in transfer
// mode until the receiver is switched off and on. The simulator agrees.
TEST_F(CliTransfer, AFailureSaysWhatTheReceiverIsLeftAs)
{
    MakeRelease("gps.s19", 512, 0x20000);
    MakeRelease("cpu.s19", 512, 0x10000);
    const struct {
        const char* board;
        int boardIndex;
        std::string says;
        bool inTransferMode;
    } rows[] = {
        {"CPU", 0,
         "the receiver: relays left and rates restored; board CPU (cabled) stays in transfer mode and holds no "
         "complete software (erased, its load did not end); next: switch the receiver off and on",
         true},
        {"GPS", 1,
         "the receiver: relays left and rates restored; board GPS holds no complete software (erased, its load did "
         "not end); next: load GPS again",
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.board);
        nlohmann::json receiver = DemoReceiver();
        receiver["boards"][row.boardIndex]["faults"] = {{"checksum_never", true}};
        const SimReceiver& sim = StartSim(receiver, std::string("left-") + row.board);
        const std::string request = WriteRequest(
            std::string("left-") + row.board,
            nlohmann::json::array({RequestLine(row.board, row.boardIndex == 0 ? "cpu.s19" : "gps.s19")}));
        const CliResult run = Cli({"transfer", request, "-p", sim.tty});
        EXPECT_EQ(run.code, 1) << run.Both();
        // The engine's own words in the log (the desktop program's too).
        EXPECT_TRUE(Contains(Log(), "; " + row.says)) << Log();
        // The next query remembers a board left in transfer mode: the
        // answer alone cannot show it.
        const CliResult query = Cli({"query", request, "-p", sim.tty, "--json", "-"});
        const nlohmann::json health = nlohmann::json::parse(query.out, nullptr, false).value("health", nlohmann::json());
        ASSERT_TRUE(health.is_object()) << query.Both();
        std::string state;
        for (const nlohmann::json& board : health.value("boards", nlohmann::json::array()))
            if (board.value("name", "") == row.board) state = board.value("state", "");
        EXPECT_EQ(state, row.inTransferMode ? "in transfer mode" : "found") << health.dump(2);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));   // the simulator rewrites its summary
        const nlohmann::json stats = nlohmann::json::parse(ReadText(sim.stats), nullptr, false);
        ASSERT_TRUE(stats.is_object());
        EXPECT_EQ(stats["addressed"], "CPU");
        EXPECT_EQ(stats["boards"][row.boardIndex]["transfer_mode"], row.inTransferMode) << stats.dump(2);
    }
}

}  // namespace
