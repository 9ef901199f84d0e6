#include "platform/graphics.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/frame_record.h"
#include "platform/raster.h"

namespace {

constexpr uint32_t kStageCount = 8;
constexpr uint32_t kStageStateCount = 33;
constexpr uint32_t kSamplerCount = 16;
constexpr uint32_t kSamplerStateCount = 14;
constexpr uint32_t kRenderStateCount = 256;
constexpr uint32_t kLossNone = 0, kLossLost = 1, kLossNotReset = 2;

// Texture stage states outside the header's list that keep their own defaults.
constexpr uint32_t kTssTexCoordIndex = 11;
constexpr uint32_t kTssColorArg0 = 26, kTssAlphaArg0 = 27, kTssResultArg = 28;
constexpr uint32_t kSampMaxAnisotropy = 10;

const uint32_t kWhiteTexel = 0xFFFFFFFFu;

bool Is32Bit(Format format) { return format == Format::A8R8G8B8 || format == Format::X8R8G8B8; }

uint32_t BytesPerPixel(Format format) { return format == Format::D16 ? 2 : 4; }

// Surfaces of at least this many bytes get pages of their own: zero-filled by the system and
// resident only once written, and given back whole when freed.
constexpr size_t kMappedSurfaceBytes = 64 * 1024;
// A recorded frame longer than this is rasterised at once (a program drawing without Present).
constexpr size_t kMaxPendingEntries = 4096;
constexpr size_t kMaxPendingVertexBytes = 4 << 20;
// A back buffer drawn on without full clears keeps its record only up to this length.
constexpr size_t kMaxHeldEntries = 8192;

std::atomic<uint64_t> g_nextStamp{1};

uint64_t NewStamp() { return g_nextStamp.fetch_add(1, std::memory_order_relaxed); }

bool ValidRect(const SRect& r, uint32_t width, uint32_t height) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           static_cast<uint32_t>(r.right) <= width && static_cast<uint32_t>(r.bottom) <= height;
}

}  // namespace

struct CGraphicsDevice::Impl {
    CGraphicsDevice* self = nullptr;
    SDeviceParams params;
    CSurface* backBuffer = nullptr;
    CSurface* autoDepth = nullptr;
    CSurface* renderTarget = nullptr;
    CSurface* depthSurface = nullptr;
    CTexture* stageTextures[kStageCount] = {};
    uint32_t renderStates[kRenderStateCount] = {};
    uint32_t stageStates[kStageCount][kStageStateCount] = {};
    uint32_t samplerStates[kSamplerCount][kSamplerStateCount] = {};
    uint32_t fvf = 0;
    SViewport viewport = {};
    bool inScene = false;
    uint32_t loss = kLossNone;
    uint32_t lossCountdown = 0;
    uint32_t failResets = 0;
    std::vector<CSurface*> surfaces;  // every live surface that is not a texture level
    std::vector<CTexture*> textures;  // every live texture

    // Damage tracking of the back buffer (see graphics.h). `held` describes what the back
    // buffer holds when heldValid: drawing it from nothing gives exactly its pixels. `pending`
    // holds the clears and draws not yet rasterised; `changed` the rectangles of the back buffer
    // written since the last Present. The generation counts flushes: a surface whose recordedIn_
    // equals it is read by a pending draw.
    bool tracking = true;
    frame::CFrameList held;
    frame::CFrameList pending;
    bool heldValid = false;
    frame::CDamage changed;
    uint64_t generation = 1;
    PresentCallback observer = nullptr;
    void* observerUser = nullptr;

    static uint8_t* AllocatePixels(size_t bytes, size_t* mappedBytes) {
        *mappedBytes = 0;
        if (bytes >= kMappedSurfaceBytes) {
            void* pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (pages == MAP_FAILED) return nullptr;
            *mappedBytes = bytes;
            return static_cast<uint8_t*>(pages);
        }
        void* bits = std::aligned_alloc(64, (bytes + 63) & ~size_t{63});
        if (bits) std::memset(bits, 0, bytes);
        return static_cast<uint8_t*>(bits);
    }

    static void FreePixels(uint8_t* bits, size_t mappedBytes) {
        if (mappedBytes > 0)
            ::munmap(bits, mappedBytes);
        else
            std::free(bits);
    }

    // Gives a new surface its pixels and description; false when they cannot be had.
    static bool InitSurface(CSurface* surface, CGraphicsDevice* device, uint32_t width, uint32_t height,
                            Format format, uint32_t usage, Pool pool) {
        if (width == 0 || height == 0 || width > kMaxTextureSide || height > kMaxTextureSide) return false;
        const uint32_t pitch = (width * BytesPerPixel(format) + 15) & ~15u;
        const size_t bytes = static_cast<size_t>(pitch) * height;
        size_t mappedBytes = 0;
        uint8_t* bits = AllocatePixels(bytes, &mappedBytes);
        if (!bits) return false;
        surface->mappedBytes_ = mappedBytes;
        surface->stamp_ = NewStamp();
        surface->depthClean_ = format == Format::D16;  // zero-filled
        surface->device_ = device;
        surface->format_ = format;
        surface->usage_ = usage;
        surface->pool_ = pool;
        surface->width_ = width;
        surface->height_ = height;
        surface->pitch_ = static_cast<int32_t>(pitch);
        surface->bits_ = bits;
        surface->lockable_ = format != Format::D16 && !(usage & Usage::RenderTarget);
        return true;
    }

    static CSurface* NewSurface(CGraphicsDevice* device, uint32_t width, uint32_t height, Format format,
                                uint32_t usage, Pool pool) {
        CSurface* surface = new (std::nothrow) CSurface();
        if (surface && !InitSurface(surface, device, width, height, format, usage, pool)) {
            delete surface;
            return nullptr;
        }
        return surface;
    }

