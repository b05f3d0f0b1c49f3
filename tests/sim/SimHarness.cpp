#include "SimHarness.h"

#include "sim/Pty.h"

#include <csignal>
#include <sys/prctl.h>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace simtest {
namespace {

using Clock = std::chrono::steady_clock;

std::string ReadLineFrom(int fd, std::chrono::milliseconds limit)
{
    std::string line;
    auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        char c;
        if (read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return line;
}

}  // namespace

SimProcess::SimProcess()
{
    char pattern[] = "/tmp/tavrel-sim-test-XXXXXX";
    m_dir = mkdtemp(pattern);
}

SimProcess::~SimProcess()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

bool SimProcess::Start(const std::string& receiverJson, const std::vector<std::string>& extraArgs)
{
    std::ofstream(m_dir / "receiver.json") << receiverJson;
    std::vector<std::string> args = {TAVREL_BINARY_DIR "/src/tavrel-sim",
                                     "--receiver", (m_dir / "receiver.json").string(),
                                     "--stats", (m_dir / "stats.json").string(),
                                     "--image-dir", (m_dir / "images").string(),
                                     "--log", (m_dir / "sim.log").string()};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    int out[2];
    if (pipe(out) != 0)
        return false;
    m_pid = fork();
    if (m_pid == 0) {
        // A test that dies must not leave its simulator running.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string ready = ReadLineFrom(out[0], 20s);
    close(out[0]);
    if (ready.rfind("ready ", 0) != 0)
        return false;
    m_device = ready.substr(6);
    m_fd = open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0)
        return false;
    termios raw{};
    tcgetattr(m_fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(m_fd, TCSANOW, &raw);
    return SetRate(9600);
}

int SimProcess::Stop()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (m_pid <= 0)
        return -1;
    kill(m_pid, SIGTERM);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void SimProcess::Signal(int number) const
{
    if (m_pid > 0)
        kill(m_pid, number);
}

bool SimProcess::SetRate(long rate, std::chrono::milliseconds settle)
{
    bool ok = sim::SetTerminalRate(m_fd, rate);
    // Give the simulator time to see the new rate before anything is sent.
    std::this_thread::sleep_for(settle);
    return ok;
}

void SimProcess::SendBytes(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else {
            pollfd p{m_fd, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

void SimProcess::Send(const std::string& sentence)
{
    SendBytes(sentence + "\r\n");
}

void SimProcess::SendRecord(const DataRecord& record)
{
    SendBytes(record.WireBytes());
}

void SimProcess::Pump(std::chrono::milliseconds limit)
{
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(limit.count())) <= 0)
        return;
    char buffer[4096];
    ssize_t n = read(m_fd, buffer, sizeof buffer);
    if (n > 0)
        m_received.append(buffer, static_cast<size_t>(n));
}

std::vector<std::string> SimProcess::ReadSentences(size_t count, std::chrono::milliseconds limit)
{
    std::vector<std::string> sentences;
    auto end = Clock::now() + limit;
    while (sentences.size() < count && Clock::now() < end) {
        // Noise may hold '$' too: a sentence starts at the last '$' before its LF.
        size_t lf = m_received.find('\n');
        size_t start = lf == std::string::npos ? lf : m_received.rfind('$', lf);
        if (lf != std::string::npos) {
            std::string line = start == std::string::npos ? std::string() : m_received.substr(start, lf - start + 1);
            m_received.erase(0, lf + 1);
            if (line.rfind("$PKVR", 0) == 0)
                sentences.push_back(line.substr(0, line.find('\r')));
            continue;
        }
        Pump(50ms);
    }
    return sentences;
}

bool SimProcess::ReadRecord(DataRecord& record, std::chrono::milliseconds limit)
{
    auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        size_t start = m_received.find('\xFE');
        size_t stop = start == std::string::npos ? start : m_received.find('\xFF', start);
        if (stop != std::string::npos) {
            std::string raw = m_received.substr(start, stop - start + 1), plain;
            m_received.erase(0, stop + 1);
            if (DataRecord::Unstuff(raw, plain) && record.Decode(plain))
                return true;
            continue;
        }
        Pump(50ms);
    }
    return false;
}

std::string SimProcess::Drain(std::chrono::milliseconds limit)
{
    auto end = Clock::now() + limit;
    while (Clock::now() < end)
        Pump(50ms);
    std::string all = std::move(m_received);
    m_received.clear();
    return all;
}

nlohmann::json SimProcess::Stats() const
{
    std::ifstream in(m_dir / "stats.json");
    return nlohmann::json::parse(in, nullptr, false);
}

nlohmann::json SimProcess::StatsWhen(const std::function<bool(const nlohmann::json&)>& holds,
                                     std::chrono::milliseconds limit) const
{
    const auto end = Clock::now() + limit;
    nlohmann::json stats = Stats();
    while (!(stats.is_object() && holds(stats)) && Clock::now() < end) {
        std::this_thread::sleep_for(20ms);
        stats = Stats();
    }
    return stats;
}

DataRecord MakeRecord(char type, int dest, int kind, uint32_t value, uint32_t address,
                      const std::vector<uint8_t>& data)
{
    DataRecord record;
    record.SetDestination(dest);
    record.SetKind(kind);
    record.BuildFrom(type, value, address, data.data(), data.size());
    return record;
}

std::vector<std::string> Fields(const std::string& sentence)
{
    std::vector<std::string> fields;
    std::stringstream in(sentence);
    std::string field;
    while (std::getline(in, field, ','))
        fields.push_back(field);
    if (!sentence.empty() && sentence.back() == ',')
        fields.push_back("");
    return fields;
}

}  // namespace simtest
