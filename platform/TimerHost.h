#pragma once

#include <cstdint>

// Window-timer stand-in: each owner addresses its timers by its own small IDs,
// as the program's views do with SetTimer / KillTimer.
class TimerClient {
  public:
    virtual ~TimerClient() = default;
    virtual void OnTimer(int timerId) = 0;
};

class TimerHost {
  public:
    virtual ~TimerHost() = default;
    // Starts or restarts a repeating timer; a running timer with the same ID is replaced.
    virtual void SetTimer(TimerClient* owner, int timerId, int periodMs) = 0;
    // Stops a timer; an unknown or stopped timer is ignored.
    virtual void KillTimer(TimerClient* owner, int timerId) = 0;
    // Stops every timer of an owner; owners call it before they go away.
    virtual void KillAll(TimerClient* owner) = 0;
    virtual bool IsRunning(TimerClient* owner, int timerId) const = 0;
    // The clock the timers run on, in milliseconds from an arbitrary start: what a flow
    // measures (a transfer's duration, say) moves as its timers do.
    virtual int64_t NowMs() const = 0;
};
