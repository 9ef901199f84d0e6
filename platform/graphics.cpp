#include "platform/graphics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

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

bool ValidRect(const SRect& r, uint32_t width, uint32_t height) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           static_cast<uint32_t>(r.right) <= width && static_cast<uint32_t>(r.bottom) <= height;
}

float ReadFloat(const uint8_t* p) {
    float f;
    std::memcpy(&f, p, sizeof f);
    return f;
}

uint32_t ReadU32(const uint8_t* p) {
    uint32_t u;
    std::memcpy(&u, p, sizeof u);
    return u;
}

// Byte offsets inside one vertex of an FVF; -1 when absent.
struct SVertexLayout {
    uint32_t size;
    int32_t diffuse;
    int32_t texCoord;
};

bool LayoutOf(uint32_t fvf, SVertexLayout* layout) {
    constexpr uint32_t kPositionMask = 0x400E, kNormal = 0x010, kPointSize = 0x020, kSpecular = 0x080;
    constexpr uint32_t kKnownBits = 0x0FFF;
    if ((fvf & kPositionMask) != Fvf::XyzRhw || (fvf & kNormal) || (fvf & ~kKnownBits)) return false;
    uint32_t size = 16;
    if (fvf & kPointSize) size += 4;
    layout->diffuse = (fvf & Fvf::Diffuse) ? static_cast<int32_t>(size) : -1;
    if (fvf & Fvf::Diffuse) size += 4;
    if (fvf & kSpecular) size += 4;
    const uint32_t texSets = (fvf >> 8) & 0xF;
    if (texSets > 8) return false;
    layout->texCoord = texSets > 0 ? static_cast<int32_t>(size) : -1;
    layout->size = size + texSets * 8;
    return true;
}

raster::SVertex ReadVertex(const uint8_t* p, const SVertexLayout& layout) {
    raster::SVertex v;
    v.x = ReadFloat(p);
    v.y = ReadFloat(p + 4);
    v.z = ReadFloat(p + 8);
    v.diffuse = layout.diffuse >= 0 ? ReadU32(p + layout.diffuse) : 0xFFFFFFFFu;
    v.u = layout.texCoord >= 0 ? ReadFloat(p + layout.texCoord) : 0.0;
    v.v = layout.texCoord >= 0 ? ReadFloat(p + layout.texCoord + 4) : 0.0;
    return v;
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

    static CSurface* NewSurface(CGraphicsDevice* device, uint32_t width, uint32_t height, Format format,
                                uint32_t usage, Pool pool) {
        if (width == 0 || height == 0 || width > kMaxTextureSide || height > kMaxTextureSide) return nullptr;
        const uint32_t pitch = (width * BytesPerPixel(format) + 15) & ~15u;
        const size_t bytes = static_cast<size_t>(pitch) * height;
        void* bits = std::aligned_alloc(64, (bytes + 63) & ~size_t{63});
        if (!bits) return nullptr;
        std::memset(bits, 0, bytes);
        CSurface* surface = new (std::nothrow) CSurface();
        if (!surface) {
            std::free(bits);
            return nullptr;
        }
        surface->device_ = device;
        surface->format_ = format;
        surface->usage_ = usage;
        surface->pool_ = pool;
        surface->width_ = width;
        surface->height_ = height;
        surface->pitch_ = static_cast<int32_t>(pitch);
        surface->bits_ = static_cast<uint8_t*>(bits);
        surface->lockable_ = format != Format::D16 && !(usage & Usage::RenderTarget);
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
};

// ---- CSurface ----

CSurface::~CSurface() { std::free(bits_); }

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
    locked->pitch = pitch_;
    locked->bits = bits_ + static_cast<size_t>(r.top) * pitch_ + static_cast<size_t>(r.left) * BytesPerPixel(format_);
    locked_ = true;
    return 0;
}

int32_t CSurface::UnlockRect() {
    if (!locked_) return -1;
    locked_ = false;
    return 0;
}

// ---- CTexture ----

CTexture::~CTexture() { delete level0_; }

void CTexture::AddRef() { ++refs_; }

