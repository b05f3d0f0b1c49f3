// The terminal host of tavrel-cli: answer policies, message lines, Ctrl+C.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <csignal>

#include "app/UpdateApp.h"
#include "cli/TerminalHost.h"

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

}  // namespace
