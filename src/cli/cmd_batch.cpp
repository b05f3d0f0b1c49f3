// tavrel-cli batch PLAN.json: one transfer per port at the same time, each in
// its own tavrel-cli with its own settings and log; one summary at the end.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "app/ExitSignals.h"
#include "app/Host.h"
#include "app/Paths.h"
#include "app/UpdateApp.h"
#include "cli/BatchPlan.h"
#include "cli/CliCommand.h"
#include "cli/CliOutcome.h"
#include "cli/CliJson.h"
#include "model/ModelJson.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 200;
constexpr std::size_t kMaxLineBytes = 64 * 1024;   // a longer line from a run is cut
constexpr auto kDataLineEvery = std::chrono::seconds(5);

// One run in progress: its child program and where its files go.
struct RunState {
    BatchRun plan;
    std::string work;          // private directory: settings copy, report, stderr
    pid_t pid = -1;
    int out = -1;              // the run's standard output
    std::string pending;       // a line not yet complete
    int exitCode = -1;         // -1 while running; 128 + signal when killed
    Clock::time_point started;
    Clock::time_point lastDataLine{};
    double seconds = 0;
    nlohmann::json report;     // the run's --json report, null when it wrote none
};

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The last line of a run's stderr that is an error of the program.
std::string LastError(const std::string& errors)
{
    std::istringstream lines(errors);
    std::string line, last;
    while (std::getline(lines, line))
        if (line.rfind(kErrorPrefix, 0) == 0) last = line.substr(std::string(kErrorPrefix).size());
    return last;
}

std::string MakeWorkDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tavrel-batch-XXXXXX";
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

