// Small helpers shared by several subsystems: counting Shift-JIS characters, a point-in-rectangle
// test, decimal digits and the order of two save times.
#pragma once

#include <cstdint>

#include "platform/types.h"

// The number of Shift-JIS characters of the text whose code (one byte, or lead byte × 256 +
// trail byte) is neither excluded code; -1 for a null text.
int32_t CountChars(const char* text, uint32_t excluded1, uint32_t excluded2);

// 1 when the point lies inside the rectangle or on its border; the rectangle's left/top and
// right/bottom are two corners in any order.
int32_t IsPointInRect(const SRect& rect, const SPoint& point);

// The n-th decimal digit of the value, 1 being the units (0 for n below 1 or beyond the value);
// negative values give negative digits.
int32_t GetDecimalDigit(int32_t value, int32_t n);

// 1 when a is later than b, -1 when earlier, 0 when equal; the day of the week is ignored.
int32_t CompareSaveTime(const SSystemTime& a, const SSystemTime& b);
