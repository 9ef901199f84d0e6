#include "model/shader_context.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "platform/graphics_3d.h"
#include "tests/support/graphics_support.h"

namespace {

using ::testing::FieldsAre;
using ::testing::FloatEq;
using ::testing::FloatNear;

constexpr float kEps = 1e-5f;

class ShaderContextTest : public ::testing::Test {
protected:
    void SetUp() override {
        device_ = MakeTestDevice(8, 8);
        ASSERT_EQ(context_.Create(device_), 0);
    }
    void TearDown() override {
        context_.Release();
        device_->Release();
    }
    SVector4 Vector(EffectParameter parameter) const {
        SVector4 value = {};
        EXPECT_EQ(context_.effect->GetVector(parameter, &value), 0);
        return value;
    }

    CGraphicsDevice* device_ = nullptr;
    CShaderContext context_;
};

TEST_F(ShaderContextTest, CreationValidatesEveryTechniqueAndFindsEveryHandle) {
    const SShaderHandles& h = context_.handles;
    for (EffectTechnique t : {h.shaderTechnique, h.morphingShaderTechnique, h.edgeShader, h.morphingEdgeShader}) {
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(context_.effect->ValidateTechnique(t), 0);
    }
    for (EffectParameter p : {h.worldViewProjection, h.diffuse, h.surfaceParam, h.cameraPosition, h.ambientLightColor,
                              h.light1Direction, h.light1Color, h.light2Direction, h.light2Color, h.morphingWeight,
                              h.texture, h.toonTexture})
        EXPECT_NE(p, nullptr);
    const std::set<EffectParameter> palette(std::begin(h.blendMatrix), std::end(h.blendMatrix));
    EXPECT_EQ(palette.size(), kBlendMatrixCount);
    EXPECT_EQ(palette.count(nullptr), 0u);
    const EffectParameter array = context_.effect->GetParameterByName(nullptr, "BlendMatrix");
    EXPECT_EQ(context_.effect->GetParameterElement(array, kBlendMatrixCount), nullptr);
    SMatrix m;
    MatrixIdentity(&m);
    EXPECT_EQ(context_.effect->SetMatrix(array, &m), -1) << "the array as a whole takes no matrix";
    EXPECT_EQ(context_.effect->GetTechniqueByName("NoSuchTechnique"), nullptr);
    EXPECT_NE(context_.skinnedDeclaration, nullptr);
    ASSERT_NE(context_.morphingDeclaration, nullptr);
    EXPECT_NE(context_.morphingDeclaration->Find(DeclUsage::Normal, 1), nullptr);

    context_.Release();
    EXPECT_EQ(context_.effect, nullptr);
    EXPECT_EQ(context_.handles.diffuse, nullptr);
    context_.SetAmbientLight({1, 1, 1});  // without an effect nothing is uploaded, nothing fails
    EXPECT_EQ(context_.Create(nullptr), -1);
}

TEST_F(ShaderContextTest, LightColoursCarryTheirLuminance) {
    context_.SetAmbientLight({1, 1, 1});
    EXPECT_THAT(Vector(context_.handles.ambientLightColor), FieldsAre(1.0f, 1.0f, 1.0f, FloatNear(1.0f, kEps)));
    context_.SetLight2({0, 0, 1}, {0, 1, 0});
    EXPECT_THAT(Vector(context_.handles.light2Color), FieldsAre(0.0f, 1.0f, 0.0f, FloatEq(0.5866f)));
}

TEST_F(ShaderContextTest, LightDirectionsFollowTheModelsRotationNotItsPosition) {
    const auto direction = [&] { return Vector(context_.handles.light1Direction); };
    context_.SetLight1({0, 0, 2}, {1, 1, 1});
    const auto normalised = FieldsAre(FloatNear(0, kEps), FloatNear(0, kEps), FloatNear(1, kEps), 0.0f);
    EXPECT_THAT(direction(), normalised);

    SMatrix moved;
    MatrixTranslation(&moved, 5, -3, 2);
    context_.SetWorld(moved);
    EXPECT_THAT(direction(), normalised);

    // The model turned +Z towards +X, so in its own space the light comes from -X.
    SMatrix turned;
    MatrixRotationY(&turned, 1.5707964f);
    context_.SetWorld(turned);
    EXPECT_THAT(direction(), FieldsAre(FloatNear(-1, kEps), FloatNear(0, kEps), FloatNear(0, kEps), 0.0f));
}

TEST_F(ShaderContextTest, CameraSetsViewProductAndObjectSpaceEye) {
    MatrixPerspectiveFovLH(&context_.projection, 1.0f, 4.0f / 3.0f, 0.1f, 20.0f);
    SMatrix world;
    MatrixTranslation(&world, 1, 0, 0);
    context_.SetWorld(world);
    context_.SetCamera({0, 0, -1}, {0, 0, 0}, {0, 1, 0});

    SMatrix expected, wvp;
    MatrixMultiply(&expected, &context_.world, &context_.view);
    MatrixMultiply(&expected, &expected, &context_.projection);
    ASSERT_EQ(context_.effect->GetMatrix(context_.handles.worldViewProjection, &wvp), 0);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(wvp.m[r][c], expected.m[r][c]);

    // The eye seen from a model moved one unit to the right.
    EXPECT_THAT(Vector(context_.handles.cameraPosition), FieldsAre(FloatEq(-1), FloatNear(0, kEps), FloatEq(-1), 0.0f));

    // A flattened model cannot be inverted: the values stay finite (world space).
    SMatrix flat;
    MatrixScaling(&flat, 0, 1, 1);
    context_.SetWorld(flat);
    EXPECT_FLOAT_EQ(Vector(context_.handles.cameraPosition).z, -1.0f);
}

TEST_F(ShaderContextTest, SurfaceAndEdgeParametersShareSurfaceParamWithoutOverwritingEachOther) {
    CTexture* colourTexture = MakeTestTexture(device_, 4, 4, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    CTexture* toon = MakeTestTexture(device_, 4, 1, [](uint32_t x, uint32_t) { return 0xFF000000u | x; });
    SModelSurface s;
    s.diffuse = {0.5f, 1.0f, 0.25f, 0.8f};
    s.emissive = 0.1f, s.specular = 0.2f, s.power = 8.0f;
    s.texture = colourTexture;
    s.toonTexture = toon;
    s.twoSided = 0x100;  // only the low byte counts: one-sided

    context_.SetEdgeParams({0.1f, 0.2f, 0.3f, 0.0f}, 0.05f);
    EXPECT_THAT(Vector(context_.handles.diffuse), FieldsAre(0.1f, 0.2f, 0.3f, 1.0f));
    const SColorF fade = {1.0f, 0.5f, 1.0f, 0.5f};
    context_.SetSurface(s, &fade);
    EXPECT_THAT(Vector(context_.handles.diffuse), FieldsAre(0.5f, 0.5f, 0.25f, 0.4f));
    EXPECT_THAT(Vector(context_.handles.surfaceParam), FieldsAre(0.1f, 0.2f, 8.0f, 0.05f));
    EXPECT_EQ(device_->GetRenderState(RenderState::CullMode), Cull::CCW);
    CTexture* bound = nullptr;
    context_.effect->GetTexture(context_.handles.toonTexture, &bound);
    EXPECT_EQ(bound, nullptr) << "only shading type 4 binds the toon ramp";
    context_.effect->GetTexture(context_.handles.texture, &bound);
    EXPECT_EQ(bound, colourTexture);

    s.shadingType = 4;
    s.twoSided = 1;
    s.texture = nullptr;
    context_.SetSurface(s, nullptr);
    EXPECT_THAT(Vector(context_.handles.diffuse), FieldsAre(0.5f, 1.0f, 0.25f, 0.8f));
    EXPECT_EQ(device_->GetRenderState(RenderState::CullMode), Cull::None);
    context_.effect->GetTexture(context_.handles.toonTexture, &bound);
    EXPECT_EQ(bound, toon);
    context_.effect->GetTexture(context_.handles.texture, &bound);
    EXPECT_EQ(bound, nullptr);
    context_.SetEdgeParams({0, 0, 0, 0}, 0.02f);
    EXPECT_THAT(Vector(context_.handles.surfaceParam), FieldsAre(0.1f, 0.2f, 8.0f, 0.02f));
    colourTexture->Release();
    toon->Release();
}

}  // namespace
