#include "model/model_draw.h"

#include "platform/graphics_3d.h"

namespace {

struct SModelBlend {
    uint32_t source, destination;            // the colour's factors
    uint32_t sourceAlpha, destinationAlpha;  // the coverage's, while alpha blends separately
};

// Only the normal mode covers what lies beneath it; the others add light or weigh what lies
// beneath by colour, and leave the coverage as it was.
constexpr SModelBlend kBlendModes[kModelBlendModeCount] = {
    {Blend::SrcAlpha, Blend::InvSrcAlpha, Blend::One, Blend::InvSrcAlpha},
    {Blend::SrcAlpha, Blend::One, Blend::Zero, Blend::One},
    {Blend::DestColor, Blend::Zero, Blend::Zero, Blend::One},
    {Blend::InvDestColor, Blend::InvSrcColor, Blend::Zero, Blend::One},
    {Blend::One, Blend::InvSrcColor, Blend::Zero, Blend::One},
    {Blend::Zero, Blend::InvSrcColor, Blend::Zero, Blend::One},
    {Blend::DestColor, Blend::One, Blend::Zero, Blend::One},
};

struct SPassChoice {
    EffectTechnique technique;
    CVertexDeclaration* declaration;
    uint32_t pass;
};

// Binds the mesh (and its morph target's mesh on stream 1), runs the pass and draws it. A pass
// the technique lacks draws nothing.
void DrawMesh(CGraphicsDevice* device, CShaderContext& context, const SModelMesh& mesh, const SModelMesh* target,
              const SPassChoice& choice, uint32_t cull) {
    CModelEffect& effect = *context.effect;
    effect.SetTechnique(choice.technique);
    device->SetVertexDeclaration(choice.declaration);
    uint32_t passes = 0;
    if (effect.Begin(&passes, 0) != 0) return;
    if (effect.Pass(choice.pass) == 0) {
        if (cull != 0) device->SetRenderState(RenderState::CullMode, cull);
        device->SetStreamSourceMemory(0, mesh.vertices, mesh.vertexCount * kModelVertexSize, kModelVertexSize);
        if (target)
            device->SetStreamSourceMemory(1, target->vertices, target->vertexCount * kModelVertexSize, kModelVertexSize);
        device->SetIndicesMemory(mesh.indices, mesh.triangleCount * 3);
        device->DrawIndexedPrimitive(Primitive::TriangleList, 0, 0, mesh.vertexCount, 0, mesh.triangleCount);
    }
    effect.End();
}

bool TargetMatches(const SModelMesh* meshes, uint32_t count, const SMorphTarget* target) {
    if (!target) return true;
    if (target->meshCount < count) return false;
    for (uint32_t i = 0; i < count; ++i)
        if (target->meshes[i].vertexCount != meshes[i].vertexCount) return false;
    return true;
}

}  // namespace

void SetModelBlendMode(CGraphicsDevice* device, uint32_t mode) {
    if (mode >= kModelBlendModeCount) return;
    const SModelBlend& blend = kBlendModes[mode];
    device->SetRenderState(RenderState::SrcBlend, blend.source);
    device->SetRenderState(RenderState::DestBlend, blend.destination);
    device->SetRenderState(RenderState::SrcBlendAlpha, blend.sourceAlpha);
    device->SetRenderState(RenderState::DestBlendAlpha, blend.destinationAlpha);
}

bool ModelBlendWeighsBeneath(uint32_t mode) { return mode >= 2 && mode < kModelBlendModeCount; }

CRenderStateScope::CRenderStateScope(CGraphicsDevice* device, std::span<const RenderState> states)
    : device_(device) {
    for (const RenderState state : states) Save(state);
}

CRenderStateScope::CRenderStateScope(CGraphicsDevice* device, std::span<const SRenderStateValue> settings)
    : device_(device) {
    for (const SRenderStateValue& setting : settings) {
        Save(setting.state);
        device->SetRenderState(setting.state, setting.value);
    }
}

void CRenderStateScope::Save(RenderState state) {
    if (count_ == kMaxStates) return;
    states_[count_] = state;
    values_[count_++] = device_->GetRenderState(state);
}

CRenderStateScope::~CRenderStateScope() {
    for (size_t i = count_; i-- > 0;) device_->SetRenderState(states_[i], values_[i]);
}

int32_t DrawModelMeshes(CGraphicsDevice* device, CShaderContext& context, const SModelMesh* meshes, uint32_t count,
                        const SMorphTarget* target, const SColorF* colour, uint32_t edge) {
    const CModelRenderStates states(device);
    if (!TargetMatches(meshes, count, target)) return -1;
    if (!context.effect) return 0;
    const SShaderHandles& h = context.handles;
    if (target) context.SetMorphingWeight({target->weights.x, target->weights.y, target->weights.z, 0.0f});
    const auto targetMesh = [&](uint32_t i) { return target ? &target->meshes[i] : nullptr; };
    if (edge == 1) {
        const SPassChoice choice = {target ? h.morphingEdgeShader : h.edgeShader,
                                    target ? context.morphingDeclaration : context.skinnedDeclaration, 0};
        for (uint32_t i = 0; i < count; ++i) {
            const SModelSurface& s = *meshes[i].surface;
            if (s.edgeSize == 0.0f) continue;
            context.SetEdgeParams(s.edgeColour, s.edgeSize);
            DrawMesh(device, context, meshes[i], targetMesh(i), choice, Cull::CW);
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        const SModelSurface& s = *meshes[i].surface;
        SetModelBlendMode(device, s.blendMode);
        context.SetSurface(s, colour);
        const SPassChoice choice = {target ? h.morphingShaderTechnique : h.shaderTechnique,
                                    target ? context.morphingDeclaration : context.skinnedDeclaration, s.shadingType};
        DrawMesh(device, context, meshes[i], targetMesh(i), choice, 0);
    }
    // The meshes' memory belongs to the caller: the device keeps no pointer into it.
    device->SetStreamSourceMemory(0, nullptr, 0, 0);
    device->SetStreamSourceMemory(1, nullptr, 0, 0);
    device->SetIndicesMemory(nullptr, 0);
    return 0;
}
