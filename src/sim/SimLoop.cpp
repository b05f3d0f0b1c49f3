#include "sim/SimLoop.h"

#include "sim/Pty.h"
#include "sim/Receiver.h"
#include "sim/SimConfig.h"
#include "sim/SimLog.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRateSampleMs = 20;          // how often the program's rate is read
// Bytes read just after a rate change was seen still count at the old rate
// (a write that straddled the change). Shorter than the program's pause after
// a rate change less one sample, so a question at the new rate is never heard
// by a board still at the old one.
constexpr int kRateChangeGraceMs = 25;
constexpr int kStatsIntervalMs = 100;      // at most ten stats files a second
constexpr int kPaceSliceMs = 10;           // paced reads take this much line time each
constexpr size_t kReadChunk = 4096;
constexpr size_t kMaxPendingWrite = 64 * 1024;
constexpr int kBitsPerByte = 11;

int g_signalPipe[2] = {-1, -1};

void OnSignal(int number)
{
    unsigned char byte = static_cast<unsigned char>(number);
    ssize_t ignored = write(g_signalPipe[1], &byte, 1);
    (void)ignored;
}

bool InstallSignals(std::string& error)
{
    if (pipe(g_signalPipe) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    for (int fd : g_signalPipe)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGTERM, SIGINT, SIGUSR1})
        sigaction(number, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& text)
{
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out << text;
        if (!out.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

std::string ImageFileName(const std::string& boardName)
{
    std::string name;
    for (char c : boardName)
        name += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ? c : '_';
    return name + ".srec";
}

class Simulator {
public:
    Simulator(const SimOptions& options, const ReceiverConfig& config, SimLog* log)
        : m_options(options), m_receiver(config, log), m_log(log), m_start(Clock::now())
    {
    }

    int Run();

private:
    int64_t Now() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start).count();
    }
    bool Prepare();
    void SampleRate(int64_t now);
    bool RateMatches(int64_t now) const;
    void ReadLine(int64_t now);
    void MoveOutput(int64_t now);
    void WritePending();
    void HandleSignals(bool& stop);
    void SaveFiles(int64_t now, bool force);
    void SaveImages(bool all);
    int PollTimeout(int64_t now) const;
    void Cleanup();

    const SimOptions& m_options;
    Receiver m_receiver;
    SimLog* m_log;
    Pty m_pty;
    Clock::time_point m_start;
    long m_rate = 0;
    long m_previousRate = 0;
    int64_t m_rateChangedAt = -1;
    int64_t m_lastSample = -1;
    double m_lineFreeAt = 0;   // --pace: when the line has carried what was read
    bool m_lineBacklog = false;   // --pace: bytes were still waiting after the last read
    std::string m_pendingWrite;
    int64_t m_lastStatsWrite = -kStatsIntervalMs;
    bool m_linkCreated = false;
};

bool Simulator::Prepare()
{
    std::string error;
    if (!m_pty.Open(error) || !InstallSignals(error)) {
        std::fprintf(stderr, "tavrel-sim: %s\n", error.c_str());
        return false;
    }
    if (!m_options.linkPath.empty()) {
        struct stat st {};
        if (lstat(m_options.linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                std::fprintf(stderr, "tavrel-sim: %s exists and is not a symbolic link\n",
                             m_options.linkPath.c_str());
                return false;
            }
            unlink(m_options.linkPath.c_str());
        }
        if (symlink(m_pty.DevicePath().c_str(), m_options.linkPath.c_str()) != 0) {
            std::fprintf(stderr, "tavrel-sim: cannot link %s: %s\n", m_options.linkPath.c_str(),
                         std::strerror(errno));
            return false;
        }
        m_linkCreated = true;
    }
    if (!m_options.imageDir.empty())
        mkdir(m_options.imageDir.c_str(), 0777);
    m_rate = m_previousRate = m_pty.CurrentRate();
    return true;
}

void Simulator::SampleRate(int64_t now)
{
    m_lastSample = now;
    long rate = m_pty.CurrentRate();
    if (rate == m_rate)
        return;
    m_previousRate = m_rate;
    m_rate = rate;
    m_rateChangedAt = now;
    m_pty.DiscardUnread();
    m_receiver.LineReset();
    if (m_log)
        m_log->Write("line rate set to " + std::to_string(rate) + " bit/s");
}

bool Simulator::RateMatches(int64_t now) const
{
    long wanted = m_receiver.LinkRate();
    if (m_rate == wanted)
        return true;
    return m_previousRate == wanted && m_rateChangedAt >= 0 && now - m_rateChangedAt <= kRateChangeGraceMs;
}

void Simulator::ReadLine(int64_t now)
{
    size_t chunk = kReadChunk;
    if (m_options.pace) {
        if (now < m_lineFreeAt || m_rate <= 0)
            return;
        double perMs = static_cast<double>(m_rate) / kBitsPerByte / 1000.0;
        chunk = std::clamp<size_t>(static_cast<size_t>(perMs * kPaceSliceMs), 1, kReadChunk);
    }
    uint8_t buffer[kReadChunk];
    ssize_t n = read(m_pty.Master(), buffer, chunk);
    if (n <= 0)
        return;
    if (m_options.pace) {
        // A late wake-up of the simulator does not stop the line. While the
        // program's bytes were still waiting after the last read, the line
        // carried them back to back, however late this read is; once the
        // queue had run dry the line may have been idle, and up to one slice
        // of lateness is caught up (a UART's FIFO keeps filling).
        const double from = m_lineBacklog ? m_lineFreeAt
                                          : std::max<double>(m_lineFreeAt, static_cast<double>(now - kPaceSliceMs));
        m_lineFreeAt = from + static_cast<double>(n) * kBitsPerByte * 1000.0 / static_cast<double>(m_rate);
        int waiting = 0;
        m_lineBacklog = ioctl(m_pty.Master(), FIONREAD, &waiting) == 0 && waiting > 0;
    }
    m_receiver.SetNow(now);
    if (RateMatches(now))
        m_receiver.OnBytes(buffer, static_cast<size_t>(n));
    else
        m_receiver.OnLostBytes(buffer, static_cast<size_t>(n));
}

