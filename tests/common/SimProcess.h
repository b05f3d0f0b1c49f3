#pragma once
// tavrel-sim (or any helper program) as a child process of a test, started
// with fork and exec. QProcess is not used here: once it has started a child,
// ThreadSanitizer no longer sees the main thread's mutex operations, so every
// later lock shared with another thread would be reported as a race.
// The child ends with the test process (PR_SET_PDEATHSIG) and on Stop().
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "common/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

class CSimProcess {
public:
    static constexpr int kStopWaitMs = 5000;

    CSimProcess() = default;
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;
    ~CSimProcess() { Stop(); }

    // Starts `program` with `args` and waits up to `timeoutMs` for its first
    // line on standard output, returned without the line feed. False when the
    // program could not be started or printed no line in time.
    bool Start(const std::string& program, const std::vector<std::string>& args, std::string& firstLine,
               int timeoutMs)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return false;
        // Everything the child needs is built before fork: after it, only
        // async-signal-safe calls are allowed in a threaded parent.
        std::vector<std::string> words{program};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        const pid_t parent = ::getpid();

        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(127);
            ::dup2(out[1], STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        if (m_pid < 0) {
            ::close(out[0]);
            return false;
        }
        m_out = out[0];
        return ReadLine(firstLine, timeoutMs);
    }

    bool Running()
    {
        if (m_pid <= 0) return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == 0) return true;
        m_pid = -1;
        return false;
    }

    // Ends the child at once, as a device that vanishes.
    void Kill() { End(SIGKILL); }

    // Asks the child to end, then kills it if it is still there after kStopWaitMs.
    void Stop() { End(SIGTERM); }

private:
    bool ReadLine(std::string& line, int timeoutMs)
    {
        line.clear();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char c;
            if (::read(m_out, &c, 1) != 1) return false;
            if (c == '\n') return true;
            line += c;
        }
    }

    void End(int signal)
    {
        if (m_pid > 0) {
            ::kill(m_pid, signal);
            int status = 0;
            WaitForChild(m_pid, std::chrono::milliseconds(kStopWaitMs), status);   // killed when late
            m_pid = -1;
        }
        if (m_out >= 0) ::close(m_out);
        m_out = -1;
    }

    pid_t m_pid = -1;
    int m_out = -1;
};
