// Part states, the motion segment list over a model whose pose names its frame, the part-slot
// grammar and the selection test.
#include "model/model_state.h"

#include <gtest/gtest.h>

#include <climits>

#include "model/part_slots.h"

namespace {

// A model of one node whose position x is the frame it was posed at.
class FrameModel {
public:
    FrameModel() {
        model.nodes.resize(1);
        CLmfChannel& x = model.nodes[0].channels[kChannelPositionX];
        x.keys = {CLmfKey{-1024.0f, -1024, kKeyLinear, {}}, CLmfKey{1024.0f, 1024, kKeyLinear, {}}};
        x.pre = x.post = kEnvelopeConstant;
    }
    float Frame() const { return model.nodes[0].position.x; }
    CLmfModel model;
};

SMotionSegment Segment(int32_t from, int32_t to, int32_t msPerFrame, int32_t hold, int32_t blend) {
    return {from, to, msPerFrame, hold, blend, 0};
}

void AppendAll(CSegmentList* list, std::initializer_list<SMotionSegment> segments) {
    for (const SMotionSegment& s : segments) ASSERT_EQ(list->Append(s, list->Count()), 0);
}

}  // namespace

TEST(SegmentList, PlaysHoldsBlendsAndEnds) {
    const struct {
        std::initializer_list<SMotionSegment> segments;
        int64_t t;
        int32_t result;
        float frame;
    } cases[] = {
        // One segment: total 10 x 100 + 500 = 1500.
        {{Segment(0, 10, 100, 500, 0)}, 0, 1, 0.0f},
        {{Segment(0, 10, 100, 500, 0)}, 600, 1, 6.0f},
        {{Segment(0, 10, 100, 500, 0)}, 1000, 1, 10.0f},
        {{Segment(0, 10, 100, 500, 0)}, 1200, 1, 10.0f},
        {{Segment(0, 10, 100, 500, 0)}, 1600, 0, 10.0f},
        {{Segment(10, 0, 100, 0, 0)}, 300, 1, 7.0f},
        // Blend 200 from frame 10 into frame 20 after the hold (total 100 + 100 + 200).
        {{Segment(0, 10, 10, 100, 200), Segment(20, 30, 10, 0, 0)}, 250, 1, 12.5f},
        {{Segment(0, 10, 10, 100, 200), Segment(20, 30, 10, 0, 0)}, 399, 1, 10.0f + 10.0f * 199 / 200},
        {{Segment(0, 10, 10, 100, 200), Segment(20, 30, 10, 0, 0)}, 400, 1, 20.0f},
        {{Segment(0, 10, 10, 100, 200), Segment(20, 30, 10, 0, 0)}, 450, 1, 25.0f},
        // The last segment's blend has nothing to blend into.
        {{Segment(0, 10, 10, 0, 50)}, 120, 0, 10.0f},
        // A single-frame range: span 1 ms, then hold, blend, and its frame again until its total.
        {{Segment(5, 5, 100, 50, 20), Segment(9, 9, 1, 0, 0)}, 61, 1, 5.0f + 4.0f * 10 / 20},
        {{Segment(5, 5, 100, 50, 20), Segment(9, 9, 1, 0, 0)}, 100, 0, 5.0f},
        {{Segment(5, 5, 100, 50, 20), Segment(9, 9, 1, 0, 0)}, 170, 1, 9.0f},
        // No speed: the range as an endless motion, one frame per ms.
        {{Segment(0, 10, 0, 0, 0)}, 13, 0, 3.0f},
        // A total of -1 has no end: the next segment is never reached.
        {{Segment(3, 4, -1, 0, 0), Segment(50, 60, 10, 0, 0)}, 1000000, 0, 3.0f},
    };
    for (const auto& c : cases) {
        CSegmentList list;
        AppendAll(&list, c.segments);
        FrameModel model;
        EXPECT_EQ(list.Evaluate(c.t, &model.model), c.result) << "t " << c.t;
        EXPECT_FLOAT_EQ(model.Frame(), c.frame) << "t " << c.t;
    }
}

TEST(SegmentList, ListOperations) {
    CSegmentList list;
    FrameModel model;
    model.model.nodes[0].position.x = 42.0f;
    EXPECT_EQ(list.Evaluate(100, &model.model), 0) << "an empty list poses nothing";
    EXPECT_EQ(model.Frame(), 42.0f);
    EXPECT_EQ(list.FindByTime(0), -1);
    SMotionSegment out;
    EXPECT_EQ(list.GetAt(0, &out), -1);

    AppendAll(&list, {Segment(0, 10, 100, 500, 0), Segment(4, 1, 10, 5, 6)});
    EXPECT_EQ(list.Append(Segment(7, 8, 1, 0, 0), 0), 0);  // inserted at the front
    EXPECT_EQ(list.Append(Segment(0, 0, 0, 0, 0), 9), -1);
    ASSERT_EQ(list.Count(), 3);
    const int32_t totals[] = {1, 1500, 41};
    for (int32_t i = 0; i < 3; ++i) {
        ASSERT_EQ(list.GetAt(i, &out), 0);
        EXPECT_EQ(out.totalMs, totals[i]);
    }
    EXPECT_EQ(list.GetAt(3, &out), -1);
    EXPECT_EQ(list.FindByTime(0), 0);
    EXPECT_EQ(list.FindByTime(1), 1);
    EXPECT_EQ(list.FindByTime(1500), 1);
    EXPECT_EQ(list.FindByTime(1501), 2);
    EXPECT_EQ(list.FindByTime(99999), 2);

    CSegmentList copy;
    AppendAll(&copy, {Segment(1, 2, 3, 4, 5)});
    ASSERT_EQ(copy.CopyFrom(list), 0);
    ASSERT_EQ(copy.Count(), 3);
    ASSERT_EQ(copy.GetAt(2, &out), 0);
    EXPECT_EQ(out.from, 4);
    EXPECT_EQ(out.totalMs, 41);

    // Totals that overflow 32 bits saturate instead of wrapping.
    CSegmentList huge;
    AppendAll(&huge, {Segment(INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX)});
    ASSERT_EQ(huge.GetAt(0, &out), 0);
    EXPECT_EQ(out.totalMs, INT_MAX);
    EXPECT_EQ(huge.Evaluate(INT64_C(1) << 40, &model.model), 1);
}

