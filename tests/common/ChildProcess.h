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

// Waits up to `limit` for the child `pid` to end; when it has not, kills it
// and returns false. `status` is the wait status either way.
inline bool WaitForChild(pid_t pid, std::chrono::milliseconds limit, int& status)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The exit status of `body` run in a child process, or -1 when the child had
// not ended after kChildPromptly (it is then killed) or did not exit normally.
inline int ExitStatusWithin(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (!WaitForChild(pid, kChildPromptly, status)) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
