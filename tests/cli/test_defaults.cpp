// Where tavrel-cli keeps its files when told nothing: the XDG directories,
// or beside the program for a portable copy; --env-dir for one run.
#include <sys/stat.h>

#include <filesystem>

#include "CliFixture.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = TAVREL_BINARY_DIR "/src/tavrel-cli";

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliDefaults : public CliE2E {
protected:
    // The user's directories, all inside the test directory.
    std::vector<std::string> Home() const
    {
        return {"HOME=" + dir.File("home"), "TAVREL_HOME=", "TAVREL_PORT=", "XDG_CONFIG_HOME=" + dir.File("cfg"),
                "XDG_STATE_HOME=" + dir.File("state"), "XDG_DATA_HOME=" + dir.File("data")};
    }
};

TEST_F(CliDefaults, SettingsLogAndEnvironmentsGoToTheXdgDirectories)
{
    const std::string besideProgram = TAVREL_BINARY_DIR "/src/Tavrel.log";
    std::error_code ec;
    const auto sizeBefore = fs::exists(besideProgram) ? fs::file_size(besideProgram, ec) : 0;
    const CliResult run = RunProgram(kCli, {"settings"}, Home());
    ASSERT_EQ(run.code, 0) << run.Both();
    EXPECT_TRUE(Contains(run.out, "# " + dir.File("cfg") + "/tavrel/Tavrel.ini\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Paths / Products files = " + dir.File("data") + "/tavrel/Products/\n")) << run.out;
    EXPECT_TRUE(Contains(ReadText(dir.File("state") + "/tavrel/Tavrel.log"), "***** Tavrel V2.0"));
    // Nothing is written beside the program: a build tree stays as it was.
    EXPECT_EQ(fs::exists(besideProgram) ? fs::file_size(besideProgram, ec) : 0, sizeBefore);

    // An environment imported without --out lands in the environment directory.
    const CliResult imported = RunProgram(kCli, {"env", "import", dir.File("env.json")}, Home());
    EXPECT_EQ(imported.code, 0) << imported.Both();
    EXPECT_TRUE(fs::is_regular_file(dir.File("data") + "/tavrel/Products/DEMO.def"));
    const CliResult listed = RunProgram(kCli, {"env", "list"}, Home());
    EXPECT_TRUE(Contains(listed.out, "DEMO  (" + dir.File("data") + "/tavrel/Products/DEMO.def, 2 boards)"))
        << listed.Both();
}

TEST_F(CliDefaults, APortableCopyKeepsEverythingBesideItself)
{
    const std::string portable = dir.File("stick");
    fs::create_directories(portable);
    fs::copy_file(kCli, portable + "/tavrel-cli");
    dir.Write("stick/Tavrel.ini", "[Times out]\nBetween 2 write (ms.)=7\n");
    const CliResult run = RunProgram(portable + "/tavrel-cli", {"settings"}, Home());
    ASSERT_EQ(run.code, 0) << run.Both();
    EXPECT_TRUE(Contains(run.out, "# " + portable + "/Tavrel.ini\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Times out / Between 2 write (ms.) = 7\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Paths / Products files = " + portable + "/Products/\n")) << run.out;
    EXPECT_TRUE(Contains(ReadText(portable + "/Tavrel.log"), "***** Tavrel V2.0"));
    EXPECT_FALSE(fs::exists(dir.File("state") + "/tavrel/Tavrel.log"));
}

TEST_F(CliDefaults, EnvDirServesOneRunAndIsNeverSaved)
{
    const std::string other = dir.File("other-env");
    ASSERT_EQ(Cli({"--env-dir", other, "env", "import", dir.File("env.json")}).code, 0);
    const CliResult listed = Cli({"--env-dir", other, "env", "list"});
    EXPECT_EQ(listed.code, 0) << listed.Both();
    EXPECT_TRUE(Contains(listed.out, other + "/DEMO.def")) << listed.out;
    EXPECT_EQ(Cli({"--env-dir", dir.File("nothing-here"), "env", "list"}).code, 1);

    const CliResult set = Cli({"--env-dir", other, "settings", "--set", "Times out/Between 2 write (ms.)=5"});
    EXPECT_EQ(set.code, 0) << set.Both();
    const std::string ini = ReadText(configDir + "/Tavrel.ini");
    EXPECT_TRUE(Contains(ini, "Products files=" + envDir + "/")) << ini;
    EXPECT_TRUE(Contains(ini, "Between 2 write (ms.)=5")) << ini;
}

}  // namespace
