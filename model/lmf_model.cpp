#include "model/lmf_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "files/chunk_reader.h"
#include "files/loaders.h"
#include "platform/graphics.h"

static_assert(std::endian::native == std::endian::little, "vertices and indices are copied as the file stores them");

namespace {

constexpr uint32_t kStreamBufferSize = 64 * 1024;

// Top level.
constexpr uint32_t kTagLayerCount = MakeReversedTag("LYRN");
constexpr uint32_t kTagLayer = MakeReversedTag("LYER");
constexpr uint32_t kTagNodeCount = MakeReversedTag("MOTN");
constexpr uint32_t kTagNode = MakeReversedTag("MOTI");
constexpr uint32_t kTagSurfaceCount = MakeReversedTag("SRFN");
constexpr uint32_t kTagSurface = MakeReversedTag("SURF");
constexpr uint32_t kTagCameraCount = MakeReversedTag("CAMN");
constexpr uint32_t kTagCamera = MakeReversedTag("CAM ");
constexpr uint32_t kTagLightCount = MakeReversedTag("LITN");
constexpr uint32_t kTagLight = MakeReversedTag("LIGT");
// Shared by several records.
constexpr uint32_t kTagName = MakeReversedTag("NAME");
constexpr uint32_t kTagNodeIndex = MakeReversedTag("MTNO");  // a node index, or a layer's palette record
// Layers.
constexpr uint32_t kTagBox = MakeReversedTag("BBOX");
constexpr uint32_t kTagShow = MakeReversedTag("SHOW");
constexpr uint32_t kTagMeshCount = MakeReversedTag("MESN");
constexpr uint32_t kTagMesh = MakeReversedTag("MESH");
constexpr uint32_t kTagBoneCount = MakeReversedTag("BONN");
constexpr uint32_t kTagBone = MakeReversedTag("BONE");
constexpr uint32_t kTagOwnNode = MakeReversedTag("LMNO");
constexpr uint32_t kTagOwnSlot = MakeReversedTag("LVSC");
constexpr uint32_t kTagPaletteCount = MakeReversedTag("MOTN");  // inside a layer
constexpr uint32_t kTagPaletteSlot = MakeReversedTag("VSCN");
// Meshes.
constexpr uint32_t kTagVertexCount = MakeReversedTag("VTXN");
constexpr uint32_t kTagVertices = MakeReversedTag("VTEX");
constexpr uint32_t kTagTriangleCount = MakeReversedTag("POLN");
constexpr uint32_t kTagTriangles = MakeReversedTag("POLY");
constexpr uint32_t kTagSurfaceIndex = MakeReversedTag("SFNO");
// Bones.
constexpr uint32_t kTagRestPosition = MakeReversedTag("RSTP");
constexpr uint32_t kTagRestDirection = MakeReversedTag("RSTD");
constexpr uint32_t kTagRestLength = MakeReversedTag("RSTL");
// Nodes and channels.
constexpr uint32_t kTagInverseRest = MakeReversedTag("IRMT");
constexpr uint32_t kTagPivot = MakeReversedTag("PIVT");
constexpr uint32_t kTagParent = MakeReversedTag("PARN");
constexpr uint32_t kChannelTags[kChannelCount] = {
    MakeReversedTag("TRSX"), MakeReversedTag("TRSY"), MakeReversedTag("TRSZ"),
    MakeReversedTag("ROTX"), MakeReversedTag("ROTY"), MakeReversedTag("ROTZ"),
    MakeReversedTag("SCLX"), MakeReversedTag("SCLY"), MakeReversedTag("SCLZ")};
constexpr uint32_t kTagKeyCount = MakeReversedTag("KEYN");
constexpr uint32_t kTagKeys = MakeReversedTag("KEY ");
constexpr uint32_t kTagPre = MakeReversedTag("PRE ");
constexpr uint32_t kTagPost = MakeReversedTag("POST");
// Surfaces and textures.
constexpr uint32_t kTagShading = MakeReversedTag("STYP");
constexpr uint32_t kTagBlendMode = MakeReversedTag("BLDM");
constexpr uint32_t kTagDiffuse = MakeReversedTag("DIFF");
constexpr uint32_t kTagEmissive = MakeReversedTag("EMSV");
constexpr uint32_t kTagSpecular = MakeReversedTag("SPEC");
constexpr uint32_t kTagPower = MakeReversedTag("POWR");
constexpr uint32_t kTagSide = MakeReversedTag("SIDE");
constexpr uint32_t kTagTexture = MakeReversedTag("TEX ");  // a surface's texture, and a texture's pixels
constexpr uint32_t kTagToonTexture = MakeReversedTag("TTEX");
constexpr uint32_t kTagEdgeColour = MakeReversedTag("EDGC");
constexpr uint32_t kTagEdgeSize = MakeReversedTag("EDGS");
constexpr uint32_t kTagTextureSize = MakeReversedTag("SIZE");
// Cameras.
constexpr uint32_t kTagFovY = MakeReversedTag("FOVY");

// Every record chunk needs at least its header.
constexpr uint32_t kChunkHeaderSize = 8;

// What one load shares between its readers. `failed` is the cancel flag: set by damaged data or
// a texture that cannot be made, it stops every reader at its next chunk.
struct SLoad {
    CGraphicsDevice* device;
    bool failed = false;
    uint64_t texturePixelBytes = 0;  // the file's pixel bytes behind the textures made so far
    uint64_t textureBytes = 0;       // what those textures take
};

template <typename T>
bool ReadValue(CChunkReader& body, T* value) {
    T read;
    if (body.Read(&read, sizeof read) != sizeof read) return false;
    *value = read;
    return true;
}

std::string ReadName(CChunkReader& body) {
    std::string name;
    char piece[1024];
    while (body.Remaining() > 0) {
        const uint32_t got = body.Read(piece, sizeof piece);
        if (got == 0) break;
        name.append(piece, got);
    }
    return name;
}

// Reads a u16 count chunk. The count is refused (failing the load) unless what is left of the
// parent can hold that many records of `recordBytes` each, so a count never allocates more
// than the file backs.
bool ReadCountFor(SLoad& load, CChunkReader& countBody, const CChunkReader& parent, uint32_t recordBytes,
                  uint16_t* count) {
    if (ReadValue(countBody, count) && static_cast<uint64_t>(*count) * recordBytes <= parent.Remaining()) return true;
    load.failed = true;
    return false;
}

// The records of one kind: a count chunk replaces them by `count` fresh records, which later
// record chunks fill in order; record chunks beyond the count are skipped. Each record needs
// at least a chunk header.
template <typename Record>
class CRecordCursor {
public:
    explicit CRecordCursor(std::vector<Record>* records) : records_(records) {}

