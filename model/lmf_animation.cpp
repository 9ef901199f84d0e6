// Node animation: the envelope of a channel at a frame (six key shapes, behaviours before the
// first and after the last key), the node matrices, and the two model-wide poses the motion
// list asks for. Frames are integers, values single-precision floats; the order of the float
// operations below is part of the result.
#include <algorithm>
#include <cmath>

#include "model/lmf_model.h"

namespace {

// The bisection of a two-dimensional Bezier span stops at this many steps at the latest: a
// float parameter stops changing after about 24 halvings, and a curve whose frame coordinate
// never comes within the tolerance of the asked frame must not loop.
constexpr int kMaxBezierSteps = 32;
constexpr float kBezierTolerance = 0.0001f;

// (a - b) as a float, without overflowing the 32-bit difference.
float FrameSpan(int32_t a, int32_t b) { return static_cast<float>(static_cast<int64_t>(a) - b); }

float ChannelDefault(int channel) { return channel >= kChannelScaleX ? 1.0f : 0.0f; }

// Moves t into the keys' frame range lo..hi for the repeating behaviours: w = t - q * r + lo
// with r = hi - lo and q the floor of the single-precision quotient t / r. When that quotient
// rounds across an integer the remainder t - q * r is brought back into 0..r-1, so that w
// never leaves the range. `cycles` receives the number of whole cycles between t and w.
int32_t WrapEnvelopeFrame(int32_t t, int32_t lo, int32_t hi, int64_t* cycles) {
    const int64_t r = static_cast<int64_t>(hi) - lo;
    if (r == 0) {
        if (cycles != nullptr) *cycles = 0;
        return lo;
    }
    int64_t q = static_cast<int64_t>(std::floor(static_cast<float>(t) / static_cast<float>(r)));
    int64_t remainder = t - q * r;
    if (remainder < 0) {
        remainder += r;
        --q;
    } else if (remainder >= r) {
        remainder -= r;
        ++q;
    }
    const int64_t w = remainder + lo;
    // The rule -trunc(d + 0.5) for w > t and -trunc(d - 0.5) otherwise, with d = (w - t) / r
    // truncated: d is already whole, so both come down to -d.
    if (cycles != nullptr) *cycles = -((w - t) / r);
    return static_cast<int32_t>(w);
}

// The tangent leaving key0 towards key1, by key0's shape.
float GetEnvelopeOutTangent(const CLmfKey* previous, const CLmfKey& key0, const CLmfKey& key1) {
    switch (key0.shape) {
        case kKeyTcb: {
            const float tension = key0.params[0], continuity = key0.params[1], bias = key0.params[2];
            const float a = (1.0f - tension) * (1.0f + continuity) * (1.0f + bias);
            const float b = (1.0f - tension) * (1.0f - continuity) * (1.0f - bias);
            const float d = key1.value - key0.value;
            if (previous == nullptr) return b * d;
            const float ratio = FrameSpan(key1.frame, key0.frame) / FrameSpan(key1.frame, previous->frame);
            return ratio * (a * (key0.value - previous->value) + b * d);
        }
        case kKeyHermite:
        case kKeyBezier:
            if (previous == nullptr) return key0.params[4];
            return key0.params[4] * (FrameSpan(key1.frame, key0.frame) / FrameSpan(key1.frame, previous->frame));
        default: return 0.0f;
    }
}

// The tangent arriving at key1 from key0, by key1's shape.
float GetEnvelopeInTangent(const CLmfKey& key0, const CLmfKey& key1, const CLmfKey* next) {
    switch (key1.shape) {
        case kKeyTcb: {
            const float tension = key1.params[0], continuity = key1.params[1], bias = key1.params[2];
            const float a = (1.0f - tension) * (1.0f - continuity) * (1.0f + bias);
            const float b = (1.0f - tension) * (1.0f + continuity) * (1.0f - bias);
            const float d = key1.value - key0.value;
            if (next == nullptr) return a * d;
            const float ratio = FrameSpan(key1.frame, key0.frame) / FrameSpan(next->frame, key0.frame);
            return ratio * (b * (next->value - key1.value) + a * d);
        }
        case kKeyHermite:
        case kKeyBezier:
            if (next == nullptr) return key1.params[3];
            return key1.params[3] * (FrameSpan(key1.frame, key0.frame) / FrameSpan(next->frame, key0.frame));
        default: return 0.0f;
    }
}

float EvaluateBezier(float p0, float p1, float p2, float p3, float s) {
    const float c = 3.0f * (p1 - p0);
    const float b = 3.0f * (p2 - p1) - c;
    const float a = p3 - p0 - c - b;
    return a * s * s * s + b * s * s + c * s + p0;
}

// The curve parameter whose frame coordinate is t, by bisection.
float SolveBezier(float x0, float x1, float x2, float x3, float t) {
    float lo = 0.0f, hi = 1.0f, s = 0.5f;
    for (int step = 0; step < kMaxBezierSteps; ++step) {
        s = lo + (hi - lo) * 0.5f;
        const float x = EvaluateBezier(x0, x1, x2, x3, s);
        if (std::fabs(t - x) <= kBezierTolerance) break;
        if (x > t)
            hi = s;
        else
            lo = s;
    }
    return s;
}

float InterpolateBezier2D(const CLmfKey& key0, const CLmfKey& key1, int32_t t) {
    const float x0 = static_cast<float>(key0.frame);
    const float x3 = static_cast<float>(key1.frame);
    const float x1 = key0.shape == kKeyBezier2D ? x0 + key0.params[2] : x0 + FrameSpan(key1.frame, key0.frame) / 3.0f;
    const float y1 = key0.value + key0.params[3];
    const float x2 = x3 + key1.params[2];
    const float y2 = key1.value + key1.params[1];
    const float s = SolveBezier(x0, x1, x2, x3, static_cast<float>(t));
    return EvaluateBezier(key0.value, y1, y2, key1.value, s);
}

float InterpolateHermite(float u, float value0, float value1, float out, float in) {
    const float u2 = u * u;
    const float u3 = u2 * u;
    const float h1 = 2.0f * u3 - 3.0f * u2 + 1.0f;
    const float h2 = 3.0f * u2 - 2.0f * u3;
    const float h3 = u3 - 2.0f * u2 + u;
    const float h4 = u3 - u2;
    return h1 * value0 + h2 * value1 + h3 * out + h4 * in;
}

// The index i with key[i].frame <= t < key[i + 1].frame, for first frame <= t < last frame.
size_t FindKeyInterval(const std::vector<CLmfKey>& keys, int32_t t) {
    int64_t lo = 0, hi = static_cast<int64_t>(keys.size()) - 1;
    while (lo <= hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (keys[mid].frame > t)
            hi = mid - 1;
        else if (mid + 1 < static_cast<int64_t>(keys.size()) && t < keys[mid + 1].frame)
            return static_cast<size_t>(mid);
        else
            lo = mid + 1;
    }
    return std::min(static_cast<size_t>(std::max<int64_t>(lo - 1, 0)), keys.size() - 2);
}

// One end's behaviour (before the first key when `before`, else after the last). Returns true
// when the behaviour gives the value outright; else it may have moved t and set the offset.
bool ApplyBehaviour(uint16_t behaviour, bool before, const std::vector<CLmfKey>& keys, int32_t* t, float* offset,
                    float* value) {
    const CLmfKey& first = keys.front();
    const CLmfKey& last = keys.back();
    int64_t cycles = 0;
    switch (behaviour) {
        case kEnvelopeReset: *value = 0.0f; return true;
        case kEnvelopeConstant: *value = before ? first.value : last.value; return true;
        case kEnvelopeRepeat: *t = WrapEnvelopeFrame(*t, first.frame, last.frame, nullptr); return false;
        case kEnvelopeOscillate:
            *t = WrapEnvelopeFrame(*t, first.frame, last.frame, &cycles);
            // Mirrored inside the key range (first + last - t), which for keys from frame 0
            // is the usual (last - first) - t and never leaves the range otherwise.
            if (cycles % 2 != 0) *t = static_cast<int32_t>(static_cast<int64_t>(first.frame) + last.frame - *t);
            return false;
        case kEnvelopeOffsetRepeat:
            *t = WrapEnvelopeFrame(*t, first.frame, last.frame, &cycles);
            *offset = (last.value - first.value) * static_cast<float>(cycles);
            return false;
        case kEnvelopeLinear:
            if (before) {
                const CLmfKey& second = keys[1];
                const float out = GetEnvelopeOutTangent(nullptr, first, second) / FrameSpan(second.frame, first.frame);
                *value = first.value + out * FrameSpan(*t, first.frame);
            } else {
                const CLmfKey& secondLast = keys[keys.size() - 2];
                const float in =
                    GetEnvelopeInTangent(secondLast, last, nullptr) / FrameSpan(last.frame, secondLast.frame);
                *value = last.value + in * FrameSpan(*t, last.frame);
            }
            return true;
        default: return false;
    }
}

// T(-pivot) * S * R * T(position), R rolling about Z, then pitching about X, then yawing
// about Y. The pivot is not added back: the position channels place the pivot point.
void BuildLocalMatrix(CLmfNode* node) {
    SMatrix step;
    MatrixTranslation(&node->local, -node->pivot.x, -node->pivot.y, -node->pivot.z);
    MatrixScaling(&step, node->scale.x, node->scale.y, node->scale.z);
    MatrixMultiply(&node->local, &node->local, &step);
    MatrixRotationYawPitchRoll(&step, node->rotation.y, node->rotation.x, node->rotation.z);
    MatrixMultiply(&node->local, &node->local, &step);
    MatrixTranslation(&step, node->position.x, node->position.y, node->position.z);
    MatrixMultiply(&node->local, &node->local, &step);
}

void StoreValues(CLmfNode* node, const float (&v)[kChannelCount]) {
    node->position = {v[kChannelPositionX], v[kChannelPositionY], v[kChannelPositionZ]};
    node->rotation = {v[kChannelRotationX], v[kChannelRotationY], v[kChannelRotationZ]};
    node->scale = {v[kChannelScaleX], v[kChannelScaleY], v[kChannelScaleZ]};
    BuildLocalMatrix(node);
}

}  // namespace

