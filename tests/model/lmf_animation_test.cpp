// Node animation: channel envelopes (shapes and behaviours), the node matrices, and the two
// model-wide poses. Expected values are worked out here from the formulas, in double
// precision where they are not exact, and compared within a few units in the last place.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/lmf_model.h"

namespace {

CLmfKey Key(int32_t frame, float value, uint16_t shape, std::initializer_list<float> params = {}) {
    CLmfKey key;
    key.frame = frame;
    key.value = value;
    key.shape = shape;
    std::copy(params.begin(), params.end(), key.params);
    return key;
}

CLmfChannel Channel(std::vector<CLmfKey> keys, uint16_t pre = kEnvelopeConstant, uint16_t post = kEnvelopeConstant) {
    CLmfChannel channel;
    channel.keys = std::move(keys);
    channel.pre = pre;
    channel.post = post;
    return channel;
}

// Linear keys whose value equals their frame (exactly, over a span of a power of two): the
// pose shows which frame was evaluated.
CLmfChannel FrameRamp() { return Channel({Key(-1024, -1024.0f, kKeyLinear), Key(1024, 1024.0f, kKeyLinear)}); }

double Hermite(double u, double v0, double v1, double out, double in) {
    return (2 * u * u * u - 3 * u * u + 1) * v0 + (3 * u * u - 2 * u * u * u) * v1 + (u * u * u - 2 * u * u + u) * out +
           (u * u * u - u * u) * in;
}

SVector3 Transform(const SMatrix& m, SVector3 p) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

void ExpectPoint(const SVector3& p, float x, float y, float z) {
    EXPECT_NEAR(p.x, x, 1e-5f);
    EXPECT_NEAR(p.y, y, 1e-5f);
    EXPECT_NEAR(p.z, z, 1e-5f);
}

}  // namespace

TEST(LmfEnvelope, BehavioursBeforeAndAfterTheKeys) {
    const CLmfChannel one = Channel({Key(5, 2.5f, kKeyTcb)}, kEnvelopeReset, kEnvelopeReset);
    for (int32_t frame : {-1000, 0, 5, 6, 1000}) EXPECT_EQ(EvaluateEnvelope(one, frame), 2.5f) << frame;

    // Linear keys 0 -> 0 and 10 -> 10 (or 2 for the offset repeat): each value names its frame.
    auto ramp = [](uint16_t pre, uint16_t post, float last = 10.0f) {
        return Channel({Key(0, 0.0f, kKeyLinear), Key(10, last, kKeyLinear)}, pre, post);
    };
    const struct {
        CLmfChannel channel;
        int32_t frame;
        float expected;
    } cases[] = {
        {ramp(kEnvelopeConstant, kEnvelopeReset), -7, 0.0f},
        {ramp(kEnvelopeConstant, kEnvelopeReset), 10, 0.0f},
        {ramp(kEnvelopeConstant, kEnvelopeReset), 99, 0.0f},
        {ramp(kEnvelopeReset, kEnvelopeConstant), 12, 10.0f},
        {ramp(kEnvelopeConstant, kEnvelopeRepeat), 25, 5.0f},
        {ramp(kEnvelopeRepeat, kEnvelopeRepeat), -3, 7.0f},
        {ramp(kEnvelopeConstant, kEnvelopeOscillate), 13, 7.0f},  // wrapped frame 3 in cycle 1: 10 - 3
        {ramp(kEnvelopeConstant, kEnvelopeOscillate), 23, 3.0f},  // cycle 2: not mirrored
        {ramp(kEnvelopeOscillate, kEnvelopeConstant), -3, 3.0f},  // cycle -1: mirrored 7
        {ramp(kEnvelopeConstant, kEnvelopeOffsetRepeat, 2.0f), 25, 1.0f + 4.0f},
        {ramp(kEnvelopeOffsetRepeat, kEnvelopeConstant, 2.0f), -5, 1.0f - 2.0f},
        {ramp(kEnvelopeLinear, kEnvelopeLinear), 15, 10.0f},  // a linear key's tangent is 0: flat
        {ramp(9, 9), 50, 10.0f},                              // unknown behaviours hold the end keys
        {ramp(9, 9), -50, 0.0f},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EvaluateEnvelope(c.channel, c.frame), c.expected)
            << "pre " << c.channel.pre << " post " << c.channel.post << " frame " << c.frame;

    // Oscillating keys that do not start at frame 0 mirror inside their own range.
    const CLmfChannel late = Channel({Key(10, 0.0f, kKeyLinear), Key(20, 10.0f, kKeyLinear)}, 0, kEnvelopeOscillate);
    EXPECT_EQ(EvaluateEnvelope(late, 23), 7.0f);

    // Linear behaviours follow the end keys' Hermite tangents: in-tangent 2 over 10 frames.
    const CLmfChannel hermite =
        Channel({Key(0, 0.0f, kKeyHermite, {0, 0, 0, 0, 3.0f}), Key(10, 5.0f, kKeyHermite, {0, 0, 0, 2.0f})},
                kEnvelopeLinear, kEnvelopeLinear);
    EXPECT_FLOAT_EQ(EvaluateEnvelope(hermite, 15), 5.0f + 0.2f * 5);
    EXPECT_FLOAT_EQ(EvaluateEnvelope(hermite, -4), 0.0f + 0.3f * -4);
}

