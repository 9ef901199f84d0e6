// Drawing a model's meshes through the shader context: the skinning palette of a layer, then
// for each mesh an edge pass and a main pass, skinned or morphed towards another layer's
// meshes. The device's culling and blend states are left as the drawing found them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

#include "model/shader_context.h"
#include "platform/graphics.h"

constexpr uint16_t kModelNoNode = 0xFFFF;  // "no node" and "no slot" in palette records
constexpr uint32_t kModelBlendModeCount = 7;

// A mesh as the drawing reads it, in the caller's memory.
struct SModelMesh {
    const void* vertices;  // vertexCount vertices of kModelVertexSize bytes
    uint32_t vertexCount;
    const uint16_t* indices;  // three per triangle
    uint32_t triangleCount;
    const SModelSurface* surface;
};

// The target of a morphing draw: meshes matched one by one with the drawn meshes, and the
// weights ("MorphingWeight" x, y, z; the effect blends by the first).
struct SMorphTarget {
    const SModelMesh* meshes;
    uint32_t meshCount;
    SVector3 weights;
};

// Source and destination blend of a surface blend mode 0-6; other modes change nothing. The
// mode also sets the alpha's own pair, which counts while alpha blends separately, as in the
// model target: the normal mode adds its coverage (ONE, INVSRCALPHA), the others keep the
// coverage there was (ZERO, ONE).
void SetModelBlendMode(CGraphicsDevice* device, uint32_t mode);

// True for the surface blend modes that weigh what lies beneath by its colour (2-6): they need
// the scene itself beneath them, not a transparent target.
bool ModelBlendWeighsBeneath(uint32_t mode);

struct SRenderStateValue {
    RenderState state;
    uint32_t value;
};

// Saves render states at construction and puts them back at destruction, on every way out. It
// holds at most kMaxStates; each list given to it is a constant checked against that bound.
class CRenderStateScope {
public:
    static constexpr size_t kMaxStates = 8;
    CRenderStateScope(CGraphicsDevice* device, std::span<const RenderState> states);
    // Saves the states, then gives each its value.
    CRenderStateScope(CGraphicsDevice* device, std::span<const SRenderStateValue> settings);
    ~CRenderStateScope();
    CRenderStateScope(const CRenderStateScope&) = delete;
    CRenderStateScope& operator=(const CRenderStateScope&) = delete;

private:
    void Save(RenderState state);

    CGraphicsDevice* device_;
    size_t count_ = 0;
    RenderState states_[kMaxStates];
    uint32_t values_[kMaxStates];
};

// Saves the states a model draw changes, culling and the blend pairs (the alpha's own pair
// included), and puts them back on every way out of the draw.
class CModelRenderStates : public CRenderStateScope {
public:
    explicit CModelRenderStates(CGraphicsDevice* device) : CRenderStateScope(device, kStates) {}

private:
    static constexpr RenderState kStates[] = {RenderState::CullMode, RenderState::SrcBlend, RenderState::DestBlend,
                                              RenderState::SrcBlendAlpha, RenderState::DestBlendAlpha};
    static_assert(std::size(kStates) <= kMaxStates);
};

// Uploads a layer's skinning palette. The layer matrix is the skinning matrix of its own node
// (identity when ownNode is kModelNoNode or skinningOf gives none); it goes to ownSlot when that
// is below 80. Then each record {node, slot}: slot kModelNoNode is skipped, slots of 80 and
// above upload nothing, a record without a node (kModelNoNode, or none from skinningOf, as in a
// model without nodes) gets the layer matrix, any other the node's skinning matrix.
// skinningOf(node) returns the node's matrix or null.
template <class Records, class SkinningOf>
void UploadLayerPalette(CShaderContext& context, uint16_t ownNode, uint16_t ownSlot, const Records& records,
                        SkinningOf&& skinningOf) {
    SMatrix layer;
    MatrixIdentity(&layer);
    if (ownNode != kModelNoNode)
        if (const SMatrix* own = skinningOf(ownNode)) layer = *own;
    context.SetBlendMatrix(ownSlot, layer);
    for (const auto& record : records) {
        if (record.slot == kModelNoNode) continue;
        const SMatrix* node = record.node == kModelNoNode ? nullptr : skinningOf(record.node);
        context.SetBlendMatrix(record.slot, node ? *node : layer);
    }
}

// Draws the meshes: with edge 1, the edge pass of every mesh whose surface has an edge size,
// then the main pass of every mesh (its blend mode, surface and shading type's pass). The
// surface colour is multiplied by `colour` when given. With a morph target the morphing
// techniques blend each mesh towards the target's mesh of the same number. Returns 0, or -1
// (drawing nothing) when the target lacks a mesh or one has another vertex count. The culling
// and blend states are restored either way.
int32_t DrawModelMeshes(CGraphicsDevice* device, CShaderContext& context, const SModelMesh* meshes, uint32_t count,
                        const SMorphTarget* target, const SColorF* colour, uint32_t edge);
