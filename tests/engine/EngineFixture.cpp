#include "EngineFixture.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "app/UpdateApp.h"

namespace {

const std::string kBin = TAVREL_BINARY_DIR "/src/";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool RunShell(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

}  // namespace

void EngineE2E::SetUp()
{
    ASSERT_TRUE(dir.Ok());
    for (const char* sub : {"/config", "/env", "/request", "/images"})
        ASSERT_TRUE(RunShell("mkdir -p '" + dir.Path() + sub + "'"));
    hostScope = std::make_unique<CHostScope>(host);
    host.defaultAnswer = ANSWER_NO;
    envBoards = nlohmann::json::array({
        {{"name", "CPU"}, {"subassy_id", "CM"}, {"subassy_hardw", "10"}, {"boot_loader", "CMB2"},
         {"prog_id", 1}, {"relayed", false}, {"destination", "Port A"}, {"processing", "Aucun"},
         {"max_speed", "115200"}, {"erase_timeout", 10}, {"restart_timeout", 10},
         {"parent_board", -1}, {"save_speed", "unchecked"}},
        {{"name", "GPS"}, {"subassy_id", "GP"}, {"subassy_hardw", "20"}, {"boot_loader", "GPB1"},
         {"prog_id", 2}, {"relayed", true}, {"destination", "Port B"}, {"processing", "Aucun"},
         {"max_speed", "115200"}, {"erase_timeout", 10}, {"restart_timeout", 10},
         {"parent_board", 0}, {"save_speed", "unchecked"}},
    });
    receiver = {{"boards", nlohmann::json::array({
        {{"name", "CPU"}, {"subassy", "CM"}, {"hardware", "10"}, {"boot_loader", "CMB2"},
         {"software", {"CPU0100"}}, {"software_after_load", {"CPU0200"}}, {"rate", 9600},
         {"ports", {{"B", 19200}}}, {"progr_id", 1}, {"erase_ms", 100}, {"restart_ms", 300}},
        {{"name", "GPS"}, {"subassy", "GP"}, {"hardware", "20"}, {"boot_loader", "GPB1"},
         {"software", {"GPS0100"}}, {"software_after_load", {"GPS0200"}}, {"parent", "CPU"},
         {"letter", "B"}, {"rate", 19200}, {"progr_id", 2}, {"erase_ms", 100}, {"restart_ms", 300}},
    })}};
    Setting("Paths", "Products files=" + dir.Path() + "/env/");
    Setting("Times out", "Between 2 write (ms.)=0");
    Setting("Miscellaneous", "Auto speed min. range=9600");
    Setting("Miscellaneous", "Auto speed max. range=115200");
    Setting("Miscellaneous", "Rescue enable=NO");
    Setting("Miscellaneous", "Reserved 3=2");
}

void EngineE2E::TearDown()
{
    engine.reset();
    link.reset();
    sim.Stop();
    hostScope.reset();
}

void EngineE2E::Setting(const std::string& section, const std::string& line)
{
    iniLines.emplace_back(section, line);
}

nlohmann::json EngineE2E::Environment() const
{
    return {{"format", "tavrel-environment"}, {"name", "DEMO"}, {"boards", envBoards}};
}

void EngineE2E::AddNavBehindGps(bool saveSpeed)
{
    envBoards.push_back({{"name", "NAV"}, {"subassy_id", "NV"}, {"subassy_hardw", "30"}, {"boot_loader", "NVB1"},
                         {"prog_id", 3}, {"relayed", true}, {"destination", "Port C"}, {"processing", "Aucun"},
                         {"max_speed", "115200"}, {"erase_timeout", 10}, {"restart_timeout", 10},
                         {"parent_board", 1}, {"save_speed", saveSpeed ? "checked" : "unchecked"}});
    receiver["boards"][1]["ports"] = {{"C", 38400}};
    receiver["boards"].push_back({{"name", "NAV"}, {"subassy", "NV"}, {"hardware", "30"}, {"boot_loader", "NVB1"},
                                  {"software", {"NAV0100"}}, {"software_after_load", {"NAV0200"}},
                                  {"parent", "GPS"}, {"letter", "C"}, {"rate", 38400}, {"progr_id", 3},
                                  {"erase_ms", 100}, {"restart_ms", 300}});
}

void EngineE2E::StartSim()
{
    dir.Write("receiver.json", receiver.dump(2));
    std::string ready;
    std::vector<std::string> args = {"--receiver", dir.File("receiver.json"), "--image-dir", dir.Path() + "/images",
                                     "--stats", dir.File("stats.json"), "--log", dir.File("sim.log")};
    args.insert(args.end(), simOptions.begin(), simOptions.end());
    ASSERT_TRUE(sim.Start(kBin + "tavrel-sim", args, ready, 5000));
    ASSERT_EQ(ready.rfind("ready ", 0), 0u) << ready;
    tty = ready.substr(6);
}

bool EngineE2E::OpenRequest(const nlohmann::json& lines)
{
    // One block per section: a section named twice would keep only its first keys.
    std::string ini;
    std::vector<std::string> sections;
    for (const auto& [section, line] : iniLines)
        if (std::find(sections.begin(), sections.end(), section) == sections.end()) sections.push_back(section);
    for (const std::string& section : sections) {
        ini += "[" + section + "]\n";
        for (const auto& [owner, line] : iniLines)
            if (owner == section) ini += line + "\n";
    }
    dir.Write("config/Tavrel.ini", ini);
    if (!App().StartUpCore(dir.Path() + "/config", dir.File("Tavrel.log"))) return false;

    dir.Write("env.json", Environment().dump(2));
    const nlohmann::json request = {{"format", "tavrel-request"}, {"version", 20}, {"lines", lines}};
    dir.Write("request.json", request.dump(2));
    const std::string cli = kBin + "tavrel-cli --config-dir '" + dir.Path() + "/config' --log '" +
                            dir.File("cli.log") + "' ";
    if (!RunShell(cli + "env import '" + dir.File("env.json") + "' --out '" + dir.Path() + "/env/demo.def' >/dev/null"))
        return false;
    if (!RunShell(cli + "request import '" + dir.File("request.json") + "' --out '" + dir.Path() +
             "/request/demo.sfl' --dir '" + dir.Path() + "/env' >/dev/null"))
        return false;
    if (doc.OpenRequest(dir.Path() + "/request/demo.sfl") != OpenResult::Ok) return false;

    link = CreateConfiguredLink();
    LinkSetDevicePath(*link, tty);
    engine = std::make_unique<CProcessEngine>(doc, *link);
    return true;
}

std::string EngineE2E::MakeRelease(const std::string& name, size_t bytes, unsigned address,
                                   const std::string& objcopyOptions)
{
    std::mt19937 random(static_cast<unsigned>(bytes * 7919 + address));
    std::string data(bytes, '\0');
    for (char& c : data) c = static_cast<char>(random() & 0xFF);
    const std::string bin = dir.Write(name + ".bin", data);
    char command[1024];
    std::snprintf(command, sizeof command,
                  "objcopy -I binary -O srec %s --change-addresses 0x%x '%s' '%s/request/%s'",
                  objcopyOptions.c_str(), address, bin.c_str(), dir.Path().c_str(), name.c_str());
    EXPECT_TRUE(RunShell(command));
    return name;
}

void EngineE2E::RunTransfer()
{
    engine->StartTransfer(PROC_TRANSFER);
    while (!engine->IsIdle()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void EngineE2E::RunQuery()
{
    engine->StartQuery(PROC_QUERY);
    while (!engine->IsIdle()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

std::string EngineE2E::Log() const
{
    return ReadFile(dir.File("Tavrel.log"));
}

bool EngineE2E::ImageEquals(const std::string& board, const std::string& release) const
{
    const std::string image = dir.Path() + "/images/" + board + ".srec";
    const std::string out = dir.File(board + "-image.bin");
    if (!RunShell("objcopy -I srec -O binary '" + image + "' '" + out + "'")) return false;
    return ReadFile(out) == ReadFile(dir.File(release + ".bin"));
}

nlohmann::json EngineE2E::SimStats() const
{
    return nlohmann::json::parse(ReadFile(dir.File("stats.json")), nullptr, false);
}

nlohmann::json EngineE2E::SettledSimStats() const
{
    // The simulator rewrites its summary at most ten times a second.
    constexpr int kSettleMs = 400;
    QEventLoop loop;
    QTimer::singleShot(kSettleMs, &loop, &QEventLoop::quit);
    loop.exec();
    return SimStats();
}

void EngineE2E::ExpectReceiverAsConfigured(bool checkTransferMode) const
{
    const nlohmann::json stats = SettledSimStats();
    const nlohmann::json& boards = receiver["boards"];
    EXPECT_EQ(stats.value("addressed", ""), boards[0]["name"]);
    ASSERT_EQ(stats["boards"].size(), boards.size());
    for (size_t i = 0; i < boards.size(); ++i) {
        const nlohmann::json& config = boards[i];
        const nlohmann::json& state = stats["boards"][i];
        SCOPED_TRACE(config["name"].get<std::string>());
        EXPECT_EQ(state["rate"], config.value("rate", 9600));
        // Its ports: those of the file, and one for every board hanging on a port.
        nlohmann::json ports = config.value("ports", nlohmann::json::object());
        for (const auto& child : boards)
            if (child.value("parent", "") == config["name"] && child["letter"].get<std::string>() <= "H" &&
                !ports.contains(child["letter"].get<std::string>()))
                ports[child["letter"].get<std::string>()] = child.value("rate", 9600);
        EXPECT_EQ(state["ports"], ports);
        EXPECT_TRUE(state["relays_to"].is_null()) << state["relays_to"];
        if (checkTransferMode) {
            EXPECT_EQ(state["transfer_mode"], false);
        }
    }
}

void EngineE2E::ExpectQueryFindsTheTree()
{
    host.lastReply.clear();
    RunQuery();
    EXPECT_TRUE(engine->QueryAnswered());
    for (const auto& board : receiver["boards"]) {
        const std::string ident = board["subassy"].get<std::string>() + board["hardware"].get<std::string>() + "," +
                                  board["boot_loader"].get<std::string>();
        EXPECT_NE(host.lastReply.find(ident), std::string::npos) << ident << "\n" << host.lastReply;
    }
}

int EngineE2E::RunCli(const std::string& args, std::string& output) const
{
    const std::string command = kBin + "tavrel-cli --config-dir '" + dir.Path() + "/config' --log '" +
                                dir.File("Tavrel.log") + "' " + args + " --port '" + tty + "' </dev/null >'" +
                                dir.File("cli-out.txt") + "' 2>&1";
    const int status = std::system(command.c_str());
    output = ReadFile(dir.File("cli-out.txt"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string EngineE2E::EndReportBox() const
{
    for (auto it = host.boxes.rbegin(); it != host.boxes.rend(); ++it)
        if (it->caption == "End of transfer") return it->text;
    return {};
}

bool EngineE2E::HasBox(const std::string& text) const
{
    for (const auto& box : host.boxes)
        if (box.text.find(text) != std::string::npos) return true;
    return false;
}

// Every end-to-end test of the engine runs in an application object's event
// loop. A test program with a main of its own (the GUI tests: a QApplication)
// defines TAVREL_FIXTURE_OWN_MAIN.
#ifndef TAVREL_FIXTURE_OWN_MAIN
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
#endif
