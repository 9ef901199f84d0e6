#include "tools/lib/sample_models.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

namespace {

constexpr float kPi = 3.14159265f;
constexpr uint16_t kNone = 0xFFFF;

// Sets a vertex's skinning: up to four (palette slot, weight) pairs.
using Skin = std::function<void(float y, SLmfVertexData& vertex)>;

Skin Rigid(int slot) {
    return [slot](float, SLmfVertexData& v) {
        v.blendIndices[0] = static_cast<float>(slot);
        v.blendWeights[0] = 1.0f;
    };
}

// Two slots blended by height: all `low` below y0, all `high` above y1.
Skin Blend(int low, int high, float y0, float y1) {
    return [=](float y, SLmfVertexData& v) {
        const float t = std::clamp((y - y0) / (y1 - y0), 0.0f, 1.0f);
        v.blendIndices[0] = static_cast<float>(low);
        v.blendIndices[1] = static_cast<float>(high);
        v.blendWeights[0] = 1.0f - t;
        v.blendWeights[1] = t;
    };
}

uint16_t Base(const SLmfMeshData& mesh) { return static_cast<uint16_t>(mesh.vertices.size()); }

// Rings of vertices around the Y axis at (cx, cz), ring 0 at the bottom; each triangle winds
// clockwise seen from outside (the front face of the device's default culling).
void AddRings(SLmfMeshData& mesh, int segments, int rings, const Skin& skin,
              const std::function<void(float u, float v, float* position, float* normal)>& place) {
    const uint16_t base = Base(mesh);
    for (int ring = 0; ring <= rings; ++ring) {
        for (int s = 0; s <= segments; ++s) {
            SLmfVertexData vertex;
            const float u = static_cast<float>(s) / segments, v = static_cast<float>(ring) / rings;
            place(u, v, vertex.position, vertex.normal);
            vertex.uv[0] = u;
            vertex.uv[1] = 1.0f - v;
            skin(vertex.position[1], vertex);
            mesh.vertices.push_back(vertex);
        }
    }
    const int row = segments + 1;
    for (int ring = 0; ring < rings; ++ring) {
        for (int s = 0; s < segments; ++s) {
            const uint16_t i0 = static_cast<uint16_t>(base + ring * row + s), i1 = i0 + 1;
            const uint16_t i2 = static_cast<uint16_t>(i0 + row), i3 = i2 + 1;
            mesh.indices.insert(mesh.indices.end(), {i0, i2, i1, i1, i2, i3});
        }
    }
}

void AddTube(SLmfMeshData& mesh, const float (&centre)[3], float height, float radius, int segments, int rings,
             const Skin& skin) {
    AddRings(mesh, segments, rings, skin, [&](float u, float v, float* p, float* n) {
        const float a = 2.0f * kPi * u;
        n[0] = std::cos(a), n[1] = 0.0f, n[2] = std::sin(a);
        p[0] = centre[0] + radius * n[0], p[1] = centre[1] + height * v, p[2] = centre[2] + radius * n[2];
    });
}

// A sphere (or its upper half) around a centre.
void AddSphere(SLmfMeshData& mesh, const float (&centre)[3], float radius, int segments, int rings, bool upperHalf,
               const Skin& skin) {
    AddRings(mesh, segments, rings, skin, [&](float u, float v, float* p, float* n) {
        const float a = 2.0f * kPi * u;
        const float latitude = upperHalf ? v * kPi / 2 : (v - 0.5f) * kPi;
        n[0] = std::cos(latitude) * std::cos(a), n[1] = std::sin(latitude), n[2] = std::cos(latitude) * std::sin(a);
        for (int i = 0; i < 3; ++i) p[i] = centre[i] + radius * n[i];
    });
}

// A quad facing -Z (towards the default camera), centred at (x, y, z).
void AddQuad(SLmfMeshData& mesh, float x, float y, float z, float width, float height, const Skin& skin) {
    const uint16_t base = Base(mesh);
    const float corners[4][2] = {{-0.5f, -0.5f}, {-0.5f, 0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}};  // bl, tl, br, tr
    for (const auto& c : corners) {
        SLmfVertexData vertex;
        vertex.position[0] = x + c[0] * width, vertex.position[1] = y + c[1] * height, vertex.position[2] = z;
        vertex.normal[2] = -1.0f;
        vertex.uv[0] = c[0] + 0.5f, vertex.uv[1] = 0.5f - c[1];
        skin(vertex.position[1], vertex);
        mesh.vertices.push_back(vertex);
    }
    mesh.indices.insert(mesh.indices.end(), {base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2),
                                             static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 1),
                                             static_cast<uint16_t>(base + 3)});
}

