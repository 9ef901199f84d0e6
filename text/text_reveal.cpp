#include "text/text_reveal.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics.h"
#include "platform/quad_draw.h"

namespace {

constexpr uint32_t kCodeNewline = 10;
constexpr float kPi = 3.141592654f;

int32_t LineHeightOf(const CGlyph* glyphs, int32_t start, int32_t end) {
    int32_t height = 0;
    for (int32_t i = start; i < end; ++i) height = std::max(height, glyphs[i].lineHeight);
    return height;
}

// Lays out the lines of a run and calls drawLine(start, end, baseline, height) for each line
// whose baseline lies inside the rectangle, until drawLine returns false. A line that takes no
// glyph (its first glyph alone reaches the right edge) ends the run. A one-line run (names,
// choices) always draws its first line: a rectangle lower than the font's line height, such as
// a choice bar's text rectangle, would otherwise show no text at all.
template <typename DrawLine>
void ForEachLine(const CGlyph* glyphs, int32_t count, const SRect& rect, int32_t lineGap, bool allLines,
                 DrawLine drawLine) {
    int64_t top = rect.top;
    for (int32_t start = 0; start < count;) {
        const int32_t end = FindLineEnd(glyphs, start, count, rect);
        if (end <= start) return;
        const int32_t height = LineHeightOf(glyphs, start, end);
        const int64_t baseline = top + height;
        const bool firstOfOneLineRun = !allLines && start == 0;
        if (baseline > rect.bottom && !firstOfOneLineRun) return;
        if (!drawLine(start, end, static_cast<int32_t>(baseline), height)) return;
        const bool brokeAtNewline = glyphs[end - 1].character == kCodeNewline;
        top = baseline + lineGap;
        start = end;
        if (!allLines && !brokeAtNewline) return;
    }
}

uint32_t ColourOf(const CGlyph& glyph, int32_t overrideFlag, uint32_t overrideColour) {
    return overrideFlag ? overrideColour : glyph.colour;
}

// The common frame of the entrance effects. drawGlyph(glyph, penX, baseline, lineHeight, t)
// draws one shown glyph t milliseconds after its start and returns true while it animates.
template <typename DrawGlyph>
int32_t RunEffect(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect, int32_t lineGap,
                  uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag, uint32_t overrideColour,
                  DrawGlyph drawGlyph) {
    if (count <= 0) return 1;
    if (msPerChar == 0) return DrawGlyphRun(device, glyphs, count, rect, 1, lineGap, overrideFlag, overrideColour);
    const int32_t shown = static_cast<int32_t>(std::min<uint64_t>(static_cast<uint64_t>(elapsed) / msPerChar + 1, count));
    bool complete = true;
    ForEachLine(glyphs, count, rect, lineGap, true, [&](int32_t start, int32_t end, int32_t baseline, int32_t height) {
        int32_t penX = rect.left;
        for (int32_t i = start; i < end && i < shown; ++i) {
            const uint32_t t = elapsed - static_cast<uint32_t>(static_cast<uint64_t>(i) * msPerChar);
            if (drawGlyph(glyphs[i], penX, baseline, height, t)) complete = false;
            penX += glyphs[i].advance;
        }
        return end < shown;
    });
    return complete ? 1 : 0;
}

// The animation length of one glyph as a float, and t as the original arithmetic takes it: t
// converted to float, multiplied by a single-precision step, the product kept wider than float.
float AnimationLength(uint32_t msPerChar) { return static_cast<float>(static_cast<uint64_t>(msPerChar) * 8); }
double Scaled(uint32_t t, float step) { return static_cast<double>(static_cast<float>(t)) * static_cast<double>(step); }

// Saves sampler 0's minification filter and puts it back.
class CMinFilterScope {
public:
    explicit CMinFilterScope(CGraphicsDevice* device)
        : device_(device), saved_(device ? device->GetSamplerState(0, Sampler::MinFilter) : 0) {}
    ~CMinFilterScope() {
        if (device_) device_->SetSamplerState(0, Sampler::MinFilter, saved_);
    }
    CMinFilterScope(const CMinFilterScope&) = delete;
    CMinFilterScope& operator=(const CMinFilterScope&) = delete;
    void Set(bool animating) {
        if (device_) device_->SetSamplerState(0, Sampler::MinFilter, animating ? TexFilter::Linear : TexFilter::Point);
    }

private:
    CGraphicsDevice* device_;
    uint32_t saved_;
};

// Slides: the offset of a glyph t ms after its start in a line of the given height.
int32_t SlideOffset(uint32_t t, int32_t height, float length) {
    const float step = static_cast<float>(height) / length;
    const double offset = static_cast<double>(height) - Scaled(t, step);
    return offset >= 1.0 ? static_cast<int32_t>(offset) : 0;
}

int32_t DrawSlide(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect, int32_t lineGap,
                  uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag, uint32_t overrideColour,
                  int32_t direction) {
    const float length = AnimationLength(msPerChar);
    return RunEffect(device, glyphs, count, rect, lineGap, elapsed, msPerChar, overrideFlag, overrideColour,
                     [&](const CGlyph& glyph, int32_t penX, int32_t baseline, int32_t height, uint32_t t) {
                         const int32_t offset = SlideOffset(t, height, length);
                         glyph.Draw(penX, baseline + direction * offset, device, overrideFlag, overrideColour);
                         return offset > 0;
                     });
}

}  // namespace