uint32_t CTexture::Release() {
    const uint32_t left = --refs_;
    if (left == 0) {
        if (level0_->device_) CGraphicsDevice::Impl::Erase(level0_->device_->impl_->textures, this);
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
    CSurface* level = Impl::NewSurface(this, width, height, format, usage, pool);
    if (!level) return -1;
    CTexture* created = new (std::nothrow) CTexture();
    if (!created) {
        delete level;
        return -1;
    }
    created->level0_ = level;
    level->owner_ = created;
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
    impl_->Bind(impl_->renderTarget, surface);
    impl_->FullViewport();
    return 0;
}

int32_t CGraphicsDevice::SetDepthSurface(CSurface* surface) {
    if (surface && (surface->device_ != this || surface->format_ != Format::D16)) return -1;
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
    const SRect view = {static_cast<int32_t>(d.viewport.x), static_cast<int32_t>(d.viewport.y),
                        static_cast<int32_t>(d.viewport.x + d.viewport.width),
                        static_cast<int32_t>(d.viewport.y + d.viewport.height)};
    CSurface* target = d.renderTarget;
    CSurface* depth = d.depthSurface;
    const uint32_t fill = target->format_ == Format::X8R8G8B8 ? colour | 0xFF000000u : colour;
    const uint16_t depthFill = static_cast<uint16_t>(std::lround(z * 65535.0f));
    const uint32_t count = rectCount > 0 ? rectCount : 1;
    for (uint32_t i = 0; i < count; ++i) {
        SRect r = rectCount > 0 ? rects[i] : view;
        r.left = std::max(r.left, view.left);
        r.top = std::max(r.top, view.top);
        r.right = std::min(r.right, view.right);
        r.bottom = std::min(r.bottom, view.bottom);
        if (r.left >= r.right || r.top >= r.bottom) continue;
        if (flags & ClearFlag::Target) {
            for (int32_t y = r.top; y < r.bottom; ++y) {
                uint32_t* row = reinterpret_cast<uint32_t*>(target->bits_ + static_cast<size_t>(y) * target->pitch_);
                std::fill(row + r.left, row + r.right, fill);
            }
        }
        if (flags & ClearFlag::ZBuffer) {
            const int32_t right = std::min<int32_t>(r.right, static_cast<int32_t>(depth->width_));
            const int32_t bottom = std::min<int32_t>(r.bottom, static_cast<int32_t>(depth->height_));
            for (int32_t y = r.top; y < bottom; ++y) {
                uint16_t* row = reinterpret_cast<uint16_t*>(depth->bits_ + static_cast<size_t>(y) * depth->pitch_);
                if (r.left < right) std::fill(row + r.left, row + right, depthFill);
            }
        }
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
    const Impl& d = *impl_;
    if (d.loss != kLossNone) return kDeviceLost;
    const CSurface* back = d.backBuffer;
    if (d.params.present)
        d.params.present(d.params.presentUser, reinterpret_cast<const uint32_t*>(back->bits_), back->pitch_,
                         back->width_, back->height_);
    return 0;
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

void CGraphicsDevice::DrawState(raster::SPipeline* pipeline, raster::STarget* target) const {
    *pipeline = impl_->Pipeline();
    *target = impl_->Target();
}

bool CGraphicsDevice::InScene() const { return impl_->inScene; }

bool CGraphicsDevice::IsLost() const { return impl_->loss != kLossNone; }

int32_t CGraphicsDevice::DrawPrimitiveUP(Primitive type, uint32_t primitiveCount, const void* vertices,
                                         uint32_t stride) {
    Impl& d = *impl_;
    SVertexLayout layout;
    if (!vertices || !d.inScene || !LayoutOf(d.fvf, &layout) || stride < layout.size) return -1;
    if (type != Primitive::TriangleList && type != Primitive::TriangleFan) return -1;
    if (d.loss != kLossNone || primitiveCount == 0) return 0;
    const raster::SPipeline pipeline = d.Pipeline();
    const raster::STarget target = d.Target();
    const uint8_t* base = static_cast<const uint8_t*>(vertices);
    const auto vertex = [&](uint64_t index) { return ReadVertex(base + index * stride, layout); };
    if (type == Primitive::TriangleList) {
        for (uint64_t i = 0; i < primitiveCount; ++i)
            raster::DrawTriangle(target, pipeline, vertex(3 * i), vertex(3 * i + 1), vertex(3 * i + 2));
    } else if (primitiveCount == 2) {
        raster::DrawQuad(target, pipeline, vertex(0), vertex(1), vertex(2), vertex(3));
    } else {
        const raster::SVertex centre = vertex(0);
        raster::SVertex previous = vertex(1);
        for (uint64_t i = 0; i < primitiveCount; ++i) {
            const raster::SVertex next = vertex(i + 2);
            raster::DrawTriangle(target, pipeline, centre, previous, next);
            previous = next;
        }
    }
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
    impl_->loss = kLossLost;
    impl_->lossCountdown = resettableAfter;
}

void CGraphicsDevice::FailNextResets(uint32_t count) { impl_->failResets = count; }
