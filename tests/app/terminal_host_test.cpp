// The terminal host of tavrel-cli: answer policies, message lines, Ctrl+C.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <sstream>
#include <vector>

#include "app/UpdateApp.h"
#include "cli/TerminalHost.h"
#include "model/BoardDef.h"

namespace {

TEST(TerminalHost, PoliciesAnswerWithoutAsking)
{
    const struct {
        AnswerPolicy policy;
        MsgButtons buttons;
        MsgAnswer answer;
    } rows[] = {
        {AnswerPolicy::Yes, MB_YES_NO, ANSWER_YES},
        {AnswerPolicy::Yes, MB_YES_NO_CANCEL, ANSWER_YES},
        {AnswerPolicy::Yes, MB_RETRY_CANCEL, ANSWER_RETRY},
        {AnswerPolicy::Yes, MB_OK_CANCEL, ANSWER_OK},
        {AnswerPolicy::No, MB_YES_NO, ANSWER_NO},
        {AnswerPolicy::No, MB_YES_NO_CANCEL, ANSWER_NO},
        {AnswerPolicy::No, MB_RETRY_CANCEL, ANSWER_CANCEL},
        {AnswerPolicy::No, MB_OK_ONLY, ANSWER_OK},
    };
    for (const auto& r : rows) {
        CTerminalHost host(r.policy);
        testing::internal::CaptureStdout();
        EXPECT_EQ(host.MessageBox("Continue ?", "Error", r.buttons, ICON_QUESTION), r.answer);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.substr(0, 18), "Error: Continue ?\n") << out;
    }
}

TEST(TerminalHost, WarningsGoToStderrWithoutLineEnds)
{
    CTerminalHost host(AnswerPolicy::No);
    testing::internal::CaptureStderr();
    host.MessageBox("Unable to open the port. \r\n", "Communication error", MB_OK_ONLY, ICON_STOP);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Communication error: Unable to open the port.\n");
}

TEST(TerminalHost, CtrlCIsTheAbortKeyAndWakesTheWait)
{
    int argc = 1;
    char name[] = "test_app";
    char* argv[] = {name, nullptr};
    QCoreApplication qapp(argc, argv);
    CTerminalHost host(AnswerPolicy::No);
    SetHost(&host);
    host.CatchInterrupt();

    EXPECT_FALSE(host.AbortKeyPressed());
    std::raise(SIGINT);
    EXPECT_TRUE(host.AbortKeyPressed());
    EXPECT_FALSE(host.AbortKeyPressed());   // once per press

    QTimer::singleShot(5, [] { std::raise(SIGINT); });
    EXPECT_EQ(App().PumpDelay(60000), 1);
    SetHost(nullptr);
}

void PressCtrlCTwice()
{
    int argc = 1;
    char name[] = "test_app";
    char* argv[] = {name, nullptr};
    QCoreApplication qapp(argc, argv);
    CTerminalHost host;
    host.CatchInterrupt();
    std::raise(SIGINT);
    std::raise(SIGINT);
    std::exit(0);
}

TEST(TerminalHostDeathTest, SecondCtrlCWhileTheFirstIsPendingEndsAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(PressCtrlCTwice(), testing::ExitedWithCode(130), "");
}

// The board chooser of a line to link again: the line's environment first,
// invalid numbers asked again, an empty line cancelling.
class BoardChooser : public CTerminalHost {
public:
    using CTerminalHost::ReadBoardChoice;
};

TEST(TerminalHost, BoardChoiceListsTheLinesEnvironmentFirstAndReadsANumber)
{
    std::vector<CEnvDef> envs(2);
    envs[0].m_strName = "NAV";
    envs[0].m_boards.resize(1);
    envs[0].m_boards[0].m_strName = "RADIO";
    envs[1].m_strName = "DEMO";
    envs[1].m_boards.resize(2);
    envs[1].m_boards[0].m_strName = "CPU";
    envs[1].m_boards[1].m_strName = "GPS";

    const struct {
        const char* input;
        bool chosen;
        int env, board;
    } rows[] = {
        {"2\n", true, 1, 1},              // DEMO's boards are 1 and 2
        {"3 \n", true, 0, 0},             // then NAV's
        {"0\nx\n4\n1\n", true, 1, 0},  // out of range and garbage are asked again
        {"\n", false, -1, -1},
        {"", false, -1, -1},
    };
    for (const auto& r : rows) {
        std::istringstream in(r.input);
        int env = -1, board = -1;
        testing::internal::CaptureStdout();
        EXPECT_EQ(BoardChooser::ReadBoardChoice(in, envs, 1, env, board), r.chosen) << r.input;
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.rfind("  1. DEMO / CPU\n  2. DEMO / GPS\n  3. NAV / RADIO\n", 0), 0u) << out;
        EXPECT_EQ(env, r.env) << r.input;
        EXPECT_EQ(board, r.board) << r.input;
    }
}

TEST(TerminalHost, BoardChoiceIsCancelledWithoutATerminal)
{
    CTerminalHost host(AnswerPolicy::Yes);
    std::vector<CEnvDef> envs(1);
    envs[0].m_boards.resize(1);
    int env = -1, board = -1;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(host.ChooseEnvironmentBoard(envs, 0, env, board));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("-> Cancel"), std::string::npos);
}

}  // namespace