int32_t DrawTexturedQuad(CGraphicsDevice* device, CTexture* texture, const SRect* source, float x, float y,
                         uint32_t colour) {
    return DrawSprite(device, texture, source, 1, x, y, colour);
}

int32_t DrawTexturedQuadRotated(CGraphicsDevice* device, CTexture* texture, const SRect* source, SPoint offset,
                                SPoint centre, float scaleX, float scaleY, float angle, uint32_t colour) {
    return DrawSpriteRotated(device, texture, source, centre, offset, scaleX, scaleY, angle, colour);
}

int32_t CGlyph::Draw(int32_t penX, int32_t baseline, CGraphicsDevice* device, int32_t overrideFlag,
                     uint32_t overrideColour) const {
    if (character == kCodeNewline || !texture || width <= 0 || height <= 0) return -1;
    const SRect source{0, 0, width, height};
    DrawTexturedQuad(device, texture, &source, static_cast<float>(penX + originX),
                     static_cast<float>(baseline - originY), ColourOf(*this, overrideFlag, overrideColour));
    return 0;
}

int32_t CGlyph::DrawRotated(int32_t penX, int32_t baseline, CGraphicsDevice* device, float scaleX, float scaleY,
                            float angle, int32_t overrideFlag, uint32_t overrideColour) const {
    if (character == kCodeNewline || !texture || width <= 0 || height <= 0) return -1;
    const SRect source{0, 0, width, height};
    const int32_t cx = static_cast<int32_t>(static_cast<float>(width) * 0.5f);
    const int32_t cy = static_cast<int32_t>(static_cast<float>(height) * 0.5f);
    DrawTexturedQuadRotated(device, texture, &source, SPoint{-cx, -cy}, SPoint{penX + originX + cx, baseline - originY + cy},
                            scaleX, scaleY, angle, ColourOf(*this, overrideFlag, overrideColour));
    return 0;
}

int32_t FindLineEnd(const CGlyph* glyphs, int32_t start, int32_t end, const SRect& rect) {
    int64_t penX = rect.left;
    for (int32_t i = start; i < end; ++i) {
        if (glyphs[i].character == kCodeNewline) return i + 1;
        penX += glyphs[i].advance;
        if (penX >= rect.right) return i;
    }
    return end;
}

int32_t DrawGlyphRun(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                     int32_t allLines, int32_t lineGap, int32_t overrideFlag, uint32_t overrideColour) {
    ForEachLine(glyphs, count, rect, lineGap, allLines != 0,
                [&](int32_t start, int32_t end, int32_t baseline, int32_t) {
                    int32_t penX = rect.left;
                    for (int32_t i = start; i < end; ++i) {
                        glyphs[i].Draw(penX, baseline, device, overrideFlag, overrideColour);
                        penX += glyphs[i].advance;
                    }
                    return true;
                });
    return 1;
}