    static void DestroySurface(CSurface* surface) { delete surface; }
    static void DestroyTexture(CTexture* texture) { delete texture; }

    template <typename T>
    static void Erase(std::vector<T*>& list, T* item) {
        list.erase(std::remove(list.begin(), list.end(), item), list.end());
    }

    void ResetStates() {
        std::fill(std::begin(renderStates), std::end(renderStates), 0u);
        const auto rs = [&](RenderState state, uint32_t value) { renderStates[static_cast<uint32_t>(state)] = value; };
        rs(RenderState::ZEnable, autoDepth ? 1u : 0u);
        rs(RenderState::ZWriteEnable, 1);
        rs(RenderState::AlphaTestEnable, 0);
        rs(RenderState::SrcBlend, Blend::One);
        rs(RenderState::DestBlend, Blend::Zero);
        rs(RenderState::CullMode, Cull::CCW);
        rs(RenderState::ZFunc, Cmp::LessEqual);
        rs(RenderState::AlphaRef, 0);
        rs(RenderState::AlphaFunc, Cmp::Always);
        rs(RenderState::DitherEnable, 0);
        rs(RenderState::AlphaBlendEnable, 0);
        rs(RenderState::Lighting, 1);
        rs(RenderState::MultisampleAntialias, 1);
        rs(RenderState::BlendOp, BlendOp::Add);
        rs(RenderState::SeparateAlphaBlendEnable, 0);
        rs(RenderState::SrcBlendAlpha, Blend::One);
        rs(RenderState::DestBlendAlpha, Blend::Zero);
        rs(RenderState::BlendOpAlpha, BlendOp::Add);
        for (uint32_t stage = 0; stage < kStageCount; ++stage) {
            uint32_t* s = stageStates[stage];
            std::fill(s, s + kStageStateCount, 0u);
            s[static_cast<uint32_t>(TexStage::ColorOp)] = stage == 0 ? TexOp::Modulate : TexOp::Disable;
            s[static_cast<uint32_t>(TexStage::ColorArg1)] = TexArg::Texture;
            s[static_cast<uint32_t>(TexStage::ColorArg2)] = TexArg::Current;
            s[static_cast<uint32_t>(TexStage::AlphaOp)] = stage == 0 ? TexOp::SelectArg1 : TexOp::Disable;
            s[static_cast<uint32_t>(TexStage::AlphaArg1)] = TexArg::Texture;
            s[static_cast<uint32_t>(TexStage::AlphaArg2)] = TexArg::Current;
            s[kTssTexCoordIndex] = stage;
            s[kTssColorArg0] = s[kTssAlphaArg0] = s[kTssResultArg] = TexArg::Current;
        }
        for (uint32_t sampler = 0; sampler < kSamplerCount; ++sampler) {
            uint32_t* s = samplerStates[sampler];
            std::fill(s, s + kSamplerStateCount, 0u);
            s[static_cast<uint32_t>(Sampler::AddressU)] = TexAddress::Wrap;
            s[static_cast<uint32_t>(Sampler::AddressV)] = TexAddress::Wrap;
            s[3] = TexAddress::Wrap;  // address W
            s[static_cast<uint32_t>(Sampler::MagFilter)] = TexFilter::Point;
            s[static_cast<uint32_t>(Sampler::MinFilter)] = TexFilter::Point;
            s[static_cast<uint32_t>(Sampler::MipFilter)] = TexFilter::None;
            s[kSampMaxAnisotropy] = 1;
        }
        fvf = 0;
    }

    void FullViewport() {
        viewport = {0, 0, renderTarget->width_, renderTarget->height_, 0.0f, 1.0f};
    }

    void Bind(CSurface*& slot, CSurface* surface) {
        if (surface) surface->AddRef();
        if (slot) slot->Release();
        slot = surface;
    }

    void UnbindAll() {
        for (CTexture*& texture : stageTextures) {
            if (texture) texture->Release();
            texture = nullptr;
        }
        Bind(renderTarget, nullptr);
        Bind(depthSurface, nullptr);
    }

    // References that the device itself holds on a resource through its bindings.
    uint32_t BindingRefs(const CSurface* surface) const {
        return (renderTarget == surface ? 1u : 0u) + (depthSurface == surface ? 1u : 0u);
    }
    uint32_t BindingRefs(const CTexture* texture) const {
        uint32_t refs = BindingRefs(texture->level0_);
        for (const CTexture* bound : stageTextures) refs += bound == texture ? 1u : 0u;
        return refs;
    }

    // True when the application still holds a default-pool resource or a reference to the
    // device's own buffers, which a reset would invalidate.
    bool ApplicationHoldsDefaultPool() const {
        for (const CSurface* s : surfaces) {
            const uint32_t own = s->deviceOwned_ ? 1u : 0u;
            if ((s->deviceOwned_ || s->pool_ == Pool::Default) && s->refs_ > own + BindingRefs(s)) return true;
        }
        for (const CTexture* t : textures)
            if (t->level0_->pool_ == Pool::Default && t->refs_ > BindingRefs(t)) return true;
        return false;
    }

    bool CreateOwnBuffers(uint32_t width, uint32_t height, CSurface** back, CSurface** depth) {
        *back = NewSurface(self, width, height, Format::X8R8G8B8, Usage::RenderTarget, Pool::Default);
        *depth = nullptr;
        if (*back && params.autoDepth)
            *depth = NewSurface(self, width, height, Format::D16, Usage::DepthStencil, Pool::Default);
        if (!*back || (params.autoDepth && !*depth)) {
            delete *back;
            delete *depth;
            return false;
        }
        for (CSurface* s : {*back, *depth}) {
            if (!s) continue;
            s->deviceOwned_ = true;
            surfaces.push_back(s);
        }
        (*back)->lockable_ = true;
        return true;
    }