// A flat disc on the ground (the plane y = centre y) facing up, as a fan of `segments`
// triangles, each clockwise seen from above.
void AddGroundDisc(SLmfMeshData& mesh, const float (&centre)[3], float radiusX, float radiusZ, int segments,
                   const Skin& skin) {
    const uint16_t base = Base(mesh);
    for (int s = -1; s < segments; ++s) {
        SLmfVertexData vertex;
        const float a = 2.0f * kPi * static_cast<float>(s) / static_cast<float>(segments);
        vertex.position[0] = centre[0] + (s < 0 ? 0.0f : radiusX * std::cos(a));
        vertex.position[1] = centre[1];
        vertex.position[2] = centre[2] + (s < 0 ? 0.0f : radiusZ * std::sin(a));
        vertex.normal[1] = 1.0f;
        skin(vertex.position[1], vertex);
        mesh.vertices.push_back(vertex);
    }
    for (int s = 0; s < segments; ++s) {
        const uint16_t next = static_cast<uint16_t>(base + 1 + (s + 1) % segments);
        mesh.indices.insert(mesh.indices.end(), {base, next, static_cast<uint16_t>(base + 1 + s)});
    }
}

SLmfKeyData Key(int32_t frame, float value, uint16_t shape, std::initializer_list<float> params = {}) {
    SLmfKeyData key;
    key.frame = frame;
    key.value = value;
    key.shape = shape;
    std::copy(params.begin(), params.end(), key.params);
    return key;
}

SLmfChannelData Channel(std::vector<SLmfKeyData> keys, uint16_t pre, uint16_t post) {
    SLmfChannelData channel;
    channel.keys = std::move(keys);
    channel.pre = pre;
    channel.post = post;
    return channel;
}

SLmfChannelData Constant(float value) { return Channel({Key(0, value, 3)}, 1, 1); }

// A node at rest: its position channels hold `offset` + pivot, so that the rest pose puts the
// node's origin `offset` away from its parent's; the inverse rest matrix undoes the rest
// world translation.
SLmfNodeData Node(std::optional<uint16_t> parent, const float (&offset)[3], const float (&restWorld)[3],
                  const float (&pivot)[3] = {0, 0, 0}) {
    SLmfNodeData node;
    node.parent = parent;
    for (int i = 0; i < 3; ++i) {
        node.pivot[i] = pivot[i];
        if (offset[i] + pivot[i] != 0.0f) node.channels[i] = Constant(offset[i] + pivot[i]);
        node.inverseRest[12 + i] = -restWorld[i];
    }
    return node;
}

std::vector<uint32_t> Pattern(int width, int height, const std::function<uint32_t(int, int)>& texel) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(texel(x, y));
    return pixels;
}

SLmfTextureData Texture(int width, int height, const std::function<uint32_t(int, int)>& texel) {
    SLmfTextureData texture;
    texture.width = width;
    texture.height = height;
    texture.pixels = Pattern(width, height, texel);
    return texture;
}

// A toon ramp: dark to light from left to right, in three bands.
SLmfTextureData ToonRamp(uint32_t dark, uint32_t mid, uint32_t light) {
    return Texture(32, 4, [=](int x, int) { return x < 10 ? dark : x < 22 ? mid : light; });
}

