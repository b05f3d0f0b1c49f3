// Waiting while the event loop keeps running: timers, received-data
// notifications and commands are dispatched during the wait; the host's abort
// key (Escape in the window, Ctrl+C on the terminal) ends it early.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/Host.h"
#include "app/UpdateApp.h"

namespace {

// Without an application object there is no loop to sleep in: the wait then
// sleeps in slices this long and polls the abort key between them.
constexpr int kNoLoopSliceMs = 10;

bool HaveEventLoop()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && app->thread() == QThread::currentThread();
}

}  // namespace

int CUpdateApp::PumpMessages()
{
    if (HaveEventLoop()) QCoreApplication::processEvents(QEventLoop::AllEvents);
    return Host().AbortKeyPressed() ? 1 : 0;
}

int CUpdateApp::PumpDelay(int ms)
{
    if (ms <= 0) return 0;
    const QDeadlineTimer deadline(ms);
    if (!HaveEventLoop()) {
        while (!deadline.hasExpired()) {
            if (Host().AbortKeyPressed()) return 1;
            const auto slice = std::min<qint64>(deadline.remainingTime(), kNoLoopSliceMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max<qint64>(slice, 0)));
        }
        return Host().AbortKeyPressed() ? 1 : 0;
    }

    // The timer guarantees one event at the deadline, so the loop below sleeps
    // until the next event or the end of the wait and never spins.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(ms);
    QEventLoop loop;
    for (;;) {
        if (Host().AbortKeyPressed()) return 1;
        if (deadline.hasExpired()) return 0;
        if (!wake.isActive()) wake.start(std::max<int>(1, static_cast<int>(deadline.remainingTime())));
        loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}
