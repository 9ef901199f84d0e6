#include "platform/graphics_3d.h"

#include <cstring>
#include <new>

#include "platform/raster3d.h"

namespace {

constexpr uint32_t kMaxElements = 64;

uint32_t ElementSize(uint8_t type) {
    switch (type) {
        case DeclType::Float1: return 4;
        case DeclType::Float2: return 8;
        case DeclType::Float3: return 12;
        case DeclType::Float4: return 16;
        case DeclType::Color: return 4;
        default: return 0;
    }
}

bool IsEnd(const SVertexElement& e) { return e.stream == 0xFF && e.type == DeclType::Unused; }

struct SStreamBinding {
    CVertexBuffer* buffer = nullptr;  // held, or null for caller memory
    const uint8_t* data = nullptr;
    uint32_t bytes = 0;
    uint32_t stride = 0;
};

template <typename T>
void Hold(T*& slot, T* object) {
    if (object) object->AddRef();
    if (slot) slot->Release();
    slot = object;
}

const uint32_t kWhiteTexel = 0xFFFFFFFFu;

raster::STextureView TextureView(const CTexture* texture) {
    if (!texture) return {&kWhiteTexel, 1, 1, 1, 0};
    const CSurface* level = texture->Level0();
    return {reinterpret_cast<const uint32_t*>(level->Bits()), level->Pitch() / 4, level->Width(), level->Height(),
            level->GetFormat() == Format::X8R8G8B8 ? 0xFF000000u : 0u};
}

// Whether a stage-1 operation multiplies the current value by the stage's texel. Disabling the
// stage and selecting an argument other than the texture pass the value on; every other
// operation modulates (the only one the program uses on this stage).
bool MultipliesByTexel(uint32_t op, uint32_t arg1, uint32_t arg2) {
    switch (op) {
        case TexOp::Disable: return false;
        case TexOp::SelectArg1: return (arg1 & 0xF) == TexArg::Texture;
        case TexOp::SelectArg2: return (arg2 & 0xF) == TexArg::Texture;
        default: return true;
    }
}

}  // namespace

// ---- Declarations and buffers ----

uint32_t CVertexDeclaration::Release() {
    const uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
}

const SVertexElement* CVertexDeclaration::Find(uint8_t usage, uint8_t usageIndex) const {
    for (const SVertexElement& e : elements_)
        if (e.usage == usage && e.usageIndex == usageIndex) return &e;
    return nullptr;
}

uint32_t CVertexDeclaration::StreamExtent(uint32_t stream) const {
    uint32_t extent = 0;
    for (const SVertexElement& e : elements_)
        if (e.stream == stream && e.offset + ElementSize(e.type) > extent) extent = e.offset + ElementSize(e.type);
    return extent;
}

uint32_t CDeviceBuffer::Release() {
    const uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
}

int32_t CDeviceBuffer::Lock(uint32_t offset, uint32_t size, void** data, uint32_t /*flags*/) {
    if (!data || locked_ || offset > bytes_.size()) return -1;
    if (size == 0) size = static_cast<uint32_t>(bytes_.size()) - offset;
    if (size > bytes_.size() - offset) return -1;
    *data = bytes_.data() + offset;
    locked_ = true;
    return 0;
}

int32_t CDeviceBuffer::Unlock() {
    if (!locked_) return -1;
    locked_ = false;
    return 0;
}

void ReadElement(const SVertexStreams& streams, const SVertexElement* element, uint32_t vertex, float out[4]) {
    out[0] = out[1] = out[2] = 0.0f;
    out[3] = 1.0f;
    if (!element) return;
    const uint8_t* p = streams.data[element->stream] + static_cast<size_t>(vertex) * streams.stride[element->stream] +
                       element->offset;
    if (element->type == DeclType::Color) {
        uint32_t colour;
        std::memcpy(&colour, p, 4);
        for (int c = 0; c < 4; ++c) out[c] = static_cast<float>((colour >> (c == 3 ? 24 : 16 - 8 * c)) & 0xFF) / 255.0f;
        return;
    }
    std::memcpy(out, p, ElementSize(element->type));
}

// ---- Device entry points ----

struct CGraphicsDevice::Impl3D {
    CVertexDeclaration* declaration = nullptr;
    SStreamBinding streams[kMaxVertexStreams];
    CIndexBuffer* indexBuffer = nullptr;
    const uint16_t* indices = nullptr;
    uint32_t indexCount = 0;
    IVertexShader* shader = nullptr;
    std::vector<SShadedVertex> shaded;
    std::vector<uint32_t> triangles;

