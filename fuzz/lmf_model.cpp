// .lmf models from any bytes, loaded with a headless device; a model that loads must keep the
// loader's promises (every index in range, an acyclic hierarchy, keys in frame order) and is
// then posed at a few frames and blends picked by the input's last bytes. Its textures together
// stay within the allowance of the input's size.
#include "model/lmf_model.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/graphics.h"
#include "tools/lib/memory_stream.h"

namespace {

CGraphicsDevice* Device() {
    static CGraphicsDevice* device = CGraphicsDevice::Create(SDeviceParams{16, 16, false, nullptr, nullptr});
    return device;
}

void CheckPromises(const CLmfModel& model) {
    const size_t nodeCount = model.nodes.size();
    auto nodeOk = [&](uint16_t n) { return nodeCount == 0 || n == kLmfNone || n < nodeCount; };
    for (const CLmfLayer& layer : model.layers) {
        if (!nodeOk(layer.ownNode)) __builtin_trap();
        for (const CLmfPaletteSlot& slot : layer.palette)
            if (!nodeOk(slot.node)) __builtin_trap();
        for (const CLmfMesh& mesh : layer.meshes) {
            if (mesh.surface >= model.surfaces.size() || mesh.indices.size() % 3 != 0) __builtin_trap();
            for (uint16_t index : mesh.indices)
                if (index >= mesh.vertices.size()) __builtin_trap();
            for (const SLmfVertex& v : mesh.vertices)
                for (float index : v.blendIndices)
                    if (!(index >= 0.0f && index < static_cast<float>(kLmfPaletteSlots))) __builtin_trap();
        }
    }
    for (const CLmfNode& node : model.nodes) {
        if (node.parentIndex != kLmfNone && node.parent != &model.nodes[node.parentIndex]) __builtin_trap();
        for (const CLmfChannel& channel : node.channels)
            for (size_t k = 1; k < channel.keys.size(); ++k)
                if (channel.keys[k].frame <= channel.keys[k - 1].frame) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CStreamCallbacks callbacks;
    void* source = NewMemorySource(data, size, &callbacks);
    CLmfModel model;
    if (model.LoadStream(Device(), callbacks, source) != 0) {
        if (!model.layers.empty() || !model.nodes.empty() || !model.surfaces.empty()) __builtin_trap();
        return 0;
    }
    CheckPromises(model);
    // The textures never take more than the input's bytes allow.
    uint64_t textureBytes = 0;
    for (const CLmfSurface& surface : model.surfaces)
        for (const CLmfTexture* texture : {&surface.texture, &surface.toon})
            if (texture->texture != nullptr)
                textureBytes += uint64_t{texture->texture->Width()} * texture->texture->Height() * 4;
    if (textureBytes > LmfTextureAllowance(size)) __builtin_trap();
    int32_t frames[4] = {0, 0, 0, 0};
    if (size >= 16) std::memcpy(frames, data + size - 16, 16);
    model.ApplyMotion(frames[0], frames[1], static_cast<uint32_t>(frames[2]) % 4, frames[3]);
    model.ApplyMotion(frames[1], frames[0], 0, frames[2]);
    model.ApplyBlendMotion(frames[0], frames[3], frames[2] & 0xFF, frames[1] & 0x3F);
    for (uint32_t base = 0; base < model.layers.size() && base < 8; ++base)
        for (uint32_t target = 0; target < model.layers.size() && target < 8; ++target) model.CanMorph(base, target);
    return 0;
}
