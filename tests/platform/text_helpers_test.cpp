#include "platform/text_helpers.h"

#include <gtest/gtest.h>

TEST(TextHelpers, CountCharsCountsDoubleByteCharactersOnce) {
    EXPECT_EQ(CountChars(nullptr, 0, 0), -1);
    EXPECT_EQ(CountChars("", 0, 0), 0);
    EXPECT_EQ(CountChars("abc", 0, 0), 3);
    // あい (two double-byte characters), a half-width katakana byte and ASCII.
    EXPECT_EQ(CountChars("\x82\xA0\x82\xA2\xB1x", 0, 0), 4);
    // Excluded codes: a double-byte code and a single byte.
    EXPECT_EQ(CountChars("\x82\xA0\x82\xA2\r\nx", 0x82A0, '\r'), 3);
    // A trail byte 0x5C or 0x0A is part of its character, not a byte of its own.
    EXPECT_EQ(CountChars("\x83\x5C", '\\', 0), 1);
    // A lead byte right before the end stands alone; the terminator is never passed.
    EXPECT_EQ(CountChars("a\x82", 0, 0), 2);
}

TEST(TextHelpers, IsPointInRectIncludesEveryBorderAndAcceptsCornersInAnyOrder) {
    for (const SRect& r : {SRect{10, 20, 30, 40}, SRect{30, 40, 10, 20}}) {
        for (const SPoint& in : {SPoint{10, 30}, SPoint{30, 30}, SPoint{20, 20}, SPoint{20, 40}})
            EXPECT_EQ(IsPointInRect(r, in), 1) << in.x << "," << in.y;
        for (const SPoint& out : {SPoint{9, 30}, SPoint{31, 30}, SPoint{20, 19}, SPoint{20, 41}})
            EXPECT_EQ(IsPointInRect(r, out), 0) << out.x << "," << out.y;
    }
}

TEST(TextHelpers, GetDecimalDigit) {
    struct SCase {
        int32_t value, place, digit;
    };
    for (const SCase& c : {SCase{2024, 1, 4}, {2024, 2, 2}, {2024, 3, 0}, {2024, 4, 2}, {2024, 5, 0}, {100, 1, 0},
                           {100, 3, 1}, {2147483647, 10, 2}, {2147483647, 1, 7}, {16777217, 1, 7}, {-123, 1, -3},
                           {5, 0, 0}, {5, 40, 0}})
        EXPECT_EQ(GetDecimalDigit(c.value, c.place), c.digit) << c.value << " place " << c.place;
}

TEST(TextHelpers, CompareSaveTimeIgnoresTheWeekday) {
    const SSystemTime base{2024, 5, 3, 17, 12, 30, 45, 500};
    SSystemTime other = base;
    EXPECT_EQ(CompareSaveTime(base, other), 0);
    other.dayOfWeek = 6;
    EXPECT_EQ(CompareSaveTime(base, other), 0);
    other = base;
    other.milliseconds = 501;
    EXPECT_EQ(CompareSaveTime(base, other), -1);
    EXPECT_EQ(CompareSaveTime(other, base), 1);
    // An earlier field decides over every later one.
    other = base;
    other.day = 16;
    other.hour = 23;
    EXPECT_EQ(CompareSaveTime(base, other), 1);
    other = base;
    other.year = 2025;
    other.month = 1;
    EXPECT_EQ(CompareSaveTime(base, other), -1);
}
