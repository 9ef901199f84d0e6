#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

std::atomic<bool> g_fake{false};
std::atomic<uint32_t> g_fakeNow{0};
std::mutex g_sleepMutex;
std::condition_variable g_sleepWake;
std::condition_variable g_settleWake;

// A clocked thread's sleep in progress under the fake clock (guarded by g_sleepMutex).
struct SFakeSleep {
    uint32_t start;
    uint32_t ms;
    const bool* woken;  // null for SleepMs
};
std::vector<const SFakeSleep*> g_clockedSleeps;
int g_clockedThreads = 0;
thread_local bool t_clocked = false;

uint32_t RealTimeMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void WakeSleepers() {
    { std::lock_guard<std::mutex> lock(g_sleepMutex); }
    g_sleepWake.notify_all();
}

bool IsDue(const SFakeSleep& sleep) {
    return (sleep.woken != nullptr && *sleep.woken) || g_fakeNow.load() - sleep.start >= sleep.ms;
}

// Sleeps ms milliseconds, or less when *woken becomes true. Called with the lock held.
void SleepLocked(std::unique_lock<std::mutex>& lock, uint32_t ms, const bool* woken) {
    auto wokenUp = [&] { return woken != nullptr && *woken; };
    if (!g_fake.load()) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        g_sleepWake.wait_until(lock, deadline, [&] { return wokenUp() || g_fake.load(); });
        return;
    }
    const SFakeSleep sleep{g_fakeNow.load(), ms, woken};
    if (t_clocked) {
        g_clockedSleeps.push_back(&sleep);
        g_settleWake.notify_all();
    }
    g_sleepWake.wait(lock, [&] { return !g_fake.load() || IsDue(sleep); });
    if (t_clocked) g_clockedSleeps.erase(std::find(g_clockedSleeps.begin(), g_clockedSleeps.end(), &sleep));
}

bool AllClockedThreadsWaiting() {
    const auto waiting = std::count_if(g_clockedSleeps.begin(), g_clockedSleeps.end(),
                                       [](const SFakeSleep* sleep) { return !IsDue(*sleep); });
    return waiting == g_clockedThreads;
}

}  // namespace

uint32_t GetTimeMs() { return g_fake.load() ? g_fakeNow.load() : RealTimeMs(); }

void SleepMs(uint32_t ms) {
    std::unique_lock<std::mutex> lock(g_sleepMutex);
    SleepLocked(lock, ms, nullptr);
}

void CWakeableSleep::Sleep(uint32_t ms) {
    std::unique_lock<std::mutex> lock(g_sleepMutex);
    SleepLocked(lock, ms, &m_woken);
    m_woken = false;
}

void CWakeableSleep::Reset() {
    std::lock_guard<std::mutex> lock(g_sleepMutex);
    m_woken = false;
}

void CWakeableSleep::Wake() {
    {
        std::lock_guard<std::mutex> lock(g_sleepMutex);
        m_woken = true;
    }
    g_sleepWake.notify_all();
}

namespace {

void EndClockedThread() {
    {
        std::lock_guard<std::mutex> lock(g_sleepMutex);
        t_clocked = false;
        --g_clockedThreads;
    }
    g_settleWake.notify_all();
}

}  // namespace

std::thread StartClockedThread(std::function<void()> body) {
    {
        std::lock_guard<std::mutex> lock(g_sleepMutex);
        ++g_clockedThreads;
    }
    try {
        return std::thread([body = std::move(body)] {
            {
                std::lock_guard<std::mutex> lock(g_sleepMutex);
                t_clocked = true;
            }
            body();
            EndClockedThread();
        });
    } catch (...) {
        EndClockedThread();
        throw;
    }
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

bool SettleFakeClock() {
    std::unique_lock<std::mutex> lock(g_sleepMutex);
    return g_settleWake.wait_for(lock, std::chrono::seconds(10), [] { return AllClockedThreadsWaiting(); });
}
