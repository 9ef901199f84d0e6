// .lmf 3D models: layers of triangle meshes with 80-byte skinning vertices, surfaces with
// colours, textures, a toon ramp and an outline edge, a hierarchy of animated nodes whose
// key-framed channels give the skinning matrices, cameras and light groups.
//
// The loader reads a file or an archive entry into plain records. Vertices and indices stay in
// memory (the software device draws from them); the surfaces' textures are created on the
// device given to the load. Every index the records hold is checked by the loader, so the
// drawing and the animation may use them without further tests:
//   - every index of a mesh's triangles is below its vertex count;
//   - every mesh's surface index is below the surface count;
//   - in a model with nodes, every node index (own node, palette, bone and camera records) is
//     below the node count or kLmfNone; in a model without nodes they are not used;
//   - every parent index is below the node count or kLmfNone, and no node is its own ancestor;
//   - every blend index of a vertex is a finite value in [0, kLmfPaletteSlots);
//   - the keys of every channel stand in strictly increasing frame order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/stream.h"
#include "platform/math3d.h"
#include "scene/key_track.h"

class CGraphicsDevice;
class CTexture;
struct CShaderContext;

constexpr uint16_t kLmfNone = 0xFFFF;       // "no node", "no parent", "no slot"
constexpr uint32_t kLmfPaletteSlots = 80;   // the BlendMatrix palette of the model effect
constexpr uint32_t kLmfMagic = 0x4C4D4433;  // "LMD3"

// The vertex as the file stores it and as the model effect reads it (80 bytes).
struct SLmfVertex {
    SVector3 position;      // offset 0
    SVector3 normal;        // 12
    SColorF colour;         // 24: red, green, blue, alpha
    SVector2 uv;            // 40: coordinates in the padded square texture
    float blendIndices[4];  // 48: palette slots, held as floats
    float blendWeights[4];  // 64
};
static_assert(sizeof(SLmfVertex) == 80);

struct CLmfMesh {
    std::vector<SLmfVertex> vertices;  // VTXN records, filled from VTEX (the rest zero)
    std::vector<uint16_t> indices;     // three per triangle (POLN triangles, filled from POLY)
    uint16_t surface = 0;              // SFNO

    uint32_t VertexCount() const { return static_cast<uint32_t>(vertices.size()); }
    uint32_t TriangleCount() const { return static_cast<uint32_t>(indices.size() / 3); }
};

// Bones stay with their layer; drawing and animation use the palette records.
struct CLmfBone {
    std::string name;
    SVector3 restPosition{0.0f, 0.0f, 0.0f};
    SVector3 restDirection{0.0f, 0.0f, 0.0f};
    float restLength = 0.0f;
    uint16_t node = 0;
};

// One BlendMatrix upload of a layer: the skinning matrix of `node` (kLmfNone: the layer's own
// matrix) into palette slot `slot` (kLmfNone: the record is skipped; 80 and above: nothing).
struct CLmfPaletteSlot {
    uint16_t node = 0;
    uint16_t slot = 0;
};

struct CLmfLayer {
    std::string name;  // the bytes as stored, usually with their terminating zero
    SVector3 boxMin{0.0f, 0.0f, 0.0f};
    SVector3 boxMax{0.0f, 0.0f, 0.0f};
    uint32_t show = 0;
    std::vector<CLmfMesh> meshes;
    std::vector<CLmfBone> bones;
    uint16_t ownNode = 0;  // node of the layer's own matrix; kLmfNone: identity (0 when absent)
    uint16_t ownSlot = 0;  // slot of the layer's own matrix; kLmfNone or 80 and above: none
    std::vector<CLmfPaletteSlot> palette;
};

// A texture of a surface. The file gives width x height pixels; the device texture is the
// square whose side is the smallest power of two not below the larger of the two, holding the
// file's pixels in its top-left corner and zero elsewhere. Texture coordinates refer to the
// whole square.
struct CLmfTexture {
    int32_t width = 0;
    int32_t height = 0;
    CTexture* texture = nullptr;  // owned; null when the surface has none
};
// The side of the square texture for a picture of width x height (0 x 0 gives 1).
uint32_t LmfTextureSide(int32_t width, int32_t height);

