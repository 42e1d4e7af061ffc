#include "platform/ManualClock.h"

void ManualClock::SetTimer(TimerClient* owner, int timerId, int periodMs) {
    // A zero period would fire forever within one instant; Windows rounds it up too.
    if (periodMs < 1) periodMs = 1;
    timers_[{owner, timerId}] = Entry{periodMs, now_ + periodMs, nextOrder_++};
}

void ManualClock::KillTimer(TimerClient* owner, int timerId) {
    timers_.erase({owner, timerId});
}

void ManualClock::KillAll(TimerClient* owner) {
    std::erase_if(timers_, [owner](const auto& item) { return item.first.first == owner; });
}

bool ManualClock::IsRunning(TimerClient* owner, int timerId) const {
    return timers_.contains({owner, timerId});
}

int64_t ManualClock::DueIn(TimerClient* owner, int timerId) const {
    auto it = timers_.find({owner, timerId});
    return it == timers_.end() ? -1 : it->second.due - now_;
}

int ManualClock::PeriodOf(TimerClient* owner, int timerId) const {
    auto it = timers_.find({owner, timerId});
    return it == timers_.end() ? 0 : it->second.periodMs;
}

const std::pair<const ManualClock::Key, ManualClock::Entry>* ManualClock::Earliest() const {
    const std::pair<const Key, Entry>* best = nullptr;
    for (const auto& item : timers_) {
        if (!best || item.second.due < best->second.due ||
            (item.second.due == best->second.due && item.second.order < best->second.order)) {
            best = &item;
        }
    }
    return best;
}

bool ManualClock::FireNext() {
    const auto* next = Earliest();
    if (!next) return false;
    Advance(next->second.due - now_);
    return true;
}

void ManualClock::Advance(int64_t ms) {
    const int64_t end = now_ + ms;
    for (;;) {
        if (pump_) pump_();
        const auto* next = Earliest();
        if (!next || next->second.due > end) break;
        const Key key = next->first;
        now_ = next->second.due;
        // Re-arm before the call: the handler may kill or reset its own timer.
        auto& entry = timers_[key];
        entry.due = now_ + entry.periodMs;
        entry.order = nextOrder_++;
        key.first->OnTimer(key.second);
    }
    now_ = end;
}