    void ReadCount(SLoad& load, CChunkReader& countBody, const CChunkReader& parent) {
        uint16_t count = 0;
        if (!ReadCountFor(load, countBody, parent, kChunkHeaderSize, &count)) return;
        records_->clear();
        records_->resize(count);
        next_ = 0;
    }
    // Hands the next record, if the count has one left, to `read`.
    template <typename Reader>
    void ReadNext(SLoad& load, CChunkReader& body, Reader read) {
        if (Record* record = Next()) read(load, body, record);
    }
    Record* Next() { return next_ < records_->size() ? &(*records_)[next_++] : nullptr; }

private:
    std::vector<Record>* records_;
    size_t next_ = 0;
};

// Reads the sub-chunks of a record through `handle(tag, body)`, stopping at the cancel flag; a
// record that does not end in whole sub-chunks fails the load.
template <typename Handler>
void ReadChunks(SLoad& load, CChunkReader& record, Handler&& handle) {
    CChunkHeader header;
    while (!load.failed && record.NextChunk(&header)) {
        CChunkReader body = record.Body();
        handle(header.tag, body);
    }
    if (!record.Intact()) load.failed = true;
}

// A blend index that names no palette slot (NaN, negative, 80 and above) is moved to slot 0
// and its influence dropped, so the drawing never indexes outside the palette.
void ClampBlendIndices(SLmfVertex* vertex) {
    for (int k = 0; k < 4; ++k) {
        const float index = vertex->blendIndices[k];
        if (index >= 0.0f && index < static_cast<float>(kLmfPaletteSlots)) continue;
        vertex->blendIndices[k] = 0.0f;
        vertex->blendWeights[k] = 0.0f;
    }
}

// The record loaders. Each reads one record from the reader of its chunk, which leaves the
// stream at the chunk's end whatever the record held, so none reports what it consumed; the
// load gives them the device and the cancel flag.
void LoadLmfMesh(SLoad& load, CChunkReader& record, CLmfMesh* mesh) {
    ReadChunks(load, record, [&](uint32_t tag, CChunkReader& body) {
        uint16_t count = 0;
        if (tag == kTagVertexCount) {
            if (ReadCountFor(load, body, record, sizeof(SLmfVertex), &count))
                mesh->vertices.assign(count, SLmfVertex{});
        } else if (tag == kTagTriangleCount) {
            if (ReadCountFor(load, body, record, 3 * sizeof(uint16_t), &count)) mesh->indices.assign(3u * count, 0);
        } else if (tag == kTagVertices) {
            const uint32_t bytes = std::min<uint64_t>(body.Remaining(), mesh->vertices.size() * sizeof(SLmfVertex));
            body.Read(mesh->vertices.data(), bytes);
            for (SLmfVertex& vertex : mesh->vertices) ClampBlendIndices(&vertex);
        } else if (tag == kTagTriangles) {
            const uint32_t bytes = std::min<uint64_t>(body.Remaining(), mesh->indices.size() * sizeof(uint16_t));
            body.Read(mesh->indices.data(), bytes);
        } else if (tag == kTagSurfaceIndex) {
            ReadValue(body, &mesh->surface);
        }
    });
}

void LoadLmfBone(SLoad& load, CChunkReader& record, CLmfBone* bone) {
    ReadChunks(load, record, [&](uint32_t tag, CChunkReader& body) {
        if (tag == kTagName) bone->name = ReadName(body);
        if (tag == kTagRestPosition) ReadFields(body, &bone->restPosition);
        if (tag == kTagRestDirection) ReadFields(body, &bone->restDirection);
        if (tag == kTagRestLength) ReadValue(body, &bone->restLength);
        if (tag == kTagNodeIndex) ReadValue(body, &bone->node);
    });
}

void LoadLmfPaletteSlot(SLoad& load, CChunkReader& record, CLmfPaletteSlot* slot) {
    ReadChunks(load, record, [&](uint32_t tag, CChunkReader& body) {
        if (tag == kTagNodeIndex) ReadValue(body, &slot->node);
        if (tag == kTagPaletteSlot) ReadValue(body, &slot->slot);
    });
}

void LoadLmfLayer(SLoad& load, CChunkReader& record, CLmfLayer* layer) {
    CRecordCursor<CLmfMesh> meshes(&layer->meshes);
    CRecordCursor<CLmfBone> bones(&layer->bones);
    CRecordCursor<CLmfPaletteSlot> palette(&layer->palette);
    ReadChunks(load, record, [&](uint32_t tag, CChunkReader& body) {
        switch (tag) {
            case kTagName: layer->name = ReadName(body); break;
            case kTagBox: {
                struct {
                    SVector3 min, max;
                } box{layer->boxMin, layer->boxMax};
                ReadFields(body, &box);
                layer->boxMin = box.min;
                layer->boxMax = box.max;
                break;
            }
            case kTagShow: ReadValue(body, &layer->show); break;
            case kTagOwnNode: ReadValue(body, &layer->ownNode); break;
            case kTagOwnSlot: ReadValue(body, &layer->ownSlot); break;
            case kTagMeshCount: meshes.ReadCount(load, body, record); break;
            case kTagBoneCount: bones.ReadCount(load, body, record); break;
            case kTagPaletteCount: palette.ReadCount(load, body, record); break;
            case kTagMesh: meshes.ReadNext(load, body, LoadLmfMesh); break;
            case kTagBone: bones.ReadNext(load, body, LoadLmfBone); break;
            case kTagNodeIndex: palette.ReadNext(load, body, LoadLmfPaletteSlot); break;
            default: break;
        }
    });
}

CLmfKey DecodeKey(const uint8_t (&bytes)[kLmfKeyFileSize]) {
    CLmfKey key;
    std::memcpy(&key.value, bytes, 4);
    std::memcpy(&key.frame, bytes + 4, 4);
    std::memcpy(&key.shape, bytes + 8, 2);
    std::memcpy(key.params, bytes + 10, sizeof key.params);
    return key;
}

// Keys must stand in strictly increasing frame order (the interpolation divides by the frame
// distance of neighbours): a key whose frame does not pass the one before it is dropped.
void DropUnorderedKeys(CLmfChannel* channel) {
    std::vector<CLmfKey>& keys = channel->keys;
    size_t kept = 0;
    for (size_t i = 0; i < keys.size(); ++i)
        if (kept == 0 || keys[i].frame > keys[kept - 1].frame) keys[kept++] = keys[i];
    keys.resize(kept);
}

void LoadLmfChannel(SLoad& load, CChunkReader& record, CLmfChannel* channel) {
    ReadChunks(load, record, [&](uint32_t tag, CChunkReader& body) {
        uint16_t count = 0;
        if (tag == kTagKeyCount) {
            if (ReadCountFor(load, body, record, kLmfKeyFileSize, &count)) channel->AllocKeys(count);
        } else if (tag == kTagKeys) {
            for (CLmfKey& key : channel->keys) {
                uint8_t bytes[kLmfKeyFileSize];
                if (body.Read(bytes, sizeof bytes) != sizeof bytes) break;
                key = DecodeKey(bytes);
            }
        } else if (tag == kTagPre) {
            ReadValue(body, &channel->pre);
        } else if (tag == kTagPost) {
            ReadValue(body, &channel->post);
        }
    });
    DropUnorderedKeys(channel);
}

void LoadLmfNode(SLoad& load, CChunkReader& record, CLmfNode* node) {
    ReadChunks(load, record, [&](uint32_t tag, CChunkReader& body) {
        if (tag == kTagInverseRest) ReadFields(body, &node->inverseRest);
        if (tag == kTagPivot) ReadFields(body, &node->pivot);
        if (tag == kTagParent) ReadValue(body, &node->parentIndex);
        for (int c = 0; c < kChannelCount; ++c)
            if (tag == kChannelTags[c]) LoadLmfChannel(load, body, &node->channels[c]);
    });
}

void ReleaseTexture(CLmfTexture* texture) {
    if (texture->texture != nullptr) texture->texture->Release();
    *texture = CLmfTexture{};
}

// SIZE: a square texture of the padded side, refused when a side is negative, the square
// would pass the device's largest side, what is left of the chunk could not hold the pixels, or
// the model's textures would pass their allowance: the square of a thin picture (1 x 8192
// pixels, 32 KiB of file) would otherwise take 256 MiB. Files carry 0 x 0 placeholders, which
// become textures of one texel.
void CreateTexture(SLoad& load, CChunkReader& body, const CChunkReader& record, CLmfTexture* texture) {
    struct {
        int32_t width, height;
    } size{0, 0};
    ReadFields(body, &size);
    ReleaseTexture(texture);
    if (size.width < 0 || size.height < 0 || std::max(size.width, size.height) > int32_t{kMaxTextureSide}) {
        load.failed = true;
        return;
    }
    const uint64_t pixelBytes = static_cast<uint64_t>(size.width) * static_cast<uint64_t>(size.height) * 4;
    const uint32_t side = LmfTextureSide(size.width, size.height);
    load.texturePixelBytes += pixelBytes;
    load.textureBytes += static_cast<uint64_t>(side) * side * 4;
    if (pixelBytes > record.Remaining() || load.textureBytes > LmfTextureAllowance(load.texturePixelBytes)) {
        load.failed = true;
        return;
    }
    if (load.device == nullptr || load.device->CreateTexture(side, side, 0, Usage::None, Format::A8R8G8B8,
                                                             Pool::Managed, &texture->texture) != 0) {
        load.failed = true;
        return;
    }
    texture->width = size.width;
    texture->height = size.height;
}

// TEX: the file's rows (0xAARRGGBB pixels, the texture's own format) into the top-left corner.
void FillTexture(SLoad& load, CChunkReader& body, const CLmfTexture& texture) {
    SLockedRect locked;
    if (texture.texture == nullptr) return;
    if (texture.texture->LockRect(0, &locked, nullptr, 0) != 0) {
        load.failed = true;
        return;
    }
    const uint32_t rowBytes = static_cast<uint32_t>(texture.width) * 4;
    uint8_t* row = static_cast<uint8_t*>(locked.bits);
    for (int32_t y = 0; y < texture.height && body.Remaining() > 0; ++y, row += locked.pitch) body.Read(row, rowBytes);
    texture.texture->UnlockRect(0);
}

void LoadLmfTexture(SLoad& load, CChunkReader& record, CLmfTexture* texture) {
    ReadChunks(load, record, [&](uint32_t tag, CChunkReader& body) {
        if (tag == kTagTextureSize) CreateTexture(load, body, record, texture);
        if (tag == kTagTexture) FillTexture(load, body, *texture);
    });
}

void LoadLmfSurface(SLoad& load, CChunkReader& record, CLmfSurface* surface) {
    ReadChunks(load, record, [&](uint32_t tag, CChunkReader& body) {
        switch (tag) {
            case kTagName: surface->name = ReadName(body); break;
            case kTagShading: ReadValue(body, &surface->shadingType); break;
            case kTagBlendMode: ReadValue(body, &surface->blendMode); break;
            case kTagDiffuse: ReadFields(body, &surface->diffuse); break;
            case kTagEmissive: ReadValue(body, &surface->emissive); break;
            case kTagSpecular: ReadValue(body, &surface->specular); break;
            case kTagPower: ReadValue(body, &surface->power); break;
            case kTagSide: ReadValue(body, &surface->twoSided); break;
            case kTagTexture: LoadLmfTexture(load, body, &surface->texture); break;
            case kTagToonTexture: LoadLmfTexture(load, body, &surface->toon); break;
            case kTagEdgeColour: ReadFields(body, &surface->edgeColour); break;
            case kTagEdgeSize: ReadValue(body, &surface->edgeSize); break;
            default: break;
        }
    });
}

void LoadLmfCamera(SLoad& load, CChunkReader& record, CLmfCamera* camera) {
    ReadChunks(load, record, [&](uint32_t tag, CChunkReader& body) {
        if (tag == kTagName) camera->name = ReadName(body);
        if (tag == kTagFovY) ReadValue(body, &camera->fovY);
        if (tag == kTagNodeIndex) ReadValue(body, &camera->node);
    });
}

// The top-level chunks. LIGT counts a light group without taking its payload as a unit: the
// chunks inside it follow as top-level chunks, and since none carries a top-level tag, each is
// skipped by its size.
void ReadBody(SLoad& load, CChunkReader& top, CLmfModel* model) {
    CRecordCursor<CLmfLayer> layers(&model->layers);
    CRecordCursor<CLmfNode> nodes(&model->nodes);
    CRecordCursor<CLmfSurface> surfaces(&model->surfaces);
    CRecordCursor<CLmfCamera> cameras(&model->cameras);
    CRecordCursor<uint8_t> lights(&model->lightGroups);
    CChunkHeader header;
    while (!load.failed && top.NextChunk(&header)) {
        if (header.tag == kTagLight) {
            top.NoBody();
            lights.Next();
            continue;
        }
        CChunkReader body = top.Body();
        switch (header.tag) {
            case kTagLayerCount: layers.ReadCount(load, body, top); break;
            case kTagNodeCount: nodes.ReadCount(load, body, top); break;
            case kTagSurfaceCount:
                for (CLmfSurface& surface : model->surfaces) {
                    ReleaseTexture(&surface.texture);
                    ReleaseTexture(&surface.toon);
                }
                surfaces.ReadCount(load, body, top);
                break;
            case kTagCameraCount: cameras.ReadCount(load, body, top); break;
            case kTagLightCount: lights.ReadCount(load, body, top); break;
            case kTagLayer: layers.ReadNext(load, body, LoadLmfLayer); break;
            case kTagNode: nodes.ReadNext(load, body, LoadLmfNode); break;
            case kTagSurface: surfaces.ReadNext(load, body, LoadLmfSurface); break;
            case kTagCamera: cameras.ReadNext(load, body, LoadLmfCamera); break;
            default: break;
        }
    }
    if (!top.Intact()) load.failed = true;
}

// The indices the drawing and the animation follow: each must name an existing record.
bool HasValidIndices(const CLmfModel& model) {
    const size_t nodeCount = model.nodes.size();
    auto nodeOk = [&](uint16_t node) { return nodeCount == 0 || node == kLmfNone || node < nodeCount; };
    for (const CLmfLayer& layer : model.layers) {
        if (!nodeOk(layer.ownNode)) return false;
        for (const CLmfPaletteSlot& slot : layer.palette)
            if (!nodeOk(slot.node)) return false;
        for (const CLmfBone& bone : layer.bones)
            if (!nodeOk(bone.node)) return false;
        for (const CLmfMesh& mesh : layer.meshes) {
            if (mesh.surface >= model.surfaces.size()) return false;
            for (uint16_t index : mesh.indices)
                if (index >= mesh.vertices.size()) return false;
        }
    }
    for (const CLmfCamera& camera : model.cameras)
        if (!nodeOk(camera.node)) return false;
    for (const CLmfNode& node : model.nodes)
        if (node.parentIndex != kLmfNone && node.parentIndex >= nodeCount) return false;
    return true;
}

// Links each node to its parent; false when a parent chain runs in a circle.
bool LinkParents(CLmfModel* model) {
    std::vector<CLmfNode>& nodes = model->nodes;
    for (CLmfNode& node : nodes) node.parent = node.parentIndex == kLmfNone ? nullptr : &nodes[node.parentIndex];
    for (const CLmfNode& node : nodes) {
        size_t steps = 0;
        for (const CLmfNode* up = node.parent; up != nullptr; up = up->parent)
            if (++steps > nodes.size()) return false;
    }
    return true;
}

// Bytes from the stream's position to the source's end, or -1 when the source cannot tell.
int64_t BytesAvailable(CReadStream* stream) {
    if (stream->callbacks.seek == nullptr || stream->callbacks.tell == nullptr) return -1;
    const long start = stream->callbacks.tell(stream->source);
    if (start < 0 || stream->callbacks.seek(stream->source, 0, SEEK_END) != 0) return -1;
    const long end = stream->callbacks.tell(stream->source);
    if (stream->callbacks.seek(stream->source, start, SEEK_SET) != 0 || end < start) return -1;
    return end - start;
}

int32_t LoadLmf(CReadStream* stream, CGraphicsDevice* device, CLmfModel* model) {
    if (stream->AllocBuffer(kStreamBufferSize) != 0) return -1;
    stream->blockMode = 1;
    // The body is read only when the source holds all of it, so that every size and count the
    // readers check stands for bytes that exist.
    const int64_t available = BytesAvailable(stream);
    uint32_t head[2];
    if (stream->Read(head, sizeof head) != sizeof head || head[0] != kLmfMagic) return -1;
    if (available >= 0 && head[1] > available - static_cast<int64_t>(sizeof head)) return -1;
    SLoad load{device};
    try {
        CChunkReader top(stream, head[1]);
        ReadBody(load, top, model);
    } catch (const std::bad_alloc&) {
        load.failed = true;
    }
    if (load.failed || !HasValidIndices(*model) || !LinkParents(model)) return -1;
    return 0;
}

int32_t FinishLoad(CLmfModel* model, int32_t result) {
    if (result != 0) model->Free();
    return result;
}

}  // namespace