int32_t DrawGlyphRunTyped(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                          int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                          uint32_t overrideColour) {
    const int32_t complete =
        RunEffect(device, glyphs, count, rect, lineGap, elapsed, msPerChar, overrideFlag, overrideColour,
                  [&](const CGlyph& glyph, int32_t penX, int32_t baseline, int32_t, uint32_t) {
                      glyph.Draw(penX, baseline, device, overrideFlag, overrideColour);
                      return false;
                  });
    if (count <= 0 || msPerChar == 0) return complete;
    return static_cast<uint64_t>(elapsed) / msPerChar + 1 >= static_cast<uint64_t>(count) ? 1 : 0;
}

int32_t DrawGlyphRunFade(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                         int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                         uint32_t overrideColour) {
    const float step = 255.0f / AnimationLength(msPerChar);
    return RunEffect(device, glyphs, count, rect, lineGap, elapsed, msPerChar, overrideFlag, overrideColour,
                     [&](const CGlyph& glyph, int32_t penX, int32_t baseline, int32_t, uint32_t t) {
                         const uint32_t colour = ColourOf(glyph, overrideFlag, overrideColour);
                         const double alpha = Scaled(t, step);
                         if (alpha < static_cast<double>(colour >> 24)) {
                             const uint32_t faded = static_cast<uint32_t>(alpha) << 24 | (colour & 0xFFFFFF);
                             glyph.Draw(penX, baseline, device, 1, faded);
                             return true;
                         }
                         glyph.Draw(penX, baseline, device, overrideFlag, overrideColour);
                         return false;
                     });
}

int32_t DrawGlyphRunZoom(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                         int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                         uint32_t overrideColour) {
    CMinFilterScope filter(device);
    const float step = 1.0f / AnimationLength(msPerChar);
    return RunEffect(device, glyphs, count, rect, lineGap, elapsed, msPerChar, overrideFlag, overrideColour,
                     [&](const CGlyph& glyph, int32_t penX, int32_t baseline, int32_t, uint32_t t) {
                         const double scale = Scaled(t, step);
                         const bool animating = scale < 1.0;
                         filter.Set(animating);
                         if (animating) {
                             const float s = static_cast<float>(scale);
                             glyph.DrawRotated(penX, baseline, device, s, s, 0.0f, overrideFlag, overrideColour);
                         } else {
                             glyph.Draw(penX, baseline, device, overrideFlag, overrideColour);
                         }
                         return animating;
                     });
}

int32_t DrawGlyphRunSlideUp(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                            int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                            uint32_t overrideColour) {
    return DrawSlide(device, glyphs, count, rect, lineGap, elapsed, msPerChar, overrideFlag, overrideColour, 1);
}

int32_t DrawGlyphRunSlideDown(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                              int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                              uint32_t overrideColour) {
    return DrawSlide(device, glyphs, count, rect, lineGap, elapsed, msPerChar, overrideFlag, overrideColour, -1);
}

int32_t DrawGlyphRunHop(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                        int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                        uint32_t overrideColour) {
    const float step = kPi / AnimationLength(msPerChar);
    return RunEffect(device, glyphs, count, rect, lineGap, elapsed, msPerChar, overrideFlag, overrideColour,
                     [&](const CGlyph& glyph, int32_t penX, int32_t baseline, int32_t height, uint32_t t) {
                         const double angle = Scaled(t, step);
                         const bool animating = angle < static_cast<double>(kPi);
                         const int32_t lift = animating ? static_cast<int32_t>(std::sin(angle) * height) : 0;
                         glyph.Draw(penX, baseline - lift, device, overrideFlag, overrideColour);
                         return animating;
                     });
}

int32_t DrawGlyphRunSwell(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                          int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                          uint32_t overrideColour, float amount) {
    CMinFilterScope filter(device);
    const float step = kPi / AnimationLength(msPerChar);
    return RunEffect(device, glyphs, count, rect, lineGap, elapsed, msPerChar, overrideFlag, overrideColour,
                     [&](const CGlyph& glyph, int32_t penX, int32_t baseline, int32_t, uint32_t t) {
                         const double angle = Scaled(t, step);
                         const bool animating = angle < static_cast<double>(kPi);
                         filter.Set(animating);
                         if (animating) {
                             const float scale = 1.0f + amount * static_cast<float>(std::sin(angle));
                             glyph.DrawRotated(penX, baseline, device, scale, scale, 0.0f, overrideFlag,
                                               overrideColour);
                         } else {
                             glyph.Draw(penX, baseline, device, overrideFlag, overrideColour);
                         }
                         return animating;
                     });
}
