#include "model/shader_context.h"

#include <array>
#include <cstddef>
#include <initializer_list>
#include <utility>

#include "platform/graphics_3d.h"

CShaderContext g_ShaderContext;

int32_t CreateModelEffect(CGraphicsDevice* device, CPlatformWindow*) { return g_ShaderContext.Create(device); }

void ReleaseModelEffect() { g_ShaderContext.Release(); }

namespace {

SVector4 ColourWithLuminance(const SVector3& c) {
    return SVector4{c.x, c.y, c.z, 0.2989f * c.x + 0.5866f * c.y + 0.1145f * c.z};
}

// The six elements of the 80-byte model vertex on stream 0, then the end (skinned), or the
// morph target's position and normal on stream 1 and the end (morphing).
constexpr SVertexElement kVertexElements[] = {
    {0, 0, DeclType::Float3, kDeclMethodDefault, DeclUsage::Position, 0},
    {0, 12, DeclType::Float3, kDeclMethodDefault, DeclUsage::Normal, 0},
    {0, 24, DeclType::Float4, kDeclMethodDefault, DeclUsage::Color, 0},
    {0, 40, DeclType::Float2, kDeclMethodDefault, DeclUsage::TexCoord, 0},
    {0, 48, DeclType::Float4, kDeclMethodDefault, DeclUsage::BlendIndices, 0},
    {0, 64, DeclType::Float4, kDeclMethodDefault, DeclUsage::BlendWeight, 0},
    {1, 0, DeclType::Float3, kDeclMethodDefault, DeclUsage::Position, 1},
    {1, 12, DeclType::Float3, kDeclMethodDefault, DeclUsage::Normal, 1},
};

template <size_t Count>
constexpr std::array<SVertexElement, Count + 1> Declaration() {
    std::array<SVertexElement, Count + 1> list = {};
    for (size_t i = 0; i < Count; ++i) list[i] = kVertexElements[i];
    list[Count] = kDeclEnd;
    return list;
}

constexpr auto kSkinnedElements = Declaration<6>();
constexpr auto kMorphingElements = Declaration<8>();

template <typename T>
void ReleaseHeld(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

}  // namespace

CShaderContext::CShaderContext() {
    MatrixIdentity(&world);
    MatrixIdentity(&view);
    MatrixIdentity(&projection);
}

CShaderContext::~CShaderContext() { Release(); }

int32_t CShaderContext::Create(CGraphicsDevice* graphicsDevice) {
    Release();
    device = graphicsDevice;
    if (!device || device->CreateVertexDeclaration(kSkinnedElements.data(), &skinnedDeclaration) != 0 ||
        device->CreateVertexDeclaration(kMorphingElements.data(), &morphingDeclaration) != 0)
        return -1;
    if (CModelEffect::Create(device, &effect) != 0) return -1;
    SShaderHandles& h = handles;
    for (auto [slot, name] : {std::pair{&h.shaderTechnique, "ShaderTechnique"},
                              std::pair{&h.morphingShaderTechnique, "MorphingShaderTechnique"},
                              std::pair{&h.edgeShader, "EdgeShader"},
                              std::pair{&h.morphingEdgeShader, "MorphingEdgeShader"}}) {
        *slot = effect->GetTechniqueByName(name);
        if (effect->ValidateTechnique(*slot) != 0) return -1;
    }
    for (auto [slot, name] : {std::pair{&h.worldViewProjection, "WorldViewProjectionMat"},
                              std::pair{&h.diffuse, "Diffuse"},
                              std::pair{&h.surfaceParam, "SurfaceParam"},
                              std::pair{&h.cameraPosition, "CameraPosition"},
                              std::pair{&h.ambientLightColor, "AmbientLightColor"},
                              std::pair{&h.light1Direction, "Light1Direction"},
                              std::pair{&h.light1Color, "Light1Color"},
                              std::pair{&h.light2Direction, "Light2Direction"},
                              std::pair{&h.light2Color, "Light2Color"},
                              std::pair{&h.morphingWeight, "MorphingWeight"}})
        *slot = effect->GetParameterByName(nullptr, name);
    const EffectParameter palette = effect->GetParameterByName(nullptr, "BlendMatrix");
    for (uint32_t i = 0; i < kBlendMatrixCount; ++i) h.blendMatrix[i] = effect->GetParameterElement(palette, i);
    h.texture = effect->GetParameterByName(nullptr, "Texture");
    h.toonTexture = effect->GetParameterByName(nullptr, "ToonTexture");
    return 0;
}

void CShaderContext::Release() {
    ReleaseHeld(skinnedDeclaration);
    ReleaseHeld(morphingDeclaration);
    ReleaseHeld(effect);
    handles = {};
}

void CShaderContext::UploadMatrix(EffectParameter parameter, const SMatrix& value) {
    if (effect) effect->SetMatrix(parameter, &value);
}

void CShaderContext::UploadVector(EffectParameter parameter, const SVector4& value) {
    if (effect) effect->SetVector(parameter, &value);
}

SVector4 CShaderContext::UploadedVector(EffectParameter parameter) const {
    SVector4 value = {0.0f, 0.0f, 0.0f, 0.0f};
    if (effect) effect->GetVector(parameter, &value);
    return value;
}

// A world matrix that cannot be inverted (a zero scale) carries nothing into object space:
// the world-space values are used unchanged instead of garbage.
SMatrix CShaderContext::InverseWorld() const {
    SMatrix inverse;
    if (MatrixInverse(&inverse, nullptr, &world) == nullptr) MatrixIdentity(&inverse);
    return inverse;
}

void CShaderContext::UpdateWorldViewProj() {
    SMatrix product;
    MatrixMultiply(&product, &world, &view);
    MatrixMultiply(&product, &product, &projection);
    UploadMatrix(handles.worldViewProjection, product);
}

void CShaderContext::UpdateCameraPosition() {
    const SMatrix inverse = InverseWorld();
    SVector4 position;
    Vec3Transform(&position, &eye, &inverse);
    position.w = 0.0f;
    UploadVector(handles.cameraPosition, position);
}

void CShaderContext::SetCamera(const SVector3& eyePosition, const SVector3& lookAt, const SVector3& up) {
    eye = eyePosition;
    MatrixLookAtLH(&view, &eye, &lookAt, &up);
    UpdateWorldViewProj();
    UpdateCameraPosition();
}

void CShaderContext::SetWorld(const SMatrix& matrix) {
    world = matrix;
    UpdateWorldViewProj();
    UpdateCameraPosition();
    UpdateLight1Direction();
    UpdateLight2Direction();
}

namespace {

SVector4 ObjectSpaceDirection(const SVector3& direction, const SMatrix& inverseWorld) {
    SVector3 local;
    Vec3TransformNormal(&local, &direction, &inverseWorld);
    SVector4 result{local.x, local.y, local.z, 0.0f};
    Vec4Normalize(&result, &result);
    return result;
}

}  // namespace

void CShaderContext::UpdateLight1Direction() {
    UploadVector(handles.light1Direction, ObjectSpaceDirection(light1Direction, InverseWorld()));
}

void CShaderContext::UpdateLight2Direction() {
    UploadVector(handles.light2Direction, ObjectSpaceDirection(light2Direction, InverseWorld()));
}

void CShaderContext::SetAmbientLight(const SVector3& colour) {
    UploadVector(handles.ambientLightColor, ColourWithLuminance(colour));
}

void CShaderContext::SetLight1(const SVector3& direction, const SVector3& colour) {
    light1Direction = direction;
    UpdateLight1Direction();
    UploadVector(handles.light1Color, ColourWithLuminance(colour));
}

void CShaderContext::SetLight2(const SVector3& direction, const SVector3& colour) {
    light2Direction = direction;
    UpdateLight2Direction();
    UploadVector(handles.light2Color, ColourWithLuminance(colour));
}

void CShaderContext::SetSurface(const SModelSurface& s, const SColorF* colour) {
    const SColorF& d = s.diffuse;
    UploadVector(handles.diffuse, colour ? SVector4{d.r * colour->r, d.g * colour->g, d.b * colour->b, d.a * colour->a}
                                         : SVector4{d.r, d.g, d.b, d.a});
    // The edge size in w belongs to the edge passes: it stays as they left it.
    UploadVector(handles.surfaceParam, {s.emissive, s.specular, s.power, UploadedVector(handles.surfaceParam).w});
    if (effect) {
        effect->SetTexture(handles.texture, s.texture);
        if (s.shadingType == 4) effect->SetTexture(handles.toonTexture, s.toonTexture);
    }
    if (device) device->SetRenderState(RenderState::CullMode, (s.twoSided & 0xFF) == 0 ? Cull::CCW : Cull::None);
}

void CShaderContext::SetEdgeParams(const SColorF& colour, float size) {
    UploadVector(handles.diffuse, {colour.r, colour.g, colour.b, 1.0f});
    SVector4 surface = UploadedVector(handles.surfaceParam);
    surface.w = size;
    UploadVector(handles.surfaceParam, surface);
}

void CShaderContext::SetBlendMatrix(uint32_t slot, const SMatrix& matrix) {
    if (slot < kBlendMatrixCount) UploadMatrix(handles.blendMatrix[slot], matrix);
}

void CShaderContext::SetMorphingWeight(const SVector4& weights) { UploadVector(handles.morphingWeight, weights); }