std::vector<SLmfNodeData> CharacterNodes() {
    std::vector<SLmfNodeData> nodes(kCharacterNodeCount);
    nodes[kCharacterHips] = Node(std::nullopt, {0, 0.9f, 0}, {0, 0.9f, 0});
    nodes[kCharacterSpine] = Node(kCharacterHips, {0, 0.15f, 0}, {0, 1.05f, 0});
    nodes[kCharacterHead] = Node(kCharacterSpine, {0, 0.4f, 0}, {0, 1.45f, 0}, {0, -0.05f, 0});
    nodes[kCharacterLeftArm] = Node(kCharacterSpine, {0.2f, 0.3f, 0}, {0.2f, 1.35f, 0});
    nodes[kCharacterRightArm] = Node(kCharacterSpine, {-0.2f, 0.3f, 0}, {-0.2f, 1.35f, 0});
    nodes[kCharacterLeftLeg] = Node(kCharacterHips, {0.1f, -0.05f, 0}, {0.1f, 0.85f, 0});
    nodes[kCharacterRightLeg] = Node(kCharacterHips, {-0.1f, -0.05f, 0}, {-0.1f, 0.85f, 0});
    nodes[kCharacterCamera] = Node(std::nullopt, {0, 1.2f, -3.0f}, {0, 1.2f, -3.0f});

    // Every key shape (0 TCB, 1 Hermite, 2 Bezier, 3 linear, 4 stepped, 5 two-dimensional
    // Bezier) and every behaviour (0 reset ... 5 linear) before and after the keys, over
    // position, rotation and scale. The hips' X position has no keys at all.
    SLmfNodeData& hips = nodes[kCharacterHips];
    hips.channels[1] = Channel({Key(0, 0.9f, 0, {0.2f, 0, 0}), Key(15, 0.93f, 0, {0, 0.3f, 0}),
                                Key(30, 0.9f, 0, {0, 0, -0.3f}), Key(45, 0.93f, 0), Key(60, 0.9f, 0)},
                               1, 2);
    hips.channels[2] = Channel({Key(0, 0.0f, 3), Key(60, 0.3f, 3)}, 5, 4);
    hips.channels[4] = Channel({Key(0, -0.1f, 1, {0, 0, 0, 0, 0.01f}), Key(30, 0.1f, 1, {0, 0, 0, 0, 0}),
                                Key(60, -0.1f, 1, {0, 0, 0, -0.01f, 0})},
                               3, 3);
    SLmfNodeData& spine = nodes[kCharacterSpine];
    spine.channels[3] =
        Channel({Key(0, 0.0f, 2, {0, 0, 0, 0, 0.004f}), Key(30, 0.08f, 2), Key(60, 0.0f, 2, {0, 0, 0, -0.004f})}, 0, 2);
    spine.channels[7] = Channel({Key(0, 1.0f, 0), Key(30, 1.03f, 0), Key(60, 1.0f, 0)}, 1, 2);
    SLmfNodeData& head = nodes[kCharacterHead];
    head.channels[3] = Channel({Key(0, 0.0f, 5, {0, 0, 6.0f, 0.05f}), Key(20, 0.15f, 5, {0, -0.03f, -6.0f, 0.03f}),
                                Key(40, 0.0f, 5, {0, -0.05f, -6.0f, 0})},
                               4, 5);
    head.channels[4] = Channel({Key(0, 0.0f, 4), Key(20, 0.2f, 4), Key(40, -0.2f, 4)}, 2, 0);
    nodes[kCharacterLeftArm].channels[5] = Channel({Key(0, 0.3f, 3), Key(30, -0.3f, 3), Key(60, 0.3f, 3)}, 3, 1);
    nodes[kCharacterRightArm].channels[5] =
        Channel({Key(0, -0.3f, 0), Key(30, 0.3f, 0, {0.5f, 0, 0}), Key(60, -0.3f, 0)}, 5, 4);
    nodes[kCharacterLeftLeg].channels[3] = Channel({Key(10, 0.4f, 1, {0, 0, 0, 0, 0.02f}), Key(40, -0.4f, 1)}, 0, 3);
    nodes[kCharacterLeftLeg].channels[6] = Channel({Key(0, 1.0f, 3)}, 1, 1);
    nodes[kCharacterRightLeg].channels[3] = Channel({Key(10, -0.4f, 2), Key(40, 0.4f, 2, {0, 0, 0, 0.02f})}, 2, 5);
    return nodes;
}

// Surface indices of the character that the layers name.
constexpr uint16_t kShade = 7, kStockings = 10;

// The skin picture: 100 x 60 texels, which the loader pads to a 128 x 128 texture.
constexpr int kSkinWidth = 100, kSkinHeight = 60, kSkinPadded = 128;

// Texture coordinates run 0-1 over the padded square: maps a mesh's 0-1 coordinates onto the
// centres of the picture's outer texels, so that no sample reaches the transparent padding.
void FitUvToSkinPicture(SLmfMeshData& mesh) {
    for (SLmfVertexData& v : mesh.vertices) {
        v.uv[0] = (0.5f + v.uv[0] * (kSkinWidth - 1)) / kSkinPadded;
        v.uv[1] = (0.5f + v.uv[1] * (kSkinHeight - 1)) / kSkinPadded;
    }
}