    void InstallOwnBuffers(CSurface* back, CSurface* depth) {
        pending.Reset();
        held.Reset();
        heldValid = false;
        changed.Clear();
        changed.Add({0, 0, static_cast<int32_t>(back->width_), static_cast<int32_t>(back->height_)});
        UnbindAll();
        if (backBuffer) backBuffer->Release();
        if (autoDepth) autoDepth->Release();
        backBuffer = back;
        autoDepth = depth;
        params.width = back->width_;
        params.height = back->height_;
        Bind(renderTarget, backBuffer);
        Bind(depthSurface, autoDepth);
        FullViewport();
        ResetStates();
        inScene = false;
    }

    raster::SPipeline Pipeline() const;
    raster::STarget Target() const;

    SRect WholeBackBuffer() const {
        return {0, 0, static_cast<int32_t>(backBuffer->width_), static_cast<int32_t>(backBuffer->height_)};
    }
    SRect ViewportRect() const {
        return {static_cast<int32_t>(viewport.x), static_cast<int32_t>(viewport.y),
                static_cast<int32_t>(viewport.x + viewport.width), static_cast<int32_t>(viewport.y + viewport.height)};
    }

    // Clears and draws are recorded while they go to the back buffer and its own depth surface.
    bool Recording() const {
        return tracking && renderTarget == backBuffer && (depthSurface == autoDepth || depthSurface == nullptr);
    }

    bool IsPendingSource(const CSurface* surface) const {
        return !pending.Empty() && surface->recordedIn_ == generation;
    }

    void RecordDraw(const raster::SPipeline& pipeline, Primitive type, uint32_t primitiveCount,
                    const uint8_t* vertices, uint32_t stride, const frame::SVertexLayout& layout) {
        const SRect clip = ViewportRect();
        const SRect bounds = frame::PrimitiveBounds(type, primitiveCount, vertices, stride, clip);
        if (frame::IsEmpty(bounds)) return;
        CSurface* texture = stageTextures[0] ? stageTextures[0]->level0_ : nullptr;
        const uint64_t stamp = texture && pipeline.useTexture ? texture->stamp_ : 0;
        pending.AddDraw(pipeline, stamp, depthSurface != nullptr, clip, type, primitiveCount, vertices, stride, layout,
                        bounds);
        if (stamp != 0) texture->recordedIn_ = generation;
        // A texture still locked may change before the flush: its draw is rasterised now.
        if ((texture && texture->locked_) || pending.Size() > kMaxPendingEntries ||
            pending.VertexBytes() > kMaxPendingVertexBytes)
            Flush();
    }

    void RecordClear(const SRect& rect, uint32_t flags, uint32_t fill, uint16_t depthFill) {
        // Whatever is pending before a clear of everything can never show.
        if (frame::IsFullClear(rect, flags, backBuffer->width_, backBuffer->height_, autoDepth != nullptr) &&
            depthSurface == autoDepth)
            pending.Reset();
        pending.AddClear(rect, flags, fill, depthFill);
        if (pending.Size() > kMaxPendingEntries) Flush();
    }

    // The back buffer and its depth surface as the rasteriser's target, clipped to clip.
    raster::STarget BackBufferTarget(const SRect& clip) const {
        raster::STarget t = {};
        t.pixels = reinterpret_cast<uint32_t*>(backBuffer->bits_);
        t.pitch = backBuffer->pitch_ / 4;
        t.width = backBuffer->width_;
        t.height = backBuffer->height_;
        t.opaque = true;
        if (autoDepth) {
            t.depth = reinterpret_cast<uint16_t*>(autoDepth->bits_);
            t.depthPitch = autoDepth->pitch_ / 2;
        }
        t.clipLeft = clip.left;
        t.clipTop = clip.top;
        t.clipRight = clip.right;
        t.clipBottom = clip.bottom;
        return t;
    }

    // Rasterises what is pending. A list that starts by clearing everything is compared with
    // the held one and drawn only where the two differ; any other list is drawn whole on top of
    // what the back buffer holds.
    void Flush() {
        if (pending.Empty()) return;
        const SRect whole = WholeBackBuffer();
        const raster::STarget target = BackBufferTarget(whole);
        frame::CDamage damage;
        bool wroteDepth = false;
        if (pending.StartsWithFullClear(backBuffer->width_, backBuffer->height_, autoDepth != nullptr)) {
            if (heldValid)
                frame::FindDamage(held, pending, &damage);
            else
                damage.Add(whole);
            for (uint32_t i = 0; i < damage.Count(); ++i)
                wroteDepth = pending.Replay(target, damage.Rects()[i]) || wroteDepth;
            std::swap(held, pending);
            heldValid = true;
        } else {
            for (size_t i = 0; i < pending.Size(); ++i) damage.Add(pending[i].bounds);
            wroteDepth = pending.Replay(target, whole);
            if (heldValid) held.Append(pending);
            heldValid = heldValid && held.Size() <= kMaxHeldEntries;
        }
        pending.Reset();
        ++generation;
        if (wroteDepth && autoDepth) autoDepth->depthClean_ = false;
        for (uint32_t i = 0; i < damage.Count(); ++i) changed.Add(damage.Rects()[i]);
    }

    // The back buffer was (or may have been) written in rect by something the record does not
    // describe.
    void BackBufferWritten(const SRect& rect) {
        // Written whole (a movie frame), the back buffer owes nothing to what was recorded.
        const SRect whole = WholeBackBuffer();
        if (rect.left <= 0 && rect.top <= 0 && rect.right >= whole.right && rect.bottom >= whole.bottom) held.Reset();
        if (heldValid) held.AddBarrier(rect);
        changed.Add(rect);
    }

