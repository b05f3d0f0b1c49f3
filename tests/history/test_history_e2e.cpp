// The history through the real programs: tavrel-cli loads tavrel-sim's
// boards and `tavrel-cli history` reads back what each run left, whatever
// ended it.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <fstream>
#include <thread>

#include "cli/CliFixture.h"
#include "common/ChildProcess.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class HistoryE2E : public CliE2E {
protected:
    std::string History() const { return dir.File("history.sqlite"); }

    CliResult Load(const std::string& request, const std::string& port)
    {
        return Cli({"--history", History(), "transfer", request, "-p", port});
    }

    nlohmann::json Rows(const std::vector<std::string>& filters = {})
    {
        std::vector<std::string> args = {"--history", History(), "history", "--json", "-"};
        args.insert(args.end(), filters.begin(), filters.end());
        const CliResult listed = Cli(args);
        EXPECT_EQ(listed.code, 0) << listed.Both();
        const nlohmann::json rows = nlohmann::json::parse(listed.out, nullptr, false);
        EXPECT_TRUE(rows.is_array()) << listed.out;
        return rows.is_array() ? rows : nlohmann::json::array();
    }

    std::string DemoRequest()
    {
        MakeRelease("gps.s19", 2048, 0x20000);
        MakeRelease("cpu.s19", 3000, 0x10000);
        return WriteRequest("demo", nlohmann::json::array({RequestLine("GPS", "gps.s19"), RequestLine("CPU", "cpu.s19")}));
    }
};

