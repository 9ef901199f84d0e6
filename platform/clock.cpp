#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

std::atomic<bool> g_fake{false};
std::atomic<uint32_t> g_fakeNow{0};
std::mutex g_sleepMutex;
std::condition_variable g_sleepWake;

uint32_t RealTimeMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void WakeSleepers() {
    { std::lock_guard<std::mutex> lock(g_sleepMutex); }
    g_sleepWake.notify_all();
}

}  // namespace

uint32_t GetTimeMs() { return g_fake.load() ? g_fakeNow.load() : RealTimeMs(); }

void SleepMs(uint32_t ms) {
    if (!g_fake.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    const uint32_t start = g_fakeNow.load();
    std::unique_lock<std::mutex> lock(g_sleepMutex);
    g_sleepWake.wait(lock, [&] { return !g_fake.load() || g_fakeNow.load() - start >= ms; });
}

void UseFakeClock(uint32_t start) {
    g_fakeNow.store(start);
    g_fake.store(true);
    WakeSleepers();
}

void AdvanceFakeClock(uint32_t ms) {
    g_fakeNow.fetch_add(ms);
    WakeSleepers();
}

void SetFakeClock(uint32_t now) {
    g_fakeNow.store(now);
    WakeSleepers();
}

void UseRealClock() {
    g_fake.store(false);
    WakeSleepers();
}

bool IsFakeClock() { return g_fake.load(); }
