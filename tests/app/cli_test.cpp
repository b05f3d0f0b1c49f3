// tavrel-cli settings and version, run as a user would.
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "app/BuildVersion.h"
#include "app/EditRights.h"
#include "common/TempDir.h"

namespace {

struct CliRun {
    int code;
    std::string out;
};

CliRun RunCli(const std::string& arguments)
{
    const std::string command = std::string(TAVREL_BINARY_DIR "/src/tavrel-cli ") + arguments +
                                " </dev/null 2>&1";
    CliRun run{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(Cli, SettingsPrintsBoundedValuesAndLeavesTheFileAlone)
{
    CTempDir dir;
    const std::string ini =
        "[Times out]\r\nMessage reception (sec.)=1\r\nChecksum reception (sec.)=0\r\n"
        "Between 2 write (ms.)=oops\r\n[Miscellaneous]\r\nRS232 write (sec.)=2\r\n"
        "Auto speed min. range=2400\r\nAuto speed max. range=300000\r\nReserved 3=45\r\n"
        "Show the communications box=yes\r\nRescue enable=Y\r\n"
        "[Communication]\r\nBAUDRATE=56000\r\nPARITY=even\r\nSTOPBITS=0\r\n"
        "[Ports]\r\nCOM2=/dev/ttyUSB1\r\n";
    dir.Write("Tavrel.ini", ini);
    const CliRun run = RunCli("--config-dir " + dir.Path() + " --log " + dir.File("T.log") + " settings");
    ASSERT_EQ(run.code, 0) << run.out;
    const char* expected[] = {
        "Times out / Message reception (sec.) = 3\n",
        "Times out / Checksum reception (sec.) = 30\n",
        "Times out / Between 2 write (ms.) = 0\n",
        "Times out / RS232 write (sec.) = 3\n",
        "Miscellaneous / Auto speed min. range = 9600\n",
        "Miscellaneous / Auto speed max. range = 256000\n",
        "Miscellaneous / Reserved 3 = 20\n",
        "Miscellaneous / Show the communications box = YES\n",
        "Miscellaneous / Rescue enable = NO\n",
        "Communication / BAUDRATE = 9600\n",
        "Communication / PARITY = EVEN\n",
        "Communication / STOPBITS = 2\n",
        "Ports / COM2 = /dev/ttyUSB1\n",
        "Ports / COM3 = /dev/ttyS2\n",
        "Tavrel Version / Ver = 20\n",
    };
    for (const char* line : expected) EXPECT_NE(run.out.find(line), std::string::npos) << line;
    EXPECT_EQ(dir.Read("Tavrel.ini"), ini);   // a command that changes nothing does not save
    EXPECT_NE(dir.Read("T.log").find("***** Tavrel V2.0 04/02/2002 *****\r\n"), std::string::npos);
}

TEST(Cli, VersionHelpAndUsageErrors)
{
    CTempDir dir;
    const std::string globals = "--config-dir " + dir.Path() + " --log " + dir.File("T.log");
    const CliRun version = RunCli(globals + " version");
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "Tavrel V2.0 04/02/2002\nversion number 20\npackage version " +
                               std::string(BuildPackageVersion()) + "\n");

    const CliRun help = RunCli("--help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("  settings"), std::string::npos);
    EXPECT_NE(help.out.find("  version"), std::string::npos);
    EXPECT_EQ(RunCli("settings --help").out.substr(0, 6), "usage:");

    EXPECT_EQ(RunCli(globals + " no-such-command").code, 2);
    EXPECT_EQ(RunCli(globals + " version --bogus").code, 2);
    EXPECT_EQ(RunCli("--config-dir").code, 2);
}

TEST(Cli, UnwritableLogWarnsOnceAndGoesOn)
{
    CTempDir dir;
    const CliRun run =
        RunCli("--config-dir " + dir.Path() + " --log " + dir.File("none/T.log") + " version");
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.out.find("warning: cannot write the log file"), std::string::npos);
    EXPECT_NE(run.out.find("version number 20"), std::string::npos);
}

// A file-size limit (as a full disk) fails the .vle write: the command reports
// message 17 and exits instead of being killed by SIGXFSZ, and leaves no .vle.
TEST(Cli, ImportPastTheFileSizeLimitReportsTheFailure)
{
    CTempDir dir;
    dir.Write("release.bin", std::string(256 * 1024, '\x00'));   // binary: a raw image
    const std::string globals = "--config-dir " + dir.Path() + " --log " + dir.File("T.log");
    // ulimit -f counts 512-byte blocks in dash and 1024-byte ones in bash: 64 KB at most.
    const CliRun run = RunCli("--help >/dev/null; ulimit -f 64; " TAVREL_BINARY_DIR "/src/tavrel-cli " +
                              globals + " import " + dir.File("release.bin"));
    EXPECT_EQ(run.code, 1) << run.out;
    EXPECT_NE(run.out.find("Erroneous local file."), std::string::npos) << run.out;
    EXPECT_NE(RunCli(globals + " vle dump " + dir.File("release.vle")).code, 0);
}

}  // namespace

namespace {

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace

// The rights file as a workshop writes it: only the edit byte changes in a
// whole file; a missing or short one becomes eight bytes; the program then
// reads the right that was written.
TEST(Cli, RightsWritesTheEditFlagTheProgramReads)
{
    const struct {
        const char* before;   // nullptr: no file
        const char* edit;
        const char* after;
    } rows[] = {
        {nullptr, "yes", "YNNNNNNN"},
        {"Y", "yes", "YNNNNNNN"},
        {"NYyNNNNN and more", "yes", "YYyNNNNN and more"},
        {"yYYYYYYY", "no", "NYYYYYYY"},
        {"", "NO", "NNNNNNNN"},
    };
    for (const auto& r : rows) {
        CTempDir dir;
        const std::string path = dir.File("Tavrel.sec");
        if (r.before) dir.Write("Tavrel.sec", r.before);
        const CliRun run = RunCli("rights --file " + path + " --edit " + r.edit);
        EXPECT_EQ(run.code, 0) << run.out;
        EXPECT_EQ(FileBytes(path), r.after) << (r.before ? r.before : "(none)");
        const bool granted = r.after[0] == 'Y';
        EXPECT_EQ(ReadRightsFile(path)[RIGHTS_FLAG_EDIT], granted);
        EXPECT_NE(run.out.find(granted ? "edit rights yes" : "edit rights no"), std::string::npos) << run.out;
    }
}

TEST(Cli, RightsRefusesWhatItCannotWrite)
{
    CTempDir dir;
    dir.Write("Tavrel.sec", "NNNNNNNN");
    EXPECT_EQ(RunCli("rights --file " + dir.File("Tavrel.sec") + " --edit maybe").code, 2);
    EXPECT_EQ(FileBytes(dir.File("Tavrel.sec")), "NNNNNNNN");
    EXPECT_EQ(RunCli("rights --file " + dir.Path() + " --edit yes").code, 1);
    EXPECT_EQ(RunCli("rights --file " + dir.File("no/such/dir/Tavrel.sec") + " --edit yes").code, 1);
    const CliRun shown = RunCli("rights --file " + dir.File("Tavrel.sec"));
    EXPECT_EQ(shown.code, 0);
    EXPECT_NE(shown.out.find("edit rights no"), std::string::npos) << shown.out;
}
