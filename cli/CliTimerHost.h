#pragma once

#include <algorithm>

#include "platform/QtTimerHost.h"

// The flows' timers on the event loop, optionally run `speedup` times faster: tests and
// benchmarks drive the program against simulated devices that answer at once, and need not
// wait whole seconds for each tick of a flow.
class CliTimerHost final : public TimerHost {
  public:
    explicit CliTimerHost(int speedup) : speedup_(std::max(1, speedup)) {}

    int Scaled(int periodMs) const { return std::max(1, periodMs / speedup_); }

    void SetTimer(TimerClient* owner, int timerId, int periodMs) override {
        timers_.SetTimer(owner, timerId, Scaled(periodMs));
    }
    void KillTimer(TimerClient* owner, int timerId) override { timers_.KillTimer(owner, timerId); }
    void KillAll(TimerClient* owner) override { timers_.KillAll(owner); }
    bool IsRunning(TimerClient* owner, int timerId) const override {
        return timers_.IsRunning(owner, timerId);
    }
    // Time runs as fast as the timers do.
    int64_t NowMs() const override { return timers_.NowMs() * speedup_; }

  private:
    QtTimerHost timers_;
    int speedup_;
};