TEST_F(HistoryE2E, ATransferAndAFailedTransferAreKeptBoardByBoard)
{
    const std::string request = DemoRequest();
    const SimReceiver& sim = StartSim(DemoReceiver());
    ASSERT_EQ(Load(request, sim.tty).code, 0);
    nlohmann::json silent = DemoReceiver();
    silent["boards"][0]["faults"] = {{"checksum_never", true}};
    Setting("Times out", "Checksum reception (sec.)=2");
    WriteSettings();
    const SimReceiver& mute = StartSim(silent, "mute");
    ASSERT_EQ(Load(request, mute.tty).code, 1);

    const nlohmann::json rows = Rows();
    ASSERT_EQ(rows.size(), 4u) << rows.dump(2);   // newest first
    const nlohmann::json& gps = rows[3];
    EXPECT_EQ(gps["board"], "GPS");
    EXPECT_EQ(gps["software_before"], "GPS0100");
    EXPECT_EQ(gps["software_wanted"], "GPS0200");
    EXPECT_EQ(gps["software_after"], "GPS0200");
    EXPECT_EQ(gps["result"], "ok");
    EXPECT_EQ(gps["bytes"], 2048);
    EXPECT_EQ(gps["port"], sim.tty);
    EXPECT_EQ(gps["release"], requestDir + "/gps.s19");
    EXPECT_EQ(gps["release_sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(rows[2]["board"], "CPU");
    EXPECT_EQ(rows[2]["software_before"], "CPU0100");
    EXPECT_EQ(rows[2]["result"], "ok");
    // The second run: GPS loaded, CPU failed at its checksum, with the reason.
    EXPECT_EQ(rows[1]["result"], "ok");
    EXPECT_EQ(rows[0]["board"], "CPU");
    EXPECT_EQ(rows[0]["result"], "failed");
    EXPECT_TRUE(Contains(rows[0]["reason"], "checksum")) << rows[0].dump(2);
    EXPECT_EQ(Rows({"--result", "failed", "--board", "CPU"}).size(), 1u);

    const CliResult shown = Cli({"--history", History(), "history", "show", std::to_string(rows[0]["run"].get<long>())});
    ASSERT_EQ(shown.code, 0) << shown.Both();
    EXPECT_TRUE(Contains(shown.out, "transfer, failed")) << shown.out;
    EXPECT_TRUE(Contains(shown.out, "$PKVR,IDENT")) << shown.out;
    EXPECT_TRUE(Contains(shown.out, request)) << shown.out;

    const CliResult csv = Cli({"--history", History(), "history", "--csv", "-", "--board", "GPS"});
    ASSERT_EQ(csv.code, 0) << csv.Both();
    EXPECT_EQ(csv.out.rfind("run,started,ended,station,", 0), 0u) << csv.out;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 3);   // header and two loads of GPS
}

// Killed mid-data: the rows written at its start stay, "interrupted".
TEST_F(HistoryE2E, AProgramKilledDuringTheDataIsInterrupted)
{
    MakeRelease("cpu.s19", 40000, 0x10000);
    const std::string request = WriteRequest("cpu", nlohmann::json::array({RequestLine("CPU", "cpu.s19")}));
    const SimReceiver& sim = StartSim(DemoReceiver(), "sim", true);
    const std::string events = dir.File("events.json");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::setenv("XDG_DATA_HOME", dir.File("xdg-data").c_str(), 1);
        const std::string program = std::string(TAVREL_BINARY_DIR) + "/src/tavrel-cli";
        ::execl(program.c_str(), program.c_str(), "--config-dir", configDir.c_str(), "--log", logPath.c_str(),
                "--history", History().c_str(), "transfer", request.c_str(), "-p", sim.tty.c_str(),
                "--progress-json", events.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Contains(ReadText(events), "\"data\"") && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_TRUE(WaitForChild(pid, std::chrono::seconds(10), status));
    ASSERT_TRUE(WIFSIGNALED(status)) << "the transfer ended before it was killed";

    const nlohmann::json rows = Rows({"--result", "interrupted"});
    ASSERT_EQ(rows.size(), 1u) << Rows().dump(2);
    EXPECT_EQ(rows[0]["board"], "CPU");
    EXPECT_EQ(rows[0]["software_before"], "CPU0100");
    EXPECT_EQ(rows[0]["reason"], "the program ended before the run did");
}

TEST_F(HistoryE2E, EachRunOfABatchOfFourIsKept)
{
    MakeRelease("cpu.s19", 3000, 0x10000);
    WriteRequest("cpu", nlohmann::json::array({RequestLine("CPU", "cpu.s19")}));
    nlohmann::json runs = nlohmann::json::array();
    for (int i = 0; i < 4; ++i)
        runs.push_back({{"port", StartSim(DemoReceiver(), "rx" + std::to_string(i)).tty}, {"request", "request/cpu.sfl"}});
    const std::string plan = dir.Write("plan.json", nlohmann::json{{"format", "tavrel-batch"}, {"runs", runs}}.dump());
    const CliResult batch = Cli({"--history", History(), "batch", plan});
    ASSERT_EQ(batch.code, 0) << batch.Both();
    const nlohmann::json rows = Rows({"--board", "CPU", "--result", "ok"});
    ASSERT_EQ(rows.size(), 4u) << rows.dump(2);
    std::set<std::string> ports;
    for (const nlohmann::json& row : rows) ports.insert(row["port"].get<std::string>());
    EXPECT_EQ(ports.size(), 4u);
}

// A history that cannot be written never stops a transfer: it runs, and
// the terminal and the log say why nothing was kept.
TEST_F(HistoryE2E, AReadOnlyOrDamagedHistoryNeverStopsATransfer)
{
    MakeRelease("cpu.s19", 2000, 0x10000);
    const std::string request = WriteRequest("cpu", nlohmann::json::array({RequestLine("CPU", "cpu.s19")}));
    const SimReceiver& sim = StartSim(DemoReceiver());
    ASSERT_EQ(Load(request, sim.tty).code, 0);
    ASSERT_EQ(::chmod(History().c_str(), 0444), 0);
    if (::access(History().c_str(), W_OK) != 0) {
        const CliResult run = Load(request, sim.tty);
        EXPECT_EQ(run.code, 0) << run.Both();
        EXPECT_TRUE(Contains(run.err, "warning: history not written: cannot write the history: " + History() +
                                          " is read-only"))
            << run.err;
        EXPECT_TRUE(Contains(Log(), "; History not written: ")) << Log();
        EXPECT_EQ(Rows().size(), 1u);
    }
    ::chmod(History().c_str(), 0644);
    ::unlink((History() + "-wal").c_str());
    ::unlink((History() + "-shm").c_str());
    std::ofstream(History(), std::ios::trunc) << "not a database, not at all";
    const CliResult run = Load(request, sim.tty);
    EXPECT_EQ(run.code, 0) << run.Both();
    EXPECT_TRUE(Contains(run.err, "was damaged: moved aside as " + History() + ".damaged-")) << run.err;
    EXPECT_EQ(Rows().size(), 1u);

    Setting("Miscellaneous", "Transfer history=NO");
    WriteSettings();
    ASSERT_EQ(Load(request, sim.tty).code, 0);
    EXPECT_EQ(Rows().size(), 1u);   // switched off: nothing more kept
}

}  // namespace
