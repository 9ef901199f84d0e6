// The model's side of drawing: its meshes and surfaces as the mesh drawing reads them, and the
// skinning palette of a layer from the nodes' skinning matrices.
#include <vector>

#include "model/lmf_model.h"
#include "model/model_draw.h"

namespace {

SModelSurface DrawSurface(const CLmfSurface& s) {
    SModelSurface out;
    out.shadingType = s.shadingType;
    out.blendMode = s.blendMode;
    out.diffuse = s.diffuse;
    out.emissive = s.emissive;
    out.specular = s.specular;
    out.power = s.power;
    out.twoSided = s.twoSided;
    out.texture = s.texture.texture;
    out.toonTexture = s.toon.texture;
    out.edgeColour = s.edgeColour;
    out.edgeSize = s.edgeSize;
    return out;
}

// The views of one layer's meshes, each with its surface as the drawing reads it (a morph
// target's meshes lend only their vertices, so they need no surfaces).
struct SLayerView {
    std::vector<SModelSurface> surfaces;
    std::vector<SModelMesh> meshes;

    SLayerView(const CLmfModel& model, const CLmfLayer& layer, bool withSurfaces) {
        const size_t count = layer.meshes.size();
        if (withSurfaces) surfaces.reserve(count);
        meshes.reserve(count);
        for (const CLmfMesh& m : layer.meshes) {
            const SModelSurface* surface = nullptr;
            if (withSurfaces) surface = &surfaces.emplace_back(DrawSurface(model.surfaces[m.surface]));
            meshes.push_back({m.vertices.data(), m.VertexCount(), m.indices.data(), m.TriangleCount(), surface});
        }
    }
};

void UploadPalette(const CLmfModel& model, const CLmfLayer& layer, CShaderContext& context) {
    const auto skinningOf = [&model](uint16_t node) -> const SMatrix* {
        return node < model.nodes.size() ? &model.nodes[node].skinning : nullptr;
    };
    UploadLayerPalette(context, layer.ownNode, layer.ownSlot, layer.palette, skinningOf);
}

}  // namespace

int32_t CLmfModel::DrawLayer(CGraphicsDevice* device, uint32_t layer, CShaderContext& context, const SColorF* colour,
                             uint32_t edge) {
    if (layer >= layers.size()) return -1;
    UploadPalette(*this, layers[layer], context);
    const SLayerView view(*this, layers[layer], true);
    return DrawModelMeshes(device, context, view.meshes.data(), static_cast<uint32_t>(view.meshes.size()), nullptr,
                           colour, edge);
}

int32_t CLmfModel::DrawMorphLayer(CGraphicsDevice* device, uint32_t base, uint32_t target, CShaderContext& context,
                                  const SVector3& weights, const SColorF* colour, uint32_t edge) {
    if (base >= layers.size() || target >= layers.size()) return -1;
    UploadPalette(*this, layers[base], context);
    const SLayerView view(*this, layers[base], true);
    const SLayerView targetView(*this, layers[target], false);
    const SMorphTarget morph{targetView.meshes.data(), static_cast<uint32_t>(targetView.meshes.size()), weights};
    return DrawModelMeshes(device, context, view.meshes.data(), static_cast<uint32_t>(view.meshes.size()), &morph,
                           colour, edge);
}
