#pragma once
// Runs a piece of test code in a child process, so that a call that would
// block for ever (an open of a FIFO, say) fails the test instead of hanging it.
#include <chrono>
#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

inline constexpr auto kChildPromptly = std::chrono::seconds(10);

// The exit status of `body` run in a child process, or -1 when the child had
// not ended after kChildPromptly (it is then killed) or did not exit normally.
inline int ExitStatusWithin(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    const auto deadline = std::chrono::steady_clock::now() + kChildPromptly;
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
