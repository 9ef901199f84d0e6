#include "scene/effecter.h"

#include <cmath>
#include <cstdlib>
#include <iterator>
#include <new>
#include <typeinfo>

#include "platform/quad_draw.h"

namespace {

struct SBlendPair {
    uint32_t src;
    uint32_t dest;
};

constexpr SBlendPair kLayerBlendModes[] = {
    {Blend::SrcAlpha, Blend::InvSrcAlpha},     // 0 normal
    {Blend::SrcAlpha, Blend::One},             // 1 additive
    {Blend::DestColor, Blend::Zero},           // 2 multiply
    {Blend::InvDestColor, Blend::InvSrcColor}, // 3
    {Blend::One, Blend::InvSrcColor},          // 4 screen
    {Blend::Zero, Blend::InvSrcColor},         // 5
    {Blend::DestColor, Blend::One},            // 6
};

// The same modes for a picture whose colour is already weighted by its alpha.
constexpr SBlendPair kPremultipliedBlendModes[] = {
    {Blend::One, Blend::InvSrcAlpha},          // 0 normal
    {Blend::One, Blend::One},                  // 1 additive
    {Blend::DestColor, Blend::InvSrcAlpha},    // 2 multiply, where the picture covers
    {Blend::InvDestColor, Blend::InvSrcColor}, // 3
    {Blend::One, Blend::InvSrcColor},          // 4 screen
    {Blend::Zero, Blend::InvSrcColor},         // 5
    {Blend::DestColor, Blend::One},            // 6
};
static_assert(std::size(kPremultipliedBlendModes) == std::size(kLayerBlendModes));

// Coordinates beyond this (about 16 million pixels) are no placement of a picture; keeping
// below it also keeps every sum of the quad's corners inside 32 bits.
constexpr int64_t kCoordinateLimit = 1 << 24;

bool WithinLimit(int32_t v) { return std::llabs(static_cast<int64_t>(v)) <= kCoordinateLimit; }

bool IsDrawable(const SLayerDrawRecord& r) {
    return r.texture != nullptr && std::isfinite(r.scaleX) && std::isfinite(r.scaleY) && std::isfinite(r.angle) &&
           WithinLimit(r.offset.x) && WithinLimit(r.offset.y) && WithinLimit(r.source.left) &&
           WithinLimit(r.source.top) && WithinLimit(r.source.right) && WithinLimit(r.source.bottom);
}

uint32_t WithAlpha(uint32_t colour, uint32_t alpha) { return (colour & 0x00FFFFFFu) | (alpha << 24); }

// The colour with red, green and blue weighted by its alpha (rounded to nearest).
uint32_t Premultiplied(uint32_t colour) {
    const uint32_t alpha = colour >> 24;
    uint32_t out = colour & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
        out |= (((colour >> shift & 0xFFu) * alpha * 2 + 255) / 510) << shift;
    return out;
}

void SetBlendPair(CGraphicsDevice* device, const SBlendPair* modes, uint32_t mode, uint32_t* previousSrc,
                  uint32_t* previousDest) {
    *previousSrc = device->GetRenderState(RenderState::SrcBlend);
    *previousDest = device->GetRenderState(RenderState::DestBlend);
    if (mode >= std::size(kLayerBlendModes)) return;
    device->SetRenderState(RenderState::SrcBlend, modes[mode].src);
    device->SetRenderState(RenderState::DestBlend, modes[mode].dest);
}

// trunc(alpha × fraction) for a fraction in 0..1.
uint32_t ScaledAlpha(uint32_t colour, float fraction) {
    const float alpha = static_cast<float>(colour >> 24) * fraction;
    return WithAlpha(colour, static_cast<uint32_t>(alpha));
}

// One frame of an effect: the record's blend mode and filter around an optional draw.
void DrawFrame(CGraphicsDevice* device, const SLayerDrawRecord& record, bool draw, uint32_t colour) {
    if (device == nullptr) return;
    uint32_t src, dest, minFilter, magFilter;
    SetBlendPair(device, record.premultiplied ? kPremultipliedBlendModes : kLayerBlendModes, record.blendMode, &src,
                 &dest);
    SetTextureFilter(device, record.filter, &minFilter, &magFilter);
    if (draw && IsDrawable(record)) {
        // A premultiplied texel of alpha 0 may still carry light (an additive surface's): no
        // alpha test may drop it.
        const uint32_t alphaTest = device->GetRenderState(RenderState::AlphaTestEnable);
        if (record.premultiplied) device->SetRenderState(RenderState::AlphaTestEnable, 0);
        DrawSpriteRotated(device, record.texture, &record.source, record.pivot, record.offset, record.scaleX,
                          record.scaleY, record.angle, record.premultiplied ? Premultiplied(colour) : colour);
        device->SetRenderState(RenderState::AlphaTestEnable, alphaTest);
    }
    device->SetRenderState(RenderState::SrcBlend, src);
    device->SetRenderState(RenderState::DestBlend, dest);
    device->SetSamplerState(0, Sampler::MinFilter, minFilter);
    device->SetSamplerState(0, Sampler::MagFilter, magFilter);
}

template <typename Effect>
int32_t CopyEffect(const Effect& self, IEffecter9** target) {
    if (*target != nullptr && typeid(**target) == typeid(Effect)) {
        uint32_t params[IEffecter9::kMaxParams];
        self.GetParams(params);
        (*target)->SetParams(params, IEffecter9::kMaxParams);
        return 1;
    }
    delete *target;
    *target = nullptr;
    Effect* copy = new (std::nothrow) Effect;
    if (copy == nullptr) return 0;
    uint32_t params[IEffecter9::kMaxParams];
    self.GetParams(params);
    copy->SetParams(params, IEffecter9::kMaxParams);
    *target = copy;
    return 1;
}

}  // namespace

