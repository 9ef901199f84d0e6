#include "scene/key_track.h"

#include <new>

namespace {

// Every key record starts with its i32 time, so the search reads times from any track.
int32_t KeyTime(const void* key) { return *static_cast<const int32_t*>(key); }

int32_t KeyTimeAt(const CPtrList& keys, int32_t index) {
    void* data = nullptr;
    keys.GetAt(index, &data);
    return data ? KeyTime(data) : 0;
}

// (a - b) / (c - d) for times, without overflowing 32-bit differences.
float TimeRatio(int32_t a, int32_t b, int32_t c, int32_t d) {
    const float num = static_cast<float>(static_cast<int64_t>(a) - b);
    const float den = static_cast<float>(static_cast<int64_t>(c) - d);
    return num / den;
}

}  // namespace

int32_t CKeyTrack::FindSegment(int32_t time) const {
    int32_t low = 0;
    int32_t high = keys.count - 1;
    while (low <= high) {
        const int32_t mid = low + (high - low) / 2;
        if (KeyTimeAt(keys, mid) > time) {
            high = mid - 1;
        } else if (mid + 1 >= keys.count || time < KeyTimeAt(keys, mid + 1)) {
            return mid;
        } else {
            low = mid + 1;
        }
    }
    return low > 0 ? low - 1 : 0;
}

template <typename Value, int N, bool LimitCubicToUnit>
auto CKeyTrackOf<Value, N, LimitCubicToUnit>::GetKey(int32_t index) const -> const Key* {
    if (index < 0 || index >= keys.count) return nullptr;
    void* data = nullptr;
    keys.GetAt(index, &data);
    return static_cast<const Key*>(data);
}

template <typename Value, int N, bool LimitCubicToUnit>
int32_t CKeyTrackOf<Value, N, LimitCubicToUnit>::SetKey(const Key& key) {
    int32_t insertAt = 0;
    if (keys.count > 0 && KeyTime(keys.head->data) <= key.time) {
        // Scan from the last key backwards: appending in time order costs one comparison.
        int32_t index = keys.count - 1;
        for (CPtrList::Node* node = keys.tail; node != nullptr; node = node->prev, --index) {
            Key* existing = static_cast<Key*>(node->data);
            if (existing->time == key.time) {
                *existing = key;
                return 0;
            }
            if (existing->time < key.time) break;
        }
        insertAt = index + 1;
    }
    Key* copy = new (std::nothrow) Key(key);
    if (copy == nullptr) return -1;
    if (!keys.InsertAt(insertAt, copy)) {
        delete copy;
        return -1;
    }
    return 0;
}

template <typename Value, int N, bool LimitCubicToUnit>
void CKeyTrackOf<Value, N, LimitCubicToUnit>::Clamp(Value* value) const {
    float v[N], lo[N], hi[N];
    ToArray(*value, v);
    ToArray(minimum, lo);
    ToArray(maximum, hi);
    for (int i = 0; i < N; ++i) {
        if ((clampFlags & KeyClamp::Minimum) && !(v[i] > lo[i])) v[i] = lo[i];
        if ((clampFlags & KeyClamp::Maximum) && !(v[i] < hi[i])) v[i] = hi[i];
    }
    *value = FromArray(v);
}

template <typename Value, int N, bool LimitCubicToUnit>
Value CKeyTrackOf<Value, N, LimitCubicToUnit>::InterpolateLinear(const Key& k0, const Key& k1, int32_t time) const {
    const float s = TimeRatio(time, k0.time, k1.time, k0.time);
    float p0[N], p1[N], out[N];
    ToArray(k0.value, p0);
    ToArray(k1.value, p1);
    for (int i = 0; i < N; ++i) out[i] = p0[i] + (p1[i] - p0[i]) * s;
    return FromArray(out);
}