float EvaluateEnvelope(const CLmfChannel& channel, int32_t frame) {
    const std::vector<CLmfKey>& keys = channel.keys;
    if (keys.empty()) return 0.0f;
    if (keys.size() == 1) return keys[0].value;
    const CLmfKey& first = keys.front();
    const CLmfKey& last = keys.back();
    int32_t t = frame;
    float offset = 0.0f;
    float value = 0.0f;
    if (t < first.frame && ApplyBehaviour(channel.pre, true, keys, &t, &offset, &value)) return value;
    if (t >= last.frame && ApplyBehaviour(channel.post, false, keys, &t, &offset, &value)) return value;
    // Behaviour codes above 5 leave the frame where it was: it holds the end key's value.
    if (t < first.frame) return first.value + offset;
    if (t >= last.frame) return last.value + offset;

    const size_t i = FindKeyInterval(keys, t);
    const CLmfKey& key0 = keys[i];
    const CLmfKey& key1 = keys[i + 1];
    const float u = FrameSpan(t, key0.frame) / FrameSpan(key1.frame, key0.frame);
    switch (key1.shape) {
        case kKeyTcb:
        case kKeyHermite:
        case kKeyBezier: {
            const CLmfKey* previous = i >= 1 ? &keys[i - 1] : nullptr;
            const CLmfKey* next = i + 2 < keys.size() ? &keys[i + 2] : nullptr;
            value = InterpolateHermite(u, key0.value, key1.value, GetEnvelopeOutTangent(previous, key0, key1),
                                       GetEnvelopeInTangent(key0, key1, next));
            break;
        }
        case kKeyStepped: value = key0.value; break;
        case kKeyBezier2D: value = InterpolateBezier2D(key0, key1, t); break;
        default: value = key0.value + (key1.value - key0.value) * u; break;  // linear, and unknown shapes
    }
    return value + offset;
}

