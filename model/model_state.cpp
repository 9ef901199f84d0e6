#include "model/model_state.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

template <typename Track>
void SetUnitClamp(Track* track) {
    using Value = typename Track::ValueType;
    float lo[Track::kComponents], hi[Track::kComponents];
    std::fill(std::begin(lo), std::end(lo), 0.0f);
    std::fill(std::begin(hi), std::end(hi), 1.0f);
    track->clampFlags = KeyClamp::Minimum | KeyClamp::Maximum;
    std::memcpy(&track->minimum, lo, sizeof(Value));
    std::memcpy(&track->maximum, hi, sizeof(Value));
}

template <typename Track>
void ClearTrack(Track* track) {
    track->RemoveAll();
    track->cubic = 0;
    track->clampFlags = 0;
    track->minimum = {};
    track->maximum = {};
}

int32_t SaturateToInt32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int64_t FrameDistance(const SMotionSegment& s) {
    return s.to >= s.from ? int64_t{s.to} - s.from : int64_t{s.from} - s.to;
}

const SMotionSegment* SegmentOf(const CPtrList::Node* node) {
    return node != nullptr ? static_cast<const SMotionSegment*>(node->data) : nullptr;
}

}  // namespace

CModelPartState::CModelPartState() {
    SetUnitClamp(&colour.track);
    SetUnitClamp(&morphWeight.track);
}

int32_t CSegmentList::Append(const SMotionSegment& segment, int32_t index) {
    SMotionSegment* copy = new (std::nothrow) SMotionSegment(segment);
    if (copy == nullptr) return -1;
    copy->totalMs = SaturateToInt32(int64_t{segment.msPerFrame} * std::max<int64_t>(FrameDistance(segment), 1) +
                                    segment.holdMs + segment.blendMs);
    if (!segments.InsertAt(index, copy)) {
        delete copy;
        return -1;
    }
    return 0;
}

int32_t CSegmentList::GetAt(int32_t index, SMotionSegment* segment) const {
    void* data = nullptr;
    if (index < 0 || segments.GetAt(index, &data) == 0 || data == nullptr) return -1;
    *segment = *static_cast<const SMotionSegment*>(data);
    return 0;
}

int32_t CSegmentList::FindByTime(int64_t t) const {
    int64_t sum = 0;
    int32_t index = 0;
    for (const CPtrList::Node* node = segments.head; node != nullptr; node = node->next, ++index) {
        const SMotionSegment* segment = SegmentOf(node);
        if (segment->totalMs == -1) return index;
        sum += segment->totalMs;
        if (sum > t) return index;
    }
    return segments.count - 1;
}

// The segment list counts milliseconds; the node animation counts frames with a repeat count.
// A segment therefore plays its range once (repeat count 1) at t' / ms-per-frame frames, so
// that its last frame arrives exactly when t' reaches the span. Without a playing speed (ms per
// frame of 0 or less) there is nothing to divide by: the range is handed over as an endless
// motion with t' counted directly in frames.
int32_t CSegmentList::Evaluate(int64_t t, CLmfModel* model) const {
    if (segments.count == 0 || model == nullptr) return 0;
    const int32_t index = FindByTime(t);
    const CPtrList::Node* node = segments.head;
    int64_t local = std::max<int64_t>(t, 0);
    for (int32_t i = 0; i < index; ++i, node = node->next) local -= SegmentOf(node)->totalMs;
    local = std::max<int64_t>(local, 0);
    const SMotionSegment& segment = *SegmentOf(node);
    const SMotionSegment* next = SegmentOf(node->next);

    if (segment.msPerFrame <= 0) {
        model->ApplyMotion(segment.from, segment.to, 0, SaturateToInt32(local));
        return 0;
    }
    const int64_t span = std::max<int64_t>(FrameDistance(segment) * segment.msPerFrame, 1);
    if (local <= span) {
        model->ApplyMotion(segment.from, segment.to, 1, SaturateToInt32(local / segment.msPerFrame));
        return 1;
    }
    const int64_t afterSpan = local - span;
    if (afterSpan <= segment.holdMs) {
        model->ApplyMotion(segment.to, segment.to, 1, 0);
        return 1;
    }
    // The blend lasts blendMs from the end of the hold; a segment whose total runs longer (one
    // whose range is a single frame counts ms per frame in its total) then keeps its last frame.
    const int64_t blendTime = afterSpan - segment.holdMs;
    if (segment.blendMs > 0 && next != nullptr && blendTime <= segment.blendMs) {
        model->ApplyBlendMotion(segment.to, next->from, SaturateToInt32(blendTime), segment.blendMs);
        return 1;
    }
    model->ApplyMotion(segment.to, segment.to, 1, 0);
    return 0;
}

int32_t CSegmentList::CopyFrom(const CSegmentList& other) {
    if (&other == this) return 0;
    RemoveAll();
    for (const CPtrList::Node* node = other.segments.head; node != nullptr; node = node->next) {
        SMotionSegment* copy = new (std::nothrow) SMotionSegment(*SegmentOf(node));
        if (copy == nullptr) return -1;
        if (!segments.PushBack(copy)) {
            delete copy;
            return -1;
        }
    }
    return 0;
}

void CSegmentList::RemoveAll() {
    for (CPtrList::Node* node = segments.tail; node != nullptr; node = node->prev)
        delete static_cast<SMotionSegment*>(node->data);
    segments.RemoveAll();
}

int32_t CModelState::AllocParts(int32_t count) {
    parts.reset();
    partCount = 0;
    if (count <= 0) return 1;
    parts.reset(new (std::nothrow) CModelPartState[count]);
    if (parts == nullptr) return 0;
    partCount = count;
    for (int32_t i = 0; i < count; ++i) {
        CModelPartState& part = parts[i];
        ClearTrack(&part.colour.track);
        ClearTrack(&part.morphWeight.track);
        part.slot = CPartSlotChange{kSlotNone, 0, 0, 0};
    }
    return 1;
}

void CModelState::Reset() {
    parts.reset();
    partCount = 0;
    for (auto* value : {&pivot, &position, &rotation, &scale}) value->track.RemoveAll();
    motion.RemoveAll();
}
