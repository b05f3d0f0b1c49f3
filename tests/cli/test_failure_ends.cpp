// Every way a command that talks to a receiver can fail, through the real
// binaries: each ends with its reason, what the receiver is left as and the
// next step, on the terminal, in the log and in the JSON report.
#include <functional>

#include "CliFixture.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The rest of the last line of `text` that starts with `prefix`; false when
// no line does.
bool LineAfter(const std::string& text, const std::string& prefix, std::string& line)
{
    const std::string framed = "\n" + text;
    const size_t at = framed.rfind("\n" + prefix);
    if (at == std::string::npos) return false;
    const size_t start = at + 1 + prefix.size();
    line = framed.substr(start, framed.find('\n', start) - start);
    return true;
}

class CliEnds;

struct FailureCase {
    const char* name;
    // Runs the command; `json` says whether it wrote its report on stdout.
    std::function<CliResult(CliEnds&)> run;
    bool json;
    const char* receiver;   // in the receiver line
    const char* next;       // in the next-step line
};

class CliEnds : public CliE2E, public ::testing::WithParamInterface<FailureCase> {
public:
    using CliE2E::Cli;
    using CliE2E::DemoReceiver;
    using CliE2E::RequestLine;
    using CliE2E::StartSim;
    using CliE2E::WriteRequest;
    using CliE2E::dir;

    void SetUp() override
    {
        CliE2E::SetUp();
        // Short searches on a silent line.
        Setting("Miscellaneous", "Auto speed max. time=3");
        Setting("Times out", "Rescue mode(sec.)=2");
        Setting("Times out", "Checksum reception (sec.)=3");
        WriteSettings();
        MakeRelease("cpu.s19", 512, 0x10000);
        MakeRelease("gps.s19", 4096, 0x20000);
    }
    // The demo receiver with `faults` on one of its boards (0 CPU, 1 GPS).
    const SimReceiver& Receiver(int board, const nlohmann::json& faults, const std::string& name = "sim")
    {
        nlohmann::json receiver = DemoReceiver();
        if (!faults.is_null()) receiver["boards"][board]["faults"] = faults;
        return StartSim(receiver, name);
    }
    std::string Request(const std::vector<std::string>& boards)
    {
        nlohmann::json lines = nlohmann::json::array();
        for (const std::string& board : boards) lines.push_back(RequestLine(board, board == "CPU" ? "cpu.s19" : "gps.s19"));
        return WriteRequest("req", lines);
    }
    CliResult Transfer(const std::string& port)
    {
        return Cli({"transfer", Request({"CPU", "GPS"}), "-p", port, "--json", "-"});
    }
    std::string Missing() const { return dir.File("ttyUSB-unplugged"); }
    DeadLine dead;
};

TEST_P(CliEnds, SaysTheReasonTheReceiverAndTheNextStep)
{
    const FailureCase& c = GetParam();
    const CliResult run = c.run(*this);
    EXPECT_NE(run.code, 0) << run.Both();
    std::string receiver, next;
    ASSERT_TRUE(LineAfter(run.err, "tavrel-cli: the receiver: ", receiver)) << run.err;
    ASSERT_TRUE(LineAfter(run.err, "tavrel-cli: next: ", next)) << run.err;
    EXPECT_TRUE(Contains(receiver, c.receiver)) << run.err;
    EXPECT_TRUE(Contains(next, c.next)) << run.err;
    // The reason comes just before, and the three lines are in the log.
    const size_t at = run.err.rfind("tavrel-cli: the receiver: ");
    const size_t reasonStart = run.err.rfind("tavrel-cli: ", at - 2);
    ASSERT_NE(reasonStart, std::string::npos) << run.err;
    const std::string reason = run.err.substr(reasonStart, at - 1 - reasonStart);
    EXPECT_GT(reason.size(), std::string("tavrel-cli: ").size() + 10) << run.err;
    const std::string log = Log();
    EXPECT_TRUE(Contains(log, "tavrel-cli: the receiver: " + receiver)) << log;
    EXPECT_TRUE(Contains(log, "tavrel-cli: next: " + next)) << log;
    if (!c.json) return;
    const nlohmann::json report = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(report.is_object()) << run.out;
    EXPECT_EQ(report.value("receiver_left", ""), receiver) << run.out;
    EXPECT_EQ(report.value("next_step", ""), next) << run.out;
    EXPECT_EQ("tavrel-cli: " + report.value("reason", ""), reason) << run.out;
}

