// tavrel-cli ports and --port: the words that name a port, the lock that
// keeps a port to one program, and what a busy or missing port says.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "CliFixture.h"
#include "link/PortList.h"
#include "link/PortSetup.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string LockFileOf(const std::string& tty)
{
    const std::string dir = LockFileDirectory();
    return dir.empty() ? std::string() : dir + "/" + LockFileName(CanonicalDevice(tty));
}

class CliPorts : public CliE2E {};

TEST_F(CliPorts, EveryWordForAPortReachesTheReceiver)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    Setting("Ports", "COM3=" + sim.tty);
    WriteSettings();
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> env;
    } rows[] = {
        {{"query", "--port", sim.tty}, {}},
        {{"query", "-p", sim.device}, {}},
        {{"-p", "COM3", "query"}, {}},
        {{"query", "--port=3"}, {}},
        {{"query"}, {"TAVREL_PORT=" + sim.tty}},
        {{"query", "-p", sim.tty}, {"TAVREL_PORT=COM7"}},   // the option wins
    };
    for (const auto& row : rows) {
        const CliResult run = Cli(row.args, row.env);
        EXPECT_EQ(run.code, 0) << row.args.back() << "\n" << run.Both();
        EXPECT_TRUE(Contains(run.out, "CM10,CMB2")) << run.out;
    }
    // Every run let go of the port.
    EXPECT_FALSE(std::filesystem::exists(LockFileOf(sim.tty)));
    EXPECT_EQ(PortLockHolder(sim.tty), 0);
}

TEST_F(CliPorts, WordsThatNameNoPortAreUsageErrors)
{
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> env;
        const char* says;
    } rows[] = {
        {{"query", "--port", "COM9"}, {}, "COM1 to COM8"},
        {{"query", "--port", "0"}, {}, "COM1 to COM8"},
        {{"query", "--port", "no-such-adapter"}, {}, "no port named \"no-such-adapter\""},
        {{"query", "--port="}, {}, "--port needs a value"},
        {{"rescue", "-p", "com12"}, {}, "COM1 to COM8"},
        {{"query"}, {"TAVREL_PORT=usb-nothing-here"}, "TAVREL_PORT: no port named"},
        {{"query", "-p"}, {}, "-p needs a value"},
        {{"query", "--baud", "9601"}, {}, "--baud 9601: not one of"},
    };
    for (const auto& row : rows) {
        const CliResult run = Cli(row.args, row.env);
        EXPECT_EQ(run.code, 2) << row.says << "\n" << run.Both();
        EXPECT_EQ(run.err.rfind("tavrel-cli: ", 0), 0u) << run.err;
        EXPECT_TRUE(Contains(run.err, row.says)) << run.err;
    }
}

// How another program can hold the port: as tavrel does (lock file and flock),
// with a flock alone, or merely open with no lock at all.
enum class Holding { LockFileAndFlock, FlockOnly, OpenOnly };

TEST_F(CliPorts, ABusyPortNamesTheProcessThatHoldsIt)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    Setting("Ports", "COM2=" + sim.tty);
    WriteSettings();
    const std::string pid = std::to_string(::getpid());
    for (Holding holding : {Holding::LockFileAndFlock, Holding::FlockOnly, Holding::OpenOnly}) {
        SCOPED_TRACE(holding == Holding::FlockOnly  ? "flock only"
                     : holding == Holding::OpenOnly ? "open without a lock"
                                                    : "lock file and flock");
        CPortLock lock;
        int fd = -1;
        if (holding == Holding::LockFileAndFlock) {
            ASSERT_EQ(lock.Acquire(sim.tty), 0);
        } else {
            fd = ::open(sim.device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
            ASSERT_GE(fd, 0);
            if (holding == Holding::FlockOnly) {
                ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
            }
        }
        const CliResult run = Cli({"query", "-p", "COM2"});
        EXPECT_EQ(run.code, 1) << run.Both();
        EXPECT_TRUE(Contains(run.err, "Unable to open the port.")) << run.err;
        EXPECT_TRUE(Contains(run.err, "port busy (process " + pid)) << run.err;
        EXPECT_TRUE(Contains(Log(), "port busy (process " + pid)) << Log();

        const CliResult ports = Cli({"ports"});
        EXPECT_TRUE(Contains(ports.out, "state   busy (process " + pid)) << ports.out;
        EXPECT_TRUE(Contains(ports.out, "port    COM2")) << ports.out;
        EXPECT_TRUE(Contains(ports.out, "driver  pty")) << ports.out;

        lock.Release();
        if (fd >= 0) ::close(fd);
        EXPECT_EQ(Cli({"query", "-p", "COM2"}).code, 0);
    }
}

TEST_F(CliPorts, ALockFileLeftByAProcessThatHasGoneIsCleared)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    const std::string lockFile = LockFileOf(sim.tty);
    if (lockFile.empty()) GTEST_SKIP() << "this system keeps no lock files";
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(gone));
    { std::ofstream(lockFile) << text; }
    const CliResult run = Cli({"query", "-p", sim.tty});
    EXPECT_EQ(run.code, 0) << run.Both();
    EXPECT_FALSE(std::filesystem::exists(lockFile));
}

