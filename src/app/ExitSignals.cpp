#include "app/ExitSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "app/Strings.h"

namespace {

// Self-pipe between the handlers and the event loop; one byte per signal.
int g_signalPipe[2] = {-1, -1};

// A Ctrl+C the program has not taken yet; with no process to put back and
// the host's consent, a second one ends the program in the handler itself.
volatile sig_atomic_t g_interruptUnread = 0;
volatile sig_atomic_t g_haveStopTarget = 0;
volatile sig_atomic_t g_exitOnSecondInterrupt = 0;

int g_stopReason = 0;
bool g_stopRequested = false;
StopTarget* g_stopTarget = nullptr;

constexpr int kAbortQuestionId = 49;   // "Are you sure you want to abort  the process ?"
constexpr int kMaxSignal = 64;

extern "C" void OnExitSignal(int signal)
{
    const int saved = errno;
    if (signal == SIGINT) {
        if (g_interruptUnread && g_exitOnSecondInterrupt && !g_haveStopTarget) ::_exit(128 + SIGINT);
        g_interruptUnread = 1;
    }
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (g_signalPipe[1] >= 0) {
        const ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
        (void)ignored;
    }
    errno = saved;
}

bool OpenPipe()
{
    return g_signalPipe[0] >= 0 || ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0;
}

}  // namespace

void RequestStop(int reason)
{
    if (g_stopRequested) return;
    g_stopRequested = true;
    g_stopReason = reason;
}

bool StopRequested() { return g_stopRequested; }
int StopReason() { return g_stopReason; }

void ClearStopRequest()
{
    g_stopRequested = false;
    g_stopReason = 0;
}

void SetStopTarget(StopTarget* target)
{
    g_stopTarget = target;
    g_haveStopTarget = target != nullptr ? 1 : 0;
}
StopTarget* CurrentStopTarget() { return g_stopTarget; }

MsgAnswer StopAnswer(const std::string& text, MsgButtons buttons)
{
    if ((buttons == MB_YES_NO || buttons == MB_YES_NO_CANCEL) && text == GetString(kAbortQuestionId)) return ANSWER_YES;
    switch (buttons) {
    case MB_YES_NO:
    case MB_YES_NO_CANCEL: return ANSWER_NO;
    case MB_OK_CANCEL:
    case MB_RETRY_CANCEL: return ANSWER_CANCEL;
    case MB_OK_ONLY: break;
    }
    return ANSWER_OK;
}

std::string SignalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signal " + std::to_string(signal);
    }
}

CExitSignals::~CExitSignals()
{
    for (int signal = 1; signal <= kMaxSignal; ++signal) {
        if (!m_bCaught[signal]) continue;
        struct sigaction sa {};
        sa.sa_handler = SIG_DFL;
        ::sigaction(signal, &sa, nullptr);
    }
}

bool CExitSignals::Catch(std::initializer_list<int> which)
{
    if (!OpenPipe()) return false;
    if (!m_notifier) {
        m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { Dispatch(); });
    }
    bool all = true;
    for (int signal : which) {
        if (signal < 1 || signal > kMaxSignal) {
            all = false;
            continue;
        }
        struct sigaction sa {};
        sa.sa_handler = OnExitSignal;
        sigemptyset(&sa.sa_mask);
        // No SA_RESTART: a blocking read (a question on the terminal) returns
        // with EINTR, so the signal is seen at once.
        sa.sa_flags = 0;
        if (::sigaction(signal, &sa, nullptr) != 0) all = false;
        else m_bCaught[signal] = true;
    }
    return all;
}

void CExitSignals::Dispatch()
{
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = g_signalPipe[0] >= 0 ? ::read(g_signalPipe[0], bytes, sizeof bytes) : -1;
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i)
            if (onSignal) onSignal(bytes[i]);
    }
}

void CExitSignals::ExitOnSecondInterrupt(bool on)
{
    g_exitOnSecondInterrupt = on ? 1 : 0;
}

void CExitSignals::InterruptTaken()
{
    g_interruptUnread = 0;
}

int CExitSignals::WakeFd() const
{
    return g_signalPipe[0];
}
