// The millisecond clock (the program's only time base) and sleeping, with a fake clock that
// tests step by hand so that every timed rule runs without real waiting.
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary origin; wraps around at 2^32.
uint32_t GetTimeMs();

// Sleeps for ms milliseconds. With the fake clock it returns once the fake time has advanced
// by ms (another thread steps it), or when the real clock is switched back on.
void SleepMs(uint32_t ms);

// Test control of the clock. UseFakeClock makes GetTimeMs return `start` until advanced.
void UseFakeClock(uint32_t start);
void AdvanceFakeClock(uint32_t ms);
void SetFakeClock(uint32_t now);
void UseRealClock();
bool IsFakeClock();
