#pragma once
// End-to-end fixture: a temporary settings directory with a short pause
// between sentences, an environment and a request written with tavrel-cli,
// release files made with objcopy, tavrel-sim behind a pseudo-terminal, and
// the engine driven through the scripted host.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/ScriptedHost.h"
#include "common/SimProcess.h"
#include "common/TempDir.h"
#include "engine/EngineLink.h"
#include "engine/ProcessEngine.h"
#include "model/UpdateDoc.h"

// The scripted host with the engine's view calls that the tests look at.
class CEngineTestHost : public CScriptedHost {
public:
    long lastBlock = 0;
    int replyShown = 0;
    std::string lastReply;
    // Reports the abort key once, after this many data records went out (0: never).
    long abortAfterBlock = 0;
    // Texts of the wait dialogs in order; the dialog is cancelled once while
    // it shows `cancelWaitShowing`.
    std::vector<std::string> waitMessages;
    std::string cancelWaitShowing;
    // Every link description the view was given.
    std::vector<std::string> linkTexts;

    // Called after every data record with its block number.
    std::function<void(long)> onBlock;

    void SetTransferProgress(long block, long, long, const std::string&) override
    {
        lastBlock = block;
        if (onBlock) onBlock(block);
    }
    bool SetReplyAnswer(const std::string& answer, bool) override
    {
        lastReply = answer;
        return true;
    }
    void ShowReplyDialog(bool show) override { replyShown += show ? 1 : 0; }
    void SetLinkText(const std::string& text) override { linkTexts.push_back(text); }
    void WaitDlgSetMessage(const std::string& text) override { waitMessages.push_back(text); }
    bool WaitDlgCheckCancel() override
    {
        if (cancelWaitShowing.empty() || waitMessages.empty() || waitMessages.back() != cancelWaitShowing)
            return false;
        cancelWaitShowing.clear();
        return true;
    }
    bool AbortKeyPressed() override
    {
        if (abortAfterBlock > 0 && lastBlock >= abortAfterBlock) {
            abortAfterBlock = 0;
            return true;
        }
        return CScriptedHost::AbortKeyPressed();
    }
};

// Request lines of the demo environment's boards: GPS behind port B of the
// CPU at 57600 bit/s, the CPU alone at 115200 bit/s.
namespace demo {

inline nlohmann::json GpsLine(bool restart = true, const std::string& release = "gps.s19")
{
    return {{"board_name", "GPS"}, {"env_name", "DEMO"}, {"subassy_hardw", "20"}, {"board_index", 1},
            {"release_file", release}, {"soft_id", "GPS0200"}, {"board_alone", false},
            {"restart", restart}, {"transfer_speed", "57600"}, {"config_speed", "9600"}};
}

inline nlohmann::json CpuLine(bool restart = false, const std::string& release = "cpu.s19")
{
    return {{"board_name", "CPU"}, {"env_name", "DEMO"}, {"subassy_hardw", "10"}, {"board_index", 0},
            {"release_file", release}, {"soft_id", "CPU0200"}, {"board_alone", true},
            {"restart", restart}, {"transfer_speed", "115200"}, {"config_speed", "9600"}};
}

}  // namespace demo

class EngineE2E : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Settings lines added to Tavrel.ini ("Key=value" under their section).
    void Setting(const std::string& section, const std::string& line);
    // The demo environment: CPU (connected, Port A) and GPS (relayed, Port B);
    // `boards` may change or add board fields.
    nlohmann::json Environment() const;
    // A third board, NAV, behind port C of the GPS (38400), in the
    // environment and in the receiver; `saveSpeed` is its "Save transfer speed".
    void AddNavBehindGps(bool saveSpeed);
    // A receiver of the two boards; tests edit it before StartSim().
    nlohmann::json receiver;
    // More options of tavrel-sim ("--pace").
    std::vector<std::string> simOptions;
    void StartSim();
    // Writes the environment and the request (lines as JSON) and opens it.
    bool OpenRequest(const nlohmann::json& lines);
    // A release file of `bytes` random bytes at `address`, as S-records
    // (objcopy with `objcopyOptions`, "--srec-forceS3" for instance).
    std::string MakeRelease(const std::string& name, size_t bytes, unsigned address,
                            const std::string& objcopyOptions = "");
    // Runs a transfer (or a query) to its end.
    void RunTransfer();
    void RunQuery();

    std::string Log() const;
    bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
    // The simulator's image of a board equals the release made by MakeRelease.
    bool ImageEquals(const std::string& board, const std::string& release) const;
    nlohmann::json SimStats() const;
    // The summary once the simulator has had time to rewrite it after the
    // last sentence of a process.
    nlohmann::json SettledSimStats() const;
    // Every board at the rates of the receiver file, no relay joined, the
    // connected board addressed and (with `transferMode` false) no board in
    // transfer mode: a receiver as the program found it.
    void ExpectReceiverAsConfigured(bool checkTransferMode = true) const;
    // A query at the settings' rate finds the connected board and the board behind it.
    void ExpectQueryFindsTheTree();
    // tavrel-cli with the test's settings, on the simulator's port; its exit code.
    int RunCli(const std::string& args, std::string& output) const;
    const CBoardConf& Line(size_t i) const { return doc.m_lines.at(i); }
    // The end-report box text (the last box captioned "End of transfer").
    std::string EndReportBox() const;
    bool HasBox(const std::string& text) const;

    CTempDir dir;
    CEngineTestHost host;
    std::unique_ptr<CHostScope> hostScope;
    CUpdateDoc doc;
    SerialLinkPtr link;
    std::unique_ptr<CProcessEngine> engine;
    CSimProcess sim;
    std::string tty;
    std::vector<std::pair<std::string, std::string>> iniLines;   // section, "key=value"
    nlohmann::json envBoards;
};