std::vector<char*> Pointers(std::vector<std::string>& words)
{
    std::vector<char*> pointers;
    for (std::string& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Runs tavrel-cli with `args`; its exit code and stderr (stdout is dropped).
int RunSelf(std::vector<std::string> args, std::string& errors, const std::string& errorFile)
{
    args.insert(args.begin(), ProgramFilePath());
    std::vector<char*> argv = Pointers(args);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        const int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    errors = ReadText(errorFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The run's own copy of the settings, with the plan's settings stored in it.
bool PrepareSettings(RunState& run, std::size_t index, std::string& error)
{
    const std::string source = run.plan.configDir.empty() ? App().IniPath() : run.plan.configDir + "/" + kIniFileName;
    std::error_code ec;
    const std::string copy = run.work + "/" + kIniFileName;
    // No settings file yet (a new user): the run starts from the defaults,
    // as a single transfer does.
    const bool present = fs::is_regular_file(source, ec);
    ec.clear();
    if (present) {
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing, ec);
    } else if (!std::ofstream(copy, std::ios::binary | std::ios::trunc)) {
        ec = std::make_error_code(std::errc::io_error);
    }
    if (ec) {
        error = RunPlace(index) + ": cannot " + (present ? "copy " + source : "write " + copy) +
                ": " + ec.message();
        return false;
    }
    if (run.plan.settings.empty()) return true;
    std::vector<std::string> args = {"--config-dir", run.work, "--log", "/dev/null", "settings"};
    for (const std::string& setting : run.plan.settings) {
        args.push_back("--set");
        args.push_back(setting);
    }
    std::string errors;
    if (RunSelf(args, errors, run.work + "/settings.err") != 0) {
        error = RunPlace(index) + ".settings: " + LastError(errors);
        return false;
    }
    return true;
}

std::vector<std::string> ChildArguments(const RunState& run)
{
    std::vector<std::string> args = {ProgramFilePath(), "--config-dir", run.work, "--log", run.plan.log};
    const std::string envDir = !run.plan.envDir.empty() ? run.plan.envDir : Globals().envDir;
    if (!envDir.empty()) args.insert(args.end(), {"--env-dir", envDir});
    if (!Globals().historyPath.empty()) args.insert(args.end(), {"--history", Globals().historyPath});
    args.push_back(Globals().answerYes ? "--yes" : "--no");
    args.insert(args.end(), {"transfer", run.plan.request, "--port", run.plan.portArg, "--json", run.work + "/report.json",
                             "--progress-json", "-"});
    if (!run.plan.baud.empty()) args.insert(args.end(), {"--baud", run.plan.baud});
    if (run.plan.rescue) args.push_back("--rescue");
    return args;
}

bool Launch(RunState& run)
{
    std::vector<std::string> args = ChildArguments(run);
    std::vector<char*> argv = Pointers(args);
    const std::string errorFile = run.work + "/stderr.txt";
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    run.started = Clock::now();
    run.pid = ::fork();
    if (run.pid == 0) {
        const int null = ::open("/dev/null", O_RDONLY);
        const int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(null, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (run.pid < 0) {
        ::close(out[0]);
        return false;
    }
    run.out = out[0];
    return true;
}

// One progress event of a run as a line: its phases, and its data every few seconds.
void ShowEvent(RunState& run, const std::string& line)
{
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (Globals().quiet || !event.is_object()) return;
    const std::string kind = event.value("event", "");
    const std::string board = event.value("board", "");
    const std::string who = run.plan.port + ": " + (board.empty() ? "" : board + ": ");
    if (kind == "phase") {
        std::cout << who << event.value("phase", "") << "\n" << std::flush;
        return;
    }
    if (kind != "data") return;
    const auto now = Clock::now();
    const bool ended = event.value("bytes", 0LL) >= event.value("total", 0LL);
    if (!ended && run.lastDataLine != Clock::time_point{} && now - run.lastDataLine < kDataLineEvery) return;
    run.lastDataLine = now;
    std::cout << who << "data " << static_cast<long>(event.value("percent", 0.0)) << "%  " << event.value("bytes", 0LL)
              << "/" << event.value("total", 0LL) << " bytes  " << event.value("resends", 0L) << " resends\n"
              << std::flush;
}

// Reads what the run wrote on stdout: its progress events.
void DrainOutput(RunState& run)
{
    char buffer[4096];
    const ssize_t n = ::read(run.out, buffer, sizeof buffer);
    if (n <= 0) {
        ::close(run.out);
        run.out = -1;
        return;
    }
    run.pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = run.pending.find('\n')) != std::string::npos) {
        ShowEvent(run, run.pending.substr(0, end));
        run.pending.erase(0, end + 1);
    }
    if (run.pending.size() > kMaxLineBytes) run.pending.clear();
}

void Finish(RunState& run, int status)
{
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    run.seconds = std::chrono::duration<double>(Clock::now() - run.started).count();
    run.report = nlohmann::json::parse(ReadText(run.work + "/report.json"), nullptr, false);
    if (run.report.is_discarded()) run.report = nullptr;
    if (!Globals().quiet)
        std::cout << run.plan.port << ": " << (run.exitCode == 0 ? "done" : "failed") << " after "
                  << static_cast<long>(run.seconds) << " s\n"
                  << std::flush;
}

void SignalRuns(std::vector<RunState>& runs, int signal)
{
    for (RunState& run : runs)
        if (run.exitCode < 0) ::kill(run.pid, signal);
}

// Waits for every run, reading their output. Ctrl+C is passed on to them;
// SIGTERM and SIGHUP too, so that each run ends through its own clean-up
// (relays left, rates restored) before the batch reports and ends. Returns
// the signal that stopped the batch, 0 when none did.
int WaitForRuns(std::vector<RunState>& runs)
{
    int stopSignal = 0;
    StopTarget target;
    target.stop = [&](int signal) {
        if (signal != SIGINT) stopSignal = signal;
        SignalRuns(runs, signal);
    };
    target.takesAbortKey = [] { return true; };
    SetStopTarget(&target);
    for (;;) {
        std::vector<pollfd> fds;
        bool running = false;
        for (RunState& run : runs) {
            if (run.out >= 0) fds.push_back({run.out, POLLIN, 0});
            running = running || run.exitCode < 0;
        }
        if (!running) break;
        ::poll(fds.data(), fds.size(), kPollMs);
        for (RunState& run : runs)
            if (run.out >= 0)
                for (const pollfd& p : fds)
                    if (p.fd == run.out && (p.revents & (POLLIN | POLLHUP))) DrainOutput(run);
        if (Host().AbortKeyPressed()) SignalRuns(runs, SIGINT);
        for (RunState& run : runs) {
            int status = 0;
            if (run.exitCode < 0 && ::waitpid(run.pid, &status, WNOHANG) == run.pid) Finish(run, status);
        }
    }
    SetStopTarget(nullptr);
    return stopSignal;
}

long long Bytes(const nlohmann::json& report)
{
    long long total = 0;
    for (const auto& board : report.value("boards", nlohmann::json::array())) total += board.value("bytes", 0LL);
    return total;
}

std::string BoardResults(const nlohmann::json& report)
{
    std::string text;
    for (const auto& board : report.value("boards", nlohmann::json::array()))
        text += (text.empty() ? "" : ", ") + board.value("name", std::string("?")) + " " +
                board.value("result_text", std::string("?"));
    return text;
}

// How a run failed: its report's reason, what the receiver is left as and
// the next step; without a report, its last error (else its exit) and a
// query of its port to see where its receiver stands.
FailureEnd RunFailure(const RunState& run)
{
    const auto text = [&run](const char* key) { return run.report.value(key, std::string()); };
    if (run.report.is_object() && run.report.contains("reason"))
        return {text("reason"), text("receiver_left"), text("next_step")};
    std::string reason = LastError(ReadText(run.work + "/stderr.txt"));
    if (reason.empty())
        reason = run.exitCode >= 128 ? "ended by signal " + std::to_string(run.exitCode - 128)
                                     : "exit code " + std::to_string(run.exitCode);
    return {reason, "not known: the run ended without its report (its log " + run.plan.log + " tells how far it went)",
            "`tavrel-cli query " + run.plan.request + " --port " + run.plan.port + "`"};
}

void PrintSummary(const std::vector<RunState>& runs)
{
    std::size_t width = 4;
    for (const RunState& run : runs) width = std::max(width, run.plan.port.size());
    std::cout << "\n" << std::left << std::setw(static_cast<int>(width) + 2) << "Port" << std::setw(8) << "Result"
              << std::right << std::setw(10) << "Bytes" << std::setw(8) << "Time" << std::setw(11) << "Rate"
              << "  Boards\n";
    for (const RunState& run : runs) {
        const long long bytes = run.report.is_object() ? Bytes(run.report) : 0;
        const double rate = run.seconds > 0 ? bytes / run.seconds : 0;
        std::ostringstream time, speed;
        time << static_cast<long>(run.seconds + 0.5) << " s";
        speed << static_cast<long>(rate + 0.5) << " B/s";
        std::cout << std::left << std::setw(static_cast<int>(width) + 2) << run.plan.port << std::setw(8)
                  << (run.exitCode == 0 ? "OK" : "FAILED") << std::right << std::setw(10) << bytes << std::setw(8)
                  << time.str() << std::setw(11) << speed.str() << "  "
                  << (run.report.is_object() ? BoardResults(run.report) : std::string("-")) << "\n";
        if (run.exitCode != 0) {
            const FailureEnd failure = RunFailure(run);
            const std::string indent(width + 2, ' ');
            std::cout << indent << "why: " << failure.reason << "\n";
            std::cout << indent << "the receiver: " << failure.receiver << "\n";
            std::cout << indent << "next: " << failure.next << "\n";
        }
        std::cout << std::string(width + 2, ' ') << "log: " << run.plan.log << "\n";
    }
}

nlohmann::json Report(const std::vector<RunState>& runs, bool ok)
{
    nlohmann::json list = nlohmann::json::array();
    for (const RunState& run : runs) {
        nlohmann::json entry = {{"port", run.plan.port},         {"device", run.plan.device},
                                {"request", run.plan.request},   {"log", run.plan.log},
                                {"ok", run.exitCode == 0},       {"exit_code", run.exitCode},
                                {"seconds", std::round(run.seconds * 10) / 10}, {"transfer", run.report}};
        if (run.exitCode != 0) AddFailureEnd(entry, RunFailure(run));
        list.push_back(entry);
    }
    return {{"ok", ok}, {"runs", list}};
}

std::vector<std::string> ComDevices()
{
    std::vector<std::string> devices;
    for (int n = 1; n <= static_cast<int>(App().m_comm.devices.size()); ++n) devices.push_back(App().m_comm.DevicePath(n));
    return devices;
}

// Every problem of the plan in `file`, each naming its place; the runs as far as they were read.
std::vector<std::string> PlanProblems(const std::string& file, std::vector<BatchRun>& planned)
{
    nlohmann::ordered_json plan;
    std::string error;
    if (!ReadJsonFile(file, plan, error)) return {error};
    std::vector<std::string> problems;
    ParseBatchPlan(plan, fs::absolute(file).parent_path().string(), planned, problems);
    CheckBatchRuns(planned, ComDevices(), fs::path(App().m_strLogPath).parent_path().string(), problems);
    return problems;
}

// The run a problem names ("runs[2]..." gives 2); -1 for the plan's own fields.
long RunOfProblem(const std::string& problem)
{
    return problem.rfind("runs[", 0) == 0 ? std::strtol(problem.c_str() + 5, nullptr, 10) : -1;
}

// Each problem on its own line in the order of the plan, then that nothing was sent; 2.
int RefusePlan(const std::string& file, std::vector<std::string> problems)
{
    if (problems.size() == 1) return CliUsageError(file + ": " + problems.front() + "; nothing was sent");
    std::stable_sort(problems.begin(), problems.end(), [](const std::string& a, const std::string& b) {
        return RunOfProblem(a) < RunOfProblem(b);
    });
    for (const std::string& problem : problems) CliUsageError(file + ": " + problem);
    return CliUsageError(file + ": " + std::to_string(problems.size()) + " problems; nothing was sent");
}

void RemoveWorkDirs(const std::vector<RunState>& runs)
{
    std::error_code ec;
    for (const RunState& run : runs)
        if (!run.work.empty()) fs::remove_all(run.work, ec);
}

int RunBatch(CliArgs& args)
{
    std::string jsonTarget;
    args.Option("json", jsonTarget);
    std::vector<std::string> files;
    std::string error;
    if (!args.Positionals(files, error)) return CliUsageError(error);
    if (files.size() != 1) return CliUsageError("batch needs exactly one PLAN.json");

    std::vector<BatchRun> planned;
    std::vector<std::string> problems = PlanProblems(files[0], planned);
    std::vector<RunState> runs(planned.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        runs[i].plan = planned[i];
        if (!planned[i].usable) continue;
        runs[i].work = MakeWorkDir();
        if (runs[i].work.empty()) problems.push_back(RunPlace(i) + ": cannot make a working directory");
        else if (!PrepareSettings(runs[i], i, error)) problems.push_back(error);
    }
    if (!problems.empty()) {
        RemoveWorkDirs(runs);
        return RefusePlan(files[0], problems);
    }

    CJsonReport json(jsonTarget);
    for (RunState& run : runs) {
        if (!Launch(run)) {
            run.exitCode = 127;
            continue;
        }
        if (!Globals().quiet)
            std::cout << run.plan.port << ": " << run.plan.request << " (log " << run.plan.log << ")\n" << std::flush;
    }
    const int stopSignal = WaitForRuns(runs);

    bool ok = true;
    for (const RunState& run : runs) ok = ok && run.exitCode == 0;
    PrintSummary(runs);
    const bool written = !json.Wanted() || json.Write(Report(runs, ok), error);
    RemoveWorkDirs(runs);
    if (!written) return CliFailure(error);
    if (stopSignal != 0) return 128 + stopSignal;
    return ok ? 0 : 1;
}

CliRegistrar reg({"batch", "Load several receivers at once, one transfer per port",
                  "usage: tavrel-cli batch PLAN.json [--json FILE|-]\n"
                  "  Runs one transfer per port of the plan at the same time, each in its own\n"
                  "  tavrel-cli with its own settings and log, then prints one line per port\n"
                  "  with its result, bytes, time and rate (and why, when it failed).\n"
                  "  The plan (docs/files.md):\n"
                  "    {\"format\": \"tavrel-batch\", \"runs\": [\n"
                  "      {\"port\": \"/dev/ttyUSB0\", \"request\": \"line1.sfl\"},\n"
                  "      {\"port\": \"COM2\", \"request\": \"line2.sfl\", \"baud\": 115200,\n"
                  "       \"settings\": {\"Times out/Between 2 write (ms.)\": 0},\n"
                  "       \"config_dir\": \"DIR\", \"env_dir\": \"DIR\", \"log\": \"FILE\", \"rescue\": false}]}\n"
                  "  Paths are taken from the plan's directory. Each run reads a copy of\n"
                  "  Tavrel.ini (of config_dir, else the program's) with its \"settings\" stored\n"
                  "  in it: the batch never changes Tavrel.ini. Its log defaults to\n"
                  "  Tavrel-<device>.log beside the program's log.\n"
                  "  A plan whose ports repeat or do not exist, or with a setting that cannot\n"
                  "  be stored, is refused before anything is sent. A port that fails ends\n"
                  "  its own run only. Questions are answered No (--yes: Yes). Ctrl+C asks\n"
                  "  every run to stop; SIGTERM and SIGHUP end every run through its clean-up\n"
                  "  (relays left, rates restored), then the batch (exit code 128 + signal).\n"
                  "  --json writes the summary as JSON (each run's transfer report inside).\n"
                  "  Exit code 0 when every run succeeded, 1 otherwise, 2 for a refused plan.",
                  RunBatch});

}  // namespace
