// tavrel-cli batch: several receivers loaded at once, plans refused before
// anything is sent, and a port that fails ending its own run only.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "CliFixture.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliBatch : public CliE2E {
protected:
    // The request loading the CPU with a small release.
    std::string CpuRequest()
    {
        MakeRelease("cpu.s19", 2048, 0x10000);
        return WriteRequest("cpu", nlohmann::json::array({RequestLine("CPU", "cpu.s19")}));
    }
    std::string WritePlan(const nlohmann::json& runs)
    {
        return dir.Write("plan.json", nlohmann::json{{"format", "tavrel-batch"}, {"runs", runs}}.dump(2));
    }
    // The simulator heard something on its line.
    bool SimHeardAnything(const std::string& name) const
    {
        return Contains(ReadText(dir.File(name + "-sim.log")), "<<");
    }
};

TEST_F(CliBatch, FourReceiversAtOnceEachWithItsOwnLog)
{
    const std::string request = CpuRequest();
    nlohmann::json runs = nlohmann::json::array();
    std::vector<const SimReceiver*> receivers;
    for (int i = 0; i < 4; ++i) {
        receivers.push_back(&StartSim(DemoReceiver(), "rx" + std::to_string(i)));
        runs.push_back({{"port", receivers.back()->tty}, {"request", "request/cpu.sfl"}});
    }
    runs[1]["settings"] = {{"Times out/Checksum reception (sec.)", 5}};
    runs[2]["log"] = "third.log";
    const CliResult batch = Cli({"batch", WritePlan(runs), "--json", dir.File("batch.json")});
    EXPECT_EQ(batch.code, 0) << batch.Both();
    const nlohmann::json report = nlohmann::json::parse(ReadText(dir.File("batch.json")), nullptr, false);
    ASSERT_EQ(report.value("runs", nlohmann::json::array()).size(), 4u) << report.dump(2);
    EXPECT_EQ(report["ok"], true);
    std::vector<std::string> logs;
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const nlohmann::json& run = report["runs"][static_cast<size_t>(i)];
        EXPECT_EQ(run["ok"], true);
        EXPECT_EQ(run["transfer"]["boards"][0]["result_text"], "OK");
        EXPECT_TRUE(ImageEquals(*receivers[static_cast<size_t>(i)], "CPU", "cpu.s19"));
        const std::string log = run["log"];
        EXPECT_TRUE(Contains(ReadText(log), "Fin du transfert")) << log;
        EXPECT_TRUE(Contains(batch.out, receivers[static_cast<size_t>(i)]->tty + "  OK")) << batch.out;
        logs.push_back(log);
    }
    EXPECT_EQ(logs[2], dir.File("third.log"));
    EXPECT_EQ(logs[0], dir.Path() + "/Tavrel-" + receivers[0]->device.substr(5, 3) + "_" +
                           receivers[0]->device.substr(9) + ".log");
    // The runs' settings are their own: the program's Tavrel.ini is unchanged.
    EXPECT_FALSE(Contains(ReadText(configDir + "/Tavrel.ini"), "Checksum reception"));
    EXPECT_FALSE(Contains(Log(), "Début du transfert"));
}

// A new user has no Tavrel.ini yet: the run starts from the defaults (and
// the plan's own settings), as a single transfer would.
TEST_F(CliBatch, ARunWithoutASettingsFileStartsFromTheDefaults)
{
    const std::string request = CpuRequest();
    const SimReceiver& sim = StartSim(DemoReceiver());
    const std::string fresh = dir.File("fresh-config");
    ASSERT_EQ(::mkdir(fresh.c_str(), 0755), 0);
    nlohmann::json run = {{"port", sim.tty}, {"request", "request/cpu.sfl"}, {"config_dir", fresh},
                          {"env_dir", envDir}};
    run["settings"] = {{"Times out/Between 2 write (ms.)", 0}, {"Miscellaneous/Reserved 3", 2}};
    const CliResult batch = Cli({"batch", WritePlan(nlohmann::json::array({run}))});
    EXPECT_EQ(batch.code, 0) << batch.Both();
    EXPECT_FALSE(Contains(batch.Both(), "cannot copy")) << batch.Both();
    EXPECT_TRUE(ImageEquals(sim, "CPU", "cpu.s19"));
    // The batch writes no settings file of its own into the user's directory.
    EXPECT_FALSE(std::filesystem::exists(fresh + "/Tavrel.ini"));
}

