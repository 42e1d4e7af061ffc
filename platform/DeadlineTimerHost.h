#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/TimerHost.h"

// Timers for a thread that runs its own wait loop instead of an event loop: the loop waits at
// most WaitMs() for its descriptors and then calls FireDue(). Arming a timer costs a clock read,
// so a timer restarted for every packet adds no system call. Not thread-safe: one thread uses it.
class DeadlineTimerHost final : public TimerHost {
  public:
    // Monotonic microseconds.
    using Clock = std::function<int64_t()>;
    static int64_t SteadyMicroseconds();

    explicit DeadlineTimerHost(Clock now = SteadyMicroseconds);

    void SetTimer(TimerClient* owner, int timerId, int periodMs) override;
    void KillTimer(TimerClient* owner, int timerId) override;
    void KillAll(TimerClient* owner) override;
    bool IsRunning(TimerClient* owner, int timerId) const override;
    int64_t NowMs() const override;

    // Milliseconds until the earliest timer is due, rounded up; 0 when one is due, -1 when
    // none runs (poll's infinite wait).
    int WaitMs() const;
    // Fires every due timer once; each starts its next period when it fires.
    void FireDue();

  private:
    struct Timer {
        TimerClient* owner = nullptr;
        int id = 0;
        int periodMs = 0;
        int64_t due = 0;  // microseconds
    };
    Timer* Find(TimerClient* owner, int timerId);
    int Earliest() const;  // index, or -1 when no timer runs

    Clock now_;
    std::vector<Timer> timers_;  // a handful: a linear search beats any index
};
