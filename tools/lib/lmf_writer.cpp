#include "tools/lib/lmf_writer.h"

#include "tools/lib/chunk_writer.h"

namespace {

using Writer = CChunkWriter;

void Foreign(Writer& w, const std::vector<SLmfForeignChunk>& chunks) {
    for (const SLmfForeignChunk& chunk : chunks) w.Chunk(chunk.tag, chunk.payload.data(), chunk.payload.size());
}

void U16Chunk(Writer& w, const char* tag, uint16_t v) {
    w.Header(tag, 2);
    w.U16(v);
}

void F32Chunk(Writer& w, const char* tag, const float* v, int n) {
    w.Header(tag, static_cast<uint32_t>(4 * n));
    for (int i = 0; i < n; ++i) w.F32(v[i]);
}

void NameChunk(Writer& w, const std::string& name) {
    if (!name.empty()) w.CStringChunk("NAME", name);
}

// A count chunk and one record chunk per element, when there are elements.
template <typename Record, typename WriteRecord>
void Records(Writer& w, const char* countTag, const char* recordTag, const std::vector<Record>& records,
             WriteRecord&& write) {
    if (records.empty()) return;
    U16Chunk(w, countTag, static_cast<uint16_t>(records.size()));
    for (const Record& record : records) {
        w.Begin(recordTag);
        write(record);
        w.End();
    }
}

void Mesh(Writer& w, const SLmfMeshData& mesh) {
    Foreign(w, mesh.foreign);
    U16Chunk(w, "VTXN", static_cast<uint16_t>(mesh.vertices.size()));
    w.Begin("VTEX");
    for (const SLmfVertexData& v : mesh.vertices) {
        for (const float* field : {v.position, v.normal}) w.Bytes(field, 12);
        w.Bytes(v.colour, 16);
        w.Bytes(v.uv, 8);
        w.Bytes(v.blendIndices, 16);
        w.Bytes(v.blendWeights, 16);
    }
    w.End();
    U16Chunk(w, "POLN", static_cast<uint16_t>(mesh.indices.size() / 3));
    w.Begin("POLY");
    for (uint16_t index : mesh.indices) w.U16(index);
    w.End();
    U16Chunk(w, "SFNO", mesh.surface);
}

void Layer(Writer& w, const SLmfLayerData& layer) {
    Foreign(w, layer.foreign);
    NameChunk(w, layer.name);
    F32Chunk(w, "BBOX", layer.box, 6);
    w.U32Chunk("SHOW", layer.show);
    Records(w, "MESN", "MESH", layer.meshes, [&](const SLmfMeshData& mesh) { Mesh(w, mesh); });
    Records(w, "BONN", "BONE", layer.bones, [&](const SLmfBoneData& bone) {
        Foreign(w, bone.foreign);
        NameChunk(w, bone.name);
        F32Chunk(w, "RSTP", bone.restPosition, 3);
        F32Chunk(w, "RSTD", bone.restDirection, 3);
        F32Chunk(w, "RSTL", &bone.restLength, 1);
        U16Chunk(w, "MTNO", bone.node);
    });
    if (layer.ownNode) U16Chunk(w, "LMNO", *layer.ownNode);
    if (layer.ownSlot) U16Chunk(w, "LVSC", *layer.ownSlot);
    Records(w, "MOTN", "MTNO", layer.palette, [&](const SLmfPaletteData& slot) {
        U16Chunk(w, "MTNO", slot.node);
        U16Chunk(w, "VSCN", slot.slot);
    });
}

void Channel(Writer& w, const char* tag, const SLmfChannelData& channel) {
    if (channel.keys.empty() && channel.pre == 0 && channel.post == 0 && channel.foreign.empty()) return;
    w.Begin(tag);
    Foreign(w, channel.foreign);
    U16Chunk(w, "KEYN", static_cast<uint16_t>(channel.keys.size()));
    w.Begin("KEY ");
    for (const SLmfKeyData& key : channel.keys) {
        w.F32(key.value);
        w.I32(key.frame);
        w.U16(key.shape);
        for (float p : key.params) w.F32(p);
    }
    w.End();
    U16Chunk(w, "PRE ", channel.pre);
    U16Chunk(w, "POST", channel.post);
    w.End();
}

void Node(Writer& w, const SLmfNodeData& node) {
    static const char* const kChannelTags[9] = {"TRSX", "TRSY", "TRSZ", "ROTX", "ROTY", "ROTZ", "SCLX", "SCLY", "SCLZ"};
    Foreign(w, node.foreign);
    F32Chunk(w, "IRMT", node.inverseRest, 16);
    for (int c = 0; c < 9; ++c) Channel(w, kChannelTags[c], node.channels[c]);
    F32Chunk(w, "PIVT", node.pivot, 3);
    if (node.parent) U16Chunk(w, "PARN", *node.parent);
}

void Texture(Writer& w, const char* tag, const SLmfTextureData& texture) {
    if (texture.width == 0 && texture.height == 0 && !texture.placeholder) return;
    w.Begin(tag);
    Foreign(w, texture.foreign);
    w.Header("SIZE", 8);
    w.I32(texture.width);
    w.I32(texture.height);
    w.Begin("TEX ");
    for (uint32_t pixel : texture.pixels) w.U32(pixel);
    w.End();
    w.End();
}

void Surface(Writer& w, const SLmfSurfaceData& surface) {
    Foreign(w, surface.foreign);
    NameChunk(w, surface.name);
    w.U32Chunk("STYP", surface.shadingType);
    w.U32Chunk("BLDM", surface.blendMode);
    F32Chunk(w, "DIFF", surface.diffuse, 4);
    F32Chunk(w, "EMSV", &surface.emissive, 1);
    F32Chunk(w, "SPEC", &surface.specular, 1);
    F32Chunk(w, "POWR", &surface.power, 1);
    w.U32Chunk("SIDE", surface.twoSided);
    Texture(w, "TEX ", surface.texture);
    Texture(w, "TTEX", surface.toon);
    F32Chunk(w, "EDGC", surface.edgeColour, 4);
    F32Chunk(w, "EDGS", &surface.edgeSize, 1);
}

}  // namespace

std::vector<uint8_t> BuildLmf(const SLmfModelData& model) {
    Writer w(Writer::TagOrder::Reversed);
    w.Tag("LMD3");
    w.U32(0);  // the body size, patched below
    Foreign(w, model.foreign);
    Records(w, "LYRN", "LYER", model.layers, [&](const SLmfLayerData& layer) { Layer(w, layer); });
    Records(w, "MOTN", "MOTI", model.nodes, [&](const SLmfNodeData& node) { Node(w, node); });
    Records(w, "SRFN", "SURF", model.surfaces, [&](const SLmfSurfaceData& surface) { Surface(w, surface); });
    // A light group's chunks follow its LIGT header, which the size covers.
    Records(w, "LITN", "LIGT", model.lightGroups,
            [&](const std::vector<SLmfForeignChunk>& chunks) { Foreign(w, chunks); });
    Records(w, "CAMN", "CAM ", model.cameras, [&](const SLmfCameraData& camera) {
        Foreign(w, camera.foreign);
        NameChunk(w, camera.name);
        F32Chunk(w, "FOVY", &camera.fovY, 1);
        U16Chunk(w, "MTNO", camera.node);
    });
    std::vector<uint8_t> bytes = w.Data();
    const uint32_t body = static_cast<uint32_t>(bytes.size() - 8);
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<uint8_t>(body >> (8 * i));
    return bytes;
}
