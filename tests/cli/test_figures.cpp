// tavrel-cli transfer: each board's bytes, time and rate are its own, in the
// terminal summary, the --json report and the --progress-json events; blocks
// sent again are resends, never release data; a failed run keeps its time.
#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>

#include "CliFixture.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliFigures : public CliE2E {};

// The first board loads more than the second, which also asks for blocks
// again: neither count may leak into the other, nor the resends into either.
TEST_F(CliFigures, EachBoardCountsItsOwnReleaseOnce)
{
    nlohmann::json receiver = DemoReceiver();
    receiver["boards"][0]["faults"] = {{"resend", {{{"block", 3}, {"times", 2}}}},
                                       {"corrupt_block", {{{"block", 10}, {"times", 1}}}}};
    const SimReceiver& sim = StartSim(receiver);
    MakeRelease("gps.s19", 6000, 0x20000);
    MakeRelease("cpu.s19", 2000, 0x10000);
    const std::string request =
        WriteRequest("demo", nlohmann::json::array({RequestLine("GPS", "gps.s19"), RequestLine("CPU", "cpu.s19")}));
    const CliResult run =
        Cli({"transfer", request, "-p", sim.tty, "--json", "-", "--progress-json", dir.File("events.json")});
    ASSERT_EQ(run.code, 0) << run.Both();
    EXPECT_TRUE(ImageEquals(sim, "CPU", "cpu.s19"));

    const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_EQ(report.value("boards", nlohmann::json::array()).size(), 2u) << run.out;
    const nlohmann::json& gps = report["boards"][0];
    const nlohmann::json& cpu = report["boards"][1];
    EXPECT_EQ(gps["bytes"], 6000);
    EXPECT_EQ(cpu["bytes"], 2000);
    EXPECT_EQ(gps["resends"], 0);
    EXPECT_GE(cpu["resends"].get<long>(), 2);
    // The rate is the board's own bytes over its own time.
    for (const nlohmann::json* board : {&gps, &cpu}) {
        const double seconds = board->value("wall_seconds", 0.0);
        ASSERT_GT(seconds, 0.0) << board->dump();
        EXPECT_NEAR(board->value("bytes_per_second", 0.0), (*board)["bytes"].get<double>() / seconds,
                    (*board)["bytes"].get<double>() / seconds * 0.1 + 1)
            << board->dump();
    }

    std::map<std::string, long long> highest;
    for (const nlohmann::json& event : Events(ReadText(dir.File("events.json")))) {
        ASSERT_TRUE(event.is_object());
        if (!event.contains("bytes")) continue;
        const std::string board = event.value("board", "");
        SCOPED_TRACE(event.dump());
        if (board == "CPU") {
            EXPECT_LE(event["bytes"].get<long long>(), 2000);
        }
        if (event.contains("total") && event["total"].get<long long>() > 0) {
            EXPECT_LE(event["bytes"], event["total"]);
        }
        if (event.contains("percent")) {
            EXPECT_LE(event["percent"].get<double>(), 100.0);
        }
        highest[board] = std::max(highest[board], event["bytes"].get<long long>());
    }
    EXPECT_EQ(highest["GPS"], 6000);
    EXPECT_EQ(highest["CPU"], 2000);

    for (const char* line : {"GPS: 6000 bytes in ", "CPU: 2000 bytes in ", "CPU: data 100%  2000/2000 bytes"})
        EXPECT_TRUE(Contains(run.err, line)) << line << "\n" << run.err;
    EXPECT_FALSE(Contains(run.err, "CPU: 6000 bytes")) << run.err;
}

// A board that cannot keep block 5 took blocks 1 to 4 only; the run that
// ends with "Too many errors" reports its own time, in the report and the log.
TEST_F(CliFigures, AFailedBoardReportsWhatItTookAndTheRunItsTime)
{
    nlohmann::json receiver = DemoReceiver();
    receiver["boards"][0]["erase_ms"] = 1500;   // the run lasts more than a second
    receiver["boards"][0]["faults"] = {{"stuck_at_block", 5}};
    const SimReceiver& sim = StartSim(receiver);
    MakeRelease("cpu.s19", 2000, 0x10000);
    const std::string request = WriteRequest("cpu", nlohmann::json::array({RequestLine("CPU", "cpu.s19")}));
    const auto started = std::chrono::steady_clock::now();
    const CliResult run = Cli({"transfer", request, "-p", sim.tty, "--json", dir.File("report.json"),
                               "--progress-json", dir.File("events.json")});
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(run.code, 1) << run.Both();
    EXPECT_TRUE(Contains(run.err, "Too many errors.")) << run.err;

    const nlohmann::json report = nlohmann::json::parse(ReadText(dir.File("report.json")), nullptr, false);
    ASSERT_TRUE(report.is_object());
    const long long taken = report["boards"][0]["bytes"];
    EXPECT_GT(taken, 0);
    EXPECT_LE(taken, 4 * 87);   // blocks 1 to 4 at most; never the release size
    const long elapsed = report.value("elapsed_seconds", -1L);
    EXPECT_GE(elapsed, 1);
    EXPECT_LE(elapsed, static_cast<long>(wall) + 1);
    EXPECT_FALSE(Contains(Log(), "Temps de l'opération = 00:00")) << Log();

    long long lastBoardBytes = -1;
    for (const nlohmann::json& event : Events(ReadText(dir.File("events.json"))))
        if (event.value("event", "") == "board") lastBoardBytes = event.value("bytes", -1LL);
    EXPECT_EQ(lastBoardBytes, taken);
    EXPECT_TRUE(Contains(run.out, "CPU: " + std::to_string(taken) + " bytes in ")) << run.Both();
}

// A paced load of several seconds: the operation time in the report and the
// log is the wall clock's, not a count that stops when the activity does.
TEST_F(CliFigures, TheOperationTimeIsTheWallClocks)
{
    const SimReceiver& sim = StartSim(DemoReceiver(), "paced", true);
    MakeRelease("gps.s19", 40000, 0x20000);
    const std::string request = WriteRequest("gps", nlohmann::json::array({RequestLine("GPS", "gps.s19")}));
    const auto started = std::chrono::steady_clock::now();
    const CliResult run = Cli({"transfer", request, "-p", sim.tty, "--json", dir.File("report.json")});
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(run.code, 0) << run.Both();
    const nlohmann::json report = nlohmann::json::parse(ReadText(dir.File("report.json")), nullptr, false);
    const long elapsed = report.value("elapsed_seconds", -1L);
    // The program's own start-up and exit lie outside its transfer.
    EXPECT_GE(elapsed, static_cast<long>(wall) - 2) << wall;
    EXPECT_LE(elapsed, static_cast<long>(wall)) << wall;
    char text[48];
    std::snprintf(text, sizeof text, "%02ld:%02ld", elapsed / 60, elapsed % 60);
    EXPECT_TRUE(Contains(Log(), std::string("Temps de l'opération = ") + text)) << Log();
}

}  // namespace
