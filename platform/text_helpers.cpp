#include "platform/text_helpers.h"

#include <algorithm>

#include "platform/sjis.h"

int32_t CountChars(const char* text, uint32_t excluded1, uint32_t excluded2) {
    if (text == nullptr) return -1;
    int32_t count = 0;
    const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
    while (*at != 0) {
        uint32_t code = *at++;
        // A lead byte right before the terminator stands alone.
        if (IsSjisLeadByte(static_cast<unsigned char>(code)) && *at != 0) code = code << 8 | *at++;
        if (code != excluded1 && code != excluded2) ++count;
    }
    return count;
}

int32_t IsPointInRect(const SRect& rect, const SPoint& point) {
    const int32_t left = std::min(rect.left, rect.right);
    const int32_t right = std::max(rect.left, rect.right);
    const int32_t top = std::min(rect.top, rect.bottom);
    const int32_t bottom = std::max(rect.top, rect.bottom);
    return point.x >= left && point.x <= right && point.y >= top && point.y <= bottom ? 1 : 0;
}

int32_t GetDecimalDigit(int32_t value, int32_t n) {
    if (n < 1) return 0;
    int64_t rest = value;
    for (int32_t i = 1; i < n && rest != 0; ++i) rest /= 10;
    return static_cast<int32_t>(rest % 10);
}

int32_t CompareSaveTime(const SSystemTime& a, const SSystemTime& b) {
    const uint16_t SSystemTime::*order[] = {&SSystemTime::year,   &SSystemTime::month,  &SSystemTime::day,
                                            &SSystemTime::hour,   &SSystemTime::minute, &SSystemTime::second,
                                            &SSystemTime::milliseconds};
    for (auto field : order) {
        if (a.*field != b.*field) return a.*field > b.*field ? 1 : -1;
    }
    return 0;
}
