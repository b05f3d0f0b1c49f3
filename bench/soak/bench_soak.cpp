// tavrel-bench-soak: N transfers of a small release into a relayed board of
// tavrel-sim over a noisy line (noise bytes and foreign NMEA lines before
// every answer, records damaged on the line at a rate, so the board asks for
// resends). Every transfer must end OK with the board's image equal to the
// release, a complete report in the log and the end-report box, and no file
// descriptor or thread left behind. Prints transfers, resends, failures and
// the CPU time per transfer; exit status 1 when any transfer failed.
//
//   tavrel-bench-soak [--transfers N] [--bytes B] [--error-rate R] [--noise N]
//                     [--seed S] [--bin DIR] [--keep]
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "engine/EngineLink.h"
#include "engine/ProcessEngine.h"
#include "link/SerialLink.h"
#include "model/UpdateDoc.h"

namespace {

using nlohmann::json;

constexpr unsigned kReleaseAddress = 0x20000;
constexpr int kSimStartMs = 10000;
constexpr int kSimStopMs = 10000;
constexpr int kEndOfTransferCaption = 43;
constexpr int kResultOkText = 97;
constexpr long kFirstDamagedBlock = 3;   // the first records carry the transfer's set-up

struct Options {
    long transfers = 300;
    size_t bytes = 2048;
    double errorRate = 0.02;
    int noiseBytes = 5;
    unsigned seed = 1;
    std::string bin = TAVREL_BINARY_DIR "/src";
    bool keep = false;
};

bool ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--keep") o.keep = true;
        else if (a == "--transfers" && hasValue) o.transfers = std::atol(argv[++i]);
        else if (a == "--bytes" && hasValue) o.bytes = static_cast<size_t>(std::atol(argv[++i]));
        else if (a == "--error-rate" && hasValue) o.errorRate = std::atof(argv[++i]);
        else if (a == "--noise" && hasValue) o.noiseBytes = std::atoi(argv[++i]);
        else if (a == "--seed" && hasValue) o.seed = static_cast<unsigned>(std::atol(argv[++i]));
        else if (a == "--bin" && hasValue) o.bin = argv[++i];
        else return false;
    }
    return o.transfers > 0 && o.bytes > 0 && o.bytes <= 1000000 && o.errorRate >= 0 && o.errorRate < 0.5 &&
           o.noiseBytes >= 0 && o.noiseBytes <= 64;
}

