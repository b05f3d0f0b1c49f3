// Release files that are not regular files: a FIFO named as a release or as a
// .vle file must be refused at once, never waited on.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "ReleaseTestUtil.h"
#include "release/Import.h"

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

TEST(SpecialFiles, FifoIsRefusedWithoutWaiting)
{
    TempDir dir;
    const std::string fifo = dir / "fw.s";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Row { const char* what; std::function<bool()> refused; };
    const Row rows[] = {
        {"recognition", [&] { return RecogniseReleaseFile(fifo) == -1; }},
        {"import", [&] { return ImportReleasePath(fifo, nullptr, false).code == IMPORT_UNKNOWN_FORMAT; }},
        {"reader", [&] {
             std::unique_ptr<CFileBase> reader = CreateReader(RELEASE_ANY);
             reader->SetSource(fifo, nullptr);
             return reader->OpenRelease() == 0;
         }},
        {".vle file", [&] { CVleFile vle; return vle.OpenForRead(fifo) == 0; }},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ExitStatusWithin([&] { return row.refused() ? 0 : 1; }), 0) << row.what;
}

}  // namespace
