// The millisecond clock (the program's only time base) and sleeping, with a fake clock that
// tests step by hand so that every timed rule runs without real waiting.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

// Milliseconds since an arbitrary origin; wraps around at 2^32.
uint32_t GetTimeMs();

// Sleeps for ms milliseconds. With the fake clock it returns once the fake time has advanced
// by ms (another thread steps it), or when the real clock is switched back on.
void SleepMs(uint32_t ms);

// A sleep that another thread can cut short: a worker sleeps between polls, and the thread that
// asks it to stop wakes it so that it sees the request at once. A Wake given while the worker is
// not sleeping ends its next sleep immediately.
class CWakeableSleep {
public:
    void Sleep(uint32_t ms);
    void Wake();
    // Forgets a Wake that no sleep has taken (before a new worker starts).
    void Reset();

private:
    bool m_woken = false;  // guarded by the clock's sleep mutex
};

// Starts a worker thread that paces itself by the clock; SettleFakeClock waits for it from the
// moment this returns until the body has returned. Throws std::system_error as std::thread does.
std::thread StartClockedThread(std::function<void()> body);

// Test control of the clock. UseFakeClock makes GetTimeMs return `start` until advanced.
void UseFakeClock(uint32_t start);
void AdvanceFakeClock(uint32_t ms);
void SetFakeClock(uint32_t now);
void UseRealClock();
bool IsFakeClock();

// With the fake clock: waits until every clocked thread is asleep with its wake-up time still
// ahead of the fake time (or has ended), so that everything due at the current fake time has
// run. Returns false when that does not happen within a few real seconds.
bool SettleFakeClock();