    // Before writing a surface outside the record: pending draws must not see the write, and
    // the surface's contents change.
    void BeforeDirectWrite(CSurface* surface) {
        if (surface == backBuffer || surface == autoDepth || IsPendingSource(surface)) Flush();
        surface->stamp_ = NewStamp();
    }

    // Fills rect of a depth surface, skipped when it already holds the value everywhere.
    static void FillDepth(CSurface* depth, SRect r, uint16_t value) {
        r.right = std::min<int32_t>(r.right, static_cast<int32_t>(depth->width_));
        r.bottom = std::min<int32_t>(r.bottom, static_cast<int32_t>(depth->height_));
        if (r.left >= r.right || r.top >= r.bottom) return;
        if (depth->depthClean_ && depth->depthCleanValue_ == value) return;
        for (int32_t y = r.top; y < r.bottom; ++y) {
            uint16_t* row = reinterpret_cast<uint16_t*>(depth->bits_ + static_cast<size_t>(y) * depth->pitch_);
            std::fill(row + r.left, row + r.right, value);
        }
        const bool whole = r.left == 0 && r.top == 0 && r.right == static_cast<int32_t>(depth->width_) &&
                           r.bottom == static_cast<int32_t>(depth->height_);
        depth->depthClean_ = whole;
        depth->depthCleanValue_ = value;
    }
};

// ---- CSurface ----

CSurface::~CSurface() { CGraphicsDevice::Impl::FreePixels(bits_, mappedBytes_); }

uint8_t* CSurface::Bits() const {
    if (device_) {
        CGraphicsDevice::Impl& d = *device_->impl_;
        if (this == d.backBuffer || this == d.autoDepth) d.Flush();
    }
    return bits_;
}

void CSurface::AddRef() {
    if (owner_) {
        owner_->AddRef();
        return;
    }
    ++refs_;
}

uint32_t CSurface::Release() {
    if (owner_) return owner_->Release();
    const uint32_t left = --refs_;
    if (left == 0) {
        if (device_) CGraphicsDevice::Impl::Erase(device_->impl_->surfaces, this);
        delete this;
    }
    return left;
}

int32_t CSurface::GetDesc(SSurfaceDesc* desc) const {
    if (!desc) return -1;
    *desc = {format_, usage_, pool_, width_, height_};
    return 0;
}

int32_t CSurface::LockRect(SLockedRect* locked, const SRect* rect, uint32_t /*flags*/) {
    if (!locked || locked_ || !lockable_) return -1;
    const SRect whole = {0, 0, static_cast<int32_t>(width_), static_cast<int32_t>(height_)};
    const SRect r = rect ? *rect : whole;
    if (!ValidRect(r, width_, height_)) return -1;
    // The caller may read and write the rectangle until it unlocks.
    if (device_) {
        CGraphicsDevice::Impl& d = *device_->impl_;
        d.BeforeDirectWrite(this);
        if (this == d.backBuffer) d.BackBufferWritten(r);
    }
    locked->pitch = pitch_;
    locked->bits = bits_ + static_cast<size_t>(r.top) * pitch_ + static_cast<size_t>(r.left) * BytesPerPixel(format_);
    locked_ = true;
    return 0;
}

int32_t CSurface::UnlockRect() {
    if (!locked_) return -1;
    locked_ = false;
    stamp_ = NewStamp();
    return 0;
}

// ---- CTexture ----

CTexture::~CTexture() = default;

void CTexture::AddRef() { ++refs_; }

uint32_t CTexture::Release() {
    const uint32_t left = --refs_;
    if (left == 0) {
        if (level0_->device_) {
            CGraphicsDevice::Impl& d = *level0_->device_->impl_;
            if (d.IsPendingSource(level0_)) d.Flush();  // its texels are read at the flush
            CGraphicsDevice::Impl::Erase(d.textures, this);
        }
        delete this;
    }
    return left;
}

int32_t CTexture::GetLevelDesc(uint32_t level, SSurfaceDesc* desc) const {
    if (level != 0) return -1;
    return level0_->GetDesc(desc);
}

int32_t CTexture::GetSurfaceLevel(uint32_t level, CSurface** surface) {
    if (!surface) return -1;
    *surface = nullptr;
    if (level != 0) return -1;
    AddRef();
    *surface = level0_;
    return 0;
}

int32_t CTexture::LockRect(uint32_t level, SLockedRect* locked, const SRect* rect, uint32_t flags) {
    if (level != 0) return -1;
    return level0_->LockRect(locked, rect, flags);
}

int32_t CTexture::UnlockRect(uint32_t level) {
    if (level != 0) return -1;
    return level0_->UnlockRect();
}

uint32_t CTexture::Width() const { return level0_->width_; }
uint32_t CTexture::Height() const { return level0_->height_; }

// ---- CGraphicsDevice ----

CGraphicsDevice* CGraphicsDevice::Create(const SDeviceParams& params) {
    CGraphicsDevice* device = new (std::nothrow) CGraphicsDevice();
    if (!device) return nullptr;
    device->impl_ = new (std::nothrow) Impl();
    if (!device->impl_) {
        delete device;
        return nullptr;
    }
    Impl& d = *device->impl_;
    d.self = device;
    d.params = params;
    CSurface* back;
    CSurface* depth;
    if (!d.CreateOwnBuffers(params.width, params.height, &back, &depth)) {
        delete device;
        return nullptr;
    }
    d.InstallOwnBuffers(back, depth);
    return device;
}

CGraphicsDevice::~CGraphicsDevice() {
    Release3D();
    if (!impl_) return;
    impl_->pending.Reset();
    impl_->UnbindAll();
    if (impl_->backBuffer) impl_->backBuffer->Release();
    if (impl_->autoDepth) impl_->autoDepth->Release();
    // Resources the application still holds outlive the device; they no longer report to it.
    for (CSurface* s : impl_->surfaces) s->device_ = nullptr;
    for (CTexture* t : impl_->textures) t->level0_->device_ = nullptr;
    delete impl_;
}

