// Transition effects of the picture layers: how a layer is drawn while it comes into view or
// leaves it, and whether it is shown or hidden once the effect has ended. Both effects set the
// layer's blend mode and texture filter on the device around each draw and put the previous
// states back afterwards.
#pragma once

#include <cstdint>

#include "platform/graphics.h"
#include "platform/types.h"

// What a layer hands its effect for one frame.
struct SLayerDrawRecord {
    CTexture* texture;  // may be null: nothing is drawn
    SPoint offset;      // the picture's top-left corner relative to the pivot, unscaled pixels
    SPoint pivot;       // screen position of the centre of scaling and rotation
    SRect source;       // texels of the texture
    float scaleX;
    float scaleY;
    float angle;      // radians, clockwise on screen
    uint32_t colour;  // ARGB vertex colour
    uint32_t blendMode;
    uint32_t filter;
    // The texture's colour is already weighted by its alpha (the model target): the draw weighs
    // the vertex colour by its own alpha instead and blends by the premultiplied pairs.
    bool premultiplied = false;
};

namespace EffectType {
enum : uint32_t { Cut = 1, Fade = 2 };
}

namespace EffectResult {
enum : int32_t { Running = 0, Ended = 2 };
}

namespace EffectEndState {
enum : int32_t { Hidden = -1, Shown = 2 };
}

class IEffecter9 {
public:
    IEffecter9() = default;
    IEffecter9(const IEffecter9&) = delete;
    IEffecter9& operator=(const IEffecter9&) = delete;
    virtual ~IEffecter9() = default;

    // EffectType::Cut or EffectType::Fade.
    virtual uint32_t GetType() const = 0;
    // The layer's visibility once the effect has ended: EffectEndState::Hidden or ::Shown.
    virtual int32_t GetEndState() const = 0;
    // Takes up to `count` parameters (missing ones keep their values); returns 1.
    virtual int32_t SetParams(const uint32_t* params, uint32_t count) = 0;
    // Writes the parameters (one for a cut, two for a fade) into params[0..kMaxParams).
    virtual void GetParams(uint32_t* params) const = 0;
    // Draws one frame `elapsed` ms (never negative) after the effect began; returns
    // EffectResult::Running or EffectResult::Ended.
    virtual int32_t Apply(CGraphicsDevice* device, int32_t elapsed, const SLayerDrawRecord& record) = 0;
    // Makes *target hold a copy of this effect: an object of the same class only takes the
    // parameters, any other is deleted and replaced. Returns 1, or 0 (*target null) when no
    // object could be made.
    virtual int32_t CopyTo(IEffecter9** target) const = 0;

    static constexpr uint32_t kMaxParams = 2;
};

// The opacity runs from nothing to full (direction 0) or from full to nothing over a duration.
class CFade final : public IEffecter9 {
public:
    uint32_t direction = 0;  // 0 fade in, any other value fade out
    int32_t duration = 1000;  // ms

    uint32_t GetType() const override { return EffectType::Fade; }
    int32_t GetEndState() const override;
    int32_t SetParams(const uint32_t* params, uint32_t count) override;
    void GetParams(uint32_t* params) const override;
    int32_t Apply(CGraphicsDevice* device, int32_t elapsed, const SLayerDrawRecord& record) override;
    int32_t CopyTo(IEffecter9** target) const override;

    int32_t DrawFadeIn(CGraphicsDevice* device, float t, const SLayerDrawRecord& record) const;
    int32_t DrawFadeOut(CGraphicsDevice* device, float t, const SLayerDrawRecord& record) const;
};

// The layer is shown (in 1) or hidden (any other value) at once.
class CCut final : public IEffecter9 {
public:
    uint32_t in = 1;

    uint32_t GetType() const override { return EffectType::Cut; }
    int32_t GetEndState() const override;
    int32_t SetParams(const uint32_t* params, uint32_t count) override;
    void GetParams(uint32_t* params) const override;
    int32_t Apply(CGraphicsDevice* device, int32_t elapsed, const SLayerDrawRecord& record) override;
    int32_t CopyTo(IEffecter9** target) const override;
};

// Sets the blend pair of a layer blend mode (0-6; other values change nothing) after reading
// the current source and destination blends into the out arguments.
void SetLayerBlendMode(CGraphicsDevice* device, uint32_t mode, uint32_t* previousSrc, uint32_t* previousDest);
// Sets sampler 0's minification and magnification filters: linear for filter 1, point for
// any other value, after reading the current two into the out arguments.
void SetTextureFilter(CGraphicsDevice* device, uint32_t filter, uint32_t* previousMin, uint32_t* previousMag);

// Draws the record once with the given colour inside its blend mode and filter, restoring the
// device's states afterwards. Placements that cannot be drawn (a null texture, a scale or an
// angle that is not finite, absurd rectangle or offset values) draw nothing. A premultiplied
// record blends its modes 0, 1 and 2 by (ONE, INVSRCALPHA), (ONE, ONE) and (DESTCOLOR,
// INVSRCALPHA), so that its alpha counts once and what it does not cover stays as it was;
// modes 3-6 weigh by colour alone and keep their pairs.
void DrawLayerRecord(CGraphicsDevice* device, const SLayerDrawRecord& record, uint32_t colour);
