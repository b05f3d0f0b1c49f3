// Hostile files given to tavrel-cli as a user would give them: environments,
// requests, .vle files, releases and JSON forms made by damaging real ones
// (bits flipped, cut short, lengths made huge, pieces repeated). Every run
// must end on its own with one of the program's exit codes (0, 1 or 2),
// without being killed and without a sanitizer report. The damage is drawn
// from a fixed seed per command, so a failure names the run that reproduces it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/ChildProcess.h"
#include "common/TempDir.h"

namespace {

const std::string kCli = TAVREL_BINARY_DIR "/src/tavrel-cli";
const std::string kSeeds = TAVREL_SOURCE_DIR "/tests/fuzz/corpus/";
constexpr int kRunsPerCommand = 40;
constexpr auto kRunLimit = std::chrono::seconds(60);   // sanitized builds are slow

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> SeedsIn(const std::vector<std::string>& dirs)
{
    std::vector<std::string> seeds;
    for (const std::string& dir : dirs)
        for (const auto& entry : std::filesystem::directory_iterator(kSeeds + dir))
            seeds.push_back(ReadFile(entry.path().string()));
    return seeds;
}

// A few kinds of damage, one to eight times.
std::string Damage(std::string bytes, std::mt19937& random)
{
    static const std::string kHugeLengths[] = {std::string("\xff\xff\xff\x7f", 4), std::string("\0\0\0\x80", 4),
                                               std::string("\xff\xff", 2), std::string("\0\0", 2)};
    const int times = 1 + static_cast<int>(random() % 8);
    for (int t = 0; t < times; ++t) {
        if (bytes.empty()) {
            bytes.assign(1 + random() % 64, static_cast<char>(random()));
            continue;
        }
        const size_t at = random() % bytes.size();
        switch (random() % 6) {
        case 0: bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8))); break;
        case 1: bytes.resize(at); break;
        case 2: bytes.insert(at, size_t{1} << (random() % 4), '\xff'); break;
        case 3: bytes.replace(at, 4, kHugeLengths[random() % 4]); break;
        case 4: bytes.insert(at, bytes.substr(random() % bytes.size(), 1 + random() % 200)); break;
        default: bytes[at] = static_cast<char>(random()); break;
        }
    }
    return bytes;
}

struct CliEnd {
    bool inTime = false;
    bool signalled = false;
    int code = -1;
    std::string output;
};

CliEnd RunCli(const std::vector<std::string>& args, const std::string& outputFile)
{
    std::vector<std::string> words{kCli};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    CliEnd end;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    end.inTime = WaitForChild(pid, kRunLimit, status);
    end.signalled = end.inTime && WIFSIGNALED(status);
    end.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    end.output = ReadFile(outputFile);
    return end;
}

// One command of the table: where its damaged file goes and how it is named.
struct HostileCase {
    const char* name;
    std::vector<std::string> seedDirs;   // under tests/fuzz/corpus; empty: the .vle of a release
    const char* file;                    // inside the test directory
    std::vector<std::string> (*args)(const std::string& dir, const std::string& file);
};

const HostileCase kCases[] = {
    {"env list", {"fuzz_def"}, "env/damaged.def",
     [](const std::string& dir, const std::string&) { return std::vector<std::string>{"env", "list", "--dir", dir + "/env"}; }},
    {"env show", {"fuzz_def"}, "env/damaged.def",
     [](const std::string&, const std::string& file) { return std::vector<std::string>{"env", "show", file}; }},
    {"request show", {"fuzz_sfl"}, "damaged.sfl",
     [](const std::string& dir, const std::string& file) {
         return std::vector<std::string>{"request", "show", file, "--dir", dir + "/env"};
     }},
    {"vle dump", {}, "damaged.vle",
     [](const std::string&, const std::string& file) { return std::vector<std::string>{"vle", "dump", file, "--json"}; }},
    {"import", {"fuzz_any", "fuzz_ieee695", "fuzz_absolute"}, "damaged-release",
     [](const std::string&, const std::string& file) { return std::vector<std::string>{"import", file}; }},
    {"env import", {"fuzz_json"}, "damaged.json",
     [](const std::string& dir, const std::string& file) {
         return std::vector<std::string>{"env", "import", file, "--out", dir + "/imported.def"};
     }},
    {"request import", {"fuzz_json"}, "damaged.json",
     [](const std::string& dir, const std::string& file) {
         return std::vector<std::string>{"request", "import", file, "--out", dir + "/imported.sfl",
                                         "--dir", dir + "/env"};
     }},
};

class HostileFiles : public ::testing::TestWithParam<HostileCase> {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_dir.File("env"));
        std::filesystem::create_directories(m_dir.File("config"));
        // A sound environment beside the damaged one, so that requests link.
        std::filesystem::copy_file(kSeeds + "fuzz_def/demo.def", m_dir.File("env/demo.def"));
    }
    std::vector<std::string> Globals() const
    {
        return {"--config-dir", m_dir.File("config"), "--log", m_dir.File("Tavrel.log"), "--no"};
    }
    std::vector<std::string> Seeds(const HostileCase& c)
    {
        if (!c.seedDirs.empty()) return SeedsIn(c.seedDirs);
        const std::string release = m_dir.Write("seed.s", ReadFile(kSeeds + "fuzz_any/objcopy.s"));
        std::vector<std::string> args = Globals();
        args.insert(args.end(), {"import", release});
        EXPECT_EQ(RunCli(args, m_dir.File("seed.out")).code, 0);
        return {ReadFile(m_dir.File("seed.vle"))};
    }
    CTempDir m_dir;
};

TEST_P(HostileFiles, EveryRunEndsWithAnExitCodeOfItsOwn)
{
    const HostileCase& c = GetParam();
    const std::vector<std::string> seeds = Seeds(c);
    ASSERT_FALSE(seeds.empty());
    std::mt19937 random(static_cast<unsigned>(std::hash<std::string>{}(c.name) & 0xFFFFFFFFu));
    const std::string file = m_dir.File(c.file);
    for (int run = 0; run < kRunsPerCommand; ++run) {
        m_dir.Write(c.file, Damage(seeds[random() % seeds.size()], random));
        std::filesystem::remove(m_dir.File("damaged-release.vle"));
        std::vector<std::string> args = Globals();
        const std::vector<std::string> own = c.args(m_dir.Path(), file);
        args.insert(args.end(), own.begin(), own.end());
        const CliEnd end = RunCli(args, m_dir.File("out.txt"));
        const std::string where = std::string(c.name) + ", run " + std::to_string(run) + ":\n" + end.output;
        ASSERT_TRUE(end.inTime) << where;
        ASSERT_FALSE(end.signalled) << where;
        ASSERT_GE(end.code, 0) << where;
        ASSERT_LE(end.code, 2) << where;
        ASSERT_EQ(end.output.find("Sanitizer"), std::string::npos) << where;
        ASSERT_EQ(end.output.find("runtime error"), std::string::npos) << where;
    }
}

INSTANTIATE_TEST_SUITE_P(Cli, HostileFiles, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (ch == ' ') ch = '_';
                             return name;
                         });

}  // namespace
