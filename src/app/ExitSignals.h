#pragma once
// The ways out of a running program besides its own commands: SIGINT,
// SIGTERM and SIGHUP (and, in the desktop program, closing the window).
// A signal handler only writes the signal's number into a pipe; the event
// loop reads it on the main thread and tells the host, which ends the
// running process through its own clean-up (relays left, rates restored,
// the log whole, the port's lock released) before the program exits. Only
// SIGKILL can skip that.
#include <QSocketNotifier>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "app/Host.h"


// A request that the running process end at once through its clean-up:
// every wait returns, every question takes its safe answer (StopAnswer).
// `reason` is the signal number, 0 when the user closed the window.
// Main thread only.
void RequestStop(int reason);
bool StopRequested();
int StopReason();
void ClearStopRequest();

// The answer a question gets while a stop is under way: Yes to the abort
// question, the negative answer to any other.
MsgAnswer StopAnswer(const std::string& text, MsgButtons buttons);

// The process a stop ends: the process engine registers itself here while
// it lives, so a host can hand it a signal without knowing it.
struct StopTarget {
    std::function<void(int reason)> stop;     // ends the process through its clean-up
    std::function<bool()> takesAbortKey;      // a Ctrl+C now asks the abort question
};
void SetStopTarget(StopTarget* target);
StopTarget* CurrentStopTarget();

// "SIGINT", "SIGTERM", "SIGHUP" ("signal N" for another).
std::string SignalName(int signal);

class CExitSignals {
public:
    CExitSignals() = default;
    ~CExitSignals();   // the default dispositions come back
    CExitSignals(const CExitSignals&) = delete;
    CExitSignals& operator=(const CExitSignals&) = delete;

    // Catches the signals `which`; the event loop (a QCoreApplication must exist)
    // then tells onSignal. True when every one is caught.
    bool Catch(std::initializer_list<int> which);
    // Tells onSignal of every signal received and not yet told; for the
    // loops and blocking reads that cannot wait for the event loop.
    void Dispatch();
    // With no process registered to put back, a second Ctrl+C while the
    // first is not yet taken (InterruptTaken) ends the program at once.
    static void ExitOnSecondInterrupt(bool on);
    static void InterruptTaken();
    // The pipe's read end (-1 before Catch): readable when a signal waits.
    int WakeFd() const;

    std::function<void(int signal)> onSignal;

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_bCaught[65] = {};
};
