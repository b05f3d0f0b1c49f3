#include "CliFixture.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "common/ChildProcess.h"

extern char** environ;

namespace {

const std::string kBin = TAVREL_BINARY_DIR "/src/";
constexpr auto kProgramLimit = std::chrono::seconds(240);
constexpr int kSimStartMs = 5000;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The environment of this process with `extra` ("NAME=value") added or
// replaced; of two entries with one name the later wins.
std::vector<std::string> Environment(const std::vector<std::string>& extra)
{
    std::vector<std::string> env;
    auto put = [&env](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        env.erase(std::remove_if(env.begin(), env.end(),
                                 [&](const std::string& e) { return e.compare(0, name.size(), name) == 0; }),
                  env.end());
        env.push_back(entry);
    };
    for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
    for (const std::string& entry : extra) put(entry);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& words)
{
    std::vector<char*> pointers;
    for (std::string& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

CliResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& environment)
{
    char outName[] = "/tmp/tavrel-cli-out-XXXXXX";
    char errName[] = "/tmp/tavrel-cli-err-XXXXXX";
    const int out = ::mkstemp(outName);
    const int err = ::mkstemp(errName);
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> env = Environment(environment);
    std::vector<char*> argv = Pointers(words);
    std::vector<char*> envp = Pointers(env);

    CliResult result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid > 0 && WaitForChild(pid, kProgramLimit, status))
        result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::close(out);
    ::close(err);
    result.out = ReadAll(outName);
    result.err = ReadAll(errName);
    ::unlink(outName);
    ::unlink(errName);
    return result;
}

std::vector<nlohmann::json> Events(const std::string& text)
{
    std::vector<nlohmann::json> events;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) events.push_back(nlohmann::json::parse(line, nullptr, false));
    return events;
}

DeadLine::DeadLine()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0) m_device = ::ptsname(m_master);
}

DeadLine::~DeadLine()
{
    if (m_master >= 0) ::close(m_master);
}

void DeadLine::Write(const std::string& bytes)
{
    if (m_master >= 0 && ::write(m_master, bytes.data(), bytes.size()) < 0) return;
}

void CliE2E::SetUp()
{
    ASSERT_TRUE(dir.Ok());
    configDir = dir.File("config");
    envDir = dir.File("env");
    requestDir = dir.File("request");
    logPath = dir.File("Tavrel.log");
    for (const std::string& d : {configDir, envDir, requestDir}) ASSERT_EQ(::mkdir(d.c_str(), 0755), 0);
    // Fast settings: no pause between sentences, a short restart wait, no rescue offer.
    Setting("Paths", "Products files=" + envDir + "/");
    Setting("Times out", "Between 2 write (ms.)=0");
    Setting("Miscellaneous", "Auto speed min. range=9600");
    Setting("Miscellaneous", "Auto speed max. range=115200");
    Setting("Miscellaneous", "Rescue enable=NO");
    Setting("Miscellaneous", "Reserved 3=2");
    WriteSettings();

    const nlohmann::json env = {
        {"format", "tavrel-environment"},
        {"name", "DEMO"},
        {"boards",
         {{{"name", "CPU"}, {"subassy_id", "CM"}, {"subassy_hardw", "10"}, {"boot_loader", "CMB2"},
           {"prog_id", 1}, {"relayed", false}, {"destination", "Port A"}, {"processing", "Aucun"},
           {"max_speed", "115200"}, {"erase_timeout", 10}, {"restart_timeout", 10}, {"parent_board", -1},
           {"save_speed", "unchecked"}},
          {{"name", "GPS"}, {"subassy_id", "GP"}, {"subassy_hardw", "20"}, {"boot_loader", "GPB1"},
           {"prog_id", 2}, {"relayed", true}, {"destination", "Port B"}, {"processing", "Aucun"},
           {"max_speed", "115200"}, {"erase_timeout", 10}, {"restart_timeout", 10}, {"parent_board", 0},
           {"save_speed", "unchecked"}}}},
    };
    dir.Write("env.json", env.dump(2));
    const CliResult imported = Cli({"env", "import", dir.File("env.json"), "--out", envDir + "/demo.def"});
    ASSERT_EQ(imported.code, 0) << imported.Both();
}

void CliE2E::Setting(const std::string& section, const std::string& line)
{
    if (settings.find(section) == settings.end()) sectionOrder.push_back(section);
    settings[section].push_back(line);
}

void CliE2E::WriteSettings()
{
    std::string ini;
    for (const std::string& section : sectionOrder) {
        ini += "[" + section + "]\n";
        for (const std::string& line : settings[section]) ini += line + "\n";
    }
    dir.Write("config/Tavrel.ini", ini);
}