void CGraphicsDevice::Release() { delete this; }

int32_t CGraphicsDevice::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                                       Format format, Pool pool, CTexture** texture) {
    if (!texture) return -1;
    *texture = nullptr;
    if (levels > 1 || !Is32Bit(format) || (usage & ~Usage::RenderTarget)) return -1;
    if ((usage & Usage::RenderTarget) && pool != Pool::Default) return -1;
    CTexture* created = new (std::nothrow) CTexture();
    if (!created) return -1;
    if (!Impl::InitSurface(created->level0_, this, width, height, format, usage, pool)) {
        delete created;
        return -1;
    }
    created->level0_->owner_ = created;
    impl_->textures.push_back(created);
    *texture = created;
    return 0;
}

int32_t CGraphicsDevice::CreateRenderTarget(uint32_t width, uint32_t height, Format format, CSurface** surface) {
    if (!surface) return -1;
    *surface = nullptr;
    if (!Is32Bit(format)) return -1;
    CSurface* created = Impl::NewSurface(this, width, height, format, Usage::RenderTarget, Pool::Default);
    if (!created) return -1;
    impl_->surfaces.push_back(created);
    *surface = created;
    return 0;
}

int32_t CGraphicsDevice::CreateDepthSurface(uint32_t width, uint32_t height, CSurface** surface) {
    if (!surface) return -1;
    *surface = nullptr;
    CSurface* created = Impl::NewSurface(this, width, height, Format::D16, Usage::DepthStencil, Pool::Default);
    if (!created) return -1;
    impl_->surfaces.push_back(created);
    *surface = created;
    return 0;
}

namespace {
int32_t HandOut(CSurface* surface, CSurface** out) {
    if (!out) return -1;
    *out = surface;
    if (!surface) return -1;
    surface->AddRef();
    return 0;
}
}  // namespace

int32_t CGraphicsDevice::GetBackBuffer(CSurface** surface) { return HandOut(impl_->backBuffer, surface); }
int32_t CGraphicsDevice::GetRenderTarget(CSurface** surface) { return HandOut(impl_->renderTarget, surface); }
int32_t CGraphicsDevice::GetDepthSurface(CSurface** surface) { return HandOut(impl_->depthSurface, surface); }

int32_t CGraphicsDevice::SetRenderTarget(CSurface* surface) {
    if (!surface || surface->device_ != this || !(surface->usage_ & Usage::RenderTarget) ||
        !Is32Bit(surface->format_))
        return -1;
    if (surface != impl_->renderTarget) impl_->Flush();
    impl_->Bind(impl_->renderTarget, surface);
    impl_->FullViewport();
    return 0;
}

int32_t CGraphicsDevice::SetDepthSurface(CSurface* surface) {
    if (surface && (surface->device_ != this || surface->format_ != Format::D16)) return -1;
    if (surface != impl_->depthSurface) impl_->Flush();
    impl_->Bind(impl_->depthSurface, surface);
    return 0;
}

int32_t CGraphicsDevice::SetViewport(const SViewport& viewport) {
    const CSurface* target = impl_->renderTarget;
    if (viewport.width == 0 || viewport.height == 0 || viewport.x >= target->width_ ||
        viewport.y >= target->height_ || viewport.width > target->width_ - viewport.x ||
        viewport.height > target->height_ - viewport.y)
        return -1;
    impl_->viewport = viewport;
    return 0;
}

int32_t CGraphicsDevice::GetViewport(SViewport* viewport) const {
    if (!viewport) return -1;
    *viewport = impl_->viewport;
    return 0;
}

int32_t CGraphicsDevice::Clear(uint32_t rectCount, const SRect* rects, uint32_t flags, uint32_t colour, float z,
                               uint32_t /*stencil*/) {
    Impl& d = *impl_;
    if ((flags & ClearFlag::Stencil) || (rectCount > 0 && !rects)) return -1;
    if ((flags & ClearFlag::ZBuffer) && (!d.depthSurface || !(z >= 0.0f && z <= 1.0f))) return -1;
    if (d.loss != kLossNone) return 0;
    const SRect view = d.ViewportRect();
    CSurface* target = d.renderTarget;
    CSurface* depth = d.depthSurface;
    const uint32_t fill = target->format_ == Format::X8R8G8B8 ? colour | 0xFF000000u : colour;
    const uint16_t depthFill = static_cast<uint16_t>(std::lround(z * 65535.0f));
    const bool recording = d.Recording();
    if (!recording && (flags & ClearFlag::Target)) d.BeforeDirectWrite(target);
    if (!recording && (flags & ClearFlag::ZBuffer)) d.BeforeDirectWrite(depth);
    const uint32_t count = rectCount > 0 ? rectCount : 1;
    for (uint32_t i = 0; i < count; ++i) {
        const SRect r = frame::Intersection(rectCount > 0 ? rects[i] : view, view);
        if (frame::IsEmpty(r)) continue;
        if (recording) {
            d.RecordClear(r, flags, fill, depthFill);
            continue;
        }
        if (flags & ClearFlag::Target) {
            for (int32_t y = r.top; y < r.bottom; ++y) {
                uint32_t* row = reinterpret_cast<uint32_t*>(target->bits_ + static_cast<size_t>(y) * target->pitch_);
                std::fill(row + r.left, row + r.right, fill);
            }
            if (target == d.backBuffer) d.BackBufferWritten(r);
        }
        if (flags & ClearFlag::ZBuffer) Impl::FillDepth(depth, r, depthFill);
    }
    return 0;
}

