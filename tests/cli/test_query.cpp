// tavrel-cli query and ident: the answer as JSON, and what they say when
// nothing answers.
#include <fcntl.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <stdlib.h>
#include <unistd.h>

#include "CliFixture.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliQuery : public CliE2E {};

TEST_F(CliQuery, JsonOnStdoutAndTheTextOnStderr)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    const CliResult query = Cli({"query", "-p", sim.tty, "--json", "-"});
    ASSERT_EQ(query.code, 0) << query.Both();
    const nlohmann::json report = nlohmann::json::parse(query.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << query.out;
    EXPECT_EQ(report["found"], true);
    EXPECT_EQ(report["rate"], 9600);
    EXPECT_EQ(report["port"], sim.tty);
    ASSERT_EQ(report["boards"].size(), 4u) << report.dump(2);
    EXPECT_EQ(report["boards"][0], (nlohmann::json{{"number", "1"}, {"hardware", "CM10"}, {"software", "CMB2"}, {"port", ""}}));
    EXPECT_EQ(report["boards"][3]["port"], "B");
    EXPECT_EQ(report["answer"][0], "$PKVR,IDENT,4,1,CM10,CMB2");
    // The series once, although the search may have collected it twice.
    EXPECT_EQ(report["answer"].size(), 4u) << report.dump(2);
    EXPECT_TRUE(Contains(query.err, "Identification:")) << query.err;

    const CliResult ident = Cli({"ident", "-p", sim.tty, "--json", dir.File("ident.json")});
    ASSERT_EQ(ident.code, 0) << ident.Both();
    EXPECT_TRUE(Contains(ident.out, "Board found on " + sim.tty + ",9600,n,8,2")) << ident.out;
    const nlohmann::json identReport = nlohmann::json::parse(ReadText(dir.File("ident.json")), nullptr, false);
    EXPECT_EQ(identReport["found"], true);
    EXPECT_EQ(identReport["rates_tried"], nlohmann::json::array({9600}));
    EXPECT_EQ(identReport["boards"], report["boards"]);
}

// Nothing behind the port: each command names the port, the rates tried and
// the next step, on stderr and in its JSON.
TEST_F(CliQuery, NoAnswerNamesThePortTheRatesAndTheNextStep)
{
    Setting("Miscellaneous", "Auto speed max. time=2");
    WriteSettings();
    DeadLine line;
    ASSERT_FALSE(line.Device().empty());
    const std::string nextStep =
        "no byte came back: check the cable, the power and the port (--port chooses another; `tavrel-cli ports` "
        "lists them)";
    const struct {
        std::vector<std::string> args;
        const char* rates;
        const char* hint;
    } rows[] = {
        // Two seconds are enough for the sweep to ask once at every rate of the range.
        {{"query", "-p", line.Device(), "--json", "-"}, " at 9600, 19200, 38400, 57600 and 115200 bit/s: ", ""},
        {{"ident", "-p", line.Device(), "--max-time", "2", "--json", "-"}, " at 9600 bit/s: ",
         "(--scan also tries the other rates)"},
    };
    for (const auto& row : rows) {
        const CliResult run = Cli(row.args);
        EXPECT_EQ(run.code, 1) << run.Both();
        const std::string says = "no answer from a receiver on " + line.Device() + row.rates + nextStep;
        EXPECT_TRUE(Contains(run.err, "tavrel-cli: " + says)) << run.err;
        EXPECT_TRUE(Contains(run.err, row.hint)) << run.err;
        const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
        EXPECT_EQ(report.value("found", true), false) << run.out;
        EXPECT_TRUE(Contains(report.value("reason", ""), says)) << run.out;
    }
}

TEST_F(CliQuery, AMissingDeviceIsNamedWithTheSystemsReason)
{
    const CliResult run = Cli({"query", "-p", dir.File("ttyUSB-unplugged"), "--json", "-"});
    EXPECT_EQ(run.code, 1) << run.Both();
    EXPECT_TRUE(Contains(run.err, "Communication error: Unable to open the port.")) << run.err;
    const std::string says = "cannot open " + dir.File("ttyUSB-unplugged") + ": No such file or directory";
    EXPECT_TRUE(Contains(run.err, "tavrel-cli: " + says + "; is the adapter plugged in?")) << run.err;
    EXPECT_TRUE(Contains(nlohmann::json::parse(run.out, nullptr, false).value("reason", ""), says)) << run.out;
    EXPECT_TRUE(Contains(Log(), "Cannot open " + dir.File("ttyUSB-unplugged") + " : No such file or directory"));
}

