#include <gtest/gtest.h>

#include <cmath>

#include "model/shader_context.h"
#include "scene/camera.h"
#include "scene/scene_light.h"
#include "tests/scene/scene_test_util.h"

namespace {

using namespace scene_test;

constexpr float kEps = 1e-4f;

class SceneClock : public ::testing::Test {
protected:
    void SetUp() override {
        g_GameClock = 10000;
        SetSaveKey(0);
    }
    void TearDown() override {
        g_GameClock = 0;
        SetSaveKey(0);
    }
};

using CameraTest = SceneClock;
using LightTest = SceneClock;

// The view's third column (the looking direction) or its second (the up vector).
SVector3 ViewColumn(int column) {
    const SMatrix& v = g_ShaderContext.view;
    return SVector3{v.m[0][column], v.m[1][column], v.m[2][column]};
}

MATCHER_P4(NearVector, x, y, z, eps, "") {
    return std::fabs(arg.x - x) < eps && std::fabs(arg.y - y) < eps && std::fabs(arg.z - z) < eps;
}
MATCHER_P3(IsVector, x, y, z, "") { return ExplainMatchResult(NearVector(x, y, z, kEps), arg, result_listener); }

// An animated sub-chunk: animate 1, cubic, count, then the keys as given.
Bytes Keys(uint32_t cubic, uint32_t count, const Bytes& keys) {
    Bytes out;
    out.U32(1).U32(cubic).U32(count).Raw(keys.bytes.data(), keys.size());
    return out;
}

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
    ParseInto(&camera, Bytes().Chunk("ANGL", Bytes().U32(0).F32(0).F32(0).F32(1.5707964f)));
    camera.Apply();
    EXPECT_THAT(ViewColumn(2), IsVector(0, 0, 1));
    EXPECT_THAT(ViewColumn(1), IsVector(-1, 0, 0));

    // About X and Y: (cos ax sin ay, -sin ax, cos ax cos ay).
    const float ax = 0.3f, ay = -0.8f;
    ParseInto(&camera, Bytes().Chunk("ANGL", Bytes().U32(0).F32(ax).F32(ay).F32(0.7f)));
    camera.Apply();
    EXPECT_THAT(ViewColumn(2), IsVector(std::cos(ax) * std::sin(ay), -std::sin(ax), std::cos(ax) * std::cos(ay)));
}