int32_t CGraphicsDevice::BeginScene() {
    if (impl_->inScene) return -1;
    impl_->inScene = true;
    return 0;
}

int32_t CGraphicsDevice::EndScene() {
    if (!impl_->inScene) return -1;
    impl_->inScene = false;
    return 0;
}

int32_t CGraphicsDevice::Present() {
    Impl& d = *impl_;
    if (d.loss != kLossNone) return kDeviceLost;
    d.Flush();
    if (!d.tracking) {
        d.changed.Clear();
        d.changed.Add(d.WholeBackBuffer());
    }
    const CSurface* back = d.backBuffer;
    const SPresentFrame frame = {reinterpret_cast<const uint32_t*>(back->bits_), back->pitch_, back->width_,
                                 back->height_, d.changed.Rects(), d.changed.Count()};
    if (d.params.present) d.params.present(d.params.presentUser, frame);
    if (d.observer) d.observer(d.observerUser, frame);
    d.changed.Clear();
    return 0;
}

void CGraphicsDevice::SetDamageTracking(bool on) {
    Impl& d = *impl_;
    d.Flush();
    d.tracking = on;
    d.heldValid = false;
    d.held.Reset();
}

bool CGraphicsDevice::DamageTracking() const { return impl_->tracking; }

void CGraphicsDevice::SetPresentObserver(PresentCallback observer, void* user) {
    impl_->observer = observer;
    impl_->observerUser = user;
}

int32_t CGraphicsDevice::SetRenderState(RenderState state, uint32_t value) {
    const uint32_t index = static_cast<uint32_t>(state);
    if (index >= kRenderStateCount) return -1;
    impl_->renderStates[index] = value;
    return 0;
}

uint32_t CGraphicsDevice::GetRenderState(RenderState state) const {
    const uint32_t index = static_cast<uint32_t>(state);
    return index < kRenderStateCount ? impl_->renderStates[index] : 0;
}

int32_t CGraphicsDevice::SetTextureStageState(uint32_t stage, TexStage state, uint32_t value) {
    const uint32_t index = static_cast<uint32_t>(state);
    if (stage >= kStageCount || index == 0 || index >= kStageStateCount) return -1;
    impl_->stageStates[stage][index] = value;
    return 0;
}

uint32_t CGraphicsDevice::GetTextureStageState(uint32_t stage, TexStage state) const {
    const uint32_t index = static_cast<uint32_t>(state);
    return stage < kStageCount && index < kStageStateCount ? impl_->stageStates[stage][index] : 0;
}

int32_t CGraphicsDevice::SetSamplerState(uint32_t sampler, Sampler state, uint32_t value) {
    const uint32_t index = static_cast<uint32_t>(state);
    if (sampler >= kSamplerCount || index == 0 || index >= kSamplerStateCount) return -1;
    impl_->samplerStates[sampler][index] = value;
    return 0;
}

uint32_t CGraphicsDevice::GetSamplerState(uint32_t sampler, Sampler state) const {
    const uint32_t index = static_cast<uint32_t>(state);
    return sampler < kSamplerCount && index < kSamplerStateCount ? impl_->samplerStates[sampler][index] : 0;
}

int32_t CGraphicsDevice::SetTexture(uint32_t stage, CTexture* texture) {
    if (stage >= kStageCount || (texture && texture->level0_->device_ != this)) return -1;
    CTexture*& slot = impl_->stageTextures[stage];
    if (texture) texture->AddRef();
    if (slot) slot->Release();
    slot = texture;
    return 0;
}

CTexture* CGraphicsDevice::GetTexture(uint32_t stage) const {
    return stage < kStageCount ? impl_->stageTextures[stage] : nullptr;
}

int32_t CGraphicsDevice::SetFVF(uint32_t fvf) {
    impl_->fvf = fvf;
    return 0;
}

uint32_t CGraphicsDevice::GetFVF() const { return impl_->fvf; }