template <typename Value, int N, bool LimitCubicToUnit>
Value CKeyTrackOf<Value, N, LimitCubicToUnit>::InterpolateHermite(const Key& kp, const Key& k0, const Key& k1,
                                                                  const Key& kn, int32_t time) const {
    const float d = static_cast<float>(static_cast<int64_t>(k1.time) - k0.time);
    const float s = TimeRatio(time, k0.time, k1.time, k0.time);
    const float s2 = s * s;
    const float s3 = s2 * s;
    const float h01 = 3.0f * s2 - 2.0f * s3;
    const float h00 = 1.0f - h01;
    const float h10 = s3 - 2.0f * s2 + s;
    const float h11 = s3 - s2;
    float pp[N], p0[N], p1[N], pn[N], out[N];
    ToArray(kp.value, pp);
    ToArray(k0.value, p0);
    ToArray(k1.value, p1);
    ToArray(kn.value, pn);
    for (int i = 0; i < N; ++i) {
        const float m0 = &kp == &k0 ? p1[i] - p0[i]
                                    : (p1[i] - pp[i]) * d / static_cast<float>(static_cast<int64_t>(k1.time) - kp.time);
        const float m1 = &kn == &k1 ? p1[i] - p0[i]
                                    : (pn[i] - p0[i]) * d / static_cast<float>(static_cast<int64_t>(kn.time) - k0.time);
        out[i] = h00 * p0[i] + h01 * p1[i] + h10 * m0 + h11 * m1;
        if constexpr (LimitCubicToUnit) {
            if (out[i] <= 0.0f) out[i] = 0.0f;
            if (out[i] >= 1.0f) out[i] = 1.0f;
        }
    }
    return FromArray(out);
}

template <typename Value, int N, bool LimitCubicToUnit>
int32_t CKeyTrackOf<Value, N, LimitCubicToUnit>::Evaluate(int32_t time, Value* value) const {
    if (keys.count == 0) return -1;
    const Key* first = static_cast<const Key*>(keys.head->data);
    const Key* last = static_cast<const Key*>(keys.tail->data);
    if (time >= last->time) {
        *value = last->value;
        Clamp(value);
        return 1;
    }
    if (time <= first->time) {
        *value = first->value;
        Clamp(value);
        return 0;
    }
    const int32_t i = FindSegment(time);
    const Key* k0 = GetKey(i);
    const Key* k1 = GetKey(i + 1);
    if (cubic == 0) {
        *value = InterpolateLinear(*k0, *k1, time);
    } else {
        const Key* kp = i > 0 ? GetKey(i - 1) : k0;
        const Key* kn = i + 2 < keys.count ? GetKey(i + 2) : k1;
        *value = InterpolateHermite(*kp, *k0, *k1, *kn, time);
    }
    Clamp(value);
    return 0;
}

template <typename Value, int N, bool LimitCubicToUnit>
int32_t CKeyTrackOf<Value, N, LimitCubicToUnit>::CopyFrom(const CKeyTrackOf& other) {
    if (&other == this) return 0;
    RemoveAll();
    for (const CPtrList::Node* node = other.keys.head; node != nullptr; node = node->next) {
        Key* copy = new (std::nothrow) Key(*static_cast<const Key*>(node->data));
        if (copy == nullptr) return -1;
        if (!keys.PushBack(copy)) {
            delete copy;
            return -1;
        }
    }
    cubic = other.cubic;
    return 0;
}

template <typename Value, int N, bool LimitCubicToUnit>
void CKeyTrackOf<Value, N, LimitCubicToUnit>::RemoveAll() {
    for (CPtrList::Node* node = keys.tail; node != nullptr; node = node->prev) delete static_cast<Key*>(node->data);
    keys.RemoveAll();
}

template class CKeyTrackOf<float, 1, false>;
template class CKeyTrackOf<SVector2, 2, false>;
template class CKeyTrackOf<SVector3, 3, false>;
template class CKeyTrackOf<SColorF, 4, true>;