nlohmann::json CliE2E::DemoReceiver()
{
    return {{"boards",
             {{{"name", "CPU"}, {"subassy", "CM"}, {"hardware", "10"}, {"boot_loader", "CMB2"},
               {"software", {"CPU0100"}}, {"software_after_load", {"CPU0200"}}, {"rate", 9600},
               {"ports", {{"B", 19200}}}, {"progr_id", 1}, {"erase_ms", 100}, {"restart_ms", 300}},
              {{"name", "GPS"}, {"subassy", "GP"}, {"hardware", "20"}, {"boot_loader", "GPB1"},
               {"software", {"GPS0100"}}, {"software_after_load", {"GPS0200"}}, {"parent", "CPU"},
               {"letter", "B"}, {"rate", 19200}, {"progr_id", 2}, {"erase_ms", 100}, {"restart_ms", 300}}}}};
}

const SimReceiver& CliE2E::StartSim(const nlohmann::json& receiver, const std::string& name, bool pace)
{
    SimReceiver& sim = sims.emplace_back();
    sim.process = std::make_unique<CSimProcess>();
    sim.tty = dir.File(name + ".tty");
    sim.images = dir.File(name + "-images");
    sim.stats = dir.File(name + "-stats.json");
    ::mkdir(sim.images.c_str(), 0755);
    const std::string file = dir.Write(name + "-receiver.json", receiver.dump(2));
    std::vector<std::string> args = {"--receiver", file, "--link", sim.tty, "--image-dir", sim.images,
                                     "--stats", sim.stats, "--log", dir.File(name + "-sim.log")};
    if (pace) args.push_back("--pace");
    std::string ready;
    EXPECT_TRUE(sim.process->Start(kBin + "tavrel-sim", args, ready, kSimStartMs)) << ready;
    EXPECT_EQ(ready.rfind("ready ", 0), 0u) << ready;
    if (ready.size() > 6) sim.device = ready.substr(6);
    return sim;
}

nlohmann::json CliE2E::RequestLine(const std::string& board, const std::string& release)
{
    const bool cpu = board == "CPU";
    return {{"board_name", board},      {"env_name", "DEMO"},
            {"subassy_hardw", cpu ? "10" : "20"},
            {"board_index", cpu ? 0 : 1}, {"release_file", release},
            {"soft_id", cpu ? "CPU0200" : "GPS0200"},
            {"board_alone", cpu},       {"restart", !cpu},
            {"transfer_speed", cpu ? "115200" : "57600"},
            {"config_speed", "9600"}};
}

std::string CliE2E::WriteRequest(const std::string& name, const nlohmann::json& lines)
{
    const nlohmann::json request = {{"format", "tavrel-request"}, {"version", 20}, {"lines", lines}};
    const std::string json = dir.Write(name + ".json", request.dump(2));
    const std::string sfl = requestDir + "/" + name + ".sfl";
    const CliResult imported = Cli({"request", "import", json, "--out", sfl});
    EXPECT_EQ(imported.code, 0) << imported.Both();
    return sfl;
}

std::string CliE2E::MakeRelease(const std::string& name, size_t bytes, unsigned address)
{
    std::mt19937 random(static_cast<unsigned>(bytes * 7919 + address));
    std::string data(bytes, '\0');
    for (char& c : data) c = static_cast<char>(random() & 0xFF);
    const std::string bin = dir.Write(name + ".bin", data);
    char address16[16];
    std::snprintf(address16, sizeof address16, "0x%x", address);
    const CliResult made = RunProgram("/usr/bin/objcopy", {"-I", "binary", "-O", "srec", "--change-addresses",
                                                           address16, bin, requestDir + "/" + name});
    EXPECT_EQ(made.code, 0) << made.Both();
    return name;
}

bool CliE2E::ImageEquals(const SimReceiver& sim, const std::string& board, const std::string& release) const
{
    const std::string out = dir.File(board + "-image.bin");
    const CliResult made =
        RunProgram("/usr/bin/objcopy", {"-I", "srec", "-O", "binary", sim.images + "/" + board + ".srec", out});
    return made.code == 0 && ReadAll(out) == ReadAll(dir.File(release + ".bin"));
}

CliResult CliE2E::Cli(const std::vector<std::string>& args, const std::vector<std::string>& environment) const
{
    std::vector<std::string> words = {"--config-dir", configDir, "--log", logPath};
    words.insert(words.end(), args.begin(), args.end());
    // The tests never read the user's port or data directories.
    std::vector<std::string> env = {"TAVREL_PORT=", "XDG_DATA_HOME=" + dir.File("xdg-data"),
                                    "XDG_STATE_HOME=" + dir.File("xdg-state")};
    env.insert(env.end(), environment.begin(), environment.end());
    return RunProgram(kBin + "tavrel-cli", words, env);
}

std::string CliE2E::ReadText(const std::string& path) const
{
    return ReadAll(path);
}