    ~Impl3D() {
        Hold<CVertexDeclaration>(declaration, nullptr);
        Hold<CIndexBuffer>(indexBuffer, nullptr);
        for (SStreamBinding& s : streams) Hold<CVertexBuffer>(s.buffer, nullptr);
    }
};

void CGraphicsDevice::Release3D() {
    delete impl3d_;
    impl3d_ = nullptr;
}

namespace {

// The 3D state, created on first use; null when memory runs out.
template <typename Impl>
Impl* Ensure(Impl*& state) {
    if (!state) state = new (std::nothrow) Impl();
    return state;
}

}  // namespace

template <class Buffer>
int32_t CGraphicsDevice::CreateBuffer(uint32_t length, Pool pool, Buffer** buffer) {
    if (!buffer) return -1;
    *buffer = nullptr;
    if (length == 0 || pool == Pool::Default) return -1;
    Buffer* created = new (std::nothrow) Buffer();
    if (!created) return -1;
    try {
        created->bytes_.assign(length, 0);
    } catch (const std::bad_alloc&) {
        created->Release();
        return -1;
    }
    *buffer = created;
    return 0;
}

int32_t CGraphicsDevice::CreateVertexBuffer(uint32_t length, uint32_t /*usage*/, uint32_t /*fvf*/, Pool pool,
                                            CVertexBuffer** buffer) {
    return CreateBuffer(length, pool, buffer);
}

int32_t CGraphicsDevice::CreateIndexBuffer(uint32_t length, uint32_t /*usage*/, Format format, Pool pool,
                                           CIndexBuffer** buffer) {
    if (buffer && format != Format::Index16) *buffer = nullptr;
    return format == Format::Index16 ? CreateBuffer(length, pool, buffer) : -1;
}

int32_t CGraphicsDevice::CreateVertexDeclaration(const SVertexElement* elements, CVertexDeclaration** declaration) {
    if (!declaration) return -1;
    *declaration = nullptr;
    if (!elements) return -1;
    std::vector<SVertexElement> list;
    for (uint32_t i = 0; !IsEnd(elements[i]); ++i) {
        const SVertexElement& e = elements[i];
        if (i >= kMaxElements || e.stream >= kMaxVertexStreams || ElementSize(e.type) == 0 ||
            e.method != kDeclMethodDefault)
            return -1;
        for (const SVertexElement& other : list)
            if (other.usage == e.usage && other.usageIndex == e.usageIndex) return -1;
        list.push_back(e);
    }
    CVertexDeclaration* created = new (std::nothrow) CVertexDeclaration();
    if (!created) return -1;
    created->elements_ = std::move(list);
    *declaration = created;
    return 0;
}

int32_t CGraphicsDevice::SetVertexDeclaration(CVertexDeclaration* declaration) {
    if (!Ensure(impl3d_)) return -1;
    Hold(impl3d_->declaration, declaration);
    return 0;
}

CVertexDeclaration* CGraphicsDevice::GetVertexDeclaration() const { return impl3d_ ? impl3d_->declaration : nullptr; }

int32_t CGraphicsDevice::SetStreamSource(uint32_t stream, CVertexBuffer* buffer, uint32_t offsetBytes,
                                         uint32_t stride) {
    if (stream >= kMaxVertexStreams || !Ensure(impl3d_)) return -1;
    if (buffer && (stride == 0 || offsetBytes > buffer->Size())) return -1;
    SStreamBinding& s = impl3d_->streams[stream];
    Hold(s.buffer, buffer);
    s.data = buffer ? buffer->Data() + offsetBytes : nullptr;
    s.bytes = buffer ? buffer->Size() - offsetBytes : 0;
    s.stride = buffer ? stride : 0;
    return 0;
}

int32_t CGraphicsDevice::SetStreamSourceMemory(uint32_t stream, const void* data, uint32_t bytes, uint32_t stride) {
    if (stream >= kMaxVertexStreams || (data && stride == 0) || !Ensure(impl3d_)) return -1;
    SStreamBinding& s = impl3d_->streams[stream];
    Hold<CVertexBuffer>(s.buffer, nullptr);
    s.data = static_cast<const uint8_t*>(data);
    s.bytes = data ? bytes : 0;
    s.stride = data ? stride : 0;
    return 0;
}

int32_t CGraphicsDevice::SetIndices(CIndexBuffer* indices) {
    if (!Ensure(impl3d_)) return -1;
    Hold(impl3d_->indexBuffer, indices);
    impl3d_->indices = indices ? reinterpret_cast<const uint16_t*>(indices->Data()) : nullptr;
    impl3d_->indexCount = indices ? indices->Size() / 2 : 0;
    return 0;
}