raster::SPipeline CGraphicsDevice::Impl::Pipeline() const {
    using raster::Source;
    raster::SPipeline p = {};
    const uint32_t* stage = stageStates[0];
    const auto source = [](uint32_t arg) {
        return (arg & 0xF) == TexArg::Texture ? raster::kSrcTexture : raster::kSrcDiffuse;
    };
    // One operation on two arguments as the pair (a, b) of Mul8(a, b).
    const auto operation = [&](uint32_t op, uint32_t arg1, uint32_t arg2, Source* a, Source* b) {
        switch (op) {
            case TexOp::Disable: *a = raster::kSrcDiffuse; *b = raster::kSrcWhite; break;
            case TexOp::SelectArg1: *a = source(arg1); *b = raster::kSrcWhite; break;
            case TexOp::SelectArg2: *a = source(arg2); *b = raster::kSrcWhite; break;
            default: *a = source(arg1); *b = source(arg2); break;
        }
    };
    const uint32_t colourOp = stage[static_cast<uint32_t>(TexStage::ColorOp)];
    // A disabled colour operation on stage 0 disables the whole stage: the diffuse colour passes.
    const uint32_t alphaOp = colourOp == TexOp::Disable ? TexOp::Disable : stage[static_cast<uint32_t>(TexStage::AlphaOp)];
    operation(colourOp, stage[static_cast<uint32_t>(TexStage::ColorArg1)],
              stage[static_cast<uint32_t>(TexStage::ColorArg2)], &p.colourA, &p.colourB);
    operation(alphaOp, stage[static_cast<uint32_t>(TexStage::AlphaArg1)],
              stage[static_cast<uint32_t>(TexStage::AlphaArg2)], &p.alphaA, &p.alphaB);
    p.useTexture = p.colourA == raster::kSrcTexture || p.colourB == raster::kSrcTexture ||
                   p.alphaA == raster::kSrcTexture || p.alphaB == raster::kSrcTexture;

    const CTexture* texture = stageTextures[0];
    if (texture) {
        const CSurface* level = texture->level0_;
        p.texture = {reinterpret_cast<const uint32_t*>(level->bits_), level->pitch_ / 4, level->width_,
                     level->height_, level->format_ == Format::X8R8G8B8 ? 0xFF000000u : 0u};
    } else {
        p.texture = {&kWhiteTexel, 1, 1, 1, 0};
    }
    p.minLinear = samplerStates[0][static_cast<uint32_t>(Sampler::MinFilter)] >= TexFilter::Linear;
    p.magLinear = samplerStates[0][static_cast<uint32_t>(Sampler::MagFilter)] >= TexFilter::Linear;

    const auto rs = [&](RenderState state) { return renderStates[static_cast<uint32_t>(state)]; };
    p.alphaTest = rs(RenderState::AlphaTestEnable) != 0;
    p.alphaFunc = rs(RenderState::AlphaFunc);
    p.alphaRef = static_cast<uint8_t>(rs(RenderState::AlphaRef) & 0xFF);
    p.blend = rs(RenderState::AlphaBlendEnable) != 0;
    p.srcBlend = rs(RenderState::SrcBlend);
    p.destBlend = rs(RenderState::DestBlend);
    p.blendOp = rs(RenderState::BlendOp);
    const bool separate = rs(RenderState::SeparateAlphaBlendEnable) != 0;
    p.srcBlendAlpha = separate ? rs(RenderState::SrcBlendAlpha) : p.srcBlend;
    p.destBlendAlpha = separate ? rs(RenderState::DestBlendAlpha) : p.destBlend;
    p.blendOpAlpha = separate ? rs(RenderState::BlendOpAlpha) : p.blendOp;

    // A depth surface smaller than the target cannot serve it (Direct3D refuses the pairing).
    const bool depthFits = depthSurface && depthSurface->width_ >= renderTarget->width_ &&
                           depthSurface->height_ >= renderTarget->height_;
    p.depthTest = rs(RenderState::ZEnable) != 0 && depthFits;
    p.depthWrite = p.depthTest && rs(RenderState::ZWriteEnable) != 0;
    p.depthFunc = rs(RenderState::ZFunc);
    p.cullCw = rs(RenderState::CullMode) == Cull::CW;
    p.cullCcw = rs(RenderState::CullMode) == Cull::CCW;
    return p;
}

raster::STarget CGraphicsDevice::Impl::Target() const {
    raster::STarget t = {};
    t.pixels = reinterpret_cast<uint32_t*>(renderTarget->bits_);
    t.pitch = renderTarget->pitch_ / 4;
    t.width = renderTarget->width_;
    t.height = renderTarget->height_;
    t.opaque = renderTarget->format_ == Format::X8R8G8B8;
    if (depthSurface) {
        t.depth = reinterpret_cast<uint16_t*>(depthSurface->bits_);
        t.depthPitch = depthSurface->pitch_ / 2;
    }
    t.clipLeft = static_cast<int32_t>(viewport.x);
    t.clipTop = static_cast<int32_t>(viewport.y);
    t.clipRight = static_cast<int32_t>(viewport.x + viewport.width);
    t.clipBottom = static_cast<int32_t>(viewport.y + viewport.height);
    return t;
}

void CGraphicsDevice::DrawState(raster::SPipeline* pipeline, raster::STarget* target) {
    Impl& d = *impl_;
    d.BeforeDirectWrite(d.renderTarget);
    if (d.renderTarget == d.backBuffer) d.BackBufferWritten(d.ViewportRect());
    *pipeline = d.Pipeline();
    *target = d.Target();
    if (pipeline->depthWrite && d.depthSurface) d.depthSurface->depthClean_ = false;
}

bool CGraphicsDevice::InScene() const { return impl_->inScene; }

bool CGraphicsDevice::IsLost() const { return impl_->loss != kLossNone; }

int32_t CGraphicsDevice::DrawPrimitiveUP(Primitive type, uint32_t primitiveCount, const void* vertices,
                                         uint32_t stride) {
    Impl& d = *impl_;
    frame::SVertexLayout layout;
    if (!vertices || !d.inScene || !frame::LayoutOf(d.fvf, &layout) || stride < layout.size) return -1;
    if (type != Primitive::TriangleList && type != Primitive::TriangleFan) return -1;
    if (d.loss != kLossNone || primitiveCount == 0) return 0;
    const raster::SPipeline pipeline = d.Pipeline();
    const uint8_t* bytes = static_cast<const uint8_t*>(vertices);
    if (d.Recording()) {
        d.RecordDraw(pipeline, type, primitiveCount, bytes, stride, layout);
        return 0;
    }
    CSurface* target = d.renderTarget;
    d.BeforeDirectWrite(target);
    const raster::STarget t = d.Target();
    if (pipeline.depthWrite && t.depth) d.depthSurface->depthClean_ = false;
    frame::RasterisePrimitives(t, pipeline, type, primitiveCount, bytes, stride, layout);
    if (target == d.backBuffer)
        d.BackBufferWritten(frame::PrimitiveBounds(type, primitiveCount, bytes, stride, d.ViewportRect()));
    return 0;
}

