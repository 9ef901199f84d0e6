#include "model/model_effect.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

// ---- Parameters ----

struct SEffectParameter {
    enum Kind { kMatrix, kVector, kTexture, kMatrixArray };
    const char* name;
    Kind kind;
    size_t offset;  // of the value in SModelEffectValues
};

namespace {

#define EFFECT_VALUE(member) offsetof(SModelEffectValues, member)

constexpr SEffectParameter kParameters[] = {
    {"WorldViewProjectionMat", SEffectParameter::kMatrix, EFFECT_VALUE(worldViewProjection)},
    {"Diffuse", SEffectParameter::kVector, EFFECT_VALUE(diffuse)},
    {"SurfaceParam", SEffectParameter::kVector, EFFECT_VALUE(surfaceParam)},
    {"CameraPosition", SEffectParameter::kVector, EFFECT_VALUE(cameraPosition)},
    {"AmbientLightColor", SEffectParameter::kVector, EFFECT_VALUE(ambientLightColor)},
    {"Light1Direction", SEffectParameter::kVector, EFFECT_VALUE(light1Direction)},
    {"Light1Color", SEffectParameter::kVector, EFFECT_VALUE(light1Color)},
    {"Light2Direction", SEffectParameter::kVector, EFFECT_VALUE(light2Direction)},
    {"Light2Color", SEffectParameter::kVector, EFFECT_VALUE(light2Color)},
    {"MorphingWeight", SEffectParameter::kVector, EFFECT_VALUE(morphingWeight)},
    {"BlendMatrix", SEffectParameter::kMatrixArray, EFFECT_VALUE(blendMatrix)},
    {"Texture", SEffectParameter::kTexture, EFFECT_VALUE(texture)},
    {"ToonTexture", SEffectParameter::kTexture, EFFECT_VALUE(toonTexture)},
};

constexpr std::array<SEffectParameter, kBlendMatrixCount> MakeBlendMatrixElements() {
    std::array<SEffectParameter, kBlendMatrixCount> elements = {};
    for (uint32_t i = 0; i < kBlendMatrixCount; ++i)
        elements[i] = {"BlendMatrix", SEffectParameter::kMatrix, EFFECT_VALUE(blendMatrix) + i * sizeof(SMatrix)};
    return elements;
}

#undef EFFECT_VALUE

constexpr std::array<SEffectParameter, kBlendMatrixCount> kBlendMatrixElements = MakeBlendMatrixElements();

// ---- What the vertex programs read: the values of one draw, in the form the passes use ----

struct SLight {
    SVector3 toLight;  // unit vector towards the light (zero: no light)
    SVector3 colour;
    float luminance;
};

struct SFrame {
    SMatrix worldViewProjection;
    SVector4 material;  // "Diffuse"
    float emissive, specular, power, edgeSize;
    SVector3 eye;  // object space
    SVector3 ambient;
    float ambientLuminance;
    SLight lights[2];
    SVector3 toonHue;  // the combined colour of the lights divided by their luminance
    float morphWeight;
};

SVector3 Xyz(const SVector4& v) { return {v.x, v.y, v.z}; }

SVector3 Add(const SVector3& a, const SVector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

SVector3 Scale(const SVector3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }

SLight MakeLight(const SVector4& direction, const SVector4& colour) {
    const SVector3 towards = {-direction.x, -direction.y, -direction.z};
    SLight light;
    Vec3Normalize(&light.toLight, &towards);
    light.colour = Xyz(colour);
    light.luminance = colour.w;
    return light;
}

SFrame MakeFrame(const SModelEffectValues& v) {
    SFrame f;
    f.worldViewProjection = v.worldViewProjection;
    f.material = v.diffuse;
    f.emissive = v.surfaceParam.x;
    f.specular = v.surfaceParam.y;
    f.power = std::max(v.surfaceParam.z, 1.0f);  // a highlight power below 1 would light the whole side
    f.edgeSize = v.surfaceParam.w;
    f.eye = Xyz(v.cameraPosition);
    f.ambient = Xyz(v.ambientLightColor);
    f.ambientLuminance = v.ambientLightColor.w;
    f.lights[0] = MakeLight(v.light1Direction, v.light1Color);
    f.lights[1] = MakeLight(v.light2Direction, v.light2Color);
    const float luminance = f.ambientLuminance + f.lights[0].luminance + f.lights[1].luminance;
    const SVector3 sum = Add(f.ambient, Add(f.lights[0].colour, f.lights[1].colour));
    f.toonHue = luminance > 0.0f ? Scale(sum, 1.0f / luminance) : SVector3{1.0f, 1.0f, 1.0f};
    f.morphWeight = v.morphingWeight.x;
    return f;
}

// ---- Vertex fetch: morphing and skinning ----

// A vertex in object space after morphing and skinning.
struct SPosed {
    SVector3 position;
    SVector3 normal;  // unit length (zero when it had none)
    float colour[4];
    float uv[2];
};

// One input of the vertex program, resolved once per draw: float elements are read in place,
// others (colours as bytes) through ReadElement; a missing one reads (0, 0, 0, 1).
class CInput {
public:
    CInput() = default;
    CInput(const SVertexStreams& streams, const SVertexElement* element) : streams_(&streams), element_(element) {
        if (!element || element->type > DeclType::Float4) return;
        floats_ = element->type - DeclType::Float1 + 1;
        base_ = streams.data[element->stream] + element->offset;
        stride_ = streams.stride[element->stream];
    }
    void Read(uint32_t vertex, float out[4]) const {
        if (!base_) {
            ReadElement(*streams_, element_, vertex, out);
            return;
        }
        out[1] = out[2] = 0.0f;
        out[3] = 1.0f;
        std::memcpy(out, base_ + static_cast<size_t>(vertex) * stride_, floats_ * sizeof(float));
    }

private:
    const SVertexStreams* streams_ = nullptr;
    const SVertexElement* element_ = nullptr;
    const uint8_t* base_ = nullptr;
    uint32_t stride_ = 0;
    uint32_t floats_ = 0;
};

struct SInputs {
    CInput position, normal, colour, uv, indices, weights, targetPosition, targetNormal;
};

SInputs FindInputs(const SVertexStreams& s) {
    const CVertexDeclaration& d = *s.declaration;
    return {CInput(s, d.Find(DeclUsage::Position, 0)),     CInput(s, d.Find(DeclUsage::Normal, 0)),
            CInput(s, d.Find(DeclUsage::Color, 0)),        CInput(s, d.Find(DeclUsage::TexCoord, 0)),
            CInput(s, d.Find(DeclUsage::BlendIndices, 0)), CInput(s, d.Find(DeclUsage::BlendWeight, 0)),
            CInput(s, d.Find(DeclUsage::Position, 1)),     CInput(s, d.Find(DeclUsage::Normal, 1))};
}

// (x, y, z, w) times the matrix's rows.
SVector3 Transform(const float (&v)[4], const SMatrix& m) {
    SVector3 out;
    out.x = v[0] * m.m[0][0] + v[1] * m.m[1][0] + v[2] * m.m[2][0] + v[3] * m.m[3][0];
    out.y = v[0] * m.m[0][1] + v[1] * m.m[1][1] + v[2] * m.m[2][1] + v[3] * m.m[3][1];
    out.z = v[0] * m.m[0][2] + v[1] * m.m[1][2] + v[2] * m.m[2][2] + v[3] * m.m[3][2];
    return out;
}

SPosed Pose(const SInputs& in, uint32_t vertex, float morphWeight, bool morphing, const SMatrix* palette) {
    float position[4], normal[4], indices[4], weights[4], uv[4];
    SPosed out;
    in.position.Read(vertex, position);
    in.normal.Read(vertex, normal);
    in.colour.Read(vertex, out.colour);
    in.indices.Read(vertex, indices);
    in.weights.Read(vertex, weights);
    in.uv.Read(vertex, uv);
    out.uv[0] = uv[0];
    out.uv[1] = uv[1];
    if (morphing) {
        float targetPosition[4], targetNormal[4];
        in.targetPosition.Read(vertex, targetPosition);
        in.targetNormal.Read(vertex, targetNormal);
        for (int c = 0; c < 3; ++c) {
            position[c] += (targetPosition[c] - position[c]) * morphWeight;
            normal[c] += (targetNormal[c] - normal[c]) * morphWeight;
        }
    }
    position[3] = 1.0f;
    normal[3] = 0.0f;
    SVector3 p = {0, 0, 0}, n = {0, 0, 0};
    for (int j = 0; j < 4; ++j) {
        // A slot outside the palette (or not a number) contributes nothing.
        if (weights[j] == 0.0f || !(indices[j] >= 0.0f && indices[j] < static_cast<float>(kBlendMatrixCount))) continue;
        const SMatrix& m = palette[static_cast<uint32_t>(indices[j])];
        p = Add(p, Scale(Transform(position, m), weights[j]));
        n = Add(n, Scale(Transform(normal, m), weights[j]));
    }
    out.position = p;
    Vec3Normalize(&out.normal, &n);
    return out;
}

// ---- Passes: what each writes for its vertices ----

using PassProgram = void (*)(const SFrame& f, const SPosed* v, uint32_t count, SShadedVertex* out);

void Place(const SFrame& f, const SVector3& p, SShadedVertex* out) {
    SVector4 clip;
    Vec3Transform(&clip, &p, &f.worldViewProjection);
    out->position[0] = clip.x;
    out->position[1] = clip.y;
    out->position[2] = clip.z;
    out->position[3] = clip.w;
}

// The lit surface colour (material times vertex colour times light), its coordinates, no
// highlight.
void Paint(const SFrame& f, const SPosed& v, const SVector3& light, SShadedVertex* out) {
    out->diffuse[0] = f.material.x * v.colour[0] * light.x;
    out->diffuse[1] = f.material.y * v.colour[1] * light.y;
    out->diffuse[2] = f.material.z * v.colour[2] * light.z;
    out->diffuse[3] = f.material.w * v.colour[3];
    out->specular[0] = out->specular[1] = out->specular[2] = 0.0f;
    out->texCoord[0][0] = v.uv[0];
    out->texCoord[0][1] = v.uv[1];
    out->texCoord[1][0] = out->texCoord[1][1] = 0.0f;
}

float Facing(const SVector3& normal, const SLight& light) { return Vec3Dot(&normal, &light.toLight); }

// Ambient, emissive and the two lights, each weighted by `shape` of its facing.
template <class Shape>
SVector3 Light(const SFrame& f, const SVector3& normal, Shape shape) {
    SVector3 sum = Add(f.ambient, {f.emissive, f.emissive, f.emissive});
    for (const SLight& light : f.lights) sum = Add(sum, Scale(light.colour, shape(Facing(normal, light))));
    return sum;
}

float Lambert(float facing) { return std::max(facing, 0.0f); }

// Wrapped ("half") Lambert: light reaches round the sides, so skin and cloth look soft.
float SoftLambert(float facing) {
    const float wrapped = 0.5f * facing + 0.5f;
    return wrapped * wrapped;
}

// Blinn-Phong highlights of both lights into the specular colour.
void AddHighlight(const SFrame& f, const SPosed& v, SShadedVertex* out) {
    SVector3 toEye = {f.eye.x - v.position.x, f.eye.y - v.position.y, f.eye.z - v.position.z};
    Vec3Normalize(&toEye, &toEye);
    for (const SLight& light : f.lights) {
        if (Facing(v.normal, light) <= 0.0f) continue;
        SVector3 half = Add(light.toLight, toEye);
        Vec3Normalize(&half, &half);
        const float strength = f.specular * std::pow(std::max(Vec3Dot(&v.normal, &half), 0.0f), f.power);
        out->specular[0] += light.colour.x * strength;
        out->specular[1] += light.colour.y * strength;
        out->specular[2] += light.colour.z * strength;
    }
}

// Pass 0: the surface's own colour, unlit.
void ShadeFlat(const SFrame& f, const SPosed* v, uint32_t count, SShadedVertex* out) {
    for (uint32_t i = 0; i < count; ++i) {
        Place(f, v[i].position, &out[i]);
        Paint(f, v[i], {1.0f, 1.0f, 1.0f}, &out[i]);
    }
}

// Pass 1: diffuse light.
void ShadeDiffuse(const SFrame& f, const SPosed* v, uint32_t count, SShadedVertex* out) {
    for (uint32_t i = 0; i < count; ++i) {
        Place(f, v[i].position, &out[i]);
        Paint(f, v[i], Light(f, v[i].normal, Lambert), &out[i]);
    }
}

// Pass 2: diffuse light with highlights.
void ShadeGlossy(const SFrame& f, const SPosed* v, uint32_t count, SShadedVertex* out) {
    for (uint32_t i = 0; i < count; ++i) {
        Place(f, v[i].position, &out[i]);
        Paint(f, v[i], Light(f, v[i].normal, Lambert), &out[i]);
        AddHighlight(f, v[i], &out[i]);
    }
}

// Pass 3: soft wrapped light with highlights.
void ShadeSoft(const SFrame& f, const SPosed* v, uint32_t count, SShadedVertex* out) {
    for (uint32_t i = 0; i < count; ++i) {
        Place(f, v[i].position, &out[i]);
        Paint(f, v[i], Light(f, v[i].normal, SoftLambert), &out[i]);
        AddHighlight(f, v[i], &out[i]);
    }
}

// The largest toon-ramp coordinate: the ramp's last texel, never wrapping round to its first.
constexpr float kToonRampEnd = 0.999f;

// Pass 4: toon shading. The brightness the lights give (their luminances) picks a texel along
// the first row of the toon ramp, dark at the left, lit at the right; the lights' combined hue
// tints the surface.
void ShadeToon(const SFrame& f, const SPosed* v, uint32_t count, SShadedVertex* out) {
    for (uint32_t i = 0; i < count; ++i) {
        Place(f, v[i].position, &out[i]);
        Paint(f, v[i], f.toonHue, &out[i]);
        float brightness = f.ambientLuminance + f.emissive;
        for (const SLight& light : f.lights) brightness += light.luminance * Lambert(Facing(v[i].normal, light));
        out[i].texCoord[1][0] = std::clamp(brightness, 0.0f, kToonRampEnd);
    }
}

// The outline: the mesh pushed out along its normals by the edge size, in the edge colour. Drawn
// with clockwise faces culled, only the inside of the enlarged shell shows, round the model.
void ShadeEdge(const SFrame& f, const SPosed* v, uint32_t count, SShadedVertex* out) {
    for (uint32_t i = 0; i < count; ++i) {
        Place(f, Add(v[i].position, Scale(v[i].normal, f.edgeSize)), &out[i]);
        const float colour[4] = {f.material.x, f.material.y, f.material.z, f.material.w};
        std::copy(colour, colour + 4, out[i].diffuse);
        std::fill(out[i].specular, out[i].specular + 3, 0.0f);
        out[i].texCoord[0][0] = out[i].texCoord[0][1] = out[i].texCoord[1][0] = out[i].texCoord[1][1] = 0.0f;
    }
}

// What a pass sets on the device besides its vertex program.
struct SPixelStates {
    bool textured;  // stage 0: texture times diffuse colour (else the diffuse colour)
    bool toon;      // stage 1: times the toon ramp
    bool specular;  // the highlight is added
};

}  // namespace

struct SEffectPass {
    PassProgram program;
    SPixelStates pixels;
};

struct SEffectTechnique {
    const char* name;
    bool morphing;
    const SEffectPass* passes;
    uint32_t passCount;
};

namespace {

constexpr SEffectPass kMainPasses[] = {
    {ShadeFlat, {true, false, false}},   {ShadeDiffuse, {true, false, false}}, {ShadeGlossy, {true, false, true}},
    {ShadeSoft, {true, false, true}},    {ShadeToon, {true, true, false}},
};
constexpr SEffectPass kEdgePasses[] = {{ShadeEdge, {false, false, false}}};

constexpr SEffectTechnique kTechniques[] = {
    {"ShaderTechnique", false, kMainPasses, 5},
    {"MorphingShaderTechnique", true, kMainPasses, 5},
    {"EdgeShader", false, kEdgePasses, 1},
    {"MorphingEdgeShader", true, kEdgePasses, 1},
};

constexpr uint32_t kVerticesPerBlock = 64;

constexpr TexStage kSavedStages[6] = {TexStage::ColorOp, TexStage::ColorArg1, TexStage::ColorArg2,
                                      TexStage::AlphaOp, TexStage::AlphaArg1, TexStage::AlphaArg2};

void SetStage(CGraphicsDevice* d, uint32_t stage, uint32_t op, uint32_t arg1, uint32_t arg2) {
    d->SetTextureStageState(stage, TexStage::ColorOp, op);
    d->SetTextureStageState(stage, TexStage::ColorArg1, arg1);
    d->SetTextureStageState(stage, TexStage::ColorArg2, arg2);
}

void SetAlphaStage(CGraphicsDevice* d, uint32_t stage, uint32_t op, uint32_t arg1, uint32_t arg2) {
    d->SetTextureStageState(stage, TexStage::AlphaOp, op);
    d->SetTextureStageState(stage, TexStage::AlphaArg1, arg1);
    d->SetTextureStageState(stage, TexStage::AlphaArg2, arg2);
}

}  // namespace

// ---- The vertex stage ----

void CModelEffect::CVertexProgram::ShadeVertices(const SVertexStreams& streams, uint32_t first, uint32_t count,
                                                 SShadedVertex* out) {
    const SEffectTechnique& t = *technique;
    const SFrame frame = MakeFrame(effect->values_);
    const SInputs inputs = FindInputs(streams);
    SPosed block[kVerticesPerBlock];
    for (uint32_t done = 0; done < count;) {
        const uint32_t n = std::min(kVerticesPerBlock, count - done);
        for (uint32_t i = 0; i < n; ++i)
            block[i] = Pose(inputs, first + done + i, frame.morphWeight, t.morphing, effect->values_.blendMatrix);
        t.passes[pass].program(frame, block, n, out + done);
        done += n;
    }
}

// ---- The effect ----

CModelEffect::CModelEffect(CGraphicsDevice* device) : device_(device) {
    program_.effect = this;
    for (SMatrix& m : values_.blendMatrix) MatrixIdentity(&m);
    MatrixIdentity(&values_.worldViewProjection);
}

CModelEffect::~CModelEffect() {
    if (values_.texture) values_.texture->Release();
    if (values_.toonTexture) values_.toonTexture->Release();
    for (CTexture* t : saved_states_.textures)
        if (t) t->Release();
}

int32_t CModelEffect::Create(CGraphicsDevice* device, CModelEffect** effect) {
    if (!effect) return -1;
    *effect = device ? new (std::nothrow) CModelEffect(device) : nullptr;
    return *effect ? 0 : -1;
}

void CModelEffect::Release() { delete this; }

EffectTechnique CModelEffect::GetTechniqueByName(const char* name) const {
    if (!name) return nullptr;
    for (const SEffectTechnique& t : kTechniques)
        if (std::strcmp(t.name, name) == 0) return &t;
    return nullptr;
}

int32_t CModelEffect::ValidateTechnique(EffectTechnique technique) const { return technique ? 0 : -1; }

EffectParameter CModelEffect::GetParameterByName(EffectParameter parent, const char* name) const {
    if (parent || !name) return nullptr;  // no parameter of this effect has members
    for (const SEffectParameter& p : kParameters)
        if (std::strcmp(p.name, name) == 0) return &p;
    return nullptr;
}

EffectParameter CModelEffect::GetParameterElement(EffectParameter parameter, uint32_t index) const {
    if (!parameter || parameter->kind != SEffectParameter::kMatrixArray || index >= kBlendMatrixCount) return nullptr;
    return &kBlendMatrixElements[index];
}

int32_t CModelEffect::SetTechnique(EffectTechnique technique) {
    if (!technique || begun_) return -1;
    technique_ = technique;
    return 0;
}

int32_t CModelEffect::Begin(uint32_t* passes, uint32_t flags) {
    if (!technique_ || begun_) return -1;
    if (passes) *passes = technique_->passCount;
    saved_ = !(flags & kEffectDoNotSaveState);
    if (saved_) SaveStates();
    begun_ = true;
    return 0;
}

int32_t CModelEffect::Pass(uint32_t pass) {
    if (!begun_ || pass >= technique_->passCount) return -1;
    const SPixelStates& s = technique_->passes[pass].pixels;
    if (s.textured) {
        SetStage(device_, 0, TexOp::Modulate, TexArg::Texture, TexArg::Diffuse);
        SetAlphaStage(device_, 0, TexOp::Modulate, TexArg::Texture, TexArg::Diffuse);
    } else {
        SetStage(device_, 0, TexOp::SelectArg1, TexArg::Diffuse, TexArg::Current);
        SetAlphaStage(device_, 0, TexOp::SelectArg1, TexArg::Diffuse, TexArg::Current);
    }
    device_->SetTexture(0, s.textured ? values_.texture : nullptr);
    if (s.toon) {
        SetStage(device_, 1, TexOp::Modulate, TexArg::Texture, TexArg::Current);
        SetAlphaStage(device_, 1, TexOp::SelectArg2, TexArg::Texture, TexArg::Current);
    } else {
        SetStage(device_, 1, TexOp::Disable, TexArg::Texture, TexArg::Current);
        SetAlphaStage(device_, 1, TexOp::Disable, TexArg::Texture, TexArg::Current);
    }
    device_->SetTexture(1, s.toon ? values_.toonTexture : nullptr);
    device_->SetRenderState(RenderState::SpecularEnable, s.specular ? 1 : 0);
    program_.technique = technique_;
    program_.pass = pass;
    device_->SetVertexShader(&program_);
    return 0;
}

int32_t CModelEffect::End() {
    if (!begun_) return -1;
    if (saved_) RestoreStates();
    begun_ = false;
    return 0;
}

void CModelEffect::SaveStates() {
    SSavedStates& s = saved_states_;
    for (uint32_t stage = 0; stage < 2; ++stage) {
        for (int i = 0; i < 6; ++i) s.stage[stage][i] = device_->GetTextureStageState(stage, kSavedStages[i]);
        if (s.textures[stage]) s.textures[stage]->Release();
        s.textures[stage] = device_->GetTexture(stage);
        if (s.textures[stage]) s.textures[stage]->AddRef();
    }
    s.specular = device_->GetRenderState(RenderState::SpecularEnable);
    s.shader = device_->GetVertexShader();
}

void CModelEffect::RestoreStates() {
    SSavedStates& s = saved_states_;
    for (uint32_t stage = 0; stage < 2; ++stage) {
        for (int i = 0; i < 6; ++i) device_->SetTextureStageState(stage, kSavedStages[i], s.stage[stage][i]);
        device_->SetTexture(stage, s.textures[stage]);
        if (s.textures[stage]) s.textures[stage]->Release();
        s.textures[stage] = nullptr;
    }
    device_->SetRenderState(RenderState::SpecularEnable, s.specular);
    device_->SetVertexShader(s.shader);
}

namespace {

template <typename T>
T* ValueAt(SModelEffectValues& values, EffectParameter p) {
    return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(&values) + p->offset);
}

template <typename T>
const T* ValueAt(const SModelEffectValues& values, EffectParameter p) {
    return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(&values) + p->offset);
}

}  // namespace

