#include "scene/key_track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <random>

namespace {

template <typename Track>
void SetKeys(Track* track, std::initializer_list<typename Track::Key> keys, int32_t cubic = 0) {
    track->cubic = cubic;
    for (const auto& key : keys) ASSERT_EQ(track->SetKey(key), 0);
}

TEST(KeyTrack, LinearTrackHoldsOutsideItsKeysAndInterpolatesBetween) {
    CKeyTrackFloat track;
    float value = -5.0f;
    EXPECT_EQ(track.Evaluate(0, &value), -1);
    EXPECT_EQ(value, -5.0f);  // untouched without keys
    SetKeys(&track, {{100, 3.0f}});
    EXPECT_EQ(track.Evaluate(100, &value), 1);  // a single key is the last one

    SetKeys(&track, {{1100, 13.0f}});
    const struct {
        int32_t time, result;
        float value;
    } cases[] = {{50, 0, 3.0f}, {350, 0, 5.5f}, {1099, 0, 12.99f}, {1100, 1, 13.0f}, {5000, 1, 13.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time);
        EXPECT_EQ(track.Evaluate(c.time, &value), c.result);
        EXPECT_FLOAT_EQ(value, c.value);
    }

    // Extreme times do not overflow the differences.
    CKeyTrackFloat wide;
    SetKeys(&wide, {{INT32_MIN, 0.0f}, {INT32_MAX, 1.0f}});
    EXPECT_EQ(wide.Evaluate(0, &value), 0);
    EXPECT_NEAR(value, 0.5f, 1e-6f);
}

TEST(KeyTrack, HermiteCurves) {
    CKeyTrackVec3 two;
    SetKeys(&two, {{0, {0.0f, 10.0f, -4.0f}}, {1000, {10.0f, 0.0f, 4.0f}}}, 1);
    for (int32_t t : {1, 100, 333, 500, 750, 999}) {
        SCOPED_TRACE(t);
        SVector3 v{};
        EXPECT_EQ(two.Evaluate(t, &v), 0);
        const float s = t / 1000.0f;
        EXPECT_NEAR(v.x, 10.0f * s, 1e-4f);  // two keys: the straight line
        EXPECT_NEAR(v.y, 10.0f - 10.0f * s, 1e-4f);
        EXPECT_NEAR(v.z, -4.0f + 8.0f * s, 1e-4f);
    }

    // A third key changes the inner tangents only: m0 stays p1 - p0 = 10 at the start, the
    // tangent at 1000 becomes (0 - 0) * 1000 / 2000 = 0.
    CKeyTrackFloat three;
    SetKeys(&three, {{0, 0.0f}, {1000, 10.0f}, {2000, 0.0f}}, 1);
    float value = 0;
    EXPECT_EQ(three.Evaluate(500, &value), 0);
    EXPECT_FLOAT_EQ(value, 6.25f);  // h01 0.5 × 10 + h10 0.125 × 10
    EXPECT_EQ(three.Evaluate(1500, &value), 0);
    EXPECT_FLOAT_EQ(value, 6.25f);  // mirror image: m0 = 0, m1 = p1 - p0 = -10
}

TEST(KeyTrack, KeysStayInTimeOrderAndReplaceAtEqualTimes) {
    CKeyTrackFloat track;
    SetKeys(&track, {{300, 3.0f}, {100, 1.0f}, {200, 2.0f}, {200, 7.0f}, {100, 8.0f}});
    ASSERT_EQ(track.Count(), 3);
    EXPECT_EQ(track.GetKey(0)->time, 100);
    EXPECT_EQ(track.GetKey(0)->value, 8.0f);
    EXPECT_EQ(track.GetKey(1)->time, 200);
    EXPECT_EQ(track.GetKey(1)->value, 7.0f);
    EXPECT_EQ(track.GetKey(2)->time, 300);
    EXPECT_EQ(track.GetKey(3), nullptr);

    // Random insertion order gives sorted, unique keys, and the segment search agrees with a
    // plain scan.
    std::mt19937 rng(3);
    CKeyTrackFloat many;
    std::uniform_int_distribution<int32_t> time(-5000, 5000);
    for (int i = 0; i < 300; ++i) many.SetKey({time(rng), static_cast<float>(i)});
    for (int32_t i = 1; i < many.Count(); ++i) ASSERT_LT(many.GetKey(i - 1)->time, many.GetKey(i)->time);
    for (int i = 0; i < 200; ++i) {
        const int32_t t = time(rng);
        if (t <= many.GetKey(0)->time || t >= many.LastKey()->time) continue;
        int32_t expected = 0;
        while (many.GetKey(expected + 1)->time <= t) ++expected;
        EXPECT_EQ(many.FindSegment(t), expected) << t;
    }
}

// One segment search serves the four value types: at a key's own time its segment starts, and
// one millisecond before the next key it still runs, also between keys 1 ms apart.
template <typename Track>
void ExpectSegmentsAtKeyBoundaries() {
    const int32_t times[] = {-300, -10, 0, 1, 7, 250, 251, 4000};
    constexpr int32_t kCount = static_cast<int32_t>(std::size(times));
    Track track;
    for (int32_t time : times) {
        typename Track::Key key{};
        key.time = time;
        ASSERT_EQ(track.SetKey(key), 0);
    }
    EXPECT_EQ(track.FindSegment(times[0] + 1), 0);
    for (int32_t i = 1; i + 1 < kCount; ++i) {
        EXPECT_EQ(track.FindSegment(times[i]), i) << times[i];
        EXPECT_EQ(track.FindSegment(times[i + 1] - 1), i) << times[i + 1] - 1;
    }
}

TEST(KeyTrack, SegmentSearchMeetsEveryKeyBoundaryForEveryValueType) {
    ExpectSegmentsAtKeyBoundaries<CKeyTrackFloat>();
    ExpectSegmentsAtKeyBoundaries<CKeyTrackVec2>();
    ExpectSegmentsAtKeyBoundaries<CKeyTrackVec3>();
    ExpectSegmentsAtKeyBoundaries<CKeyTrackColor>();
}

TEST(KeyTrack, ColourCurvesStayWithinZeroAndOneButLinearOnesDoNot) {
    CKeyTrackColor colour;
    SetKeys(&colour, {{0, {0.0f, 1.0f, 0.5f, 1.0f}}, {1000, {1.0f, 1.0f, 0.5f, 1.0f}}, {2000, {0.0f, 0.0f, 0.5f, 1.0f}}},
            1);
    CKeyTrackVec3 plain;
    SetKeys(&plain, {{0, {0.0f, 1.0f, 0.5f}}, {1000, {1.0f, 1.0f, 0.5f}}, {2000, {0.0f, 0.0f, 0.5f}}}, 1);
    SColorF c{};
    SVector3 v{};
    colour.Evaluate(500, &c);
    plain.Evaluate(500, &v);
    EXPECT_FLOAT_EQ(v.y, 1.0625f);  // h11 × -0.5 above the keys' 1
    EXPECT_EQ(c.g, 1.0f);
    EXPECT_FLOAT_EQ(c.r, 0.625f);  // h01 0.5 + h10 0.125 within the limits
    EXPECT_EQ(c.r, v.x);

    CKeyTrackColor linear;
    SetKeys(&linear, {{0, {0, 0, 0, 1}}, {1000, {2, 2, 2, 1}}});
    linear.Evaluate(750, &c);
    EXPECT_FLOAT_EQ(c.r, 1.5f);
}

TEST(KeyTrack, ClampingToTheMinimumAndMaximum) {
    CKeyTrackFloat track;
    track.clampFlags = KeyClamp::Maximum;
    track.maximum = 1.0f;
    SetKeys(&track, {{100, 4.0f}, {200, -4.0f}});
    float value = 0;
    track.Evaluate(0, &value);  // before the first key
    EXPECT_EQ(value, 1.0f);
    track.Evaluate(190, &value);
    EXPECT_LT(value, -2.0f);  // no minimum
    track.clampFlags = KeyClamp::Minimum | KeyClamp::Maximum;
    track.minimum = -1.0f;
    track.Evaluate(190, &value);
    EXPECT_EQ(value, -1.0f);
    float nan = NAN;
    track.Clamp(&nan);
    EXPECT_EQ(nan, -1.0f);  // a value that is not a number takes the minimum
}

TEST(KeyTrack, CopyFromReplacesKeysAndCubicButKeepsClamping) {
    CKeyTrackColor from;
    SetKeys(&from, {{10, {0.1f, 0.2f, 0.3f, 0.4f}}, {20, {0.5f, 0.6f, 0.7f, 0.8f}}}, 1);
    CKeyTrackColor to;
    to.clampFlags = KeyClamp::Maximum;
    SetKeys(&to, {{99, {1, 1, 1, 1}}});
    ASSERT_EQ(to.CopyFrom(from), 0);
    from.RemoveAll();  // the copies are deep
    EXPECT_EQ(from.LastKey(), nullptr);
    ASSERT_EQ(to.Count(), 2);
    EXPECT_EQ(to.cubic, 1);
    EXPECT_EQ(to.clampFlags, KeyClamp::Maximum);
    EXPECT_EQ(to.GetKey(1)->value.g, 0.6f);
}

}  // namespace