TEST_F(CameraTest, AnimatedEyeRunsFromThePageStartAndFinishes) {
    CCamera camera;
    const Bytes keys = Keys(0, 2, Bytes().U32(0).F32(0).F32(0).F32(-1).U32(1000).F32(0).F32(2).F32(-3));
    ParseInto(&camera, Bytes().Chunk("POS ", keys).Chunk("JUNK", Bytes().U32(5)));
    camera.startTime = g_GameClock;
    g_GameClock += 500;
    EXPECT_EQ(camera.Apply(), 1);
    EXPECT_THAT(camera.eye.value, FieldsAre(0.0f, 1.0f, -2.0f));
    g_GameClock += 500;
    EXPECT_EQ(camera.Apply(), 0);
    EXPECT_EQ(camera.eye.animating, 0u);
    EXPECT_FLOAT_EQ(g_ShaderContext.eye.z, -3.0f);

    // Finish jumps to the last key; a field-of-view track without keys keeps its value.
    ParseInto(&camera, Bytes().Chunk("POS ", keys).Chunk("FOV ", Keys(1, 0, Bytes())));
    EXPECT_EQ(camera.Apply(), 1);  // a keyless animation reports running
    camera.Finish();
    EXPECT_FLOAT_EQ(camera.eye.value.z, -3.0f);
    EXPECT_FLOAT_EQ(camera.fieldOfView.value, 1.0471976f);
    EXPECT_EQ(camera.Apply(), 0);

    // A new static POS removes the keys.
    ParseInto(&camera, Bytes().Chunk("POS ", Bytes().U32(0).F32(1).F32(2).F32(3)));
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
    const Bytes expected = Bytes()
                               .Raw("\xAA\xAA\xAA\xAA\xAA", 5)
                               .Chunk("POS ", Bytes().F32(1.5f).F32(-2.0f).F32(3.0f))
                               .Chunk("ANGL", Bytes().F32(0.1f).F32(0.2f).F32(0.3f))
                               .Chunk("FOV ", Bytes().F32(0.9f));
    ASSERT_EQ(bytes.size(), 5u + 52);
    EXPECT_TRUE(std::equal(bytes.begin() + 5, bytes.end(), Unscrambled(expected.bytes).begin() + 5));

    CCamera restored;
    ParseInto(&restored, Bytes().Chunk("POS ", Keys(0, 1, Bytes().U32(100).F32(9).F32(9).F32(9))));
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
    ParseInto(&camera, Bytes().Chunk("POS ", Keys(1, 0xFFFFFFFF, Bytes().U32(0).F32(4).F32(5).F32(6).U32(9))));
    EXPECT_EQ(camera.eye.track.Count(), 1);
    EXPECT_EQ(camera.eye.track.cubic, 1);
    // A short static value: only the whole fields are taken.
    ParseInto(&camera, Bytes().Chunk("ANGL", Bytes().U32(0).F32(0.5f).Raw("\x01\x02", 2)));
    EXPECT_THAT(camera.angles.value, FieldsAre(0.5f, 0.0f, 0.0f));
    // An empty sub-chunk: static, nothing read.
    ParseInto(&camera, Bytes().Chunk("FOV ", Bytes()));
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
    EXPECT_THAT(*g_ShaderContext.params.GetVector("Light2Color"), FieldsAre(0.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_FLOAT_EQ(g_ShaderContext.params.GetVector("AmbientLightColor")->x, 0.2f);
}

TEST_F(LightTest, CommandsReplaceKeysKeepAlphaAndLiftTheColourLimit) {
    CSceneLight lights;
    ParseInto(&lights, Bytes().Chunk("ANG1", Keys(0, 2, Bytes().U32(0).F32(0).F32(0).U32(500).F32(1).F32(1))));
    ParseInto(&lights,
              Bytes().Chunk("ANG1", Keys(1, 2, Bytes().U32(100).F32(0.25f).F32(0.5f).U32(200).F32(0.75f).F32(1.0f))));
    ASSERT_EQ(lights.light1Angles.track.Count(), 2);
    EXPECT_EQ(lights.light1Angles.track.GetKey(0)->time, 100);
    EXPECT_EQ(lights.light1Angles.track.cubic, 1);

    lights.ambient.value.a = 0.25f;
    ParseInto(&lights, Bytes().Chunk("AMBT", Bytes().U32(0).F32(1).F32(0).F32(0)));
    EXPECT_THAT(lights.ambient.value, FieldsAre(1.0f, 0.0f, 0.0f, 0.25f));
    EXPECT_EQ(lights.ambient.track.clampFlags, 3u);  // a static colour keeps the limit

    ParseInto(&lights, Bytes().Chunk("COL1", Keys(0, 2, Bytes().U32(0).F32(0).F32(0).F32(0).U32(1000).F32(2).F32(2).F32(2))));
    EXPECT_EQ(lights.light1Colour.track.clampFlags, 0u);
    lights.startTime = g_GameClock;
    g_GameClock += 400;
    EXPECT_EQ(lights.Apply(), 1);
    EXPECT_FLOAT_EQ(lights.light1Colour.value.g, 0.8f);
    g_GameClock += 600;
    lights.Apply();
    EXPECT_THAT(lights.light1Colour.value, FieldsAre(2.0f, 2.0f, 2.0f, 1.0f));
    EXPECT_FLOAT_EQ(g_ShaderContext.params.GetVector("Light1Color")->z, 2.0f);

    // Finish takes every component of the last key, alpha 1.0 included.
    lights.ambient.value.a = 0.5f;
    ParseInto(&lights, Bytes().Chunk("AMBT", Keys(0, 1, Bytes().U32(5000).F32(0.3f).F32(0.4f).F32(0.5f))));
    lights.Finish();
    EXPECT_EQ(lights.ambient.animating, 0u);
    EXPECT_THAT(lights.ambient.value, FieldsAre(0.3f, 0.4f, 0.5f, 1.0f));
}

TEST_F(LightTest, SavedFormIs92BytesInTheOrderOfTheTable) {
    CSceneLight lights;
    EXPECT_EQ(SavedBytes(lights), Bytes()
                                      .Chunk("AMBT", Bytes().F32(0.2f).F32(0.2f).F32(0.2f))
                                      .Chunk("COL1", Bytes().F32(1).F32(1).F32(1))
                                      .Chunk("ANG1", Bytes().F32(0.5236f).F32(0.7854f))
                                      .Chunk("COL2", Bytes().F32(0).F32(0).F32(0))
                                      .Chunk("ANG2", Bytes().F32(0.5236f).F32(-0.7854f))
                                      .bytes);

    CSceneLight restored;
    ParseInto(&restored, Bytes().Chunk("ANG2", Keys(0, 1, Bytes().U32(100).F32(0.9f).F32(0.9f))));
    const Bytes saved = Bytes()
                            .Chunk("ANG2", Bytes().F32(0.1f).F32(0.2f))
                            .Chunk("XTRA", Bytes().U32(1))
                            .Chunk("COL2", Bytes().F32(0.5f).F32(0.6f).F32(0.7f).F32(99.0f));  // longer than saved
    EXPECT_EQ(RestoreFrom(&restored, saved.bytes), 0);
    EXPECT_THAT(restored.light2Angles.value, FieldsAre(0.1f, 0.2f));
    EXPECT_EQ(restored.light2Angles.animating, 0u);
    EXPECT_THAT(restored.light2Colour.value, FieldsAre(0.5f, 0.6f, 0.7f, 1.0f));
}

}  // namespace