// What the textures of one model may take, counted as side x side x 4 bytes each: together at
// most kLmfTextureBytesPerPixelByte times the pixel bytes the file gives them plus
// kLmfTextureSlackBytes (small textures and toon ramps, whose squares are large beside their
// pixels), and never more than kLmfTextureCeilingBytes. A few bytes of file never ask for
// gigabytes: a texture past the allowance fails the load.
constexpr uint64_t kLmfTextureBytesPerPixelByte = 16;
constexpr uint64_t kLmfTextureSlackBytes = uint64_t{4} << 20;
constexpr uint64_t kLmfTextureCeilingBytes = uint64_t{1} << 30;
uint64_t LmfTextureAllowance(uint64_t pixelBytes);

// Surface blend modes 0-6 (source, destination): 0 SrcAlpha/InvSrcAlpha, 1 SrcAlpha/One,
// 2 DestColor/Zero, 3 InvDestColor/InvSrcColor, 4 One/InvSrcColor, 5 Zero/InvSrcColor,
// 6 DestColor/One; other values leave the blend states as they are.
constexpr uint32_t kLmfBlendModeCount = 7;
constexpr uint32_t kLmfToonShading = 4;  // the shading type that binds the toon texture

struct CLmfSurface {
    std::string name;
    uint32_t shadingType = 0;  // the main technique's pass (not checked by the loader)
    uint32_t blendMode = 0;
    SColorF diffuse{0.0f, 0.0f, 0.0f, 0.0f};
    float emissive = 0.0f;
    float specular = 0.0f;
    float power = 0.0f;
    uint32_t twoSided = 0;                       // low byte 0: counter-clockwise faces culled; else no culling
    CLmfTexture texture;                         // TEX
    CLmfTexture toon;                            // TTEX
    SColorF edgeColour{0.0f, 0.0f, 0.0f, 0.0f};  // alpha not used
    float edgeSize = 0.0f;                       // 0: no edge pass for this surface's meshes

    bool IsTwoSided() const { return (twoSided & 0xFF) != 0; }
};

struct CLmfCamera {
    std::string name;
    float fovY = 0.0f;
    uint16_t node = 0;
};

// Key shapes: the shape of the key that ends a span chooses its interpolation.
enum : uint16_t {
    kKeyTcb = 0,
    kKeyHermite = 1,
    kKeyBezier = 2,
    kKeyLinear = 3,
    kKeyStepped = 4,
    kKeyBezier2D = 5,
};

// What a channel does before its first key and after its last.
enum : uint16_t {
    kEnvelopeReset = 0,     // value 0
    kEnvelopeConstant = 1,  // the end key's value
    kEnvelopeRepeat = 2,
    kEnvelopeOscillate = 3,
    kEnvelopeOffsetRepeat = 4,  // repeat, shifted by one cycle's change per cycle
    kEnvelopeLinear = 5,        // along the end key's tangent
};

struct CLmfKey {
    float value = 0.0f;
    int32_t frame = 0;
    uint16_t shape = 0;
    // Parameters 1-6 at [0]-[5]. TCB: tension, continuity, bias at [0]-[2]. Hermite and
    // Bezier: incoming tangent [3], outgoing tangent [4]. Two-dimensional Bezier: value offset
    // of the incoming handle [1], frame offset of both handles [2], value offset of the
    // outgoing handle [3].
    float params[6] = {};
};
constexpr uint32_t kLmfKeyFileSize = 34;

struct CLmfChannel {
    std::vector<CLmfKey> keys;  // strictly increasing frames
    uint16_t pre = 0;           // behaviour before the first key
    uint16_t post = 0;          // behaviour after the last key

    // Replaces the keys by n zeroed keys; null (and no keys) when memory runs out.
    CLmfKey* AllocKeys(uint32_t n);
    void FreeKeys();
};

// The nine channels of a node, in file order (TRSX ... SCLZ).
enum : int {
    kChannelPositionX = 0,
    kChannelPositionY,
    kChannelPositionZ,
    kChannelRotationX,  // pitch
    kChannelRotationY,  // yaw
    kChannelRotationZ,  // roll
    kChannelScaleX,
    kChannelScaleY,
    kChannelScaleZ,
    kChannelCount,
};

struct CLmfNode {
    SMatrix local;        // T(-pivot) * S * R * T(position) of the values last evaluated
    SMatrix world;        // local * the ancestors' locals, nearest first
    SMatrix skinning;     // inverse rest * world: what the drawing uploads
    SMatrix inverseRest;  // IRMT
    CLmfChannel channels[kChannelCount];
    SVector3 pivot;
    SVector3 position;
    SVector3 rotation;  // radians: x pitch, y yaw, z roll
    SVector3 scale;
    uint16_t parentIndex = kLmfNone;
    CLmfNode* parent = nullptr;  // set by the loader from parentIndex