std::vector<SLmfSurfaceData> CharacterSurfaces() {
    auto surface = [](const char* name, uint32_t shading, uint32_t blend, std::initializer_list<float> diffuse) {
        SLmfSurfaceData s;
        s.name = name;
        s.shadingType = shading;
        s.blendMode = blend;
        std::copy(diffuse.begin(), diffuse.end(), s.diffuse);
        s.power = 8.0f;
        return s;
    };
    std::vector<SLmfSurfaceData> surfaces;
    SLmfSurfaceData skin = surface("Skin", 0, 0, {1.0f, 0.86f, 0.76f, 1.0f});
    skin.texture = Texture(kSkinWidth, kSkinHeight, [](int x, int y) {  // not a power of two: padded
        return 0xFF000000u | static_cast<uint32_t>(230 - y / 3) << 16 | static_cast<uint32_t>(200 - y / 4) << 8 |
               static_cast<uint32_t>(180 + x / 10);
    });
    skin.edgeColour[0] = 0.3f, skin.edgeColour[3] = 1.0f;
    skin.edgeSize = 0.01f;
    surfaces.push_back(skin);

    SLmfSurfaceData cloth = surface("Cloth", 1, 0, {0.35f, 0.45f, 0.8f, 1.0f});
    cloth.specular = 0.3f;
    cloth.power = 16.0f;
    cloth.texture = Texture(64, 64, [](int x, int y) { return ((x / 8 + y / 8) % 2) ? 0xFFE0E8FFu : 0xFFB0C0F0u; });
    surfaces.push_back(cloth);

    SLmfSurfaceData toonCloth = surface("ClothToon", 4, 0, {0.9f, 0.5f, 0.5f, 1.0f});
    toonCloth.toon = ToonRamp(0xFF604040, 0xFFB08080, 0xFFFFFFFF);
    toonCloth.edgeColour[0] = 0.1f, toonCloth.edgeColour[1] = 0.05f, toonCloth.edgeColour[2] = 0.1f;
    toonCloth.edgeSize = 0.02f;
    surfaces.push_back(toonCloth);

    surfaces.push_back(surface("Eyes", 3, 2, {0.2f, 0.15f, 0.3f, 1.0f}));

    SLmfSurfaceData ribbon = surface("Ribbon", 2, 1, {1.0f, 0.4f, 0.6f, 0.8f});
    ribbon.twoSided = 1;
    ribbon.emissive = 0.5f;
    surfaces.push_back(ribbon);

    SLmfSurfaceData hair = surface("Hair", 4, 0, {0.35f, 0.25f, 0.2f, 1.0f});
    hair.toon = ToonRamp(0xFF302018, 0xFF705040, 0xFFC0A080);
    hair.edgeColour[3] = 1.0f;
    hair.edgeSize = 0.015f;
    surfaces.push_back(hair);

    surfaces.push_back(surface("Mouth", 0, 4, {0.7f, 0.3f, 0.3f, 1.0f}));
    SLmfSurfaceData shade = surface("Shade", 0, 5, {0.5f, 0.5f, 0.5f, 1.0f});
    shade.twoSided = 0x100;  // only the low byte counts: one-sided
    surfaces.push_back(shade);
    SLmfSurfaceData clip = surface("HairClip", 2, 3, {0.9f, 0.85f, 0.3f, 1.0f});
    clip.emissive = 0.3f;
    surfaces.push_back(clip);
    surfaces.push_back(surface("Glow", 1, 6, {0.8f, 0.7f, 0.3f, 1.0f}));
    surfaces.push_back(surface("Stockings", 1, 0, {0.22f, 0.2f, 0.28f, 1.0f}));
    return surfaces;
}

SLmfLayerData Layer(const char* name, uint16_t surface, std::vector<SLmfPaletteData> palette) {
    SLmfLayerData layer;
    layer.name = name;
    layer.meshes.resize(1);
    layer.meshes[0].surface = surface;
    layer.palette = std::move(palette);
    return layer;
}

