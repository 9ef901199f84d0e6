// The state of a model shown in a picture layer, as scripts set it and saves keep it: one part
// state per mesh layer (visibility, colour, morph weight, fade and part slot), the whole-model
// record (transform, blink and lip-sync settings, depth clear, motion list), and the motion
// list itself: segments that play frame ranges of the model's node animation, hold their last
// frame and cross-blend into the next segment.
#pragma once

#include <cstdint>
#include <memory>

#include "model/lmf_model.h"
#include "model/part_slots.h"
#include "platform/ptr_list.h"
#include "scene/animated_value.h"
#include "scene/key_track.h"

// Fade modes of a part state.
enum : uint16_t { kFadeNone = 0, kFadeIn = 1, kFadeOut = 2 };

struct CModelPartState {
    uint32_t visible = 0;
    CAnimatedValue<CKeyTrackColor> colour{SColorF{1.0f, 1.0f, 1.0f, 1.0f}};
    int32_t morphTarget = 0;  // mesh layer the weight morphs towards; negative: no morphing
    CAnimatedValue<CKeyTrackFloat> morphWeight{0.0f};
    uint16_t fadeMode = kFadeNone;
    uint16_t fadeWord = 0;
    uint32_t fadeTimes[2] = {};  // duration and start, in ms of page time
    CPartSlotChange slot;

    // Both tracks clamp every component to 0..1 (AllocParts clears that again).
    CModelPartState();
};

// A motion segment. totalMs = msPerFrame * max(1, |to - from|) + holdMs + blendMs; -1 stands
// for a segment without end.
struct SMotionSegment {
    int32_t from = 0;
    int32_t to = 0;          // below from: played backwards
    int32_t msPerFrame = 0;  // 0 or less: the range is shown as an endless motion, one frame per ms
    int32_t holdMs = 0;
    int32_t blendMs = 0;
    int32_t totalMs = 0;
};

// An ordered list of owned segments.
class CSegmentList {
public:
    CPtrList segments;

    CSegmentList() = default;
    CSegmentList(const CSegmentList&) = delete;
    CSegmentList& operator=(const CSegmentList&) = delete;
    ~CSegmentList() { RemoveAll(); }

    int32_t Count() const { return segments.count; }
    // Inserts a copy of the segment's first five fields, with its total computed, so that it
    // stands at `index` (pass Count() to append). 0, or -1 when memory runs out or the index
    // lies outside 0..Count().
    int32_t Append(const SMotionSegment& segment, int32_t index);
    // 0 and the segment, or -1 when index is not below the count.
    int32_t GetAt(int32_t index, SMotionSegment* segment) const;
    // The segment that plays at t ms from the motion's start: the first whose total is -1 or
    // whose running sum of totals passes t; else the last one (-1 for an empty list).
    int32_t FindByTime(int64_t t) const;
    // Poses the model for t ms from the motion's start: 1 while the motion plays, holds or
    // blends, 0 once it has ended. An empty list (or no model) changes nothing and gives 0.
    int32_t Evaluate(int64_t t, CLmfModel* model) const;
    // Replaces this list by copies of the other's segments (totals as they are). 0 or -1.
    int32_t CopyFrom(const CSegmentList& other);
    void RemoveAll();
};

struct CModelState {
    std::unique_ptr<CModelPartState[]> parts;
    int32_t partCount = 0;
    CAnimatedValue<CKeyTrackVec3> pivot{SVector3{0.0f, 0.0f, 0.0f}};
    CAnimatedValue<CKeyTrackVec3> position{SVector3{0.0f, 0.0f, 0.0f}};
    CAnimatedValue<CKeyTrackVec3> rotation{SVector3{0.0f, 0.0f, 0.0f}};  // radians
    CAnimatedValue<CKeyTrackVec3> scale{SVector3{1.0f, 1.0f, 1.0f}};
    uint32_t blinkOn = 0;
    uint32_t blinkSettings[3] = {};    // layer, target layer, period
    uint32_t lipSyncSettings[2] = {};  // layer, target layer
    int32_t lipSyncChannel = -1;
    uint32_t clearDepth = 0;
    CSegmentList motion;
    uint32_t motionWord = 0;

    CModelState() = default;
    CModelState(const CModelState&) = delete;
    CModelState& operator=(const CModelState&) = delete;
    ~CModelState() { Reset(); }

    // Replaces the part states by `count` records: invisible, white, morph target 0, weight 0,
    // no fade, no slot, with empty, linear and unclamped tracks. 1, or 0 (and no parts) when
    // memory runs out.
    int32_t AllocParts(int32_t count);
    // Frees the part states and empties the transform tracks and the motion list.
    void Reset();
};