float EvaluateEnvelopeAt(const CLmfChannel& channel, int32_t elapsed, float fallback, int32_t frameA, int32_t frameB,
                         int32_t duration) {
    if (channel.keys.empty()) return fallback;
    const float valueA = EvaluateEnvelope(channel, frameA);
    const float valueB = EvaluateEnvelope(channel, frameB);
    if (duration == 0) return valueB;
    return valueA + (valueB - valueA) * static_cast<float>(elapsed) / static_cast<float>(duration);
}

void CLmfModel::EvaluateNode(CLmfNode* node, int32_t frame) {
    float values[kChannelCount];
    for (int c = 0; c < kChannelCount; ++c)
        values[c] = node->channels[c].keys.empty() ? ChannelDefault(c) : EvaluateEnvelope(node->channels[c], frame);
    StoreValues(node, values);
}

void CLmfModel::EvaluateMorphNode(CLmfNode* node, int32_t elapsed, int32_t frameA, int32_t frameB, int32_t duration) {
    float values[kChannelCount];
    for (int c = 0; c < kChannelCount; ++c)
        values[c] = EvaluateEnvelopeAt(node->channels[c], elapsed, ChannelDefault(c), frameA, frameB, duration);
    StoreValues(node, values);
}

// world = local(node) * local(parent) * local(grandparent) * ..., multiplied in that order from
// an identity, walking up the parent pointers for every node. Reusing the parent's world would
// group the products differently and change the last bits of deep poses. The walk takes at most
// one step per node, so it ends even on a chain that returns to itself (a load refuses those).
void CLmfModel::UpdateWorldMatrix(CLmfNode* node, size_t nodeCount) {
    SMatrix world;
    MatrixIdentity(&world);
    size_t steps = 0;
    for (const CLmfNode* n = node; n != nullptr && steps < nodeCount; n = n->parent, ++steps) {
        SMatrix product;
        MatrixMultiply(&product, &world, &n->local);
        world = product;
    }
    node->world = world;
    MatrixMultiply(&node->skinning, &node->inverseRest, &node->world);
}

