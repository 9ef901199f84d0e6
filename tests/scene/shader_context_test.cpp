#include "model/shader_context.h"

#include <gtest/gtest.h>

namespace {

constexpr float kEps = 1e-5f;

TEST(ShaderContext, LightColoursCarryTheirLuminance) {
    CShaderContext context;
    context.SetAmbientLight({1, 1, 1});
    const SVector4* ambient = context.params.GetVector("AmbientLightColor");
    ASSERT_NE(ambient, nullptr);
    EXPECT_NEAR(ambient->w, 1.0f, kEps);
    EXPECT_FLOAT_EQ(ambient->x, 1.0f);

    context.SetLight2({0, 0, 1}, {0, 1, 0});
    const SVector4* colour = context.params.GetVector("Light2Color");
    ASSERT_NE(colour, nullptr);
    EXPECT_FLOAT_EQ(colour->w, 0.5866f);
    EXPECT_EQ(context.params.GetVector("Light1Color"), nullptr);
}

TEST(ShaderContext, LightDirectionsFollowTheModelsRotationNotItsPosition) {
    CShaderContext context;
    context.SetLight1({0, 0, 2}, {1, 1, 1});
    const SVector4 start = *context.params.GetVector("Light1Direction");
    EXPECT_NEAR(start.z, 1.0f, kEps);  // normalised
    EXPECT_EQ(start.w, 0.0f);

    SMatrix moved;
    MatrixTranslation(&moved, 5, -3, 2);
    context.SetWorld(moved);
    const SVector4 afterMove = *context.params.GetVector("Light1Direction");
    EXPECT_NEAR(afterMove.x, start.x, kEps);
    EXPECT_NEAR(afterMove.y, start.y, kEps);
    EXPECT_NEAR(afterMove.z, start.z, kEps);

    SMatrix turned;
    MatrixRotationY(&turned, 1.5707964f);
    context.SetWorld(turned);
    const SVector4 afterTurn = *context.params.GetVector("Light1Direction");
    // The model turned +Z towards +X, so in its own space the light comes from -X.
    EXPECT_NEAR(afterTurn.x, -1.0f, kEps);
    EXPECT_NEAR(afterTurn.z, 0.0f, kEps);
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

    const SVector4* eye = context.params.GetVector("CameraPosition");
    ASSERT_NE(eye, nullptr);
    EXPECT_FLOAT_EQ(eye->x, -1.0f);  // the eye seen from a model moved one unit to the right
    EXPECT_FLOAT_EQ(eye->z, -1.0f);
    EXPECT_EQ(eye->w, 0.0f);

    // A flattened model cannot be inverted: the values stay finite (world space).
    SMatrix flat;
    MatrixScaling(&flat, 0, 1, 1);
    context.SetWorld(flat);
    EXPECT_FLOAT_EQ(context.params.GetVector("CameraPosition")->z, -1.0f);
}

}  // namespace
