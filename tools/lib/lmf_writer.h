// Writes .lmf model files from a plain description: the chunks with their tags reversed, count
// chunks before the records they count, and any foreign chunks a test or sample asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A chunk the reader does not know, written at the start of its record.
struct SLmfForeignChunk {
    std::string tag;  // four characters
    std::vector<uint8_t> payload;
};

struct SLmfVertexData {
    float position[3] = {};
    float normal[3] = {};
    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float uv[2] = {};
    float blendIndices[4] = {};
    float blendWeights[4] = {1.0f, 0.0f, 0.0f, 0.0f};
};

struct SLmfMeshData {
    std::vector<SLmfVertexData> vertices;
    std::vector<uint16_t> indices;  // three per triangle
    uint16_t surface = 0;
    std::vector<SLmfForeignChunk> foreign;
};

struct SLmfBoneData {
    std::string name;
    float restPosition[3] = {};
    float restDirection[3] = {};
    float restLength = 0.0f;
    uint16_t node = 0;
    std::vector<SLmfForeignChunk> foreign;
};

struct SLmfPaletteData {
    uint16_t node = 0;  // 0xFFFF: the layer's own matrix
    uint16_t slot = 0;  // 0xFFFF: skipped; 80 and above: nothing uploaded
};

struct SLmfLayerData {
    std::string name;  // written with its terminating zero
    float box[6] = {};
    uint32_t show = 1;
    std::vector<SLmfMeshData> meshes;
    std::vector<SLmfBoneData> bones;
    std::optional<uint16_t> ownNode;  // no LMNO chunk when empty
    std::optional<uint16_t> ownSlot;  // no LVSC chunk when empty
    std::vector<SLmfPaletteData> palette;
    std::vector<SLmfForeignChunk> foreign;
};

struct SLmfKeyData {
    float value = 0.0f;
    int32_t frame = 0;
    uint16_t shape = 3;
    float params[6] = {};
};

struct SLmfChannelData {
    std::vector<SLmfKeyData> keys;  // no channel chunk at all when empty and both behaviours are 0
    uint16_t pre = 0;
    uint16_t post = 0;
    std::vector<SLmfForeignChunk> foreign;
};

struct SLmfNodeData {
    float inverseRest[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    SLmfChannelData channels[9];  // position x y z, rotation x y z, scale x y z
    float pivot[3] = {};
    std::optional<uint16_t> parent;  // no PARN chunk when empty
    std::vector<SLmfForeignChunk> foreign;
};

struct SLmfTextureData {
    int32_t width = 0;  // 0 x 0: the surface has no such texture, unless `placeholder`
    int32_t height = 0;
    std::vector<uint32_t> pixels;  // width x height, 0xAARRGGBB, top row first
    std::vector<SLmfForeignChunk> foreign;
    bool placeholder = false;  // 0 x 0 written all the same, as some files carry it
};

struct SLmfSurfaceData {
    std::string name;
    uint32_t shadingType = 0;
    uint32_t blendMode = 0;
    float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float emissive = 0.0f;
    float specular = 0.0f;
    float power = 0.0f;
    uint32_t twoSided = 0;
    SLmfTextureData texture;
    SLmfTextureData toon;
    float edgeColour[4] = {};
    float edgeSize = 0.0f;
    std::vector<SLmfForeignChunk> foreign;
};

struct SLmfCameraData {
    std::string name;
    float fovY = 0.0f;
    uint16_t node = 0;
    std::vector<SLmfForeignChunk> foreign;
};

struct SLmfModelData {
    std::vector<SLmfLayerData> layers;
    std::vector<SLmfNodeData> nodes;
    std::vector<SLmfSurfaceData> surfaces;
    std::vector<SLmfCameraData> cameras;
    std::vector<std::vector<SLmfForeignChunk>> lightGroups;  // the chunks inside each LIGT
    std::vector<SLmfForeignChunk> foreign;                   // top-level chunks, written first
};

// The whole file: magic, body size and the chunks.
std::vector<uint8_t> BuildLmf(const SLmfModelData& model);
