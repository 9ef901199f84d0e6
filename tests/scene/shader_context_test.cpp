#include "model/shader_context.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::FieldsAre;
using ::testing::FloatEq;
using ::testing::FloatNear;

constexpr float kEps = 1e-5f;

TEST(ShaderContext, LightColoursCarryTheirLuminance) {
    CShaderContext context;
    context.SetAmbientLight({1, 1, 1});
    ASSERT_NE(context.params.GetVector("AmbientLightColor"), nullptr);
    EXPECT_THAT(*context.params.GetVector("AmbientLightColor"), FieldsAre(1.0f, 1.0f, 1.0f, FloatNear(1.0f, kEps)));
    context.SetLight2({0, 0, 1}, {0, 1, 0});
    ASSERT_NE(context.params.GetVector("Light2Color"), nullptr);
    EXPECT_THAT(*context.params.GetVector("Light2Color"), FieldsAre(0.0f, 1.0f, 0.0f, FloatEq(0.5866f)));
    EXPECT_EQ(context.params.GetVector("Light1Color"), nullptr);
}

TEST(ShaderContext, LightDirectionsFollowTheModelsRotationNotItsPosition) {
    CShaderContext context;
    const auto direction = [&] { return *context.params.GetVector("Light1Direction"); };
    context.SetLight1({0, 0, 2}, {1, 1, 1});
    const auto normalised = FieldsAre(FloatNear(0, kEps), FloatNear(0, kEps), FloatNear(1, kEps), 0.0f);
    EXPECT_THAT(direction(), normalised);

    SMatrix moved;
    MatrixTranslation(&moved, 5, -3, 2);
    context.SetWorld(moved);
    EXPECT_THAT(direction(), normalised);

    // The model turned +Z towards +X, so in its own space the light comes from -X.
    SMatrix turned;
    MatrixRotationY(&turned, 1.5707964f);
    context.SetWorld(turned);
    EXPECT_THAT(direction(), FieldsAre(FloatNear(-1, kEps), FloatNear(0, kEps), FloatNear(0, kEps), 0.0f));
}

TEST(ShaderContext, CameraSetsViewProductAndObjectSpaceEye) {
    CShaderContext context;
    MatrixPerspectiveFovLH(&context.projection, 1.0f, 4.0f / 3.0f, 0.1f, 20.0f);
    SMatrix world;
    MatrixTranslation(&world, 1, 0, 0);
    context.SetWorld(world);
    context.SetCamera({0, 0, -1}, {0, 0, 0}, {0, 1, 0});

    SMatrix expected;
    MatrixMultiply(&expected, &context.world, &context.view);
    MatrixMultiply(&expected, &expected, &context.projection);
    const SMatrix* wvp = context.params.GetMatrix("WorldViewProjectionMat");
    ASSERT_NE(wvp, nullptr);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(wvp->m[r][c], expected.m[r][c]);

    // The eye seen from a model moved one unit to the right.
    ASSERT_NE(context.params.GetVector("CameraPosition"), nullptr);
    EXPECT_THAT(*context.params.GetVector("CameraPosition"), FieldsAre(FloatEq(-1), FloatNear(0, kEps), FloatEq(-1), 0.0f));

    // A flattened model cannot be inverted: the values stay finite (world space).
    SMatrix flat;
    MatrixScaling(&flat, 0, 1, 1);
    context.SetWorld(flat);
    EXPECT_FLOAT_EQ(context.params.GetVector("CameraPosition")->z, -1.0f);
}

}  // namespace
