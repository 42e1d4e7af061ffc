#include "vsp/VspWaitLoop.h"

#include <QEventLoop>
#include <QMetaObject>
#include <thread>

void RunWhilePainting(const std::function<void()>& work) {
    QEventLoop loop;
    std::thread worker([&loop, &work] {
        work();
        // Queued: the loop quits on its own thread, also when it has not started yet.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
}