TEST(LmfEnvelope, KeyShapesOfTheEndingKey) {
    // Stepped: the starting key's value up to the ending key's frame.
    const CLmfChannel stepped =
        Channel({Key(0, 1.0f, kKeyLinear), Key(10, 4.0f, kKeyStepped), Key(20, 9.0f, kKeyLinear)});
    EXPECT_EQ(EvaluateEnvelope(stepped, 9), 1.0f);
    EXPECT_EQ(EvaluateEnvelope(stepped, 10), 4.0f);
    EXPECT_EQ(EvaluateEnvelope(stepped, 15), 6.5f);

    // Hermite with tangents scaled by the neighbours' spans; at u = 0 exactly key0's value.
    const CLmfChannel hermite =
        Channel({Key(0, 1.0f, kKeyHermite, {0, 0, 0, 0.7f, 0.5f}), Key(10, 3.3f, kKeyHermite, {0, 0, 0, -0.25f, 0.9f}),
                 Key(40, -2.1f, kKeyHermite, {0, 0, 0, 1.5f, 0})});
    EXPECT_EQ(EvaluateEnvelope(hermite, 10), 3.3f);
    EXPECT_NEAR(EvaluateEnvelope(hermite, 4), Hermite(0.4, 1.0, 3.3, 0.5, -0.25 * 10.0 / 40.0), 2e-6);
    EXPECT_NEAR(EvaluateEnvelope(hermite, 25), Hermite(0.5, 3.3, -2.1, 0.9 * 30.0 / 40.0, 1.5), 2e-6);

    // TCB: tangents from the neighbours, tension, continuity and bias.
    const double t = 0.2, c = -0.4, b = 0.3;
    const CLmfChannel tcb = Channel({Key(0, 0.0f, kKeyTcb), Key(10, 2.0f, kKeyTcb, {0.2f, -0.4f, 0.3f}),
                                     Key(30, 1.0f, kKeyTcb), Key(35, 5.0f, kKeyTcb)});
    const double out = 20.0 / 30.0 * ((1 - t) * (1 + c) * (1 + b) * 2.0 + (1 - t) * (1 - c) * (1 - b) * -1.0);
    const double in = 20.0 / 25.0 * ((1 - 0.0) * (1 + 0.0) * (1 - 0.0) * 4.0 + 1.0 * -1.0);
    EXPECT_NEAR(EvaluateEnvelope(tcb, 17), Hermite(0.35, 2.0, 1.0, out, in), 1e-5);

    // Two-dimensional Bezier with the frame handles at thirds: the frame coordinate runs
    // linearly, so the curve parameter is the span's fraction.
    const CLmfChannel bezier =
        Channel({Key(0, 1.0f, kKeyLinear, {0, 0, 0, 0.5f}), Key(30, 4.0f, kKeyBezier2D, {0, -2.0f, -10.0f})});
    const double s = 12.0 / 30.0;
    const double y1 = 1.5, y2 = 2.0;
    const double expected =
        (1 - s) * (1 - s) * (1 - s) * 1.0 + 3 * (1 - s) * (1 - s) * s * y1 + 3 * (1 - s) * s * s * y2 + s * s * s * 4.0;
    EXPECT_NEAR(EvaluateEnvelope(bezier, 12), expected, 1e-4);

    // A handle far outside the span: the bisection cannot reach its tolerance and must stop.
    const CLmfChannel steep =
        Channel({Key(0, 0.0f, kKeyBezier2D, {0, 0, 1e7f, 1.0f}), Key(10, 1.0f, kKeyBezier2D, {0, 0, 0})});
    EXPECT_TRUE(std::isfinite(EvaluateEnvelope(steep, 3)));

    EXPECT_EQ(EvaluateEnvelopeAt(CLmfChannel{}, 1, 7.5f, 0, 10, 4), 7.5f) << "a channel without keys";
    EXPECT_EQ(EvaluateEnvelopeAt(FrameRamp(), 3, 0.0f, 0, 10, 0), 10.0f) << "no duration: frame B";
}

