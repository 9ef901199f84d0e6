// The clock pieces the streaming threads rely on: workers that pace themselves by the fake
// clock, waking them early, and settling until everything due has run.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/clock.h"

namespace {

TEST(ClockedWorker, SettlesAfterEachStepAndWakesEarly) {
    UseFakeClock(1000);
    std::atomic<int> polls{0};
    std::atomic<bool> stop{false};
    CWakeableSleep sleep;
    std::thread worker = StartClockedThread([&] {
        while (!stop) {
            ++polls;
            sleep.Sleep(50);
        }
    });
    ASSERT_TRUE(SettleFakeClock());
    EXPECT_EQ(polls, 1);  // the first poll ran before settling returned
    AdvanceFakeClock(49);
    ASSERT_TRUE(SettleFakeClock());
    EXPECT_EQ(polls, 1);
    AdvanceFakeClock(1);
    ASSERT_TRUE(SettleFakeClock());
    EXPECT_EQ(polls, 2);
    sleep.Wake();  // no time passes
    ASSERT_TRUE(SettleFakeClock());
    EXPECT_EQ(polls, 3);
    stop = true;
    sleep.Wake();
    worker.join();
    EXPECT_TRUE(SettleFakeClock());  // an ended worker is not waited for

    // A wake that nobody took ends the next sleep at once, unless it is forgotten.
    sleep.Wake();
    sleep.Sleep(0xFFFFFFFFu);
    sleep.Wake();
    sleep.Reset();
    std::atomic<bool> slept{false};
    std::thread sleeper = StartClockedThread([&] {
        sleep.Sleep(10);
        slept = true;
    });
    ASSERT_TRUE(SettleFakeClock());
    EXPECT_FALSE(slept);
    AdvanceFakeClock(10);
    ASSERT_TRUE(SettleFakeClock());
    EXPECT_TRUE(slept);
    sleeper.join();
    UseRealClock();
}

}  // namespace
