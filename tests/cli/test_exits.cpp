// Every way out of tavrel-cli puts the receiver back: SIGTERM, SIGHUP and
// Ctrl+C end a transfer through the same clean-up as an abort (relays left,
// rates restored, the log whole, the port's lock released) within 5 s; when
// the line is gone the last line says to switch the receiver off and on.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "CliFixture.h"
#include "common/ChildProcess.h"
#include "link/PortSetup.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kCleanUpLimit = std::chrono::seconds(5);
constexpr auto kPhaseLimit = std::chrono::seconds(60);
constexpr auto kSimSettle = std::chrono::milliseconds(400);   // the summary is rewritten ten times a second

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliExits : public CliE2E {
protected:
    // tavrel-cli in the background, its output in files of the test directory.
    pid_t StartCli(const std::vector<std::string>& args)
    {
        return StartProgram(TAVREL_BINARY_DIR "/src/tavrel-cli", args, {});
    }
    // The desktop program, offscreen, as a copy of its own (its single-instance
    // key follows the display).
    pid_t StartDesktop(const std::vector<std::string>& args)
    {
        return StartProgram(TAVREL_BINARY_DIR "/src/ui/tavrel", args,
                            {"QT_QPA_PLATFORM=offscreen", "DISPLAY=:exits-" + std::to_string(::getpid()),
                             "WAYLAND_DISPLAY="});
    }
    pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& extra)
    {
        std::vector<std::string> words = {program, "--config-dir", configDir, "--log", logPath};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<std::string> env = {"TAVREL_PORT=", "XDG_DATA_HOME=" + dir.File("xdg-data"),
                                        "XDG_STATE_HOME=" + dir.File("xdg-state")};
        env.insert(env.end(), extra.begin(), extra.end());
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
        std::vector<char*> argv, envp;
        for (std::string& w : words) argv.push_back(w.data());
        for (std::string& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const std::string out = dir.File("cli.out"), err = dir.File("cli.err");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        return pid;
    }
    // Waits until the progress events name `phase`.
    bool WaitForPhase(const std::string& events, const std::string& phase)
    {
        const auto limit = Clock::now() + kPhaseLimit;
        while (Clock::now() < limit) {
            if (Contains(ReadText(events), "\"phase\":\"" + phase + "\"")) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    nlohmann::json SimStats(const SimReceiver& sim)
    {
        std::this_thread::sleep_for(kSimSettle);
        return nlohmann::json::parse(ReadText(sim.stats), nullptr, false);
    }
    // The relayed GPS with a release long enough to be cut in its middle.
    std::string GpsRequest()
    {
        MakeRelease("gps.s19", 150000, 0x20000);
        return WriteRequest("gps", nlohmann::json::array({RequestLine("GPS", "gps.s19")}));
    }
    static nlohmann::json SlowEraseReceiver()
    {
        nlohmann::json receiver = DemoReceiver();
        receiver["boards"][1]["erase_ms"] = 3000;
        return receiver;
    }
};

// The receiver as it was before the transfer: the CPU addressed, no relay,
// no board in transfer mode, every rate back.
void ExpectReceiverBack(const nlohmann::json& stats)
{
    ASSERT_TRUE(stats.is_object());
    EXPECT_EQ(stats["addressed"], "CPU") << stats.dump(2);
    EXPECT_EQ(stats["link_rate"], 9600) << stats.dump(2);
    for (const nlohmann::json& board : stats["boards"]) {
        SCOPED_TRACE(board.value("name", ""));
        EXPECT_TRUE(board["relays_to"].is_null()) << board.dump();
        EXPECT_EQ(board["transfer_mode"], false) << board.dump();
    }
    EXPECT_EQ(stats["boards"][0]["rate"], 9600);
    EXPECT_EQ(stats["boards"][0]["ports"]["B"], 19200);
    EXPECT_EQ(stats["boards"][1]["rate"], 19200);
}

TEST_F(CliExits, SignalsEndATransferThroughItsCleanUp)
{
    const std::string request = GpsRequest();
    const struct {
        int signal;
        const char* phase;   // where the transfer is when the signal comes
    } rows[] = {
        {SIGTERM, "erase"},
        {SIGHUP, "data"},
        {SIGINT, "erase"},   // outside the data phase, Ctrl+C stops at once
        {SIGTERM, "data"},
    };
    int index = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.signal) + " during " + row.phase);
        // Unpaced: a pseudo-terminal would otherwise hold far more of the data
        // than a serial driver does, and the clean-up would queue behind it.
        const SimReceiver& sim = StartSim(SlowEraseReceiver(), "rx" + std::to_string(index++));
        const std::string events = dir.File("events.json");
        std::filesystem::remove(events);
        const pid_t pid = StartCli({"transfer", request, "-p", sim.tty, "--progress-json", events, "--json",
                                    dir.File("report.json")});
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(WaitForPhase(events, row.phase)) << ReadText(dir.File("cli.err"));
        ASSERT_EQ(::kill(pid, row.signal), 0);
        const auto sent = Clock::now();
        int status = 0;
        const bool ended = WaitForChild(pid, std::chrono::duration_cast<std::chrono::milliseconds>(kPhaseLimit), status);
        const auto took = Clock::now() - sent;
        ASSERT_TRUE(ended);
        EXPECT_LE(took, kCleanUpLimit) << std::chrono::duration<double>(took).count() << " s";
        ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal, without its clean-up";
        EXPECT_EQ(WEXITSTATUS(status), 128 + row.signal);

        ExpectReceiverBack(SimStats(sim));
        const std::string log = Log();
        EXPECT_TRUE(Contains(log, "Retour du récepteur à son état d'avant le transfert")) << log;
        EXPECT_TRUE(Contains(log, "'GPS'    :  Transfer aborted by the user.")) << log;
        EXPECT_TRUE(Contains(log, "Fin du transfert ***********************\r\n")) << log;
        const nlohmann::json report = nlohmann::json::parse(ReadText(dir.File("report.json")), nullptr, false);
        EXPECT_EQ(report.value("receiver_restored", false), true) << report.dump();
        // Said as the signal it was, with the receiver and the next step.
        EXPECT_TRUE(Contains(report.value("reason", ""), "stopped by SIG")) << report.dump();
        EXPECT_TRUE(Contains(report.value("receiver_left", ""), "relays left and rates restored")) << report.dump();
        EXPECT_TRUE(Contains(report.value("next_step", ""), "load again: `tavrel-cli transfer " + request + "`"))
            << report.dump();
        const std::string lockDir = LockFileDirectory();
        if (!lockDir.empty()) {
            EXPECT_FALSE(std::filesystem::exists(lockDir + "/" + LockFileName(CanonicalDevice(sim.tty))));
        }
    }
}

