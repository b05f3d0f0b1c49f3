// Settings, edit-rights and definition files that are FIFOs: refused at once
// (read as absent), never waited on.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "app/IniFile.h"
#include "app/UpdateApp.h"
#include "common/TempDir.h"
#include "model/ModelFiles.h"

namespace {

constexpr auto kPromptly = std::chrono::seconds(10);

// Runs `body` in a child process; its exit status, or -1 when it had not
// ended after kPromptly (it is then killed).
int ExitStatusWithin(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    const auto deadline = std::chrono::steady_clock::now() + kPromptly;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SpecialFiles, FifosAreReadAsAbsent)
{
    CTempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Row { const char* what; std::function<bool()> refused; };
    const Row rows[] = {
        {"settings file", [&] { CIniFile ini; return !ini.Load(fifo) && ini.Sections().empty(); }},
        {"edit-rights file", [&] { CUpdateApp app; app.ReadEditRights(fifo); return !app.m_bEditRights; }},
        {"definition file", [&] {
             std::vector<uint8_t> bytes;
             return ReadModelFile(fifo, bytes) == FileReadResult::CannotOpen && bytes.empty();
         }},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ExitStatusWithin([&] { return row.refused() ? 0 : 1; }), 0) << row.what;
}

}  // namespace