TEST_F(CliBatch, PlansThatCannotRunAreRefusedBeforeAnythingIsSent)
{
    const std::string request = CpuRequest();
    const SimReceiver& sim = StartSim(DemoReceiver(), "rx");
    const nlohmann::json good = {{"port", sim.tty}, {"request", request}};
    auto with = [&](const char* field, const nlohmann::json& value) {
        nlohmann::json run = good;
        run[field] = value;
        return nlohmann::json::array({run});
    };
    const struct {
        nlohmann::json plan;   // a string is written as it is
        std::string says;
    } rows[] = {
        {"{\"format\": \"tavrel-batch\", \"runs\": [", "is not valid JSON"},
        {nlohmann::json{{"format", "tavrel-request"}, {"runs", {good}}}, "format: \"tavrel-batch\" is expected"},
        {nlohmann::json{{"format", {"tavrel-batch"}}, {"runs", {good}}}, "format: \"tavrel-batch\" is expected"},
        {nlohmann::json{{"format", nullptr}, {"runs", {good}}}, "format: \"tavrel-batch\" is expected"},
        {nlohmann::json::array({"tavrel-batch"}), "format: \"tavrel-batch\" is expected"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", nlohmann::json::array()}}, "runs: a list of 1 to 32 runs"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", {good}}, {"extra", 1}}, "extra: unknown field"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", with("prot", "COM1")}}, "runs[0].prot: unknown field"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", with("port", 7)}}, "runs[0].port: a non-empty text"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", with("port", dir.File("gone"))}},
         "runs[0].port: " + dir.File("gone") + " does not exist"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", with("port", "COM12")}}, "runs[0].port: COM12: the port numbers"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", {good, {{"port", sim.device}, {"request", request}}}}},
         "runs[1].port: " + sim.device + " is the device of runs[0]"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", with("request", "none.sfl")}}, "runs[0].request: "},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", with("baud", "fast")}}, "runs[0].baud: a rate in bit/s"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", with("rescue", "yes")}}, "runs[0].rescue: true or false"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", with("env_dir", "no-such-dir")}},
         "runs[0].env_dir: " + dir.File("no-such-dir") + " is not a directory"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", with("settings", {{"Times out/No such key", 1}})}},
         "runs[0].settings: no setting \"No such key\""},
        {nlohmann::json{{"format", "tavrel-batch"},
                        {"runs", with("settings", {{"Times out/Between 2 write (ms.)", 18446744073709551615ULL}})}},
         "runs[0].settings: \"Between 2 write (ms.)\" needs a whole number"},
        {nlohmann::json{{"format", "tavrel-batch"}, {"runs", with("settings", {{"Times out", 1}})}},
         "runs[0].settings: \"Times out\" is not SECTION/KEY"},
    };
    for (const auto& row : rows) {
        const std::string plan =
            dir.Write("plan.json", row.plan.is_string() ? row.plan.get<std::string>() : row.plan.dump());
        const CliResult run = Cli({"batch", plan});
        EXPECT_EQ(run.code, 2) << row.says << "\n" << run.Both();
        EXPECT_TRUE(Contains(run.err, row.says)) << run.err;
        EXPECT_TRUE(Contains(run.err, "; nothing was sent")) << run.err;
    }
    EXPECT_FALSE(SimHeardAnything("rx"));
}