namespace {

uint32_t PixelAt(const CSurface* s, int32_t x, int32_t y) {
    const uint32_t pixel = reinterpret_cast<const uint32_t*>(s->Bits() + static_cast<size_t>(y) * s->Pitch())[x];
    return s->GetFormat() == Format::X8R8G8B8 ? pixel | 0xFF000000u : pixel;
}

// Source position of destination index i (0-based in a span of destSize) in 16.16 fixed point,
// on pixel centres.
int64_t StretchPosition(int32_t i, int32_t sourceSize, int32_t destSize) {
    return ((static_cast<int64_t>(2 * i + 1) * sourceSize << 16) / (2 * destSize)) - 32768;
}

uint32_t StretchLinear(const CSurface* s, const SRect& r, int64_t fx, int64_t fy) {
    const auto tap = [](int64_t fixed, int32_t low, int32_t high, int32_t* a, int32_t* b) {
        const int64_t base = fixed >> 16;
        *a = static_cast<int32_t>(std::clamp<int64_t>(low + base, low, high - 1));
        *b = static_cast<int32_t>(std::clamp<int64_t>(low + base + 1, low, high - 1));
        return static_cast<uint32_t>((fixed >> 8) & 0xFF);
    };
    int32_t x0, x1, y0, y1;
    const uint32_t wx = tap(fx, r.left, r.right, &x0, &x1);
    const uint32_t wy = tap(fy, r.top, r.bottom, &y0, &y1);
    const uint32_t top = raster::LerpPixel(PixelAt(s, x0, y0), PixelAt(s, x1, y0), wx);
    const uint32_t bottom = raster::LerpPixel(PixelAt(s, x0, y1), PixelAt(s, x1, y1), wx);
    return raster::LerpPixel(top, bottom, wy);
}

bool Overlap(const SRect& a, const SRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

int32_t CGraphicsDevice::StretchRect(CSurface* source, const SRect* sourceRect, CSurface* dest,
                                     const SRect* destRect, uint32_t filter) {
    if (!source || !dest || !Is32Bit(source->format_) || !Is32Bit(dest->format_)) return -1;
    if (filter > TexFilter::Linear) return -1;
    const SRect sr = sourceRect ? *sourceRect : SRect{0, 0, static_cast<int32_t>(source->width_),
                                                       static_cast<int32_t>(source->height_)};
    const SRect dr = destRect ? *destRect : SRect{0, 0, static_cast<int32_t>(dest->width_),
                                                   static_cast<int32_t>(dest->height_)};
    if (!ValidRect(sr, source->width_, source->height_) || !ValidRect(dr, dest->width_, dest->height_)) return -1;
    if (source == dest && Overlap(sr, dr)) return -1;
    if (impl_->loss != kLossNone) return 0;
    impl_->Flush();  // the source may be the back buffer, the destination a texture a pending draw reads
    impl_->BeforeDirectWrite(dest);
    if (dest == impl_->backBuffer) impl_->BackBufferWritten(dr);
    const int32_t sw = sr.right - sr.left, sh = sr.bottom - sr.top;
    const int32_t dw = dr.right - dr.left, dh = dr.bottom - dr.top;
    const uint32_t alphaOr = dest->format_ == Format::X8R8G8B8 ? 0xFF000000u : 0u;
    if (sw == dw && sh == dh) {  // a plain copy, as the model pass makes every frame
        const uint32_t sourceOr = source->format_ == Format::X8R8G8B8 ? 0xFF000000u : 0u;
        for (int32_t y = 0; y < dh; ++y) {
            const uint32_t* from =
                reinterpret_cast<const uint32_t*>(source->bits_ + static_cast<size_t>(sr.top + y) * source->pitch_) + sr.left;
            uint32_t* to = reinterpret_cast<uint32_t*>(dest->bits_ + static_cast<size_t>(dr.top + y) * dest->pitch_) + dr.left;
            for (int32_t x = 0; x < dw; ++x) to[x] = from[x] | sourceOr | alphaOr;
        }
        return 0;
    }
    for (int32_t y = 0; y < dh; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(dest->bits_ + static_cast<size_t>(dr.top + y) * dest->pitch_) +
                        dr.left;
        const int64_t fy = StretchPosition(y, sh, dh);
        const int32_t pointY = sr.top + static_cast<int32_t>((static_cast<int64_t>(2 * y + 1) * sh) / (2 * dh));
        for (int32_t x = 0; x < dw; ++x) {
            uint32_t pixel;
            if (filter == TexFilter::Linear && (sw != dw || sh != dh)) {
                pixel = StretchLinear(source, sr, StretchPosition(x, sw, dw), fy);
            } else {
                const int32_t pointX = sr.left + static_cast<int32_t>((static_cast<int64_t>(2 * x + 1) * sw) / (2 * dw));
                pixel = PixelAt(source, pointX, pointY);
            }
            row[x] = pixel | alphaOr;
        }
    }
    return 0;
}

int32_t CGraphicsDevice::TestCooperativeLevel() const {
    Impl& d = *impl_;
    if (d.loss == kLossNone) return kDeviceOk;
    if (d.loss == kLossLost) {
        if (d.lossCountdown > 0) {
            --d.lossCountdown;
            return kDeviceLost;
        }
        d.loss = kLossNotReset;
    }
    return kDeviceNotReset;
}

int32_t CGraphicsDevice::Reset(uint32_t width, uint32_t height) {
    Impl& d = *impl_;
    if (d.loss == kLossLost) return -1;
    // Any failed reset leaves the device waiting for another one, as Direct3D does.
    d.loss = kLossNotReset;
    if (d.failResets > 0) {
        --d.failResets;
        return -1;
    }
    if (d.ApplicationHoldsDefaultPool()) return -1;
    CSurface* back;
    CSurface* depth;
    if (!d.CreateOwnBuffers(width ? width : d.params.width, height ? height : d.params.height, &back, &depth))
        return -1;
    d.InstallOwnBuffers(back, depth);
    Release3D();
    d.loss = kLossNone;
    return 0;
}

void CGraphicsDevice::SimulateDeviceLoss(uint32_t resettableAfter) {
    impl_->Flush();
    impl_->loss = kLossLost;
    impl_->lossCountdown = resettableAfter;
}

void CGraphicsDevice::FailNextResets(uint32_t count) { impl_->failResets = count; }
