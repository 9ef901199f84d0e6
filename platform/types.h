// Small value types shared by every layer.
#pragma once

#include <cstdint>

// A rectangle in pixels: left and top inclusive, right and bottom exclusive.
struct SRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct SPoint {
    int32_t x;
    int32_t y;
};

// A calendar time as the save files store it: eight u16 fields.
struct SSystemTime {
    uint16_t year;
    uint16_t month;
    uint16_t dayOfWeek;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};