// A plan with several faults names each, in the order of the plan, and
// runs nothing; a run whose field is wrong is still checked for its port.
TEST_F(CliBatch, EveryProblemOfAPlanIsListedBeforeItIsRefused)
{
    const std::string request = CpuRequest();
    const SimReceiver& sim = StartSim(DemoReceiver(), "rx");
    const nlohmann::json runs = {
        {{"port", sim.tty}, {"request", request}, {"baud", "fast"}, {"prot", 1}},
        {{"port", dir.File("gone.tty")}, {"request", "none.sfl"}},
        {{"port", sim.device}, {"request", request}},
        {{"port", dir.File("rx.tty")}, {"request", request}, {"settings", {{"Times out/Betwen 2 write (ms.)", 1}}}},
    };
    const std::string plan = dir.Write("plan.json", nlohmann::json{{"format", "tavrel-batch"}, {"runs", runs}, {"extra", 1}}.dump(2));
    const CliResult run = Cli({"batch", plan});
    EXPECT_EQ(run.code, 2) << run.Both();
    const std::vector<std::string> says = {
        "extra: unknown field",
        "runs[0].prot: unknown field",
        "runs[0].baud: a rate in bit/s is expected",
        "runs[1].port: " + dir.File("gone.tty") + " does not exist",
        "runs[1].request: " + dir.File("none.sfl") + " is not a file",
        "runs[2].port: " + sim.device + " is the device of runs[0]",
        "runs[3].port: " + dir.File("rx.tty") + " is the device of runs[0]",
    };
    std::size_t at = 0;
    for (const std::string& problem : says) {
        const std::size_t found = run.err.find("tavrel-cli: " + plan + ": " + problem, at);
        EXPECT_NE(found, std::string::npos) << problem << "\n" << run.err;
        if (found != std::string::npos) at = found;
    }
    EXPECT_TRUE(Contains(run.err, "tavrel-cli: " + plan + ": 7 problems; nothing was sent\n")) << run.err;
    EXPECT_FALSE(SimHeardAnything("rx"));

    // Settings are tried for every run whose plan is right; each wrong one is named.
    const SimReceiver& other = StartSim(DemoReceiver(), "other");
    const std::string settings = WritePlan(
        {{{"port", sim.tty}, {"request", request}, {"settings", {{"Times out/Betwen 2 write (ms.)", 1}}}},
         {{"port", other.tty}, {"request", request}, {"settings", {{"Times out/Between 2 write (ms.)", "x"}}}}});
    const CliResult refused = Cli({"batch", settings});
    EXPECT_EQ(refused.code, 2) << refused.Both();
    EXPECT_TRUE(Contains(refused.err, "runs[0].settings: no setting \"Betwen 2 write (ms.)\" in section \"Times out\"; "
                                      "closest: Times out/Between 2 write (ms.)\n")) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "runs[1].settings: \"Between 2 write (ms.)\" needs a whole number\n")) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "2 problems; nothing was sent")) << refused.err;
    EXPECT_FALSE(SimHeardAnything("rx"));
    EXPECT_FALSE(SimHeardAnything("other"));
}

// One receiver vanishes in the middle of its load: that run fails and says
// why, the other one completes.
TEST_F(CliBatch, APortThatVanishesEndsItsOwnRunOnly)
{
    MakeRelease("big.s19", 24 * 1024, 0x10000);
    const std::string request = WriteRequest("big", nlohmann::json::array({RequestLine("CPU", "big.s19")}));
    const SimReceiver& stays = StartSim(DemoReceiver(), "stays");
    SimReceiver& goes = const_cast<SimReceiver&>(StartSim(DemoReceiver(), "goes", true));
    const std::string plan = WritePlan({{{"port", stays.tty}, {"request", request}},
                                        {{"port", goes.tty}, {"request", request}}});
    CliResult batch;
    std::thread running([&] { batch = Cli({"batch", plan, "--json", dir.File("batch.json")}); });
    // Once the paced receiver takes data records, it is pulled out.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto recordsTaken = [&] {
        const nlohmann::json stats = nlohmann::json::parse(ReadText(goes.stats), nullptr, false);
        return stats.is_object() && stats["boards"][0].value("records", 0) > 0;
    };
    while (!recordsTaken() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    goes.process->Kill();
    running.join();
    EXPECT_EQ(batch.code, 1) << batch.Both();
    const nlohmann::json report = nlohmann::json::parse(ReadText(dir.File("batch.json")), nullptr, false);
    ASSERT_EQ(report.value("runs", nlohmann::json::array()).size(), 2u) << batch.Both();
    EXPECT_EQ(report["runs"][0]["ok"], true);
    EXPECT_EQ(report["runs"][1]["ok"], false);
    EXPECT_TRUE(Contains(report["runs"][1].value("reason", ""), "the line to " + goes.tty + " failed during data ("))
        << report["runs"][1].dump(2);
    EXPECT_TRUE(Contains(batch.out, "why: " + report["runs"][1].value("reason", std::string("?")))) << batch.out;
    EXPECT_TRUE(ImageEquals(stays, "CPU", "big.s19"));
}

}  // namespace
