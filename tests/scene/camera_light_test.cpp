#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "files/scrambled_io.h"
#include "model/shader_context.h"
#include "platform/render_context.h"
#include "scene/camera.h"
#include "scene/scene_light.h"
#include "tests/scene/scene_test_util.h"

namespace {

using scene_test::Bytes;


constexpr float kEps = 1e-4f;

template <typename T>
void Parse(T* target, const Bytes& payload) {
    CMemoryReadStream m(payload.bytes);
    uint32_t read = 0;
    EXPECT_EQ(target->ParseCommand(&m.stream, static_cast<uint32_t>(payload.size()), &read), 0);
    EXPECT_EQ(read, payload.size());
    EXPECT_EQ(m.stream.LogicalPosition(), static_cast<int64_t>(payload.size()));
}

class SceneClock : public ::testing::Test {
protected:
    void SetUp() override {
        g_GameClock = 10000;
        std::memset(g_SaveKey, 0, sizeof g_SaveKey);
    }
    void TearDown() override {
        g_GameClock = 0;
        std::memset(g_SaveKey, 0, sizeof g_SaveKey);
    }
};

using CameraTest = SceneClock;
using LightTest = SceneClock;

// The looking direction is the view's third column, the up vector its second.
SVector3 ViewColumn(int column) {
    const SMatrix& v = g_ShaderContext.view;
    return SVector3{v.m[0][column], v.m[1][column], v.m[2][column]};
}

TEST_F(CameraTest, DefaultLookAndZRotation) {
    CCamera camera;
    EXPECT_EQ(camera.Apply(), 0);
    EXPECT_FLOAT_EQ(g_ShaderContext.eye.z, -1.0f);
    SVector3 look = ViewColumn(2), up = ViewColumn(1);
    EXPECT_NEAR(look.z, 1.0f, kEps);
    EXPECT_NEAR(up.y, 1.0f, kEps);
    EXPECT_NEAR(g_ShaderContext.projection.m[1][1], 1.0f / std::tan(1.0471976f / 2), kEps);
    EXPECT_NEAR(g_ShaderContext.projection.m[0][0], g_ShaderContext.projection.m[1][1] / 1.3333334f, kEps);
    EXPECT_NEAR(g_ShaderContext.projection.m[3][2], -0.1f * 20.0f / 19.9f, kEps);

    // About Z only turns the up vector.
    Parse(&camera, Bytes().Chunk("ANGL", Bytes().U32(0).F32(0).F32(0).F32(1.5707964f)));
    camera.Apply();
    look = ViewColumn(2);
    up = ViewColumn(1);
    EXPECT_NEAR(look.x, 0.0f, kEps);
    EXPECT_NEAR(look.z, 1.0f, kEps);
    EXPECT_NEAR(up.x, -1.0f, kEps);
    EXPECT_NEAR(up.y, 0.0f, kEps);

    // About X and Y: (cos ax sin ay, -sin ax, cos ax cos ay).
    const float ax = 0.3f, ay = -0.8f;
    Parse(&camera, Bytes().Chunk("ANGL", Bytes().U32(0).F32(ax).F32(ay).F32(0.7f)));
    camera.Apply();
    look = ViewColumn(2);
    EXPECT_NEAR(look.x, std::cos(ax) * std::sin(ay), kEps);
    EXPECT_NEAR(look.y, -std::sin(ax), kEps);
    EXPECT_NEAR(look.z, std::cos(ax) * std::cos(ay), kEps);
}

TEST_F(CameraTest, AnimatedEyeRunsFromThePageStartAndFinishes) {
    CCamera camera;
    Bytes keys;
    keys.U32(1).U32(0).U32(2);
    keys.U32(0).F32(0).F32(0).F32(-1);
    keys.U32(1000).F32(0).F32(2).F32(-3);
    Parse(&camera, Bytes().Chunk("POS ", keys).Chunk("JUNK", Bytes().U32(5)));
    EXPECT_EQ(camera.eye.animating, 1u);
    camera.startTime = g_GameClock;
    g_GameClock += 500;
    EXPECT_EQ(camera.Apply(), 1);
    EXPECT_FLOAT_EQ(camera.eye.value.y, 1.0f);
    EXPECT_FLOAT_EQ(camera.eye.value.z, -2.0f);
    g_GameClock += 500;
    EXPECT_EQ(camera.Apply(), 0);
    EXPECT_EQ(camera.eye.animating, 0u);
    EXPECT_FLOAT_EQ(g_ShaderContext.eye.z, -3.0f);

    // Finish jumps to the last key; a field-of-view track without keys keeps its value.
    Parse(&camera, Bytes().Chunk("POS ", keys).Chunk("FOV ", Bytes().U32(1).U32(1).U32(0)));
    EXPECT_EQ(camera.Apply(), 1);  // a keyless animation reports running
    camera.Finish();
    EXPECT_FLOAT_EQ(camera.eye.value.z, -3.0f);
    EXPECT_FLOAT_EQ(camera.fieldOfView.value, 1.0471976f);
    EXPECT_EQ(camera.Apply(), 0);

    // A new static POS removes the keys.
    Parse(&camera, Bytes().Chunk("POS ", Bytes().U32(0).F32(1).F32(2).F32(3)));
    EXPECT_EQ(camera.eye.track.Count(), 0);
    EXPECT_FLOAT_EQ(camera.eye.value.x, 1.0f);
}

TEST_F(CameraTest, SavedFormIs52BytesAndRestoresWithoutMotion) {
    CCamera camera;
    uint32_t size = 0;
    EXPECT_EQ(camera.Save(nullptr, &size), 0);
    EXPECT_EQ(size, 52u);

    for (uint8_t i = 0; i < 32; ++i) g_SaveKey[i] = static_cast<uint8_t>(0x5A + i * 7);
    camera.eye.value = SVector3{1.5f, -2.0f, 3.0f};
    camera.angles.value = SVector3{0.1f, 0.2f, 0.3f};
    camera.fieldOfView.value = 0.9f;
    const std::vector<uint8_t> bytes = scene_test::WrittenBytes([&](CWriteStream* s) {
        uint32_t written = 0;
        camera.Save(s, &written);
        EXPECT_EQ(written, 52u);
    }, 5);
    ASSERT_EQ(bytes.size(), 57u);
    Bytes expected;
    expected.Raw("\0\0\0\0\0", 5);
    expected.Chunk("POS ", Bytes().F32(1.5f).F32(-2.0f).F32(3.0f));
    expected.Chunk("ANGL", Bytes().F32(0.1f).F32(0.2f).F32(0.3f));
    expected.Chunk("FOV ", Bytes().F32(0.9f));
    const std::vector<uint8_t> plain = scene_test::Unscrambled(bytes, g_SaveKey);
    EXPECT_TRUE(std::equal(plain.begin() + 5, plain.end(), expected.bytes.begin() + 5));

    CCamera restored;
    Bytes keys;
    keys.U32(1).U32(0).U32(1).U32(100).F32(9).F32(9).F32(9);
    Parse(&restored, Bytes().Chunk("POS ", keys));
    CMemoryReadStream m(bytes);
    uint8_t skip[5];
    m.stream.Fill(static_cast<uint32_t>(bytes.size()));
    m.stream.Read(skip, 5);
    uint32_t read = 0;
    EXPECT_EQ(restored.Restore(&m.stream, 52, &read), 0);
    EXPECT_EQ(read, 52u);
    EXPECT_EQ(restored.eye.value.x, 1.5f);
    EXPECT_EQ(restored.angles.value.z, 0.3f);
    EXPECT_EQ(restored.fieldOfView.value, 0.9f);
    EXPECT_EQ(restored.eye.animating, 0u);
    EXPECT_EQ(restored.eye.track.Count(), 1);  // the keys stay, but do not run
    EXPECT_EQ(restored.Apply(), 0);
}

TEST_F(CameraTest, DamagedPayloadsAreBoundedAndConsumedWhole) {
    CCamera camera;
    // Key count far above what the payload holds, and a cut-off key.
    Parse(&camera, Bytes().Chunk("POS ", Bytes().U32(1).U32(1).U32(0xFFFFFFFF).U32(0).F32(4).F32(5).F32(6).U32(9)));
    EXPECT_EQ(camera.eye.track.Count(), 1);
    EXPECT_EQ(camera.eye.track.cubic, 1);
    // A short static value: only the whole fields are taken.
    Parse(&camera, Bytes().Chunk("ANGL", Bytes().U32(0).F32(0.5f).Raw("\x01\x02", 2)));
    EXPECT_EQ(camera.angles.value.x, 0.5f);
    EXPECT_EQ(camera.angles.value.y, 0.0f);
    // An empty sub-chunk: static, nothing read.
    Parse(&camera, Bytes().Chunk("FOV ", Bytes()));
    EXPECT_EQ(camera.fieldOfView.animating, 0u);
    // A sub-chunk claiming more than the command holds ends the command.
    Bytes bad;
    bad.Tag("POS ").U32(400).U32(0).F32(7).F32(7).F32(7);
    Parse(&camera, bad);
    EXPECT_NE(camera.eye.value.x, 7.0f);
}

TEST_F(LightTest, DefaultDirectionsAndColours) {
    CSceneLight lights;
    EXPECT_EQ(lights.Apply(), 0);
    EXPECT_NEAR(g_ShaderContext.light1Direction.x, 0.612f, 1e-3f);
    EXPECT_NEAR(g_ShaderContext.light1Direction.y, -0.5f, 1e-3f);
    EXPECT_NEAR(g_ShaderContext.light1Direction.z, 0.612f, 1e-3f);
    EXPECT_NEAR(g_ShaderContext.light2Direction.x, -0.612f, 1e-3f);
    EXPECT_NEAR(g_ShaderContext.light2Direction.z, 0.612f, 1e-3f);
    const SVector4* light2 = g_ShaderContext.params.GetVector("Light2Color");
    ASSERT_NE(light2, nullptr);
    EXPECT_EQ(light2->x + light2->y + light2->z + light2->w, 0.0f);
    const SVector4* ambient = g_ShaderContext.params.GetVector("AmbientLightColor");
    EXPECT_FLOAT_EQ(ambient->x, 0.2f);
}

TEST_F(LightTest, CommandsReplaceKeysKeepAlphaAndLiftTheColourLimit) {
    CSceneLight lights;
    Bytes first;
    first.U32(1).U32(0).U32(2).U32(0).F32(0).F32(0).U32(500).F32(1).F32(1);
    Parse(&lights, Bytes().Chunk("ANG1", first));
    Bytes second;
    second.U32(1).U32(1).U32(2).U32(100).F32(0.25f).F32(0.5f).U32(200).F32(0.75f).F32(1.0f);
    Parse(&lights, Bytes().Chunk("ANG1", second));
    ASSERT_EQ(lights.light1Angles.track.Count(), 2);
    EXPECT_EQ(lights.light1Angles.track.GetKey(0)->time, 100);
    EXPECT_EQ(lights.light1Angles.track.cubic, 1);

    lights.ambient.value.a = 0.25f;
    Parse(&lights, Bytes().Chunk("AMBT", Bytes().U32(0).F32(1).F32(0).F32(0)));
    EXPECT_EQ(lights.ambient.value.r, 1.0f);
    EXPECT_EQ(lights.ambient.value.a, 0.25f);
    EXPECT_EQ(lights.ambient.track.clampFlags, 3u);  // a static colour keeps the limit

    Bytes toTwo;
    toTwo.U32(1).U32(0).U32(2).U32(0).F32(0).F32(0).F32(0).U32(1000).F32(2).F32(2).F32(2);
    Parse(&lights, Bytes().Chunk("COL1", toTwo));
    EXPECT_EQ(lights.light1Colour.track.clampFlags, 0u);
    lights.startTime = g_GameClock;
    g_GameClock += 400;
    EXPECT_EQ(lights.Apply(), 1);
    EXPECT_FLOAT_EQ(lights.light1Colour.value.g, 0.8f);
    g_GameClock += 600;
    lights.Apply();
    EXPECT_FLOAT_EQ(lights.light1Colour.value.r, 2.0f);
    EXPECT_FLOAT_EQ(lights.light1Colour.value.a, 1.0f);
    EXPECT_FLOAT_EQ(g_ShaderContext.params.GetVector("Light1Color")->z, 2.0f);

    // Finish takes every component of the last key, alpha 1.0 included.
    lights.ambient.value.a = 0.5f;
    Bytes ambientKeys;
    ambientKeys.U32(1).U32(0).U32(1).U32(5000).F32(0.3f).F32(0.4f).F32(0.5f);
    Parse(&lights, Bytes().Chunk("AMBT", ambientKeys));
    lights.Finish();
    EXPECT_EQ(lights.ambient.animating, 0u);
    EXPECT_EQ(lights.ambient.value.g, 0.4f);
    EXPECT_EQ(lights.ambient.value.a, 1.0f);
}

TEST_F(LightTest, SavedFormIs92BytesInTheOrderOfTheTable) {
    CSceneLight lights;
    uint32_t size = 0;
    lights.Save(nullptr, &size);
    EXPECT_EQ(size, 92u);
    const std::vector<uint8_t> bytes = scene_test::WrittenBytes([&](CWriteStream* s) {
        uint32_t written = 0;
        lights.Save(s, &written);
    });
    Bytes expected;
    expected.Chunk("AMBT", Bytes().F32(0.2f).F32(0.2f).F32(0.2f));
    expected.Chunk("COL1", Bytes().F32(1).F32(1).F32(1));
    expected.Chunk("ANG1", Bytes().F32(0.5236f).F32(0.7854f));
    expected.Chunk("COL2", Bytes().F32(0).F32(0).F32(0));
    expected.Chunk("ANG2", Bytes().F32(0.5236f).F32(-0.7854f));
    EXPECT_EQ(bytes, expected.bytes);

    CSceneLight restored;
    Bytes saved;
    saved.Chunk("ANG2", Bytes().F32(0.1f).F32(0.2f));
    saved.Chunk("XTRA", Bytes().U32(1));
    saved.Chunk("COL2", Bytes().F32(0.5f).F32(0.6f).F32(0.7f).F32(99.0f));  // longer than saved
    Bytes keys;
    keys.U32(1).U32(0).U32(1).U32(100).F32(0.9f).F32(0.9f);
    Parse(&restored, Bytes().Chunk("ANG2", keys));
    CMemoryReadStream m(saved.bytes);
    uint32_t read = 0;
    EXPECT_EQ(restored.Restore(&m.stream, static_cast<uint32_t>(saved.size()), &read), 0);
    EXPECT_EQ(read, saved.size());
    EXPECT_EQ(restored.light2Angles.value.y, 0.2f);
    EXPECT_EQ(restored.light2Angles.animating, 0u);
    EXPECT_EQ(restored.light2Colour.value.b, 0.7f);
    EXPECT_EQ(restored.light2Colour.value.a, 1.0f);
}

}  // namespace
