// The terminal host answers Yes to the abort question only right after the
// abort key was reported to the running loop, never to another question.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <csignal>
#include <functional>

#include "app/Strings.h"
#include "cli/TerminalHost.h"

namespace {

MsgAnswer AskAbortQuestion(CTerminalHost& host)
{
    return host.MessageBox(GetString(49), GetString(43), MB_YES_NO, ICON_QUESTION);
}

TEST(TerminalHostAbort, YesOnlyForTheAbortQuestionOfThePress)
{
    int argc = 1;
    char name[] = "test_engine_units";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    CTerminalHost host(AnswerPolicy::No);
    host.CatchInterrupt();

    const struct {
        const char* what;
        std::function<void()> between;   // what happens after the press
        MsgAnswer answer;
    } rows[] = {
        {"reported to the loop", [&] { EXPECT_TRUE(host.AbortKeyPressed()); }, ANSWER_YES},
        {"taken by a wait's Cancel", [&] { EXPECT_TRUE(host.WaitDlgCheckCancel()); }, ANSWER_NO},
        {"another question first",
         [&] {
             EXPECT_TRUE(host.AbortKeyPressed());
             EXPECT_EQ(host.MessageBox(GetString(23), GetString(28), MB_YES_NO, ICON_QUESTION), ANSWER_NO);
         },
         ANSWER_NO},
        {"a message first",
         [&] {
             EXPECT_TRUE(host.AbortKeyPressed());
             host.MessageBox(GetString(22), GetString(94), MB_OK_ONLY, ICON_EXCLAMATION);
         },
         ANSWER_NO},
    };
    for (const auto& row : rows) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        std::raise(SIGINT);
        row.between();
        const MsgAnswer answer = AskAbortQuestion(host);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(answer, row.answer) << row.what;
    }
}

}  // namespace
