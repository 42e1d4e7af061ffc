#include <gtest/gtest.h>

#include <vector>

#include "platform/ManualClock.h"

namespace {

struct Recorder : TimerClient {
    ManualClock* clock = nullptr;
    std::vector<std::pair<int64_t, int>> fired;  // (virtual time, timer ID)
    int killSelfOn = -1;
    void OnTimer(int id) override {
        fired.push_back({clock->Now(), id});
        if (id == killSelfOn) clock->KillTimer(this, id);
    }
};

}  // namespace

TEST(ManualClock, RepeatingTimersFireOncePerPeriodInDueOrder) {
    ManualClock clock;
    Recorder r;
    r.clock = &clock;
    clock.SetTimer(&r, 2, 1000);
    clock.SetTimer(&r, 7, 1500);
    clock.Advance(3000);
    const std::vector<std::pair<int64_t, int>> expected{
        {1000, 2}, {1500, 7}, {2000, 2}, {3000, 7}, {3000, 2}};  // ties: last armed first-come
    EXPECT_EQ(r.fired, expected);
    EXPECT_EQ(clock.Now(), 3000);
}

TEST(ManualClock, SetAgainRestartsThePeriodAndKillIsHarmless) {
    ManualClock clock;
    Recorder r;
    r.clock = &clock;
    clock.KillTimer(&r, 9);  // never set
    clock.SetTimer(&r, 15, 1000);
    clock.Advance(900);
    clock.SetTimer(&r, 15, 6000);
    EXPECT_EQ(clock.DueIn(&r, 15), 6000);
    EXPECT_EQ(clock.PeriodOf(&r, 15), 6000);
    clock.Advance(5999);
    EXPECT_TRUE(r.fired.empty());
    clock.Advance(1);
    ASSERT_EQ(r.fired.size(), 1u);
    clock.KillTimer(&r, 15);
    clock.KillTimer(&r, 15);
    EXPECT_FALSE(clock.IsRunning(&r, 15));
    EXPECT_FALSE(clock.FireNext());
}

TEST(ManualClock, HandlerMayKillItsOwnTimerAndPumpRunsBeforeEachTick) {
    ManualClock clock;
    Recorder r;
    r.clock = &clock;
    r.killSelfOn = 5;
    int pumps = 0;
    clock.SetPump([&] { ++pumps; });
    clock.SetTimer(&r, 5, 100);
    clock.Advance(1000);
    EXPECT_EQ(r.fired.size(), 1u);
    EXPECT_GE(pumps, 1);
    clock.SetTimer(&r, 1, 10);
    clock.KillAll(&r);
    EXPECT_FALSE(clock.IsRunning(&r, 1));
}