// The second of two transfers on one port is refused before it sends a byte;
// the first one loads its board undisturbed.
TEST_F(CliPorts, TheSecondTransferOnAPortIsRefused)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    MakeRelease("cpu.s19", 4096, 0x10000);
    const std::string request = WriteRequest("cpu", nlohmann::json::array({RequestLine("CPU", "cpu.s19")}));
    CliResult first;
    std::thread running([&] { first = Cli({"transfer", request, "-p", sim.tty}); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (PortLockHolder(sim.tty) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const CliResult second = Cli({"transfer", request, "-p", sim.tty});
    running.join();
    EXPECT_EQ(second.code, 1) << second.Both();
    EXPECT_TRUE(Contains(second.err, "port busy (process ")) << second.err;
    EXPECT_EQ(first.code, 0) << first.Both();
    EXPECT_TRUE(ImageEquals(sim, "CPU", "cpu.s19"));
}

TEST_F(CliPorts, APathIsNeverSavedAsAPortNumber)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    Setting("Communication", "PORTNUM=4");
    Setting("Ports", "COM2=" + sim.tty);
    WriteSettings();
    const CliResult byPath = Cli({"ident", "--scan", "--save", "-p", sim.tty});
    ASSERT_EQ(byPath.code, 0) << byPath.Both();
    EXPECT_TRUE(Contains(ReadText(configDir + "/Tavrel.ini"), "PORTNUM=4"));
    // The port used is printed as its path; the settings' number is only named as kept.
    EXPECT_TRUE(Contains(byPath.out, "Communication settings: " + sim.tty +
                                         ":9600,n,8,2 (a path is not stored: the settings keep COM4)\n"))
        << byPath.out;
    EXPECT_FALSE(Contains(byPath.Both(), "COM4:")) << byPath.Both();
    const CliResult byNumber = Cli({"ident", "--scan", "--save", "-p", "COM2"});
    ASSERT_EQ(byNumber.code, 0) << byNumber.Both();
    EXPECT_TRUE(Contains(ReadText(configDir + "/Tavrel.ini"), "PORTNUM=2"));
    EXPECT_TRUE(Contains(byNumber.out, "Communication settings: COM2:9600,n,8,2\n")) << byNumber.out;
}

// A port given as a path, by option or by $TAVREL_PORT, is that path in
// every line, report and reason; never the settings' COM1.
TEST_F(CliPorts, APathIsPrintedAsItWasGiven)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    const CliResult query = Cli({"query", "--json", "-"}, {"TAVREL_PORT=" + sim.tty});
    ASSERT_EQ(query.code, 0) << query.Both();
    EXPECT_EQ(nlohmann::json::parse(query.out, nullptr, false).value("port", ""), sim.tty) << query.out;
    EXPECT_TRUE(Contains(query.err, "scan " + sim.tty + " at 9600 bit/s")) << query.err;
    EXPECT_FALSE(Contains(query.Both(), "COM1")) << query.Both();

    const std::string gone = dir.File("gone.tty");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--no", "repair", "--connected", "--rate", "9600", "-p", gone}, {"--no", "rescue", "-p", gone},
             {"ident", "-p", gone}}) {
        const CliResult run = Cli(args);
        EXPECT_EQ(run.code, 1) << args[1] << "\n" << run.Both();
        EXPECT_TRUE(Contains(run.err, "tavrel-cli: cannot open " + gone + ": No such file or directory")) << run.err;
        EXPECT_FALSE(Contains(run.Both(), "COM1")) << run.Both();
    }
    EXPECT_FALSE(Contains(Log(), "COM1")) << Log();
}

TEST(PortWords, NumbersPathsAndDeviceNames)
{
    CTempDir byId;
    const std::string adapter = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    std::filesystem::create_symlink("/dev/null", byId.File(adapter));
    const struct {
        std::string word;
        int number;
        std::string device;
        bool ok;
    } rows[] = {
        {"COM3", 3, "", true},
        {"com8", 8, "", true},
        {"5", 5, "", true},
        {"COM9", 0, "", false},
        {"/dev/ttyUSB0", 0, "/dev/ttyUSB0", true},
        {"./tty", 0, "./tty", true},
        {adapter, 0, byId.File(adapter), true},
        {"null", 0, "/dev/null", true},
        {"no-such-device-name", 0, "", false},
    };
    for (const auto& row : rows) {
        const PortChoice choice = ResolvePortWord(row.word, byId.Path());
        EXPECT_EQ(choice.Ok(), row.ok) << row.word << ": " << choice.error;
        if (!row.ok) continue;
        EXPECT_EQ(choice.number, row.number) << row.word;
        EXPECT_EQ(choice.device, row.device) << row.word;
    }
    EXPECT_EQ(LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(LockFileName("/dev/pts/3"), "LCK..pts_3");
}

}  // namespace
