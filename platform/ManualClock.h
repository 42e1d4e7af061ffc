#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "platform/TimerHost.h"

// Test clock: virtual time moves only when a test advances it, and every timer
// that falls due fires in due-time order, once per elapsed period.
class ManualClock final : public TimerHost {
  public:
    void SetTimer(TimerClient* owner, int timerId, int periodMs) override;
    void KillTimer(TimerClient* owner, int timerId) override;
    void KillAll(TimerClient* owner) override;
    bool IsRunning(TimerClient* owner, int timerId) const override;

    // Moves virtual time forward by ms, firing due timers on the way.
    void Advance(int64_t ms);
    // Advances to the next due timer and fires it; false when no timer runs.
    bool FireNext();
    int64_t Now() const { return now_; }
    int64_t NowMs() const override { return now_; }
    // Milliseconds until the timer is next due, or -1 when it does not run.
    int64_t DueIn(TimerClient* owner, int timerId) const;
    int PeriodOf(TimerClient* owner, int timerId) const;
    // Called before each firing, so a test can deliver pending socket events
    // between ticks as the event loop would.
    void SetPump(std::function<void()> pump) { pump_ = std::move(pump); }

  private:
    struct Entry {
        int periodMs = 0;
        int64_t due = 0;
        uint64_t order = 0;  // ties fire in the order the timers were last armed
    };
    using Key = std::pair<TimerClient*, int>;
    const std::pair<const Key, Entry>* Earliest() const;

    std::map<Key, Entry> timers_;
    int64_t now_ = 0;
    uint64_t nextOrder_ = 0;
    std::function<void()> pump_;
};
