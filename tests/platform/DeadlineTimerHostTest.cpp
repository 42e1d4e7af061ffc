#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/DeadlineTimerHost.h"

namespace {

// Microseconds, moved by the test.
struct FakeTime {
    int64_t now = 0;
    DeadlineTimerHost::Clock Clock() {
        return [this] { return now; };
    }
};

struct Recorder : TimerClient {
    std::vector<int> fired;
    std::function<void(int)> onFire;
    void OnTimer(int id) override {
        fired.push_back(id);
        if (onFire) onFire(id);
    }
};

}  // namespace

TEST(DeadlineTimerHost, WaitIsRoundedUpToTheEarliestDueTime) {
    FakeTime time;
    DeadlineTimerHost timers(time.Clock());
    Recorder r;
    EXPECT_EQ(timers.WaitMs(), -1);
    timers.SetTimer(&r, 15, 1000);
    timers.SetTimer(&r, 1, 20);
    EXPECT_EQ(timers.WaitMs(), 20);
    time.now = 19'001;  // 0.999 ms left: a shorter wait would wake before the timer is due
    EXPECT_EQ(timers.WaitMs(), 1);
    timers.FireDue();
    EXPECT_TRUE(r.fired.empty());
    time.now = 20'000;
    EXPECT_EQ(timers.WaitMs(), 0);
    timers.KillTimer(&r, 1);
    EXPECT_EQ(timers.WaitMs(), 980);
    EXPECT_FALSE(timers.IsRunning(&r, 1));
    EXPECT_TRUE(timers.IsRunning(&r, 15));
}

TEST(DeadlineTimerHost, DueTimersFireOnceEachAndRepeatFromTheirFiring) {
    FakeTime time;
    DeadlineTimerHost timers(time.Clock());
    Recorder r;
    timers.SetTimer(&r, 15, 1000);
    timers.SetTimer(&r, 1, 20);
    time.now = 5'000'000;  // both long overdue: one firing each, not one per missed period
    timers.FireDue();
    EXPECT_EQ(r.fired, (std::vector<int>{1, 15}));
    EXPECT_EQ(timers.WaitMs(), 20);
    time.now += 20'000;
    timers.FireDue();
    EXPECT_EQ(r.fired, (std::vector<int>{1, 15, 1}));
    EXPECT_EQ(timers.WaitMs(), 20);
}

TEST(DeadlineTimerHost, HandlersMayRestartOrStopTimers) {
    FakeTime time;
    DeadlineTimerHost timers(time.Clock());
    Recorder r;
    Recorder other;
    // Each retry restarts the timer with the period of the next step, as the transfer does;
    // the other owner's timer is stopped by the first firing before it falls due.
    r.onFire = [&](int id) {
        timers.SetTimer(&r, id, 6000);
        timers.KillAll(&other);
    };
    timers.SetTimer(&r, 15, 1000);
    timers.SetTimer(&other, 15, 1000);
    timers.SetTimer(&other, 2, 1500);
    time.now = 1'000'000;
    timers.FireDue();
    EXPECT_EQ(r.fired, std::vector<int>{15});
    EXPECT_TRUE(other.fired.empty());
    EXPECT_EQ(timers.WaitMs(), 6000);
    // A zero period fires once, not in a loop: the next firing waits for the clock to move.
    timers.SetTimer(&r, 15, 0);
    r.onFire = nullptr;
    timers.FireDue();
    timers.FireDue();
    EXPECT_EQ(r.fired, (std::vector<int>{15, 15}));
}
