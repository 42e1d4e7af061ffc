#pragma once

#include <QObject>
#include <map>
#include <memory>
#include <utility>

#include "platform/TimerHost.h"

class QTimer;

// Production timers: one QTimer for each (owner, ID) pair, on the thread that owns the host.
class QtTimerHost final : public TimerHost {
  public:
    QtTimerHost();
    ~QtTimerHost() override;
    void SetTimer(TimerClient* owner, int timerId, int periodMs) override;
    void KillTimer(TimerClient* owner, int timerId) override;
    void KillAll(TimerClient* owner) override;
    bool IsRunning(TimerClient* owner, int timerId) const override;
    int64_t NowMs() const override;

  private:
    std::map<std::pair<TimerClient*, int>, std::unique_ptr<QTimer>> timers_;
};