int32_t CGraphicsDevice::SetIndicesMemory(const uint16_t* indices, uint32_t count) {
    if (!Ensure(impl3d_)) return -1;
    Hold<CIndexBuffer>(impl3d_->indexBuffer, nullptr);
    impl3d_->indices = indices;
    impl3d_->indexCount = indices ? count : 0;
    return 0;
}

int32_t CGraphicsDevice::SetVertexShader(IVertexShader* shader) {
    if (!Ensure(impl3d_)) return -1;
    impl3d_->shader = shader;
    return 0;
}

IVertexShader* CGraphicsDevice::GetVertexShader() const { return impl3d_ ? impl3d_->shader : nullptr; }

int32_t CGraphicsDevice::DrawIndexedPrimitive(Primitive type, int32_t baseVertexIndex, uint32_t minIndex,
                                              uint32_t numVertices, uint32_t startIndex, uint32_t primitiveCount) {
    Impl3D* d = impl3d_;
    if (!InScene() || type != Primitive::TriangleList || !d || !d->shader || !d->declaration || !d->indices)
        return -1;
    const int64_t first = int64_t{baseVertexIndex} + minIndex;
    if (first < 0 || first + numVertices > UINT32_MAX) return -1;
    if (uint64_t{startIndex} + 3 * uint64_t{primitiveCount} > d->indexCount) return -1;
    SVertexStreams streams = {d->declaration, {}, {}};
    bool readsStreams = false;
    for (uint32_t s = 0; s < kMaxVertexStreams; ++s) {
        const uint32_t extent = d->declaration->StreamExtent(s);
        if (extent == 0) continue;
        readsStreams = true;
        const SStreamBinding& b = d->streams[s];
        if (!b.data || b.bytes < extent) return -1;
        const uint64_t available = (b.bytes - extent) / b.stride + 1;
        if (static_cast<uint64_t>(first) + numVertices > available) return -1;
        streams.data[s] = b.data;
        streams.stride[s] = b.stride;
    }
    if (!readsStreams) return -1;
    if (IsLost() || primitiveCount == 0 || numVertices == 0) return 0;

    try {
        d->shaded.resize(numVertices);
        d->triangles.reserve(3 * size_t{primitiveCount});
    } catch (const std::bad_alloc&) {
        return -1;
    }
    d->shader->ShadeVertices(streams, static_cast<uint32_t>(first), numVertices, d->shaded.data());
    d->triangles.clear();
    const uint16_t* index = d->indices + startIndex;
    for (uint32_t t = 0; t < primitiveCount; ++t, index += 3) {
        uint32_t corner[3];
        bool inside = true;
        for (int c = 0; c < 3; ++c) {
            const int64_t shadedIndex = int64_t{baseVertexIndex} + index[c] - first;
            inside = inside && shadedIndex >= 0 && shadedIndex < numVertices;
            corner[c] = static_cast<uint32_t>(shadedIndex);
        }
        if (inside) d->triangles.insert(d->triangles.end(), corner, corner + 3);
    }

    raster::SPipeline3D pipeline;
    raster::STarget target;
    DrawState(&pipeline.base, &target);
    const bool stageOn = GetTextureStageState(0, TexStage::ColorOp) != TexOp::Disable &&
                         GetTextureStageState(1, TexStage::ColorOp) != TexOp::Disable;
    const auto stage1 = [&](TexStage op, TexStage arg1, TexStage arg2) {
        return stageOn && MultipliesByTexel(GetTextureStageState(1, op), GetTextureStageState(1, arg1),
                                            GetTextureStageState(1, arg2));
    };
    pipeline.stage1Colour = stage1(TexStage::ColorOp, TexStage::ColorArg1, TexStage::ColorArg2);
    pipeline.stage1Alpha = stage1(TexStage::AlphaOp, TexStage::AlphaArg1, TexStage::AlphaArg2);
    pipeline.texture1 = TextureView(GetTexture(1));
    pipeline.minLinear1 = GetSamplerState(1, Sampler::MinFilter) >= TexFilter::Linear;
    pipeline.magLinear1 = GetSamplerState(1, Sampler::MagFilter) >= TexFilter::Linear;
    pipeline.specular = GetRenderState(RenderState::SpecularEnable) != 0;
    SViewport vp;
    GetViewport(&vp);
    const raster::SViewport3D viewport = {static_cast<double>(vp.x), static_cast<double>(vp.y),
                                          static_cast<double>(vp.width), static_cast<double>(vp.height),
                                          vp.minZ, vp.maxZ};
    raster::DrawTriangles3D(target, pipeline, viewport, d->shaded.data(), numVertices, d->triangles.data(),
                            static_cast<uint32_t>(d->triangles.size() / 3));
    return 0;
}
