// Key tracks: a value animated over time by time-sorted keys, held before the first key and
// after the last, and interpolated linearly or by cubic Hermite curves in between, optionally
// clamped to a minimum and a maximum. Times are milliseconds from the owner's start time.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/math3d.h"
#include "platform/ptr_list.h"

// An RGBA colour of four floats.
struct SColorF {
    float r, g, b, a;
};

namespace KeyClamp {
enum : uint32_t { Minimum = 1, Maximum = 2 };
}

// The keys of a track of any value type and the segment search over them: every key record
// starts with its i32 time, so one search serves the four value types.
class CKeyTrack {
public:
    CPtrList keys;

    int32_t Count() const { return keys.count; }
    // The segment i with key[i].time <= time < key[i + 1].time, by binary search; only
    // meaningful for first.time < time < last.time.
    int32_t FindSegment(int32_t time) const;

protected:
    CKeyTrack() = default;
    CKeyTrack(const CKeyTrack&) = delete;
    CKeyTrack& operator=(const CKeyTrack&) = delete;
    ~CKeyTrack() = default;  // the typed track frees its keys
};

// Holds the operations of one value type; Value is a plain struct of N floats.
// A track starts empty, linear and unclamped; its owner sets the clamp fields when needed.
// When LimitCubicToUnit is set, the cubic interpolation keeps each component within 0..1.
template <typename Value, int N, bool LimitCubicToUnit>
class CKeyTrackOf : public CKeyTrack {
    static_assert(sizeof(Value) == N * sizeof(float));

public:
    using ValueType = Value;
    static constexpr int kComponents = N;

    struct Key {
        int32_t time;
        Value value;
    };

    int32_t cubic = 0;
    uint32_t clampFlags = 0;
    Value minimum{};
    Value maximum{};

    CKeyTrackOf() = default;
    CKeyTrackOf(const CKeyTrackOf&) = delete;
    CKeyTrackOf& operator=(const CKeyTrackOf&) = delete;
    ~CKeyTrackOf() { RemoveAll(); }

    // The key at index (0 = earliest), or null.
    const Key* GetKey(int32_t index) const;
    const Key* LastKey() const { return keys.tail ? static_cast<const Key*>(keys.tail->data) : nullptr; }

    // Inserts a copy in time order; a key at an existing time replaces that key's value.
    // 0, or -1 when memory runs out.
    int32_t SetKey(const Key& key);
    // -1 without keys (value untouched); 1 at or after the last key; else 0.
    int32_t Evaluate(int32_t time, Value* value) const;
    void Clamp(Value* value) const;
    // Replaces the keys and the cubic flag by the other track's; clamping stays. 0 or -1.
    int32_t CopyFrom(const CKeyTrackOf& other);
    void RemoveAll();

private:
    static void ToArray(const Value& v, float (&out)[N]) { std::memcpy(out, &v, sizeof v); }
    static Value FromArray(const float (&in)[N]) {
        Value v;
        std::memcpy(&v, in, sizeof v);
        return v;
    }
    Value InterpolateLinear(const Key& k0, const Key& k1, int32_t time) const;
    Value InterpolateHermite(const Key& kp, const Key& k0, const Key& k1, const Key& kn, int32_t time) const;
};

using CKeyTrackFloat = CKeyTrackOf<float, 1, false>;
using CKeyTrackVec2 = CKeyTrackOf<SVector2, 2, false>;
using CKeyTrackVec3 = CKeyTrackOf<SVector3, 3, false>;
using CKeyTrackColor = CKeyTrackOf<SColorF, 4, true>;

extern template class CKeyTrackOf<float, 1, false>;
extern template class CKeyTrackOf<SVector2, 2, false>;
extern template class CKeyTrackOf<SVector3, 3, false>;
extern template class CKeyTrackOf<SColorF, 4, true>;
