#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/shader_context.h"
#include "scene/camera.h"
#include "scene/scene_light.h"
#include "tests/scene/scene_test_util.h"

namespace {

using namespace scene_test;

constexpr float kEps = 1e-4f;

using CameraTest = SceneGlobalsTest;

// The lights upload into the model effect of the shared context, made on a small device.
class LightTest : public SceneGlobalsTest {
protected:
    void SetUp() override {
        SceneGlobalsTest::SetUp();
        device_ = MakeTestDevice(8, 8);
        ASSERT_EQ(g_ShaderContext.Create(device_), 0);
    }
    void TearDown() override {
        g_ShaderContext.Release();
        device_->Release();
        SceneGlobalsTest::TearDown();
    }
    static SVector4 Uploaded(EffectParameter parameter) {
        SVector4 value = {};
        EXPECT_EQ(g_ShaderContext.effect->GetVector(parameter, &value), 0);
        return value;
    }

    CGraphicsDevice* device_ = nullptr;
};

// The view's third column (the looking direction) or its second (the up vector).
SVector3 ViewColumn(int column) {
    const SMatrix& v = g_ShaderContext.view;
    return SVector3{v.m[0][column], v.m[1][column], v.m[2][column]};
}

MATCHER_P4(NearVector, x, y, z, eps, "") {
    return std::fabs(arg.x - x) < eps && std::fabs(arg.y - y) < eps && std::fabs(arg.z - z) < eps;
}
MATCHER_P3(IsVector, x, y, z, "") { return ExplainMatchResult(NearVector(x, y, z, kEps), arg, result_listener); }

TEST_F(CameraTest, DefaultLookAndRotations) {
    CCamera camera;
    EXPECT_EQ(camera.Apply(), 0);
    EXPECT_FLOAT_EQ(g_ShaderContext.eye.z, -1.0f);
    EXPECT_THAT(ViewColumn(2), IsVector(0, 0, 1));
    EXPECT_THAT(ViewColumn(1), IsVector(0, 1, 0));
    const SMatrix& projection = g_ShaderContext.projection;
    EXPECT_NEAR(projection.m[1][1], 1.0f / std::tan(1.0471976f / 2), kEps);
    EXPECT_NEAR(projection.m[0][0], projection.m[1][1] / 1.3333334f, kEps);
    EXPECT_NEAR(projection.m[3][2], -0.1f * 20.0f / 19.9f, kEps);

    // About Z only turns the up vector.
    ParseInto(&camera, Static("ANGL", {0, 0, 1.5707964f}));
    camera.Apply();
    EXPECT_THAT(ViewColumn(2), IsVector(0, 0, 1));
    EXPECT_THAT(ViewColumn(1), IsVector(-1, 0, 0));

    // About X and Y: (cos ax sin ay, -sin ax, cos ax cos ay).
    const float ax = 0.3f, ay = -0.8f;
    ParseInto(&camera, Static("ANGL", {ax, ay, 0.7f}));
    camera.Apply();
    EXPECT_THAT(ViewColumn(2), IsVector(std::cos(ax) * std::sin(ay), -std::sin(ax), std::cos(ax) * std::cos(ay)));
}

TEST_F(CameraTest, AnimatedEyeRunsFromThePageStartAndFinishes) {
    CCamera camera;
    const Bytes keys = Animated("POS ", 0, {{0, {0, 0, -1}}, {1000, {0, 2, -3}}});
    ParseInto(&camera, keys + Bytes().ChunkU32("JUNK", 5));
    camera.startTime = g_GameClock;
    g_GameClock += 500;
    EXPECT_EQ(camera.Apply(), 1);
    EXPECT_THAT(camera.eye.value, FieldsAre(0.0f, 1.0f, -2.0f));
    g_GameClock += 500;
    EXPECT_EQ(camera.Apply(), 0);
    EXPECT_EQ(camera.eye.animating, 0u);
    EXPECT_FLOAT_EQ(g_ShaderContext.eye.z, -3.0f);

    // Finish jumps to the last key; a field-of-view track without keys keeps its value.
    ParseInto(&camera, keys + Animated("FOV ", 1, {}));
    EXPECT_EQ(camera.Apply(), 1);  // a keyless animation reports running
    camera.Finish();
    EXPECT_FLOAT_EQ(camera.eye.value.z, -3.0f);
    EXPECT_FLOAT_EQ(camera.fieldOfView.value, 1.0471976f);
    EXPECT_EQ(camera.Apply(), 0);

    // A new static POS removes the keys.
    ParseInto(&camera, Static("POS ", {1, 2, 3}));
    EXPECT_EQ(camera.eye.track.Count(), 0);
    EXPECT_FLOAT_EQ(camera.eye.value.x, 1.0f);
}

TEST_F(CameraTest, SavedFormIs52BytesAndRestoresWithoutMotion) {
    CCamera camera;
    SetSaveKey(0x5A);
    camera.eye.value = SVector3{1.5f, -2.0f, 3.0f};
    camera.angles.value = SVector3{0.1f, 0.2f, 0.3f};
    camera.fieldOfView.value = 0.9f;
    const std::vector<uint8_t> bytes = SavedBytes(camera, 5);
    const Bytes expected = Bytes().Raw("\xAA\xAA\xAA\xAA\xAA", 5) + Floats("POS ", {1.5f, -2.0f, 3.0f}) +
                           Floats("ANGL", {0.1f, 0.2f, 0.3f}) + Floats("FOV ", {0.9f});
    ASSERT_EQ(bytes.size(), 5u + 52);
    EXPECT_TRUE(std::equal(bytes.begin() + 5, bytes.end(), Unscrambled(expected.bytes).begin() + 5));

    CCamera restored;
    ParseInto(&restored, Animated("POS ", 0, {{100, {9, 9, 9}}}));
    EXPECT_EQ(RestoreFrom(&restored, bytes, 5), 0);
    EXPECT_THAT(restored.eye.value, FieldsAre(1.5f, -2.0f, 3.0f));
    EXPECT_EQ(restored.angles.value.z, 0.3f);
    EXPECT_EQ(restored.fieldOfView.value, 0.9f);
    EXPECT_EQ(restored.eye.animating, 0u);
    EXPECT_EQ(restored.eye.track.Count(), 1);  // the keys stay, but do not run
    EXPECT_EQ(restored.Apply(), 0);
}

TEST_F(CameraTest, DamagedPayloadsAreBoundedAndConsumedWhole) {
    CCamera camera;
    // Key count far above what the payload holds, and a cut-off key.
    const Bytes oneKeyAndAHalf = Bytes().U32(1).U32(1).U32(0xFFFFFFFF).U32(0).F32(4).F32(5).F32(6).U32(9);
    ParseInto(&camera, Bytes().Chunk("POS ", oneKeyAndAHalf));
    EXPECT_EQ(camera.eye.track.Count(), 1);
    EXPECT_EQ(camera.eye.track.cubic, 1);
    // A short static value: only the whole fields are taken.
    ParseInto(&camera, Bytes().Chunk("ANGL", Bytes().U32(0).F32(0.5f).Raw("\x01\x02", 2)));
    EXPECT_THAT(camera.angles.value, FieldsAre(0.5f, 0.0f, 0.0f));
    // An empty sub-chunk: static, nothing read.
    ParseInto(&camera, Bytes().Empty("FOV "));
    EXPECT_EQ(camera.fieldOfView.animating, 0u);
    // A sub-chunk claiming more than the command holds ends the command.
    ParseInto(&camera, Bytes().Tag("POS ").U32(400).U32(0).F32(7).F32(7).F32(7));
    EXPECT_NE(camera.eye.value.x, 7.0f);
}

TEST_F(LightTest, DefaultDirectionsAndColours) {
    CSceneLight lights;
    EXPECT_EQ(lights.Apply(), 0);
    EXPECT_THAT(g_ShaderContext.light1Direction, NearVector(0.612f, -0.5f, 0.612f, 1e-3f));
    EXPECT_THAT(g_ShaderContext.light2Direction, NearVector(-0.612f, -0.5f, 0.612f, 1e-3f));
    EXPECT_THAT(Uploaded(g_ShaderContext.handles.light2Color), FieldsAre(0.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_FLOAT_EQ(Uploaded(g_ShaderContext.handles.ambientLightColor).x, 0.2f);
}

TEST_F(LightTest, CommandsReplaceKeysKeepAlphaAndLiftTheColourLimit) {
    CSceneLight lights;
    ParseInto(&lights, Animated("ANG1", 0, {{0, {0, 0}}, {500, {1, 1}}}));
    ParseInto(&lights, Animated("ANG1", 1, {{100, {0.25f, 0.5f}}, {200, {0.75f, 1.0f}}}));
    ASSERT_EQ(lights.light1Angles.track.Count(), 2);
    EXPECT_EQ(lights.light1Angles.track.GetKey(0)->time, 100);
    EXPECT_EQ(lights.light1Angles.track.cubic, 1);

    lights.ambient.value.a = 0.25f;
    ParseInto(&lights, Static("AMBT", {1, 0, 0}));
    EXPECT_THAT(lights.ambient.value, FieldsAre(1.0f, 0.0f, 0.0f, 0.25f));
    EXPECT_EQ(lights.ambient.track.clampFlags, 3u);  // a static colour keeps the limit

    ParseInto(&lights, Animated("COL1", 0, {{0, {0, 0, 0}}, {1000, {2, 2, 2}}}));
    EXPECT_EQ(lights.light1Colour.track.clampFlags, 0u);
    lights.startTime = g_GameClock;
    g_GameClock += 400;
    EXPECT_EQ(lights.Apply(), 1);
    EXPECT_FLOAT_EQ(lights.light1Colour.value.g, 0.8f);
    g_GameClock += 600;
    lights.Apply();
    EXPECT_THAT(lights.light1Colour.value, FieldsAre(2.0f, 2.0f, 2.0f, 1.0f));
    EXPECT_FLOAT_EQ(Uploaded(g_ShaderContext.handles.light1Color).z, 2.0f);

    // Finish takes every component of the last key, alpha 1.0 included.
    lights.ambient.value.a = 0.5f;
    ParseInto(&lights, Animated("AMBT", 0, {{5000, {0.3f, 0.4f, 0.5f}}}));
    lights.Finish();
    EXPECT_EQ(lights.ambient.animating, 0u);
    EXPECT_THAT(lights.ambient.value, FieldsAre(0.3f, 0.4f, 0.5f, 1.0f));
}

TEST_F(LightTest, SavedFormIs92BytesInTheOrderOfTheTable) {
    CSceneLight lights;
    EXPECT_EQ(SavedBytes(lights), (Floats("AMBT", {0.2f, 0.2f, 0.2f}) + Floats("COL1", {1, 1, 1}) +
                                   Floats("ANG1", {0.5236f, 0.7854f}) + Floats("COL2", {0, 0, 0}) +
                                   Floats("ANG2", {0.5236f, -0.7854f}))
                                      .bytes);

    CSceneLight restored;
    ParseInto(&restored, Animated("ANG2", 0, {{100, {0.9f, 0.9f}}}));
    const Bytes saved = Floats("ANG2", {0.1f, 0.2f}) + Bytes().ChunkU32("XTRA", 1) +
                        Floats("COL2", {0.5f, 0.6f, 0.7f, 99.0f});  // longer than saved
    EXPECT_EQ(RestoreFrom(&restored, saved.bytes), 0);
    EXPECT_THAT(restored.light2Angles.value, FieldsAre(0.1f, 0.2f));
    EXPECT_EQ(restored.light2Angles.animating, 0u);
    EXPECT_THAT(restored.light2Colour.value, FieldsAre(0.5f, 0.6f, 0.7f, 1.0f));
}

}  // namespace