void Simulator::MoveOutput(int64_t now)
{
    m_receiver.SetNow(now);
    std::string bytes;
    long rate = 0;
    while (m_receiver.TakeOutput(bytes, rate)) {
        // Bytes sent at a rate the program is not listening at are lost.
        if (m_rate != rate)
            continue;
        if (m_pendingWrite.size() + bytes.size() <= kMaxPendingWrite)
            m_pendingWrite += bytes;
    }
    WritePending();
}

void Simulator::WritePending()
{
    while (!m_pendingWrite.empty()) {
        ssize_t n = write(m_pty.Master(), m_pendingWrite.data(), m_pendingWrite.size());
        if (n <= 0)
            return;
        m_pendingWrite.erase(0, static_cast<size_t>(n));
    }
}

void Simulator::HandleSignals(bool& stop)
{
    unsigned char number;
    while (read(g_signalPipe[0], &number, 1) == 1) {
        if (number == SIGUSR1) {
            m_receiver.SetNow(Now());
            m_receiver.PowerCycle();
        } else {
            stop = true;
        }
    }
}

void Simulator::SaveImages(bool all)
{
    if (m_options.imageDir.empty())
        return;
    std::vector<const Board*> boards = m_receiver.TakeDirtyImages();
    if (all) {
        for (const auto& b : m_receiver.Boards()) {
            if (!b->image.Empty() && std::find(boards.begin(), boards.end(), b.get()) == boards.end())
                boards.push_back(b.get());
        }
    }
    for (const Board* b : boards) {
        std::string path = m_options.imageDir + "/" + ImageFileName(b->cfg->name);
        if (!WriteFileAtomically(path, b->image.ToSRecords(b->cfg->name)) && m_log)
            m_log->Write("cannot write " + path);
    }
}

void Simulator::SaveFiles(int64_t now, bool force)
{
    SaveImages(force);
    if (m_options.statsFile.empty())
        return;
    if (!force && now - m_lastStatsWrite < kStatsIntervalMs)
        return;
    if (!m_receiver.TakeStatsChanged() && !force)
        return;
    m_receiver.SetNow(now);
    m_lastStatsWrite = now;
    WriteFileAtomically(m_options.statsFile, m_receiver.StatsJson().dump(2) + "\n");
}

int Simulator::PollTimeout(int64_t now) const
{
    int64_t timeout = kRateSampleMs;
    int64_t due = m_receiver.NextDueMs();
    if (due >= 0)
        timeout = std::min(timeout, std::max<int64_t>(due - now, 0));
    if (m_options.pace && now < m_lineFreeAt)
        timeout = std::min<int64_t>(timeout, static_cast<int64_t>(m_lineFreeAt - now) + 1);
    return static_cast<int>(timeout);
}

void Simulator::Cleanup()
{
    SaveFiles(Now(), true);
    if (m_linkCreated)
        unlink(m_options.linkPath.c_str());
}

int Simulator::Run()
{
    if (!Prepare()) {
        Cleanup();
        return kExitFailure;
    }
    std::printf("ready %s\n", m_pty.DevicePath().c_str());
    std::fflush(stdout);
    if (m_log)
        m_log->Write("ready " + m_pty.DevicePath());
    SaveFiles(Now(), true);

    bool stop = false;
    while (!stop) {
        int64_t now = Now();
        bool mayRead = !m_options.pace || now >= m_lineFreeAt;
        pollfd fds[2] = {{m_pty.Master(), 0, 0}, {g_signalPipe[0], POLLIN, 0}};
        if (mayRead)
            fds[0].events |= POLLIN;
        if (!m_pendingWrite.empty())
            fds[0].events |= POLLOUT;
        int ready = poll(fds, 2, PollTimeout(now));
        if (ready < 0 && errno != EINTR)
            break;
        now = Now();
        if (fds[1].revents & POLLIN)
            HandleSignals(stop);
        SampleRate(now);
        if (fds[0].revents & POLLIN)
            ReadLine(now);
        m_receiver.SetNow(now);
        m_receiver.RunDueTimers();
        MoveOutput(now);
        SaveFiles(now, false);
    }
    Cleanup();
    return kExitOk;
}

}  // namespace

int RunSimulator(const SimOptions& options)
{
    ReceiverConfig config;
    std::string error;
    if (!LoadReceiverConfig(options.receiverFile, config, error)) {
        std::fprintf(stderr, "tavrel-sim: %s: %s\n", options.receiverFile.c_str(), error.c_str());
        return kExitBadInput;
    }
    SimLog log;
    if (!options.logFile.empty() && !log.Open(options.logFile)) {
        std::fprintf(stderr, "tavrel-sim: cannot open the log %s\n", options.logFile.c_str());
        return kExitBadInput;
    }
    Simulator simulator(options, config, options.logFile.empty() ? nullptr : &log);
    return simulator.Run();
}

}  // namespace sim