void SetBox(SLmfLayerData& layer) {
    float* box = layer.box;
    std::fill(box, box + 3, 1e9f);
    std::fill(box + 3, box + 6, -1e9f);
    for (const SLmfMeshData& mesh : layer.meshes)
        for (const SLmfVertexData& v : mesh.vertices)
            for (int i = 0; i < 3; ++i)
                box[i] = std::min(box[i], v.position[i]), box[i + 3] = std::max(box[i + 3], v.position[i]);
}

// A face layer (eyes or mouth) drawn with the head's matrix through the layer's own node.
SLmfLayerData FaceLayer(const char* name, uint16_t surface, const std::vector<std::array<float, 4>>& quads) {
    SLmfLayerData layer = Layer(name, surface, {});
    layer.ownNode = kCharacterHead;
    layer.ownSlot = 0;
    for (const auto& q : quads) AddQuad(layer.meshes[0], q[0], q[1], -0.148f, q[2], q[3], Rigid(0));
    return layer;
}

std::vector<SLmfLayerData> CharacterLayers() {
    std::vector<SLmfLayerData> layers;
    // Slots: 0 hips, 1 spine, 2 left arm, 3 right arm, 4 the layer's own matrix. The palette
    // also holds a skipped record (slot 0xFFFF) and one that uploads nothing (slot 80).
    const std::vector<SLmfPaletteData> bodyPalette = {
        {kCharacterHips, 0}, {kCharacterSpine, 1},    {kCharacterLeftArm, 2}, {kCharacterRightArm, 3},
        {kNone, 4},          {kCharacterHead, kNone}, {kCharacterLeftLeg, 80}};
    // The torso: hips to spine by height, and four weights on the top ring, where the arms pull.
    // Its bust shape is the last layer, a wider torso of the same vertices.
    const auto torsoSkin = [](float y, SLmfVertexData& v) {
        Blend(0, 1, 0.95f, 1.25f)(y, v);
        if (y < 1.44f) return;
        const float slots[4] = {1, 2, 3, 4}, weights[4] = {0.55f, 0.2f, 0.2f, 0.05f};
        std::copy(slots, slots + 4, v.blendIndices);
        std::copy(weights, weights + 4, v.blendWeights);
    };
    SLmfLayerData body = Layer("Body [Wear 1][Bust 11]", 1, bodyPalette);
    AddTube(body.meshes[0], {0, 0.85f, 0}, 0.6f, 0.15f, 10, 6, torsoSkin);
    body.foreign.push_back({"NOTE", {'b', 'o', 'd', 'y'}});
    body.bones.resize(2);
    body.bones[0] = {"Spine", {0, 1.05f, 0}, {0, 1, 0}, 0.4f, kCharacterSpine, {}};
    body.bones[1] = {"Hips", {0, 0.9f, 0}, {0, 1, 0}, 0.15f, kCharacterHips, {}};
    layers.push_back(body);

    SLmfLayerData outfit = Layer("Body [Wear 2]", 2, bodyPalette);
    AddTube(outfit.meshes[0], {0, 0.8f, 0}, 0.65f, 0.17f, 12, 6, Blend(0, 1, 0.95f, 1.25f));
    layers.push_back(outfit);

    SLmfLayerData head = Layer("Head", 0, {{kNone, 1}});
    head.ownNode = kCharacterHead;
    head.ownSlot = 0;
    AddSphere(head.meshes[0], {0, 1.55f, 0}, 0.15f, 10, 8, false, [](float, SLmfVertexData& v) {
        v.blendIndices[1] = 1.0f;
        v.blendWeights[0] = v.blendWeights[1] = 0.5f;  // both slots hold the head's matrix
    });
    FitUvToSkinPicture(head.meshes[0]);
    layers.push_back(head);

    // Morph pairs: each closed or open shape has the vertex count of its partner.
    layers.push_back(FaceLayer("EyesOpen", 3, {{0.05f, 1.57f, 0.035f, 0.03f}, {-0.05f, 1.57f, 0.035f, 0.03f}}));
    layers.push_back(FaceLayer("EyesClosed", 3, {{0.05f, 1.565f, 0.035f, 0.004f}, {-0.05f, 1.565f, 0.035f, 0.004f}}));
    layers.push_back(FaceLayer("MouthClosed", 6, {{0.0f, 1.49f, 0.04f, 0.004f}}));
    layers.push_back(FaceLayer("MouthOpen", 6, {{0.0f, 1.49f, 0.04f, 0.025f}}));

    SLmfLayerData arms = Layer("Arms", 0, bodyPalette);
    arms.meshes.resize(2);
    arms.meshes[1].surface = 0;
    AddTube(arms.meshes[0], {0.22f, 0.85f, 0}, 0.5f, 0.04f, 8, 4, Blend(2, 1, 1.25f, 1.35f));
    AddTube(arms.meshes[1], {-0.22f, 0.85f, 0}, 0.5f, 0.04f, 8, 4, Blend(3, 1, 1.25f, 1.35f));
    for (SLmfMeshData& mesh : arms.meshes) FitUvToSkinPicture(mesh);
    layers.push_back(arms);

    // The legs, then the shadow at their feet: a disc that darkens the ground beneath it (the
    // shade's blend mode 5), following the hips.
    SLmfLayerData legs =
        Layer("Legs", kStockings, {{kCharacterHips, 0}, {kCharacterLeftLeg, 1}, {kCharacterRightLeg, 2}});
    legs.meshes.resize(3);
    legs.meshes[1].surface = kStockings;
    AddTube(legs.meshes[0], {0.1f, 0.0f, 0}, 0.85f, 0.06f, 8, 4, Blend(1, 0, 0.75f, 0.85f));
    AddTube(legs.meshes[1], {-0.1f, 0.0f, 0}, 0.85f, 0.06f, 8, 4, Blend(2, 0, 0.75f, 0.85f));
    legs.meshes[2].surface = kShade;
    AddGroundDisc(legs.meshes[2], {0.0f, 0.005f, 0.05f}, 0.32f, 0.2f, 16, Rigid(0));
    layers.push_back(legs);

    SLmfLayerData ribbon = Layer("Ribbon [Accessory 1][Hide]", 4, {{kCharacterHead, 0}});
    for (int i = 0; i < 3; ++i) AddQuad(ribbon.meshes[0], 0.08f + 0.03f * i, 1.76f, 0.0f, 0.04f, 0.06f, Rigid(0));
    layers.push_back(ribbon);

    SLmfLayerData hair = Layer("Hair [Hear 1]", 5, {{kCharacterHead, 0}});
    AddSphere(hair.meshes[0], {0, 1.6f, 0.01f}, 0.165f, 10, 4, true, Rigid(0));
    // In front of the hair, drawn after it: a clip with the exclusion blend and a glint that
    // brightens the hair behind it.
    hair.meshes.resize(3);
    hair.meshes[1].surface = 8;
    AddQuad(hair.meshes[1], 0.09f, 1.66f, -0.16f, 0.05f, 0.03f, Rigid(0));
    hair.meshes[2].surface = 9;
    AddQuad(hair.meshes[2], -0.09f, 1.66f, -0.16f, 0.03f, 0.03f, Rigid(0));
    layers.push_back(hair);

    SLmfLayerData bust = Layer("BodyBust", 1, bodyPalette);
    AddTube(bust.meshes[0], {0, 0.85f, 0}, 0.6f, 0.17f, 10, 6, torsoSkin);
    layers.push_back(bust);

    for (SLmfLayerData& layer : layers) SetBox(layer);
    layers[1].show = 0;  // the second outfit starts hidden
    return layers;
}

}  // namespace