const FailureCase kCases[] = {
    // query and ident
    {"QueryPortMissing", [](CliEnds& t) { return t.Cli({"query", "-p", t.Missing(), "--json", "-"}); }, true,
     "untouched: its port did not open", "once the port opens: `tavrel-cli query`"},
    {"QuerySilentPort", [](CliEnds& t) { return t.Cli({"query", "-p", t.dead.Device(), "--json", "-"}); }, true,
     "unchanged: it was only asked to identify itself", "mend what is said above, then `tavrel-cli query`"},
    {"QueryFindsARescueLoader",
     [](CliEnds& t) {
         nlohmann::json receiver = CliEnds::DemoReceiver();
         receiver["boards"][0]["software"] = {"UCRQ"};
         receiver["boards"].erase(1);
         return t.Cli({"query", "-p", t.StartSim(receiver).tty, "--json", "-"});
     },
     true, "its connected board waits in its rescue loader", "`tavrel-cli transfer --rescue REQUEST.sfl`"},
    {"IdentSilentPort",
     [](CliEnds& t) { return t.Cli({"ident", "-p", t.dead.Device(), "--max-time", "2", "--json", "-"}); }, true,
     "unchanged: it was only asked to identify itself", "then `tavrel-cli ident`"},
    {"IdentPortMissing", [](CliEnds& t) { return t.Cli({"ident", "-p", t.Missing(), "--scan", "--json", "-"}); },
     true, "untouched: its port did not open", "then `tavrel-cli ident --scan`"},
    // the rescue query
    {"RescueNobodyCaught", [](CliEnds& t) { return t.Cli({"rescue", "-p", t.dead.Device()}); }, false,
     "unchanged: its boards were only called with the wake-up character", "run `tavrel-cli rescue` again"},
    {"RescuePortMissing", [](CliEnds& t) { return t.Cli({"rescue", "-p", t.Missing()}); }, false,
     "untouched: its port did not open", "once the port opens: `tavrel-cli rescue`"},
    // the transfer, from its start to the board's restart
    {"TransferPortMissing", [](CliEnds& t) { return t.Transfer(t.Missing()); }, true,
     "untouched: its port did not open", "once the port opens: `tavrel-cli transfer "},
    {"TransferSilentPort", [](CliEnds& t) { return t.Transfer(t.dead.Device()); }, true,
     "no relay joined and no rate changed; board CPU keeps its previous software (nothing erased); GPS keeps its "
     "previous software (not reached)",
     "load again: `tavrel-cli transfer "},
    {"TransferRescueRefused",
     [](CliEnds& t) { return t.Cli({"transfer", "--rescue", t.Request({"CPU"}), "-p", t.Receiver(0, nullptr).tty,
                                    "--json", "-"}); },
     true, "board CPU keeps its previous software (nothing erased)",
     "with a Subassy ID beginning with \"U\", then `tavrel-cli transfer --rescue "},
    {"TransferOtherReceiver",
     [](CliEnds& t) {
         nlohmann::json receiver = CliEnds::DemoReceiver();
         receiver["boards"][0]["subassy"] = "XY";
         return t.Transfer(t.StartSim(receiver).tty);
     },
     true, "keeps its previous software", "`tavrel-cli query "},
    {"TransferEraseRefused", [](CliEnds& t) { return t.Transfer(t.Receiver(0, {{"erase_fails", true}}).tty); }, true,
     "relays left and rates restored; board CPU (cabled) stays in transfer mode and keeps its previous software "
     "(nothing erased); GPS keeps its previous software (not reached)",
     "switch the receiver off and on, then `tavrel-cli query "},
    {"TransferStuckRelayedBoard",
     [](CliEnds& t) { return t.Transfer(t.Receiver(1, {{"stuck_at_block", 3}}).tty); }, true,
     "relays left and rates restored; CPU loaded; board GPS holds no complete software", " --board GPS`"},
    {"TransferCabledBoardWithoutChecksum",
     [](CliEnds& t) { return t.Transfer(t.Receiver(0, {{"checksum_never", true}}).tty); }, true,
     "board CPU (cabled) stays in transfer mode", "switch the receiver off and on, then `tavrel-cli query "},
    {"TransferRelayedBoardNeverBack",
     [](CliEnds& t) { return t.Transfer(t.Receiver(1, {{"never_back", true}}).tty); }, true,
     "board GPS took its new release (checksum good) but did not come back as expected", " --board GPS`"},
    {"TransferLineCut", [](CliEnds& t) { return t.Transfer(t.Receiver(1, {{"drop_at_block", 2}}).tty); }, true,
     "board GPS", "--board GPS`"},
    {"TransferNotARelease",
     [](CliEnds& t) {
         t.dir.Write("request/notes.s19", "these are the notes of the release, not the release\n");
         const std::string request = t.WriteRequest("notes", nlohmann::json::array({CliEnds::RequestLine("CPU", "notes.s19")}));
         return t.Cli({"transfer", request, "-p", t.Receiver(0, nullptr).tty, "--json", "-"});
     },
     true, "board CPU keeps its previous software (nothing erased)", "`tavrel-cli transfer "},
    // the dry run's question to the receiver
    {"DryRunSilentPort",
     [](CliEnds& t) { return t.Cli({"transfer", t.Request({"CPU"}), "--dry-run", "-p", t.dead.Device(), "--json", "-"}); },
     true, "unchanged: it was only asked to identify itself", "--dry-run`"},
    // the repair
    {"RepairSilentPort", [](CliEnds& t) { return t.Cli({"repair", "--connected", "--rate", "19200", "-p", t.dead.Device()}); },
     false, "unchanged: it was only asked to identify itself", "`tavrel-cli repair` again"},
    {"RepairNotHeard",
     [](CliEnds& t) {
         return t.Cli({"repair", "--connected", "--rate", "19200", "-p",
                       t.Receiver(0, {{"ignored", {{{"sentence", "$PKVR,HARDRS"}}}}}).tty});
     },
     false, "the board may now run at 19200 bit/s", "`tavrel-cli ident --scan`"},
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(EveryEnd, CliEnds, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// A batch names, under each run that failed, what that receiver is left as
// and the next step, in its summary and its report.
TEST_F(CliEnds, ABatchSaysItForEachRunThatFailed)
{
    const SimReceiver& good = Receiver(0, nullptr, "good");
    const SimReceiver& bad = Receiver(1, {{"stuck_at_block", 2}}, "bad");
    const std::string request = Request({"CPU", "GPS"});
    const nlohmann::json plan = {{"format", "tavrel-batch"},
                                 {"runs", {{{"port", good.tty}, {"request", request}}, {{"port", bad.tty}, {"request", request}}}}};
    const CliResult batch = Cli({"batch", dir.Write("plan.json", plan.dump()), "--json", dir.File("batch.json")});
    EXPECT_EQ(batch.code, 1) << batch.Both();
    EXPECT_TRUE(Contains(batch.out, "the receiver: relays left and rates restored; CPU loaded; board GPS holds no "
                                    "complete software")) << batch.out;
    EXPECT_TRUE(Contains(batch.out, "next: load again: `tavrel-cli transfer " + request + " --board GPS`")) << batch.out;
    const nlohmann::json report = nlohmann::json::parse(ReadText(dir.File("batch.json")), nullptr, false);
    ASSERT_TRUE(report.is_object()) << batch.Both();
    EXPECT_FALSE(report["runs"][0].contains("next_step")) << report.dump(2);
    EXPECT_TRUE(Contains(report["runs"][1].value("next_step", ""), "--board GPS")) << report.dump(2);
}

}  // namespace
