#include "tests/support/EventPump.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

bool PumpUntil(const std::function<bool()>& done, int guardMs) {
    QDeadlineTimer deadline(guardMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

void PumpQuiet(int quietMs) {
    QDeadlineTimer deadline(quietMs);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
}
