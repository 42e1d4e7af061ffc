#include "platform/QtTimerHost.h"

#include <QTimer>
#include <chrono>

QtTimerHost::QtTimerHost() = default;
QtTimerHost::~QtTimerHost() = default;

void QtTimerHost::SetTimer(TimerClient* owner, int timerId, int periodMs) {
    auto& timer = timers_[{owner, timerId}];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout,
                         [owner, timerId] { owner->OnTimer(timerId); });
    }
    timer->start(periodMs);
}

void QtTimerHost::KillTimer(TimerClient* owner, int timerId) {
    auto it = timers_.find({owner, timerId});
    if (it != timers_.end()) it->second->stop();
}

void QtTimerHost::KillAll(TimerClient* owner) {
    std::erase_if(timers_, [owner](const auto& item) { return item.first.first == owner; });
}

bool QtTimerHost::IsRunning(TimerClient* owner, int timerId) const {
    auto it = timers_.find({owner, timerId});
    return it != timers_.end() && it->second->isActive();
}

int64_t QtTimerHost::NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