int32_t CModelEffect::SetMatrix(EffectParameter parameter, const SMatrix* value) {
    if (!parameter || !value || parameter->kind != SEffectParameter::kMatrix) return -1;
    *ValueAt<SMatrix>(values_, parameter) = *value;
    return 0;
}

int32_t CModelEffect::SetVector(EffectParameter parameter, const SVector4* value) {
    if (!parameter || !value || parameter->kind != SEffectParameter::kVector) return -1;
    *ValueAt<SVector4>(values_, parameter) = *value;
    return 0;
}

int32_t CModelEffect::SetTexture(EffectParameter parameter, CTexture* texture) {
    if (!parameter || parameter->kind != SEffectParameter::kTexture) return -1;
    CTexture*& slot = *ValueAt<CTexture*>(values_, parameter);
    if (texture) texture->AddRef();
    if (slot) slot->Release();
    slot = texture;
    return 0;
}

int32_t CModelEffect::GetMatrix(EffectParameter parameter, SMatrix* value) const {
    if (!parameter || !value || parameter->kind != SEffectParameter::kMatrix) return -1;
    *value = *ValueAt<SMatrix>(values_, parameter);
    return 0;
}

int32_t CModelEffect::GetVector(EffectParameter parameter, SVector4* value) const {
    if (!parameter || !value || parameter->kind != SEffectParameter::kVector) return -1;
    *value = *ValueAt<SVector4>(values_, parameter);
    return 0;
}

int32_t CModelEffect::GetTexture(EffectParameter parameter, CTexture** texture) const {
    if (!parameter || !texture || parameter->kind != SEffectParameter::kTexture) return -1;
    *texture = *ValueAt<CTexture*>(values_, parameter);
    return 0;
}