// The desktop program started on a request transfers it at once; SIGTERM
// in the middle ends the transfer as its Abort does, and the program with it.
TEST_F(CliExits, TheDesktopProgramEndsItsTransferOnSigterm)
{
#ifndef TAVREL_HAVE_GUI
    GTEST_SKIP() << "built without the desktop program";
#endif
    const std::string request = GpsRequest();
    const SimReceiver& sim = StartSim(SlowEraseReceiver(), "desk");
    Setting("Ports", "COM1=" + sim.tty);
    WriteSettings();
    const pid_t pid = StartDesktop({request});
    ASSERT_GT(pid, 0);
    const auto limit = Clock::now() + kPhaseLimit;
    while (Clock::now() < limit && !Contains(Log(), ">$PKVR,XSOFT,E,"))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(Contains(Log(), ">$PKVR,XSOFT,E,")) << Log() << ReadText(dir.File("cli.err"));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    const auto sent = Clock::now();
    int status = 0;
    ASSERT_TRUE(WaitForChild(pid, std::chrono::duration_cast<std::chrono::milliseconds>(kPhaseLimit), status));
    EXPECT_LE(Clock::now() - sent, kCleanUpLimit);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself, without its clean-up";
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    ExpectReceiverBack(SimStats(sim));
    const std::string log = Log();
    EXPECT_TRUE(Contains(log, "Signal SIGTERM reçu")) << log;
    EXPECT_TRUE(Contains(log, "'GPS'    :  Transfer aborted by the user.")) << log;
    EXPECT_TRUE(Contains(log, "Fin du transfert ***********************\r\n")) << log;
}

// SIGTERM to a batch reaches every run: each ends through its own clean-up,
// then the batch reports them and ends with the signal's exit code.
TEST_F(CliExits, ABatchPassesSigtermOnToEveryRun)
{
    const std::string request = GpsRequest();
    const SimReceiver& first = StartSim(DemoReceiver(), "b0");
    const SimReceiver& second = StartSim(DemoReceiver(), "b1");
    const nlohmann::json plan = {{"format", "tavrel-batch"},
                                 {"runs", {{{"port", first.tty}, {"request", request}},
                                           {{"port", second.tty}, {"request", request}}}}};
    const pid_t pid = StartCli({"batch", dir.Write("plan.json", plan.dump()), "--json", dir.File("batch.json")});
    ASSERT_GT(pid, 0);
    const auto limit = Clock::now() + kPhaseLimit;
    const std::string out = dir.File("cli.out");
    while (Clock::now() < limit && !Contains(ReadText(out), "GPS: data"))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(Contains(ReadText(out), "GPS: data")) << ReadText(out) << ReadText(dir.File("cli.err"));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_TRUE(WaitForChild(pid, std::chrono::duration_cast<std::chrono::milliseconds>(kPhaseLimit), status));
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself, its runs left behind";
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    ExpectReceiverBack(SimStats(first));
    ExpectReceiverBack(SimStats(second));
    const nlohmann::json report = nlohmann::json::parse(ReadText(dir.File("batch.json")), nullptr, false);
    ASSERT_EQ(report.value("runs", nlohmann::json::array()).size(), 2u) << report.dump(2);
    for (const nlohmann::json& run : report["runs"]) {
        EXPECT_EQ(run["exit_code"], 128 + SIGTERM) << run.dump(2);
        EXPECT_EQ(run["transfer"].value("receiver_restored", false), true) << run.dump(2);
    }
}

// The simulator goes away in the middle of the data: nothing can put the
// receiver back, and the last line says what to do.
TEST_F(CliExits, AReceiverThatCannotBePutBackIsSaidLast)
{
    const std::string request = GpsRequest();
    SimReceiver& sim = const_cast<SimReceiver&>(StartSim(DemoReceiver(), "gone", true));
    const std::string events = dir.File("events.json");
    const pid_t pid = StartCli({"transfer", request, "-p", sim.tty, "--progress-json", events});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForPhase(events, "data"));
    sim.process->Kill();
    int status = 0;
    ASSERT_TRUE(WaitForChild(pid, std::chrono::duration_cast<std::chrono::milliseconds>(kPhaseLimit), status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string err = ReadText(dir.File("cli.err"));
    while (!err.empty() && err.back() == '\n') err.pop_back();
    const std::string last = err.substr(err.rfind('\n') + 1);
    EXPECT_TRUE(Contains(last, "switch the receiver off and on")) << err;
    EXPECT_TRUE(Contains(Log(), "Port série perdu")) << Log();
}

}  // namespace