void CLmfModel::UpdateWorldMatrices() {
    for (CLmfNode& node : nodes) UpdateWorldMatrix(&node, nodes.size());
}

int32_t CLmfModel::ApplyMotion(int32_t start, int32_t end, uint32_t repeats, int32_t t) {
    const int64_t elapsed = std::max(t, 0);
    const bool forward = start <= end;
    const int64_t length = std::max<int64_t>(forward ? int64_t{end} - start : int64_t{start} - end, 1);
    int32_t result = repeats == 0 ? kMotionEndless : kMotionPlaying;
    int64_t frame = forward ? start + elapsed % length : start - elapsed % length;
    if (repeats != 0 && elapsed / length >= repeats) {
        frame = end;
        result = kMotionFinished;
    }
    for (CLmfNode& node : nodes) EvaluateNode(&node, static_cast<int32_t>(frame));
    UpdateWorldMatrices();
    return result;
}

int32_t CLmfModel::ApplyBlendMotion(int32_t frameA, int32_t frameB, int32_t t, int32_t duration) {
    duration = std::max(duration, 0);
    const bool blending = t < duration;
    const int32_t elapsed = blending ? std::max(t, 0) : duration;
    for (CLmfNode& node : nodes) EvaluateMorphNode(&node, elapsed, frameA, frameB, duration);
    UpdateWorldMatrices();
    return blending ? kMotionPlaying : kMotionFinished;
}