TEST(LmfNodes, LocalWorldAndSkinningMatrices) {
    // The array holds a grandchild before its parent.
    CLmfModel model;
    model.nodes.resize(3);
    CLmfNode& grandchild = model.nodes[0];
    CLmfNode& parent = model.nodes[1];
    CLmfNode& child = model.nodes[2];
    child.parentIndex = 1;
    child.parent = &parent;
    grandchild.parentIndex = 2;
    grandchild.parent = &child;
    // The parent rolls 90 degrees about Z and stands at (0, 2, 0); the child scales by 2 about
    // its pivot (1, 0, 0), yaws 90 degrees and puts the pivot at (1, 0, 0) in the parent; the
    // grandchild stands at (0, 0, 5) in the child.
    parent.channels[kChannelRotationZ] = Channel({Key(0, 1.5707964f, kKeyLinear)});
    parent.channels[kChannelPositionY] = Channel({Key(0, 2.0f, kKeyLinear)});
    child.pivot = {1.0f, 0.0f, 0.0f};
    child.channels[kChannelScaleX] = Channel({Key(0, 2.0f, kKeyLinear)});
    child.channels[kChannelRotationY] = Channel({Key(0, 1.5707964f, kKeyLinear)});
    child.channels[kChannelPositionX] = Channel({Key(0, 1.0f, kKeyLinear)});
    grandchild.channels[kChannelPositionZ] = Channel({Key(0, 5.0f, kKeyLinear)});
    MatrixTranslation(&child.inverseRest, -1.0f, 0.0f, 0.0f);
    EXPECT_EQ(model.ApplyMotion(0, 10, 0, 0), kMotionEndless);

    EXPECT_EQ(0, std::memcmp(&parent.world, &parent.local, sizeof(SMatrix))) << "a root's world is its local";
    // The products group from the node upwards: (local * parent's local) * grandparent's local.
    SMatrix lower, walked;
    MatrixMultiply(&lower, &grandchild.local, &child.local);
    MatrixMultiply(&walked, &lower, &parent.local);
    EXPECT_EQ(0, std::memcmp(&grandchild.world, &walked, sizeof(SMatrix))) << "locals multiplied up the chain";
    ExpectPoint(Transform(parent.world, {1, 0, 0}), 0, 3, 0);
    ExpectPoint(Transform(child.local, {1, 0, 0}), 1, 0, 0);
    ExpectPoint(Transform(child.local, {2, 0, 0}), 1, 0, -2);  // scaled to 2, yawed from +X to -Z
    ExpectPoint(Transform(child.world, {2, 0, 0}), 0, 3, -2);  // then the parent rolls +X to +Y
    ExpectPoint(Transform(child.skinning, {3, 0, 0}), 0, 3, -2);
    ExpectPoint(Transform(child.world, {1, 0, 1}), 0, 4, 0);       // +Z yaws to +X, which rolls to +Y
    ExpectPoint(Transform(grandchild.world, {0, 0, 0}), 0, 8, 2);  // (-2, 0, 5) yawed, moved, rolled, raised

    // Parents that point at each other (never so after a load): the walk still ends.
    parent.parentIndex = 0;
    parent.parent = &grandchild;
    model.UpdateWorldMatrices();
}

TEST(LmfMotion, ApplyMotionMapsTimeToFrames) {
    CLmfModel model;
    model.nodes.resize(1);
    model.nodes[0].channels[kChannelPositionX] = FrameRamp();
    const struct {
        int32_t start, end;
        uint32_t repeats;
        int32_t t;
        int32_t frame, result;
    } cases[] = {
        {10, 20, 2, 0, 10, kMotionPlaying},   {10, 20, 2, 9, 19, kMotionPlaying},
        {10, 20, 2, 10, 10, kMotionPlaying},  {10, 20, 2, 19, 19, kMotionPlaying},
        {10, 20, 2, 20, 20, kMotionFinished}, {10, 20, 2, 500, 20, kMotionFinished},
        {10, 20, 0, 25, 15, kMotionEndless},  {10, 20, 0, 1000, 10, kMotionEndless},
        {20, 10, 1, 3, 17, kMotionPlaying},   {20, 10, 1, 10, 10, kMotionFinished},
        {20, 10, 0, 14, 16, kMotionEndless},  {7, 7, 1, 0, 7, kMotionPlaying},
        {7, 7, 1, 1, 7, kMotionFinished},     {-5, 5, 1, -3, -5, kMotionPlaying},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(model.ApplyMotion(c.start, c.end, c.repeats, c.t), c.result)
            << c.start << ".." << c.end << " t " << c.t;
        EXPECT_EQ(model.nodes[0].position.x, static_cast<float>(c.frame)) << c.start << ".." << c.end << " t " << c.t;
        EXPECT_EQ(model.nodes[0].world.m[3][0], static_cast<float>(c.frame));
    }
}

TEST(LmfMotion, ApplyBlendMotionWeighsTwoFrames) {
    CLmfModel model;
    model.nodes.resize(1);
    model.nodes[0].channels[kChannelPositionX] = FrameRamp();
    const float expected[] = {0.0f, 2.0f, 4.0f, 6.0f, 8.0f, 8.0f};
    for (int32_t t = 0; t < 6; ++t) {
        EXPECT_EQ(model.ApplyBlendMotion(0, 8, t, 4), t < 4 ? kMotionPlaying : kMotionFinished) << t;
        EXPECT_EQ(model.nodes[0].position.x, expected[t]) << t;
        EXPECT_EQ(model.nodes[0].scale.y, 1.0f) << "channels without keys keep their defaults";
    }
}