    CLmfNode() { Reset(); }
    CLmfNode(const CLmfNode&) = default;
    CLmfNode(CLmfNode&&) noexcept = default;
    CLmfNode& operator=(const CLmfNode&) = default;
    CLmfNode& operator=(CLmfNode&&) noexcept = default;
    ~CLmfNode() { FreeChannels(); }
    // Identity matrices, zero pivot, position and rotation, unit scale, no parent.
    void Reset();
    // Frees the nine channels' keys.
    void FreeChannels();
};

// Results of the motion operations.
enum : int32_t {
    kMotionPlaying = 0,
    kMotionEndless = 1,
    kMotionFinished = 2,
};

class CLmfModel {
public:
    std::vector<CLmfLayer> layers;
    std::vector<CLmfNode> nodes;
    std::vector<CLmfSurface> surfaces;
    std::vector<CLmfCamera> cameras;
    std::vector<uint8_t> lightGroups;  // counted, never filled

    CLmfModel() = default;
    CLmfModel(const CLmfModel&) = delete;
    CLmfModel& operator=(const CLmfModel&) = delete;
    ~CLmfModel() { Free(); }

    // Each frees the model, then loads it from a game path (platform/paths.h) or from a source
    // read through callbacks (closed at the end). Textures are created on the device; without
    // a device a model with textures fails to load. 0, or -1 for a file that cannot be opened
    // or read, a wrong magic, damaged data or a texture that cannot be created; a failed load
    // leaves the model empty.
    int32_t LoadFile(CGraphicsDevice* device, const char* path);
    int32_t LoadStream(CGraphicsDevice* device, const CStreamCallbacks& callbacks, void* source);
    // Releases every record, name and texture.
    void Free();

    // Evaluates the nine channels at a frame into the node's values and rebuilds its local
    // matrix.
    static void EvaluateNode(CLmfNode* node, int32_t frame);
    // The same with every channel blended from its value at frame A to its value at frame B by
    // elapsed / duration.
    static void EvaluateMorphNode(CLmfNode* node, int32_t elapsed, int32_t frameA, int32_t frameB, int32_t duration);
    // World and skinning matrices of a node: world = its local matrix times those of its
    // ancestors, up to a root (at most nodeCount of them).
    static void UpdateWorldMatrix(CLmfNode* node, size_t nodeCount);
    // The same for every node.
    void UpdateWorldMatrices();

    // Plays frames start..end (backwards when start > end) `repeats` times (0: endlessly) and
    // poses every node at the frame for t frames since the motion began: kMotionPlaying,
    // kMotionEndless, or kMotionFinished (holding the end frame).
    int32_t ApplyMotion(int32_t start, int32_t end, uint32_t repeats, int32_t t);
    // Poses every node between frame A's and frame B's values, weight t / duration:
    // kMotionPlaying while t < duration, else kMotionFinished with frame B's pose.
    int32_t ApplyBlendMotion(int32_t frameA, int32_t frameB, int32_t t, int32_t duration);

    // True when `target` can serve as the morph target of `base`: both exist, and the target
    // has at least as many meshes, each with the vertex count of the base's mesh.
    bool CanMorph(uint32_t base, uint32_t target) const;

    // Draws mesh layer `layer` through the model effect: its skinning palette, then the edge
    // pass (edge 1) and the main pass of each mesh, each surface colour multiplied by `colour`
    // when given. 0, or -1 for a layer index out of range. The culling and blend states are left
    // as they were.
    int32_t DrawLayer(CGraphicsDevice* device, uint32_t layer, CShaderContext& context, const SColorF* colour,
                      uint32_t edge);
    // The same with the base layer's meshes blended towards the target layer's meshes by
    // weights.x (the palette is the base layer's). -1, drawing nothing, for an index out of
    // range or a target whose meshes do not match the base's one by one.
    int32_t DrawMorphLayer(CGraphicsDevice* device, uint32_t base, uint32_t target, CShaderContext& context,
                           const SVector3& weights, const SColorF* colour, uint32_t edge);
};

// The value of a channel (with at least one key) at a frame.
float EvaluateEnvelope(const CLmfChannel& channel, int32_t frame);
// A channel's value blended between frames A and B; `fallback` for a channel without keys.
float EvaluateEnvelopeAt(const CLmfChannel& channel, int32_t elapsed, float fallback, int32_t frameA, int32_t frameB,
                         int32_t duration);

// Loads a model: the loose file at path, else the Image.pac entry; else the file-open box when
// the error mask asks for it (kReportPictures), and -1.
int32_t OpenModelStream(CLmfModel* model, CGraphicsDevice* device, const char* path);
