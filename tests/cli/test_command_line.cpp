// tavrel-cli's own command line: --version, misspelled commands, option
// values that are missing, and the one error prefix.
#include <sstream>

#include "CliFixture.h"
#include "app/BuildVersion.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliCommandLine : public CliE2E {};

TEST_F(CliCommandLine, VersionInEveryForm)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--version"}, {"-V"}, {"version"}}) {
        const CliResult run = Cli(args);
        EXPECT_EQ(run.code, 0) << args[0];
        EXPECT_EQ(run.out, "Tavrel V2.0 04/02/2002\nversion number 20\npackage version " +
                               std::string(BuildPackageVersion()) + "\n")
            << args[0];
    }
}

TEST_F(CliCommandLine, AMisspelledCommandGetsASuggestion)
{
    const struct {
        std::vector<std::string> args;
        const char* says;
    } rows[] = {
        {{"tranfser", "x.sfl"}, "unknown command 'tranfser'; did you mean 'transfer'? (tavrel-cli --help lists the commands)"},
        {{"qurey"}, "unknown command 'qurey'; did you mean 'query'? (tavrel-cli --help lists the commands)"},
        {{"env", "lst"}, "env 'lst': not a command; did you mean 'env list'? (env list, env show, env export, env import)"},
        {{"request", "imprt", "a.json"},
         "request 'imprt': not a command; did you mean 'request import'? (request show, request export, request import)"},
        {{"vle"}, "vle: not a command (vle dump)"},
        {{"frobnicate"}, "unknown command 'frobnicate' (tavrel-cli --help lists the commands)"},
    };
    for (const auto& row : rows) {
        const CliResult run = Cli(row.args);
        EXPECT_EQ(run.code, 2) << row.says;
        EXPECT_EQ(run.err, std::string("tavrel-cli: ") + row.says + "\n");
    }
}

TEST_F(CliCommandLine, OptionsWithoutTheirValueAreUsageErrors)
{
    const struct {
        std::vector<std::string> args;
        const char* says;
    } rows[] = {
        {{"transfer", "x.sfl", "--json="}, "--json needs a value"},
        {{"env", "list", "--dir="}, "--dir needs a directory"},
        {{"--env-dir=", "env", "list"}, "--env-dir needs a directory"},
        {{"query", "-b"}, "-b needs a value"},
        {{"-q", "-v", "version"}, "-q and -v exclude each other"},
        {{"version", "--port", "COM1"}, "unknown option --port"},
    };
    for (const auto& row : rows) {
        const CliResult run = Cli(row.args);
        EXPECT_EQ(run.code, 2) << row.says << "\n" << run.Both();
        EXPECT_EQ(run.err.rfind("tavrel-cli: ", 0), 0u) << run.err;
        EXPECT_TRUE(Contains(run.err, row.says)) << run.err;
    }
}

// An unknown option, setting or destination is told with the closest valid
// name, else with the valid names or where they are listed; the exit codes
// are those of the error.
TEST_F(CliCommandLine, UnknownNamesAreToldWithTheClosestValidNames)
{
    const std::string ini = ReadText(configDir + "/Tavrel.ini");
    const struct {
        std::vector<std::string> args;
        int code;
        std::string says;
    } rows[] = {
        {{"import", "--progres", "x.s19"}, 2, "unknown option --progres; closest: --progress"},
        {{"import", "--pak=1", "x.s19"}, 2, "unknown option --pak=1; closest: --pack"},
        {{"import", "--zzz", "x.s19"}, 2, "unknown option --zzz; there are: --progress, --raw, --pack"},
        {{"request", "import", "a.json", "--froce"}, 2, "unknown option --froce; closest: --force"},
        {{"version", "--port", "COM1"}, 2, "unknown option --port\n"},
        {{"settings", "--set", "Miscellaneous/Auto sped max. range=9600"}, 1,
         "no setting \"Auto sped max. range\" in section \"Miscellaneous\"; closest: Miscellaneous/Auto speed max. range"},
        {{"settings", "--set", "Communication/Auto speed max. range=9600"}, 1,
         "no setting \"Auto speed max. range\" in section \"Communication\"; closest: Miscellaneous/Auto speed max. range"},
        {{"settings", "--set", "communication/baudrat=9600"}, 1,
         "no setting \"baudrat\" in section \"communication\"; closest: Communication/BAUDRATE"},
        {{"settings", "--set", "Foo/Bar=1"}, 1, "no setting \"Bar\" in section \"Foo\"; `tavrel-cli settings` lists them"},
        {{"settings", "--set", "Times out/Between 2 write (ms.)=x"}, 1, "\"Between 2 write (ms.)\" needs a whole number\n"},
        {{"repair", "--dest", "Dpram1"}, 2, "--dest \"Dpram1\": a letter A..H (Port A..H) or I..L (Dpram 1..4); closest: Dpram 1"},
        {{"repair", "--dest", "port b"}, 2, "--dest \"port b\": a letter A..H (Port A..H) or I..L (Dpram 1..4); closest: Port B"},
        {{"repair", "--dest", "Zulu"}, 2, "--dest \"Zulu\": a letter A..H (Port A..H) or I..L (Dpram 1..4)\n"},
    };
    for (const auto& row : rows) {
        const CliResult run = Cli(row.args);
        EXPECT_EQ(run.code, row.code) << row.says << "\n" << run.Both();
        EXPECT_TRUE(Contains(run.err, "tavrel-cli: " + row.says)) << run.err;
    }
    // Nothing was stored by the refused settings.
    EXPECT_EQ(ReadText(configDir + "/Tavrel.ini"), ini);
}

// The manual page keeps up with the program: every command and global
// option of --help is in it, and groff reads both pages without a warning.
TEST_F(CliCommandLine, ManualPagesNameEveryCommandAndOption)
{
    const std::string page = ReadText(TAVREL_SOURCE_DIR "/docs/man/tavrel-cli.1");
    ASSERT_FALSE(page.empty());
    const CliResult help = Cli({"--help"});
    std::istringstream lines(help.out);
    bool commands = false;
    for (std::string line; std::getline(lines, line);) {
        if (line == "Commands:") {
            commands = true;
            continue;
        }
        if (commands && line.size() > 2) {
            // "  env list        List the ...": the name is up to two spaces.
            const std::string name = line.substr(2, line.find("  ", 2) - 2);
            EXPECT_TRUE(Contains(page, name)) << name;
        } else if (line.rfind("  -", 0) == 0) {
            // "  -p, --port P      the port ...": the options before the text.
            const std::string spec = line.substr(2, line.find("  ", 2) - 2);
            for (std::size_t at = spec.find("--"); at != std::string::npos; at = spec.find("--", at + 2)) {
                const std::string option = spec.substr(at, spec.find_first_of(" ,", at) - at);
                std::string roff;
                for (char c : option) roff += c == '-' ? std::string("\\-") : std::string(1, c);
                EXPECT_TRUE(Contains(page, roff)) << option;
            }
        }
    }
    EXPECT_TRUE(commands) << help.out;
    for (const char* name : {"tavrel-cli.1", "tavrel-sim.1", "tavrel.1"}) {
        const CliResult groff =
            RunProgram("/usr/bin/groff", {"-man", "-ww", "-z", std::string(TAVREL_SOURCE_DIR "/docs/man/") + name});
        EXPECT_EQ(groff.code, 0) << name;
        EXPECT_EQ(groff.err, "") << name;
    }
}

}  // namespace