// The health check: the answer against the boards a request or an
// environment expects, a verdict and the next step of every problem.
class CliHealth : public CliE2E {
protected:
    // The demo receiver with changes to its boards ("CPU" first, "GPS" second).
    static nlohmann::json Receiver(const nlohmann::json& cpuChanges, bool withGps = true,
                                   const nlohmann::json& extraBoard = nullptr)
    {
        nlohmann::json receiver = DemoReceiver();
        if (cpuChanges.is_object()) receiver["boards"][0].merge_patch(cpuChanges);
        if (!withGps) receiver["boards"].erase(1);
        if (!extraBoard.is_null()) receiver["boards"].push_back(extraBoard);
        return receiver;
    }
    nlohmann::json Query(const std::vector<std::string>& expectation, int code, CliResult& run)
    {
        std::vector<std::string> args = {"query", "-p", sims.back().tty, "--json", "-"};
        args.insert(args.end(), expectation.begin(), expectation.end());
        run = Cli(args);
        EXPECT_EQ(run.code, code) << run.Both();
        const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
        if (report.is_discarded() || !report.contains("health")) {
            ADD_FAILURE() << "no health check: " << run.Both();
            return nlohmann::json::object();
        }
        return report["health"];
    }
};

TEST_F(CliHealth, EachExpectedBoardIsFoundMissingOrInItsRescueLoader)
{
    const std::string request = WriteRequest("both", {RequestLine("CPU", "cpu.s19"), RequestLine("GPS", "gps.s19")});
    const nlohmann::json radio = {{"name", "RADIO"}, {"subassy", "RD"},   {"hardware", "5"}, {"boot_loader", "RDB1"},
                                  {"software", {"RAD0100"}}, {"parent", "CPU"}, {"letter", "C"}};
    const struct {
        const char* title;
        nlohmann::json receiver;
        const char* cpu;
        const char* gps;
        int unexpected;
        std::vector<std::string> says;
    } rows[] = {
        {"healthy", Receiver({}), "found", "found", 0,
         {"CPU  found, runs CPU0100 (the request loads CPU0200)", "GPS  found, runs GPS0100",
          "Verdict: the receiver holds every expected board, each answering"}},
        {"GPS behind its port, missing", Receiver({}, false), "found", "missing", 0,
         {"GPS  missing: not in the answer of CPU (Port B)", "Verdict: not ready: GPS missing",
          "Next step for GPS: check Port B of board CPU"}},
        {"CPU in its rescue loader", Receiver({{"software", {"UCRQ"}}}, false), "in its rescue loader", "missing", 0,
         {"CPU  waits in its rescue loader", "GPS  missing: CPU waits in its rescue loader and relays nothing",
          "Next step for CPU: load it with `tavrel-cli transfer --rescue " + request + "`",
          "Next step for GPS: load CPU first"}},
        {"a board nobody expects", Receiver({}, true, radio), "found", "found", 1,
         {"unexpected: RD5 behind port C, answers RDB1, RAD0100", "Verdict: not ready: 1 unexpected board"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        StartSim(row.receiver, std::string("sim-") + std::to_string(sims.size()));
        CliResult run;
        const bool healthy = std::string(row.gps) == "found" && std::string(row.cpu) == "found" && row.unexpected == 0;
        const nlohmann::json health = Query({request}, healthy ? 0 : 1, run);
        EXPECT_EQ(health.value("healthy", !healthy), healthy) << health.dump(2);
        ASSERT_EQ(health["boards"].size(), 2u) << health.dump(2);
        EXPECT_EQ(health["boards"][0]["state"], row.cpu);
        EXPECT_EQ(health["boards"][1]["state"], row.gps);
        EXPECT_EQ(health["unexpected"].size(), static_cast<size_t>(row.unexpected));
        for (const std::string& line : row.says) EXPECT_TRUE(Contains(run.err, line)) << line << "\n" << run.err;
        EXPECT_TRUE(Contains(Log(), "; " + health.value("verdict", std::string("?"))));
    }
}

TEST_F(CliHealth, AnEnvironmentExpectsEveryBoardAndTheRequestsSoftwareIsTold)
{
    StartSim(Receiver({{"software", {"CPU0200"}}}));
    CliResult run;
    const nlohmann::json health = Query({"--env", "DEMO"}, 0, run);
    EXPECT_EQ(health["boards"][0]["software"], nlohmann::json::array({"CPU0200"}));
    EXPECT_EQ(health["boards"][1]["name"], "GPS");

    const std::string request = WriteRequest("cpu", nlohmann::json::array({RequestLine("CPU", "cpu.s19")}));
    const nlohmann::json checked = Query({request}, 0, run);
    EXPECT_EQ(checked["boards"][0]["exact_software"], true) << checked.dump(2);
    EXPECT_TRUE(Contains(run.err, "CPU  found, runs CPU0200 (the request's release)")) << run.err;
    // GPS is no line of that request but a board of its environment: told, no problem.
    EXPECT_EQ(checked["unexpected"].size(), 0u);
    EXPECT_TRUE(Contains(run.err, "GPS (no line of the request) found, runs GPS0100")) << run.err;

    const CliResult misspelt = Cli({"query", "-p", sims.back().tty, "--env", "DEM0"});
    EXPECT_EQ(misspelt.code, 2) << misspelt.Both();
    EXPECT_TRUE(Contains(misspelt.err, "--env DEM0: no such environment")) << misspelt.err;
    EXPECT_TRUE(Contains(misspelt.err, "closest: DEMO")) << misspelt.err;
}

// A plain query of a board waiting in its rescue loader says so, with the
// command that loads it, and does not end as a success.
TEST_F(CliHealth, ARescueLoaderIsNamedByQueryAndIdent)
{
    const SimReceiver& sim = StartSim(Receiver({{"software", {"UCRQ"}}}, false));
    for (const char* command : {"query", "ident"}) {
        const CliResult run = Cli({command, "-p", sim.tty});
        EXPECT_EQ(run.code, 1) << command << run.Both();
        EXPECT_TRUE(Contains(run.err, "waits in its rescue loader (it answers \"UCRQ\")")) << command << run.err;
        EXPECT_TRUE(Contains(run.err, "`tavrel-cli transfer --rescue REQUEST.sfl`")) << command << run.err;
    }
}

// A search nobody watches gives up on a line that stays silent, and tells a
// line that brings bytes back, not understood, from one that brings none.
class CliSilentPort : public CliE2E {
protected:
    void SetUp() override
    {
        CliE2E::SetUp();
        // Two rates make a round of the search short.
        Search("Auto speed max. range", "19200");
        Search("Auto speed max. time", "60");
    }
    // Sets a key of the search in Tavrel.ini, replacing its earlier value.
    void Search(const std::string& key, const std::string& value)
    {
        std::vector<std::string>& lines = settings["Miscellaneous"];
        std::erase_if(lines, [&](const std::string& line) { return line.rfind(key + "=", 0) == 0; });
        lines.push_back(key + "=" + value);
        WriteSettings();
    }
};

TEST_F(CliSilentPort, TwoSilentRoundsEndTheSearchUnlessToldToWait)
{
    DeadLine line;
    ASSERT_FALSE(line.Device().empty());
    const auto started = std::chrono::steady_clock::now();
    const CliResult run = Cli({"query", "-p", line.Device(), "--json", "-"});
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(run.code, 1) << run.Both();
    // Far from the minute of the time limit.
    EXPECT_LT(seconds, 40.0) << run.Both();
    const std::string says = "no answer from a receiver on " + line.Device() +
                             " at 9600 and 19200 bit/s: no byte came back: check the cable, the power and the port";
    EXPECT_TRUE(Contains(run.err, says)) << run.err;
    EXPECT_TRUE(Contains(run.err, "two rounds of the rates without a byte; --wait keeps searching")) << run.err;
    EXPECT_TRUE(Contains(nlohmann::json::parse(run.out, nullptr, false).value("reason", ""), says)) << run.out;
    EXPECT_TRUE(Contains(Log(), says));

    // --wait: the whole time limit (cut short here by the settings).
    Search("Auto speed max. time", "14");
    const CliResult waited = Cli({"query", "-p", line.Device(), "--wait"});
    EXPECT_EQ(waited.code, 1) << waited.Both();
    EXPECT_FALSE(Contains(waited.err, "two rounds")) << waited.err;
    EXPECT_TRUE(Contains(waited.err, "no byte came back")) << waited.err;
}

TEST_F(CliSilentPort, BytesThatAreNoAnswerAreNamedWithTheirRate)
{
    Search("Auto speed max. time", "3");
    DeadLine line;
    ASSERT_FALSE(line.Device().empty());
    // Another device on the port: it talks, but not as a receiver.
    std::atomic<bool> stop{false};
    std::thread chatter([&] {
        while (!stop) {
            line.Write("+CME ERROR\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const CliResult run = Cli({"query", "-p", line.Device()});
    stop = true;
    chatter.join();
    EXPECT_EQ(run.code, 1) << run.Both();
    EXPECT_TRUE(Contains(run.err, "something answers on " + line.Device() + " at 9600")) << run.err;
    EXPECT_TRUE(Contains(run.err, "but not as a receiver")) << run.err;
    EXPECT_FALSE(Contains(run.err, "no byte came back")) << run.err;
}

}  // namespace
