// tavrel-cli query and ident: the answer as JSON, and what they say when
// nothing answers.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "CliFixture.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A pseudo-terminal with nothing behind it: a port whose cable leads nowhere.
class DeadLine {
public:
    DeadLine()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0) m_device = ::ptsname(m_master);
    }
    ~DeadLine()
    {
        if (m_master >= 0) ::close(m_master);
    }
    const std::string& Device() const { return m_device; }

private:
    int m_master = -1;
    std::string m_device;
};

class CliQuery : public CliE2E {};

TEST_F(CliQuery, JsonOnStdoutAndTheTextOnStderr)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    const CliResult query = Cli({"query", "-p", sim.tty, "--json", "-"});
    ASSERT_EQ(query.code, 0) << query.Both();
    const nlohmann::json report = nlohmann::json::parse(query.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << query.out;
    EXPECT_EQ(report["found"], true);
    EXPECT_EQ(report["rate"], 9600);
    EXPECT_EQ(report["port"], sim.tty);
    ASSERT_EQ(report["boards"].size(), 4u) << report.dump(2);
    EXPECT_EQ(report["boards"][0], (nlohmann::json{{"number", "1"}, {"hardware", "CM10"}, {"software", "CMB2"}, {"port", ""}}));
    EXPECT_EQ(report["boards"][3]["port"], "B");
    EXPECT_EQ(report["answer"][0], "$PKVR,IDENT,4,1,CM10,CMB2");
    EXPECT_TRUE(Contains(query.err, "Identification:")) << query.err;

    const CliResult ident = Cli({"ident", "-p", sim.tty, "--json", dir.File("ident.json")});
    ASSERT_EQ(ident.code, 0) << ident.Both();
    EXPECT_TRUE(Contains(ident.out, "Board found on " + sim.tty + ",9600,n,8,2")) << ident.out;
    const nlohmann::json identReport = nlohmann::json::parse(ReadText(dir.File("ident.json")), nullptr, false);
    EXPECT_EQ(identReport["found"], true);
    EXPECT_EQ(identReport["rates_tried"], nlohmann::json::array({9600}));
    EXPECT_EQ(identReport["boards"], report["boards"]);
}

// Nothing behind the port: each command names the port, the rates tried and
// the next step, on stderr and in its JSON.
TEST_F(CliQuery, NoAnswerNamesThePortTheRatesAndTheNextStep)
{
    Setting("Miscellaneous", "Auto speed max. time=2");
    WriteSettings();
    DeadLine line;
    ASSERT_FALSE(line.Device().empty());
    const std::string nextStep =
        "check the cable and power, or choose another port with --port; `tavrel-cli ports` lists them";
    const struct {
        std::vector<std::string> args;
        const char* rates;
        const char* hint;
    } rows[] = {
        // Two seconds are enough for the sweep to ask once at every rate of the range.
        {{"query", "-p", line.Device(), "--json", "-"}, " at 9600, 19200, 38400, 57600 and 115200 bit/s: ", ""},
        {{"ident", "-p", line.Device(), "--max-time", "2", "--json", "-"}, " at 9600 bit/s: ",
         "(--scan also tries the other rates)"},
    };
    for (const auto& row : rows) {
        const CliResult run = Cli(row.args);
        EXPECT_EQ(run.code, 1) << run.Both();
        const std::string says = "no answer from a receiver on " + line.Device() + row.rates + nextStep;
        EXPECT_TRUE(Contains(run.err, "tavrel-cli: " + says)) << run.err;
        EXPECT_TRUE(Contains(run.err, row.hint)) << run.err;
        const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
        EXPECT_EQ(report.value("found", true), false) << run.out;
        EXPECT_TRUE(Contains(report.value("reason", ""), says)) << run.out;
    }
}

TEST_F(CliQuery, AMissingDeviceIsNamedWithTheSystemsReason)
{
    const CliResult run = Cli({"query", "-p", dir.File("ttyUSB-unplugged"), "--json", "-"});
    EXPECT_EQ(run.code, 1) << run.Both();
    EXPECT_TRUE(Contains(run.err, "Communication error: Unable to open the port.")) << run.err;
    const std::string says = "cannot open " + dir.File("ttyUSB-unplugged") + ": No such file or directory";
    EXPECT_TRUE(Contains(run.err, "tavrel-cli: " + says + "; is the adapter plugged in?")) << run.err;
    EXPECT_TRUE(Contains(nlohmann::json::parse(run.out, nullptr, false).value("reason", ""), says)) << run.out;
    EXPECT_TRUE(Contains(Log(), "Cannot open " + dir.File("ttyUSB-unplugged") + " : No such file or directory"));
}

}  // namespace