SLmfModelData MakeSampleCharacter() {
    SLmfModelData model;
    model.layers = CharacterLayers();
    model.nodes = CharacterNodes();
    model.surfaces = CharacterSurfaces();
    SLmfCameraData camera;
    camera.name = "Camera01";
    camera.fovY = 0.7f;
    camera.node = kCharacterCamera;
    model.cameras.push_back(camera);
    auto floats = [](std::initializer_list<float> values) {
        std::vector<uint8_t> bytes(values.size() * 4);
        std::memcpy(bytes.data(), values.begin(), bytes.size());
        return bytes;
    };
    model.lightGroups = {
        {{"LTYP", {1, 0, 0, 0}}, {"LCOL", floats({1.0f, 0.95f, 0.9f})}, {"LDIR", floats({0.3f, -0.6f, 0.7f})}},
        {{"LTYP", {1, 0, 0, 0}}, {"LCOL", floats({0.3f, 0.35f, 0.5f})}, {"LDIR", floats({-0.5f, 0.2f, 0.8f})}}};
    // A chunk of a later exporter's that this reader skips: larger than the 64 KiB stream buffer.
    SLmfForeignChunk extra{"XTRA", std::vector<uint8_t>(70000)};
    for (size_t i = 0; i < extra.payload.size(); ++i) extra.payload[i] = static_cast<uint8_t>(i * 7);
    model.foreign.push_back(extra);
    return model;
}