void SetLayerBlendMode(CGraphicsDevice* device, uint32_t mode, uint32_t* previousSrc, uint32_t* previousDest) {
    SetBlendPair(device, kLayerBlendModes, mode, previousSrc, previousDest);
}

void SetTextureFilter(CGraphicsDevice* device, uint32_t filter, uint32_t* previousMin, uint32_t* previousMag) {
    *previousMin = device->GetSamplerState(0, Sampler::MinFilter);
    *previousMag = device->GetSamplerState(0, Sampler::MagFilter);
    const uint32_t value = filter == 1 ? TexFilter::Linear : TexFilter::Point;
    device->SetSamplerState(0, Sampler::MinFilter, value);
    device->SetSamplerState(0, Sampler::MagFilter, value);
}

void DrawLayerRecord(CGraphicsDevice* device, const SLayerDrawRecord& record, uint32_t colour) {
    DrawFrame(device, record, true, colour);
}

// ---- CFade -------------------------------------------------------------------------------

int32_t CFade::GetEndState() const { return direction == 0 ? EffectEndState::Shown : EffectEndState::Hidden; }

int32_t CFade::SetParams(const uint32_t* params, uint32_t count) {
    if (count > 0) direction = params[0];
    if (count > 1) duration = static_cast<int32_t>(params[1]);
    return 1;
}

void CFade::GetParams(uint32_t* params) const {
    params[0] = direction;
    params[1] = static_cast<uint32_t>(duration);
}

// A duration of 0 or less ends the fade at its first frame.
int32_t CFade::Apply(CGraphicsDevice* device, int32_t elapsed, const SLayerDrawRecord& record) {
    const float t = duration > 0 ? static_cast<float>(elapsed) / static_cast<float>(duration) : INFINITY;
    return direction == 0 ? DrawFadeIn(device, t, record) : DrawFadeOut(device, t, record);
}

int32_t CFade::DrawFadeIn(CGraphicsDevice* device, float t, const SLayerDrawRecord& record) const {
    if (t < 1.0f) {
        DrawFrame(device, record, true, ScaledAlpha(record.colour, t < 0.0f ? 0.0f : t));
        return EffectResult::Running;
    }
    DrawFrame(device, record, true, record.colour);
    return EffectResult::Ended;
}

int32_t CFade::DrawFadeOut(CGraphicsDevice* device, float t, const SLayerDrawRecord& record) const {
    const float u = 1.0f - t;
    if (u > 0.0f) {
        DrawFrame(device, record, true, ScaledAlpha(record.colour, u > 1.0f ? 1.0f : u));
        return EffectResult::Running;
    }
    DrawFrame(device, record, false, 0);
    return EffectResult::Ended;
}

int32_t CFade::CopyTo(IEffecter9** target) const { return CopyEffect(*this, target); }

// ---- CCut --------------------------------------------------------------------------------

int32_t CCut::GetEndState() const { return in == 1 ? EffectEndState::Shown : EffectEndState::Hidden; }

int32_t CCut::SetParams(const uint32_t* params, uint32_t count) {
    if (count > 0) in = params[0];
    return 1;
}

void CCut::GetParams(uint32_t* params) const {
    params[0] = in;
    params[1] = 0;
}

int32_t CCut::Apply(CGraphicsDevice* device, int32_t, const SLayerDrawRecord& record) {
    DrawFrame(device, record, in == 1, record.colour);
    return EffectResult::Ended;
}

int32_t CCut::CopyTo(IEffecter9** target) const { return CopyEffect(*this, target); }
