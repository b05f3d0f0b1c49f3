// tavrel-cli's own command line: --version, misspelled commands, option
// values that are missing, and the one error prefix.
#include "CliFixture.h"

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
        EXPECT_EQ(run.out, "Tavrel V2.0 04/02/2002\nversion number 20\n") << args[0];
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

}  // namespace