SLmfModelData MakeDenseModel() {
    constexpr float kSpacing = 0.05f;
    constexpr int kSegments = 50, kRings = 100;
    SLmfModelData model;
    for (int n = 0; n < kDenseModelNodes; ++n) {
        const float restY = kSpacing * n;
        SLmfNodeData node = Node(n == 0 ? std::optional<uint16_t>() : static_cast<uint16_t>(n - 1),
                                 {0, n == 0 ? 0.0f : kSpacing, 0}, {0, restY, 0});
        // A wave travels up the column: each node sways about Z and X, out of phase with the last.
        std::vector<SLmfKeyData> sway, nod;
        for (int k = 0; k <= 4; ++k) {
            sway.push_back(Key(k * 15, 0.08f * std::sin(k * kPi / 2 + n * 0.3f), 0));
            nod.push_back(Key(k * 15, 0.05f * std::cos(k * kPi / 2 + n * 0.2f), 1, {0, 0, 0, 0.002f, 0.002f}));
        }
        node.channels[5] = Channel(sway, 2, 2);
        node.channels[3] = Channel(nod, 3, 3);
        model.nodes.push_back(node);
    }
    SLmfLayerData layer;
    layer.name = "Column";
    layer.meshes.resize(1);
    for (int n = 0; n < kDenseModelNodes; ++n)
        layer.palette.push_back({static_cast<uint16_t>(n), static_cast<uint16_t>(n)});
    // Each ring takes the four nearest joints, weighted by distance and normalised.
    const float height = kSpacing * (kDenseModelNodes - 1);
    AddTube(layer.meshes[0], {0, 0, 0}, height, 0.2f, kSegments, kRings, [&](float y, SLmfVertexData& v) {
        const int nearest = std::clamp(static_cast<int>(y / kSpacing), 0, kDenseModelNodes - 1);
        float total = 0.0f;
        for (int k = 0; k < 4; ++k) {
            const int joint = std::clamp(nearest - 1 + k, 0, kDenseModelNodes - 1);
            const float w = std::max(0.0f, 2.0f - std::fabs(y / kSpacing - joint));
            v.blendIndices[k] = static_cast<float>(joint);
            v.blendWeights[k] = w;
            total += w;
        }
        for (float& w : v.blendWeights) w /= total;
    });
    SetBox(layer);
    model.layers.push_back(layer);
    SLmfSurfaceData surface;
    surface.name = "Column";
    surface.texture = Texture(128, 128, [](int x, int y) {
        return 0xFF000000u | static_cast<uint32_t>(x * 2) << 16 | static_cast<uint32_t>(y * 2);
    });
    surface.edgeColour[0] = surface.edgeColour[1] = 0.1f, surface.edgeColour[2] = 0.2f;  // an outlined column
    surface.edgeSize = 0.01f;
    model.surfaces.push_back(surface);
    return model;
}

SLmfModelData MakeSwatchModel() {
    SLmfModelData model;
    const auto swatch = [&](const char* name, const float (&colour)[3], uint32_t blendMode, float x) {
        SLmfSurfaceData surface;
        surface.name = name;
        surface.blendMode = blendMode;
        std::copy(colour, colour + 3, surface.diffuse);
        surface.diffuse[3] = 1.0f;
        surface.twoSided = 1;
        SLmfLayerData layer = Layer(name, static_cast<uint16_t>(model.surfaces.size()), {});
        layer.ownNode = kNone;
        layer.ownSlot = 0;
        AddQuad(layer.meshes[0], x, 0.0f, 0.0f, 1.0f, 0.8f, Rigid(0));
        SetBox(layer);
        model.surfaces.push_back(surface);
        model.layers.push_back(layer);
    };
    swatch("Normal", kSwatchNormalColour, 0, -0.7f);
    swatch("Multiply", kSwatchMultiplyColour, 2, 0.7f);
    return model;
}
