// The terminal host answers Yes to the abort question only right after the
// abort key was reported to the running loop, never to another question; on
// a terminal, a Ctrl+C while the abort question waits means Yes, and a stop
// signal while another question waits takes its safe answer.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "app/ExitSignals.h"

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

// Standard input on a pseudo-terminal for the life of the object.
class CTerminalStdin {
public:
    CTerminalStdin()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
        const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
        if (slave < 0) return;
        m_saved = ::dup(STDIN_FILENO);
        ::dup2(slave, STDIN_FILENO);
        ::close(slave);
    }
    ~CTerminalStdin()
    {
        if (m_saved >= 0) ::dup2(m_saved, STDIN_FILENO);
        if (m_saved >= 0) ::close(m_saved);
        if (m_master >= 0) ::close(m_master);
    }
    bool Ok() const { return m_saved >= 0; }
    void Type(const std::string& text) const { (void)!::write(m_master, text.data(), text.size()); }

private:
    int m_master = -1;
    int m_saved = -1;
};

TEST(TerminalHostAbort, SignalsWhileAQuestionWaitsOnTheTerminal)
{
    int argc = 1;
    char name[] = "test_engine_units";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    CTerminalStdin terminal;
    ASSERT_TRUE(terminal.Ok());
    CTerminalHost host(AnswerPolicy::None);
    host.CatchInterrupt();
    // A process that can be stopped, as the engine registers itself.
    StopTarget target;
    target.stop = [](int reason) { RequestStop(reason); };
    target.takesAbortKey = [] { return true; };
    SetStopTarget(&target);

    const struct {
        const char* what;
        int question;      // text id
        int signal;        // sent while it waits (0: none)
        const char* typed;
        MsgAnswer answer;
        bool stopped;
    } rows[] = {
        {"Ctrl+C while the abort question waits", 49, SIGINT, "", ANSWER_YES, false},
        {"SIGTERM while the abort question waits", 49, SIGTERM, "", ANSWER_YES, true},
        {"SIGTERM while another question waits", 23, SIGTERM, "", ANSWER_NO, true},
        {"an answer typed", 23, 0, "y\n", ANSWER_YES, false},
    };
    for (const auto& row : rows) {
        ClearStopRequest();
        testing::internal::CaptureStdout();
        std::thread other([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (row.signal != 0) ::kill(::getpid(), row.signal);
            else terminal.Type(row.typed);
        });
        const auto asked = std::chrono::steady_clock::now();
        const MsgAnswer answer = host.MessageBox(GetString(row.question), GetString(43), MB_YES_NO, ICON_QUESTION);
        const auto took = std::chrono::steady_clock::now() - asked;
        other.join();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(answer, row.answer) << row.what;
        EXPECT_EQ(StopRequested(), row.stopped) << row.what;
        EXPECT_LT(took, std::chrono::seconds(5)) << row.what;
    }
    ClearStopRequest();
    SetStopTarget(nullptr);
}

}  // namespace
