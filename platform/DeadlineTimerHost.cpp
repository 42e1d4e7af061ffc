#include "platform/DeadlineTimerHost.h"

#include <algorithm>
#include <chrono>
#include <climits>

namespace {

constexpr int64_t kMicrosecondsPerMs = 1000;

}  // namespace

int64_t DeadlineTimerHost::SteadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

DeadlineTimerHost::DeadlineTimerHost(Clock now) : now_(std::move(now)) {}

int64_t DeadlineTimerHost::NowMs() const {
    return now_() / kMicrosecondsPerMs;
}

void DeadlineTimerHost::SetTimer(TimerClient* owner, int timerId, int periodMs) {
    const int64_t due = now_() + int64_t{periodMs} * kMicrosecondsPerMs;
    if (Timer* timer = Find(owner, timerId)) {
        timer->periodMs = periodMs;
        timer->due = due;
        return;
    }
    timers_.push_back({owner, timerId, periodMs, due});
}

void DeadlineTimerHost::KillTimer(TimerClient* owner, int timerId) {
    std::erase_if(timers_, [&](const Timer& t) { return t.owner == owner && t.id == timerId; });
}

void DeadlineTimerHost::KillAll(TimerClient* owner) {
    std::erase_if(timers_, [&](const Timer& t) { return t.owner == owner; });
}

bool DeadlineTimerHost::IsRunning(TimerClient* owner, int timerId) const {
    return std::any_of(timers_.begin(), timers_.end(),
                       [&](const Timer& t) { return t.owner == owner && t.id == timerId; });
}

int DeadlineTimerHost::WaitMs() const {
    const int earliest = Earliest();
    if (earliest < 0) return -1;
    const int64_t left = timers_[earliest].due - now_();
    if (left <= 0) return 0;
    return static_cast<int>(
        std::min<int64_t>((left + kMicrosecondsPerMs - 1) / kMicrosecondsPerMs, INT_MAX));
}

// A handler may arm or stop timers, its own included, so the earliest is looked up afresh
// after each one; the time is read once, so a timer re-armed with a zero period waits for the
// next call instead of firing forever.
void DeadlineTimerHost::FireDue() {
    const int64_t now = now_();
    for (;;) {
        const int earliest = Earliest();
        if (earliest < 0 || timers_[earliest].due > now) return;
        Timer& timer = timers_[earliest];
        timer.due = now + std::max<int64_t>(int64_t{timer.periodMs} * kMicrosecondsPerMs, 1);
        timer.owner->OnTimer(timer.id);
    }
}

DeadlineTimerHost::Timer* DeadlineTimerHost::Find(TimerClient* owner, int timerId) {
    for (Timer& timer : timers_) {
        if (timer.owner == owner && timer.id == timerId) return &timer;
    }
    return nullptr;
}

int DeadlineTimerHost::Earliest() const {
    const auto it = std::min_element(timers_.begin(), timers_.end(),
                                     [](const Timer& a, const Timer& b) { return a.due < b.due; });
    return it == timers_.end() ? -1 : static_cast<int>(it - timers_.begin());
}