// Answers every question with "No" and keeps the end report and the resends.
class CSoakHost : public CHost {
public:
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon) override
    {
        if (caption == GetString(kEndOfTransferCaption)) endReport = text;
        else otherBoxes.push_back(text);
        return buttons == MB_OK_ONLY ? ANSWER_OK : ANSWER_NO;
    }
    void Beep(BeepKind) override {}
    bool PromptFileName(const std::string&, std::string&, const std::string&, const std::string&,
                        const std::string&, bool) override { return false; }
    bool PromptDirectory(std::string&) override { return false; }
    bool AbortKeyPressed() override { return false; }

    std::string endReport;
    std::vector<std::string> otherBoxes;
};

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteWhole(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

size_t CountEntries(const char* dir)
{
    size_t n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (const dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
        ::closedir(d);
    }
    return n;
}

double CpuSeconds(int who)
{
    rusage u {};
    ::getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

json Environment()
{
    return {{"format", "tavrel-environment"}, {"name", "SOAK"}, {"boards", json::array({
        {{"name", "CPU"}, {"subassy_id", "CM"}, {"subassy_hardw", "10"}, {"boot_loader", "CMB2"},
         {"prog_id", 1}, {"relayed", false}, {"destination", "Port A"}, {"processing", "Aucun"},
         {"max_speed", "115200"}, {"erase_timeout", 10}, {"restart_timeout", 10},
         {"parent_board", -1}, {"save_speed", "unchecked"}},
        {{"name", "GPS"}, {"subassy_id", "GP"}, {"subassy_hardw", "20"}, {"boot_loader", "GPB1"},
         {"prog_id", 2}, {"relayed", true}, {"destination", "Port B"}, {"processing", "Aucun"},
         {"max_speed", "115200"}, {"erase_timeout", 10}, {"restart_timeout", 10},
         {"parent_board", 0}, {"save_speed", "unchecked"}}})}};
}

json Request()
{
    return {{"format", "tavrel-request"}, {"version", 20}, {"lines", json::array({
        {{"board_name", "GPS"}, {"env_name", "SOAK"}, {"subassy_hardw", "20"}, {"board_index", 1},
         {"release_file", "gps.s19"}, {"soft_id", "GPS0200"}, {"board_alone", false},
         {"restart", false}, {"transfer_speed", "115200"}, {"config_speed", "9600"}}})}};
}

// The receiver with this transfer's damaged records.
json Receiver(const Options& o, std::mt19937& random, long blocks)
{
    json corrupt = json::array();
    std::bernoulli_distribution damaged(o.errorRate);
    for (long block = kFirstDamagedBlock; block <= blocks; ++block)
        if (damaged(random)) corrupt.push_back({{"block", block}, {"times", 1}});
    return {{"line", {{"noise_bytes", o.noiseBytes}, {"nmea", o.noiseBytes > 0}}},
            {"boards", json::array({
        {{"name", "CPU"}, {"subassy", "CM"}, {"hardware", "10"}, {"boot_loader", "CMB2"},
         {"software", {"CPU0100"}}, {"software_after_load", {"CPU0200"}}, {"rate", 9600},
         {"ports", {{"B", 19200}}}, {"progr_id", 1}, {"erase_ms", 50}, {"restart_ms", 100}},
        {{"name", "GPS"}, {"subassy", "GP"}, {"hardware", "20"}, {"boot_loader", "GPB1"},
         {"software", {"GPS0100"}}, {"software_after_load", {"GPS0200"}}, {"parent", "CPU"},
         {"letter", "B"}, {"rate", 19200}, {"progr_id", 2}, {"erase_ms", 50}, {"restart_ms", 100},
         {"checksum_delay_ms", 100},
         {"faults", {{"corrupt_block", corrupt}}}}})}};
}

class CSoak {
public:
    explicit CSoak(const Options& o) : m_opt(o) {}
    ~CSoak()
    {
        StopSim();
        if (!m_dir.empty() && !m_opt.keep) std::filesystem::remove_all(m_dir);
    }

    bool SetUp();
    // One transfer; returns an empty text when it went right, else why not.
    std::string RunOne(long index);

    long resends = 0;
    long boardResendRequests = 0;

private:
    bool StartSim(const json& receiver);
    json StopSim();
    std::string Cli() const
    {
        return m_opt.bin + "/tavrel-cli --config-dir '" + m_dir + "/config' --log '" + m_dir + "/cli.log' ";
    }

    Options m_opt;
    std::string m_dir;
    std::string m_release;   // the release's bytes
    std::mt19937 m_random{1};
    CSoakHost m_host;
    CUpdateDoc m_doc;
    std::unique_ptr<QProcess> m_sim;
    std::string m_tty;
};

bool CSoak::SetUp()
{
    std::string pattern = std::filesystem::temp_directory_path().string() + "/tavrel-soak-XXXXXX";
    if (!::mkdtemp(pattern.data())) return false;
    m_dir = pattern;
    m_random.seed(m_opt.seed);
    for (const char* sub : {"/config", "/env", "/request", "/images"}) std::filesystem::create_directory(m_dir + sub);
    const std::string ini = "[Paths]\nProducts files=" + m_dir + "/env/\n"
                            "[Times out]\nBetween 2 write (ms.)=0\n"
                            "[Miscellaneous]\nAuto speed min. range=9600\nAuto speed max. range=115200\n"
                            "Rescue enable=NO\nReserved 3=2\n";
    m_release.resize(m_opt.bytes);
    for (char& c : m_release) c = static_cast<char>(m_random() & 0xFF);
    char objcopy[1024];
    std::snprintf(objcopy, sizeof objcopy, "objcopy -I binary -O srec --change-addresses 0x%x '%s/gps.bin' '%s/request/gps.s19'",
                  kReleaseAddress, m_dir.c_str(), m_dir.c_str());
    if (!WriteWhole(m_dir + "/config/Tavrel.ini", ini) || !WriteWhole(m_dir + "/gps.bin", m_release) ||
        !WriteWhole(m_dir + "/env.json", Environment().dump()) || !WriteWhole(m_dir + "/request.json", Request().dump()) ||
        !Shell(objcopy))
        return false;
    if (!Shell(Cli() + "env import '" + m_dir + "/env.json' --out '" + m_dir + "/env/soak.def'") ||
        !Shell(Cli() + "request import '" + m_dir + "/request.json' --out '" + m_dir + "/request/soak.sfl' --dir '" +
               m_dir + "/env'"))
        return false;
    SetHost(&m_host);
    if (!App().StartUpCore(m_dir + "/config", m_dir + "/Tavrel.log")) return false;
    return m_doc.OpenRequest(m_dir + "/request/soak.sfl") == OpenResult::Ok;
}

bool CSoak::StartSim(const json& receiver)
{
    if (!WriteWhole(m_dir + "/receiver.json", receiver.dump())) return false;
    std::filesystem::remove(m_dir + "/images/GPS.srec");
    m_sim = std::make_unique<QProcess>();
    m_sim->start(QString::fromStdString(m_opt.bin + "/tavrel-sim"),
                 {"--receiver", QString::fromStdString(m_dir + "/receiver.json"), "--image-dir",
                  QString::fromStdString(m_dir + "/images"), "--stats", QString::fromStdString(m_dir + "/stats.json")});
    if (!m_sim->waitForStarted(kSimStartMs)) return false;
    std::string out;
    while (out.find('\n') == std::string::npos && m_sim->waitForReadyRead(kSimStartMs))
        out += m_sim->readAllStandardOutput().toStdString();
    if (out.rfind("ready ", 0) != 0) return false;
    m_tty = out.substr(6, out.find('\n') - 6);
    return true;
}

json CSoak::StopSim()
{
    if (!m_sim) return json();
    m_sim->terminate();
    if (!m_sim->waitForFinished(kSimStopMs)) {
        m_sim->kill();
        m_sim->waitForFinished(kSimStopMs);
    }
    m_sim.reset();
    return json::parse(ReadWhole(m_dir + "/stats.json"), nullptr, false);
}

std::string CSoak::RunOne(long index)
{
    const long blocks = static_cast<long>((m_opt.bytes + 15) / 16);
    // Counted with the simulator stopped, before and after the transfer.
    const size_t fds = CountEntries("/proc/self/fd"), threads = CountEntries("/proc/self/task");
    if (!StartSim(Receiver(m_opt, m_random, blocks))) return "tavrel-sim did not start";
    const size_t logBefore = ReadWhole(m_dir + "/Tavrel.log").size();
    m_host.endReport.clear();
    m_host.otherBoxes.clear();

    std::string why;
    {
        SerialLinkPtr link = CreateConfiguredLink();
        LinkSetDevicePath(*link, m_tty);
        CProcessEngine engine(m_doc, *link);
        engine.StartTransfer(PROC_TRANSFER);
        while (!engine.IsIdle()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!engine.LastBoardStats().empty()) resends += engine.LastBoardStats()[0].resends;
        if (m_doc.m_lines[0].m_nResult != RESULT_OK)
            why = "board result " + std::to_string(m_doc.m_lines[0].m_nResult) + ", end message " +
                  std::to_string(engine.LastEndMessage());
        else if (link->IsOpen())
            why = "link left open";
    }
    const json stats = StopSim();
    if (stats.is_object()) boardResendRequests += stats["boards"][1].value("resends_asked", 0L);

    const std::string log = ReadWhole(m_dir + "/Tavrel.log");
    const std::string tail = log.size() > logBefore ? log.substr(logBefore) : std::string();
    const std::string image = m_dir + "/image.bin";
    if (!why.empty()) {
    } else if (m_host.endReport.find("'GPS'") == std::string::npos) {
        why = "end report without the board";
    } else if (tail.find("; 'GPS'    :  " + GetString(kResultOkText)) == std::string::npos || tail.find("* Fin du transfert *") == std::string::npos) {
        why = "report missing from the log";
    } else if (!Shell("objcopy -I srec -O binary '" + m_dir + "/images/GPS.srec' '" + image + "'") ||
               ReadWhole(image) != m_release) {
        why = "image differs from the release";
    } else if (CountEntries("/proc/self/fd") != fds) {
        why = "file descriptors left open";
    } else if (CountEntries("/proc/self/task") != threads) {
        why = "threads left running";
    }
    if (!why.empty()) std::printf("transfer %ld: %s\n", index, why.c_str());
    return why;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: tavrel-bench-soak [--transfers N] [--bytes B] [--error-rate R] [--noise N] "
                             "[--seed S] [--bin DIR] [--keep]\n");
        return 2;
    }
    CSoak soak(options);
    if (!soak.SetUp()) {
        std::fprintf(stderr, "tavrel-bench-soak: set-up failed (tavrel-cli, objcopy or the request)\n");
        return 2;
    }
    const double selfBefore = CpuSeconds(RUSAGE_SELF), childrenBefore = CpuSeconds(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    long failures = 0;
    for (long i = 1; i <= options.transfers; ++i) failures += soak.RunOne(i).empty() ? 0 : 1;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double n = static_cast<double>(options.transfers);
    const double self = CpuSeconds(RUSAGE_SELF) - selfBefore, children = CpuSeconds(RUSAGE_CHILDREN) - childrenBefore;
    std::printf("transfers %ld of %zu bytes, noise %d bytes + NMEA line per answer, record error rate %.3f\n",
                options.transfers, options.bytes, options.noiseBytes, options.errorRate);
    std::printf("failures %ld, resends %ld (board requests %ld)\n", failures, soak.resends, soak.boardResendRequests);
    std::printf("CPU per transfer: tavrel %.1f ms, simulator and tools %.1f ms; wall %.2f s per transfer\n",
                self * 1000 / n, children * 1000 / n, wall / n);
    return failures == 0 ? 0 : 1;
}
