// What tavrel-cli offers of the link's windows, through the real binary:
// `settings --set` stores a setting with the bounds of a read (what the "..."
// dialog and the Communication dialog store), and `ident --scan` runs the
// "Auto-configure" search against tavrel-sim (message 93 when nothing answers).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "app/IniFile.h"
#include "common/SimProcess.h"
#include "common/TempDir.h"

namespace {

const std::string kBin = TAVREL_BINARY_DIR "/src/";

class LinkCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.Ok()); }

    // Runs tavrel-cli with `args` on the test's settings; its exit code, and
    // its standard output and error together in `out`.
    int Run(const std::string& args, std::string& out)
    {
        const std::string command = kBin + "tavrel-cli --config-dir '" + dir.Path() + "' --log '" +
                                    dir.File("cli.log") + "' " + args + " </dev/null >'" + dir.File("out.txt") +
                                    "' 2>&1";
        const int status = std::system(command.c_str());
        out = dir.Read("out.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Saved(const std::string& section, const std::string& key) const
    {
        CIniFile ini;
        if (!ini.Load(dir.File("Tavrel.ini"))) return "(no file)";
        return ini.GetString(section, key, "(none)");
    }
    // tavrel-sim with one board (CM10) answering at `rate`.
    void StartReceiver(int rate)
    {
        const nlohmann::json receiver = {
            {"boards", nlohmann::json::array({{{"name", "CPU"}, {"subassy", "CM"}, {"hardware", "10"},
                                               {"boot_loader", "CMB2"}, {"software", {"CPU0100"}},
                                               {"rate", rate}, {"progr_id", 1}}})}};
        dir.Write("receiver.json", receiver.dump());
        std::string ready;
        ASSERT_TRUE(sim.Start(kBin + "tavrel-sim", {"--receiver", dir.File("receiver.json")}, ready, 5000));
        ASSERT_EQ(ready.rfind("ready ", 0), 0u) << ready;
        tty = ready.substr(6);
    }

    CTempDir dir;
    CSimProcess sim;
    std::string tty;
};

TEST_F(LinkCli, SettingsSetStoresWithTheBoundsOfARead)
{
    dir.Write("Tavrel.ini", "[Mine]\nKept=yes\n");
    struct Row {
        const char* assignment;
        const char* printed;    // the setting as held, listed where it is read from
        const char* section;    // where the file holds it
    } rows[] = {
        {"Times out/Message reception (sec.)=1", "Times out / Message reception (sec.) = 3", "Times out"},
        {"Miscellaneous/Auto speed min. range=2400", "Miscellaneous / Auto speed min. range = 9600",
         "Miscellaneous"},
        {"miscellaneous/auto speed max. range=300000", "Miscellaneous / Auto speed max. range = 256000",
         "Miscellaneous"},
        {"Miscellaneous/Auto speed max. time=0", "Miscellaneous / Auto speed max. time = 0", "Miscellaneous"},
        {"Miscellaneous/Show the communications box=no", "Miscellaneous / Show the communications box = NO",
         "Miscellaneous"},
        {"times out/RS232 WRITE (sec.)=5", "Times out / RS232 write (sec.) = 5", "Times out"},
        {"Communication/BAUDRATE=56000", "Communication / BAUDRATE = 9600", "Communication"},
        {"Ports/COM2=/dev/ttyUSB3", "Ports / COM2 = /dev/ttyUSB3", "Ports"},
        // Saved as 0 by every save, but stored as set so that the next run reads it.
        {"Miscellaneous/Reserved 1=1", "Miscellaneous / Reserved 1 = 1", "Miscellaneous"},
    };
    std::string out;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.assignment);
        ASSERT_EQ(Run(std::string("settings --set '") + row.assignment + "'", out), 0) << out;
        EXPECT_EQ(out, std::string(row.printed) + "\n");
        const std::string printed = row.printed;
        const std::string key = printed.substr(printed.find(" / ") + 3, printed.find(" = ") - printed.find(" / ") - 3);
        EXPECT_EQ(Saved(row.section, key), printed.substr(printed.find(" = ") + 3));
    }
    EXPECT_EQ(Saved("Mine", "Kept"), "yes");

    // The next run reads what was stored.
    ASSERT_EQ(Run("settings", out), 0) << out;
    for (const Row& row : rows) EXPECT_NE(out.find(row.printed), std::string::npos) << row.printed;

    // A range moved in one command is checked as it ends up, not key by key.
    ASSERT_EQ(Run("settings --set 'Miscellaneous/Auto speed min. range=128000' --set "
                  "'Miscellaneous/Auto speed max. range=1200'",
                  out),
              1)
        << out;
    EXPECT_EQ(Run("settings --set 'Miscellaneous/Auto speed max. range=1200' --set "
                  "'Miscellaneous/Auto speed min. range=300'",
                  out),
              0)
        << out;
    EXPECT_EQ(Saved("Miscellaneous", "Auto speed min. range"), "300");
    EXPECT_EQ(Saved("Miscellaneous", "Auto speed max. range"), "1200");
}