uint32_t LmfTextureSide(int32_t width, int32_t height) {
    return std::bit_ceil(static_cast<uint32_t>(std::max({width, height, 1})));
}

uint64_t LmfTextureAllowance(uint64_t pixelBytes) {
    if (pixelBytes >= kLmfTextureCeilingBytes) return kLmfTextureCeilingBytes;
    return std::min(pixelBytes * kLmfTextureBytesPerPixelByte + kLmfTextureSlackBytes, kLmfTextureCeilingBytes);
}

CLmfKey* CLmfChannel::AllocKeys(uint32_t n) {
    FreeKeys();
    try {
        keys.assign(n, CLmfKey{});
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return keys.data();
}

void CLmfChannel::FreeKeys() { std::vector<CLmfKey>().swap(keys); }

void CLmfNode::Reset() {
    MatrixIdentity(&local);
    MatrixIdentity(&world);
    MatrixIdentity(&skinning);
    MatrixIdentity(&inverseRest);
    pivot = position = rotation = SVector3{0.0f, 0.0f, 0.0f};
    scale = SVector3{1.0f, 1.0f, 1.0f};
    parentIndex = kLmfNone;
    parent = nullptr;
}

void CLmfNode::FreeChannels() {
    for (CLmfChannel& channel : channels) channel.FreeKeys();
}

int32_t CLmfModel::LoadFile(CGraphicsDevice* device, const char* path) {
    Free();
    CReadStream stream;
    if (path == nullptr || stream.OpenFile(path) != 0) return -1;
    return FinishLoad(this, LoadLmf(&stream, device, this));
}

int32_t CLmfModel::LoadStream(CGraphicsDevice* device, const CStreamCallbacks& callbacks, void* source) {
    Free();
    CReadStream stream;
    stream.SetSource(callbacks, source);
    return FinishLoad(this, LoadLmf(&stream, device, this));
}

void CLmfModel::Free() {
    for (CLmfSurface& surface : surfaces) {
        ReleaseTexture(&surface.texture);
        ReleaseTexture(&surface.toon);
    }
    std::vector<CLmfLayer>().swap(layers);
    std::vector<CLmfNode>().swap(nodes);
    std::vector<CLmfSurface>().swap(surfaces);
    std::vector<CLmfCamera>().swap(cameras);
    std::vector<uint8_t>().swap(lightGroups);
}

bool CLmfModel::CanMorph(uint32_t base, uint32_t target) const {
    if (base >= layers.size() || target >= layers.size()) return false;
    const std::vector<CLmfMesh>& baseMeshes = layers[base].meshes;
    const std::vector<CLmfMesh>& targetMeshes = layers[target].meshes;
    if (targetMeshes.size() < baseMeshes.size()) return false;
    for (size_t i = 0; i < baseMeshes.size(); ++i)
        if (targetMeshes[i].vertices.size() != baseMeshes[i].vertices.size()) return false;
    return true;
}

int32_t OpenModelStream(CLmfModel* model, CGraphicsDevice* device, const char* path) {
    if (model->LoadFile(device, path) == 0) return 0;
    CFileStream entry;
    if (path != nullptr && entry.OpenEntry(g_pArchives[kImageArchive], path) == 0 &&
        model->LoadStream(device, FileStreamCallbacks(), &entry) == 0)
        return 0;
    if (g_ArchiveErrorMask & kReportPictures) ShowDataFileOpenError(path);
    return -1;
}
