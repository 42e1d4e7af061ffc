#include "tests/support/EventPump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

namespace {

// One non-blocking round of the event loop; true when something was handled.
bool PumpOnce() {
    return QCoreApplication::eventDispatcher()->processEvents(QEventLoop::AllEvents);
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, int guardMs) {
    QDeadlineTimer deadline(guardMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        if (!PumpOnce()) QThread::usleep(200);
    }
    return true;
}

void PumpQuiet(int quietMs) {
    // Quiet means nothing happened for quietMs: every round that handles an event starts the
    // spell again, and the loop is always asked once more before it ends, so a process that
    // was descheduled meanwhile still delivers what arrived.
    constexpr int kGuardMs = 5000;  // a source that never falls silent must not hang a test
    QElapsedTimer idle;
    QElapsedTimer total;
    idle.start();
    total.start();
    while (total.elapsed() < kGuardMs) {
        if (PumpOnce()) {
            idle.restart();
        } else if (idle.elapsed() >= quietMs) {
            return;
        } else {
            QThread::usleep(200);
        }
    }
}