TEST_F(LinkCli, SettingsSetRefusesWhatItCannotStore)
{
    struct Row {
        const char* args;
        int code;
        const char* message;
    } rows[] = {
        {"--set 'Miscellaneous/Auto speed=9600'", 1, "no setting \"Auto speed\" in section \"Miscellaneous\""},
        {"--set 'Paths/Auto speed max. time=10'", 1, "no setting"},
        {"--set 'Miscellaneous/Auto speed max. time=soon'", 1, "\"Auto speed max. time\" needs a whole number"},
        {"--set 'Miscellaneous/Rescue enable=maybe'", 1, "needs YES or NO"},
        {"--set 'Miscellaneous/Auto speed max. time=999999999999'", 1, "needs a whole number"},
        {"--set 'Miscellaneous/Auto speed min. range=57600' --set 'Miscellaneous/Auto speed max. range=19200'", 1,
         "Min. baud rate and Max. baud rate are incompatible values !"},
        {"--set 'Miscellaneous/Auto speed min. range=256000'", 1, "incompatible values"},
        {"--set 'Auto speed max. time=10'", 2, "--set needs SECTION/KEY=VALUE"},
        {"--set 'Miscellaneous/Auto speed max. time'", 2, "--set needs SECTION/KEY=VALUE"},
        {"extra", 2, "settings takes no arguments"},
    };
    std::string out;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        EXPECT_EQ(Run(std::string("settings ") + row.args, out), row.code) << out;
        EXPECT_NE(out.find(row.message), std::string::npos) << out;
    }
    EXPECT_EQ(Saved("Miscellaneous", "Auto speed max. time"), "(no file)");
}

TEST_F(LinkCli, IdentScanFindsTheBoardAndSaveStoresItsRate)
{
    StartReceiver(57600);
    std::string out;
    ASSERT_EQ(Run("settings --set 'Miscellaneous/Auto speed min. range=57600'", out), 0) << out;
    // Starting at 38400, below the stored range: the range takes it in.
    ASSERT_EQ(Run("ident --scan --save --baud 38400 --port '" + tty + "'", out), 0) << out;
    EXPECT_NE(out.find("trying " + tty + " at 38400 bit/s"), std::string::npos) << out;
    EXPECT_NE(out.find("Board found on " + tty + ",57600,n,8,2"), std::string::npos) << out;
    EXPECT_NE(out.find("CM10"), std::string::npos) << out;
    EXPECT_NE(out.find("Communication settings: " + tty + ":57600,n,8,2 (a path is not stored: the settings keep COM1)"),
              std::string::npos)
        << out;
    EXPECT_EQ(Saved("Communication", "BAUDRATE"), "57600");
    EXPECT_EQ(Saved("Miscellaneous", "Auto speed min. range"), "38400");
}

TEST_F(LinkCli, IdentScanWithoutAnswerGivesMessage93AndStoresNothing)
{
    StartReceiver(57600);
    std::string out;
    ASSERT_EQ(Run("settings --set 'Miscellaneous/Query auto speed enable=NO'", out), 0) << out;
    EXPECT_EQ(Run("ident --scan --save --baud 9600 --max-time 2 --port '" + tty + "'", out), 1) << out;
    EXPECT_NE(out.find("querying at 9600 only"), std::string::npos) << out;
    EXPECT_NE(out.find("TAVREL: Unable to communicate with your remote system."), std::string::npos) << out;
    EXPECT_EQ(out.find("trying " + tty + " at 57600"), std::string::npos) << out;
    EXPECT_EQ(Saved("Communication", "BAUDRATE"), "9600");

    EXPECT_EQ(Run("ident --scan --port /nonexistent/tavrel-tty --max-time 2", out), 1) << out;
    EXPECT_NE(out.find("Unable to communicate with your remote system."), std::string::npos) << out;
    EXPECT_NE(out.find("cannot open /nonexistent/tavrel-tty"), std::string::npos) << out;
}

}  // namespace