TEST(ModelState, PartStatesStartWhiteInvisibleAndUnclamped) {
    CModelPartState fresh;
    EXPECT_EQ(fresh.colour.track.clampFlags, 3u);
    EXPECT_EQ(fresh.morphWeight.track.maximum, 1.0f);

    CModelState state;
    EXPECT_EQ(state.scale.value.y, 1.0f);
    EXPECT_EQ(state.lipSyncChannel, -1);
    ASSERT_EQ(state.AllocParts(3), 1);
    ASSERT_EQ(state.partCount, 3);
    for (int32_t i = 0; i < 3; ++i) {
        const CModelPartState& part = state.parts[i];
        EXPECT_EQ(part.visible, 0u);
        EXPECT_EQ(part.colour.value.r, 1.0f);
        EXPECT_EQ(part.colour.value.a, 1.0f);
        EXPECT_EQ(part.colour.track.clampFlags, 0u);
        EXPECT_EQ(part.morphWeight.track.clampFlags, 0u);
        EXPECT_EQ(part.morphTarget, 0);
        EXPECT_EQ(part.fadeMode, kFadeNone);
        EXPECT_EQ(part.slot.bustLayer, 0);
    }
    state.parts[0].colour.track.SetKey({0, {0, 0, 0, 0}});
    state.motion.Append(Segment(0, 1, 1, 0, 0), 0);
    state.Reset();
    EXPECT_TRUE(state.parts == nullptr);
    EXPECT_EQ(state.partCount, 0);
    EXPECT_EQ(state.motion.Count(), 0);
}

TEST(PartSlots, GrammarOfLayerNames) {
    const struct {
        const char* name;
        int32_t result, kind, value, bustFlag, bustLayer;
    } cases[] = {
        {"Body [Wear 1]", 1, kSlotWear, 1, 0, -1},
        {"[wear 1]", 1, kSlotWear, 1, 0, -1},
        {"Body[WEAR 1]", 1, kSlotWear, 1, 0, -1},
        {"[Hear 2] [Bust 14]", 1, kSlotHair, 2, 1, 14},
        {"[Hair 2]", 0, kSlotNone, 0, 0, -1},  // the keyword is spelled "Hear"
        {"[Eyes\t3]", 1, kSlotEyes, 3, 0, -1},
        {"[Accessory 7]", 0, kSlotNone, 0, 0, -1},
        {"[Accessory 3]", 1, kSlotAccessory, 3, 0, -1},
        {"[Hide]", 1, kSlotHideable, 0, 0, -1},
        {"[Accessory 2][Hide]", 1, kSlotHideable, 2, 0, -1},
        {"[Wear 1] [Eyes 4] [Bust 2] [Wear 5]", 1, kSlotWear, 5, 1, 2},
        {"Null", 0, kSlotNone, 0, 0, -1},
        {"[Glasses 1] [] [Wear 2", 0, kSlotNone, 0, 0, -1},
        // "ー" ends in the byte of '[': it opens no group, the real group after it counts.
        {"\x83\x8A\x83\x7B\x83\x93\x81\x5B[Wear 6]", 1, kSlotWear, 6, 0, -1},
        {"\x81\x5BWear 6]", 0, kSlotNone, 0, 0, -1},
        // Numbers beyond 32 bits saturate: never accessory 1 or wear 3 by wrapping.
        {"[Accessory 4294967297]", 0, kSlotNone, 0, 0, -1},
        {"[Wear 4294967299]", 1, kSlotWear, INT32_MAX, 0, -1},
    };
    for (const auto& c : cases) {
        CPartSlotChange fields;
        EXPECT_EQ(ParsePartSlotCommand(c.name, &fields), c.result) << c.name;
        EXPECT_EQ(fields.kind, c.kind) << c.name;
        EXPECT_EQ(fields.value, c.value) << c.name;
        EXPECT_EQ(fields.bustFlag, c.bustFlag) << c.name;
        EXPECT_EQ(fields.bustLayer, c.bustLayer) << c.name;
    }
}

TEST(PartSlots, SelectionTest) {
    CPartSelectors selectors;
    selectors.wear = 2;
    selectors.show[1] = 1;
    const struct {
        CPartSlotChange slot;
        bool drawn;
    } cases[] = {
        {{kSlotNone, 9, 0, -1}, true},      {{kSlotWear, 1, 0, -1}, false},      {{kSlotWear, 2, 0, -1}, true},
        {{kSlotHair, 0, 0, -1}, true},      {{kSlotAccessory, 1, 0, -1}, false}, {{kSlotHideable, 1, 0, -1}, true},
        {{kSlotHideable, 0, 0, -1}, false}, {{kSlotHideable, 7, 0, -1}, false},  {{kSlotHideable, -1, 0, -1}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsPartSelected(c.slot, selectors), c.drawn) << c.slot.kind << " " << c.slot.value;
}
