// tavrel-cli request import / show and env list: lines checked against the
// environments with the closest names, --force, and lists numbered from 1.
#include <filesystem>

#include "CliFixture.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliRequest : public CliE2E {
protected:
    std::string WriteJson(const nlohmann::json& lines)
    {
        return dir.Write("request.json",
                         nlohmann::json{{"format", "tavrel-request"}, {"version", 20}, {"lines", lines}}.dump(2));
    }
    static nlohmann::json Line(const std::string& board, const std::string& field, const std::string& value)
    {
        nlohmann::json line = RequestLine(board, board == "CPU" ? "cpu.s19" : "gps.s19");
        line[field] = value;
        return line;
    }
};

TEST_F(CliRequest, LinesThatDoNotLinkAreNamedWithTheClosestNames)
{
    const std::string env = envDir + "/";
    const struct {
        nlohmann::json line;
        std::string says;
    } rows[] = {
        {Line("GPS", "env_name", "DMEO"), "line 2 (\"GPS\"): no environment \"DMEO\" in " + env + "; closest: DEMO"},
        {Line("GPS", "env_name", "FIELD-TRIAL"), "line 2 (\"GPS\"): no environment \"FIELD-TRIAL\" in " + env + "; there are: DEMO"},
        {Line("GPS", "board_name", "GSP"),
         "line 2 (\"GSP\"): no board \"GSP\" with hardware \"20\" in environment \"DEMO\"; closest: GPS"},
        {Line("GPS", "board_name", "RADAR"), "line 2 (\"RADAR\"): no board \"RADAR\" with hardware \"20\" in environment \"DEMO\"; there are: CPU, GPS"},
        {Line("GPS", "subassy_hardw", "21"), "line 2 (\"GPS\"): board \"GPS\" of environment \"DEMO\" has hardware \"20\", not \"21\""},
    };
    const std::string out = requestDir + "/checked.sfl";
    for (const auto& row : rows) {
        const std::string json = WriteJson(nlohmann::json::array({RequestLine("CPU", "cpu.s19"), row.line}));
        const CliResult run = Cli({"request", "import", json, "--out", out});
        EXPECT_EQ(run.code, 1) << row.says << "\n" << run.Both();
        EXPECT_TRUE(Contains(run.err, "tavrel-cli: " + json + ": " + row.says + "\n")) << run.err;
        EXPECT_TRUE(Contains(run.err, "not written (--force writes it anyway)")) << run.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// The import names the file it wrote and the boards of its lines, on
// stdout as `env import` does; nothing when -q, nor when it wrote nothing.
TEST_F(CliRequest, ImportSaysWhatItWrote)
{
    const std::string both = WriteJson(nlohmann::json::array({RequestLine("CPU", "cpu.s19"), RequestLine("GPS", "gps.s19")}));
    const std::string out = requestDir + "/both.sfl";
    const CliResult written = Cli({"request", "import", both, "--out", out});
    EXPECT_EQ(written.code, 0) << written.Both();
    EXPECT_EQ(written.out, "wrote " + out + ": 2 lines (CPU, GPS)\n");
    EXPECT_TRUE(std::filesystem::exists(out));

    const std::string one = WriteJson(nlohmann::json::array({RequestLine("GPS", "gps.s19")}));
    const CliResult single = Cli({"request", "import", one, "--out", requestDir + "/one.sfl"});
    EXPECT_EQ(single.out, "wrote " + requestDir + "/one.sfl: 1 line (GPS)\n") << single.Both();
    const CliResult quiet = Cli({"-q", "request", "import", one, "--out", requestDir + "/quiet.sfl"});
    EXPECT_EQ(quiet.code, 0) << quiet.Both();
    EXPECT_EQ(quiet.out, "");

    const std::string wrong = WriteJson(nlohmann::json::array({Line("CPU", "env_name", "DMEO")}));
    const CliResult refused = Cli({"request", "import", wrong, "--out", requestDir + "/refused.sfl"});
    EXPECT_EQ(refused.code, 1) << refused.Both();
    EXPECT_EQ(refused.out, "");
    const CliResult unwritable = Cli({"request", "import", one, "--out", dir.File("no-such-dir/x.sfl")});
    EXPECT_EQ(unwritable.code, 1) << unwritable.Both();
    EXPECT_EQ(unwritable.out, "");
}

TEST_F(CliRequest, ForceWritesAndShowNamesTheLineAgain)
{
    const std::string json = WriteJson(nlohmann::json::array({RequestLine("CPU", "cpu.s19"), Line("GPS", "board_name", "GSP")}));
    const std::string out = requestDir + "/forced.sfl";
    const CliResult forced = Cli({"request", "import", json, "--out", out, "--force"});
    EXPECT_EQ(forced.code, 0) << forced.Both();
    EXPECT_TRUE(Contains(forced.err, "closest: GPS")) << forced.err;
    const CliResult show = Cli({"--no", "request", "show", out});
    EXPECT_EQ(show.code, 1) << show.Both();
    EXPECT_TRUE(Contains(show.out, "  [1] CPU (10) of \"DEMO\"")) << show.out;
    EXPECT_TRUE(Contains(show.out, "  [2] GSP (20) of \"DEMO\"")) << show.out;
    EXPECT_TRUE(Contains(show.err, out + ": line 2 (\"GSP\"): no board \"GSP\"")) << show.err;
}

TEST_F(CliRequest, ListsAreNumberedFromOne)
{
    const std::string request = WriteRequest("both", nlohmann::json::array({RequestLine("GPS", "gps.s19"),
                                                                            RequestLine("CPU", "cpu.s19")}));
    const CliResult show = Cli({"request", "show", request});
    EXPECT_EQ(show.code, 0) << show.Both();
    EXPECT_TRUE(Contains(show.out, "  [1] GPS (20) of \"DEMO\"")) << show.out;
    EXPECT_TRUE(Contains(show.out, "linked: DEMO / GPS (board 2)\n")) << show.out;
    EXPECT_TRUE(Contains(show.out, "  [2] CPU (10) of \"DEMO\"")) << show.out;
    EXPECT_TRUE(Contains(show.out, "linked: DEMO / CPU (board 1)\n")) << show.out;

    const CliResult list = Cli({"env", "list"});
    EXPECT_TRUE(Contains(list.out, "  [1] CPU  ident CM10")) << list.out;
    EXPECT_TRUE(Contains(list.out, "  [2] GPS  ident GP20")) << list.out;
    EXPECT_TRUE(Contains(list.out, "parent [1]\n")) << list.out;

    // A line the board-line checks refuse is named from 1 too.
    const std::string json = WriteJson(nlohmann::json::array({RequestLine("CPU", "cpu.s19"), Line("GPS", "soft_id", "")}));
    const CliResult refused = Cli({"request", "import", json, "--out", requestDir + "/x.sfl"});
    EXPECT_EQ(refused.code, 1) << refused.Both();
    EXPECT_TRUE(Contains(refused.err, "line 2 (\"GPS\") is not valid")) << refused.err;
}

}  // namespace
