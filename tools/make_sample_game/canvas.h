// A small software canvas for the sample game's pictures: ARGB pixels, anti-aliased shapes,
// gradients, picture copies and text drawn with the project's font layer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }
constexpr uint32_t Rgb(uint32_t rgb) { return 0xFF000000u | rgb; }
uint32_t WithAlpha(uint32_t colour, uint32_t alpha);
uint32_t Mix(uint32_t a, uint32_t b, float t);

struct SPointF {
    float x, y;
};

struct STextStyle {
    std::string face = "ＭＳ Ｐゴシック";  // UTF-8
    int height = 24;
    bool bold = false;
    uint32_t colour = 0xFFFFFFFF;
    int outline = 0;  // pixels of outline around each glyph, 0 = none
    uint32_t outlineColour = 0xFF000000;
    int shadow = 0;  // offset of a drop shadow, 0 = none
    uint32_t shadowColour = 0x80000000;
};

class CCanvas {
public:
    CCanvas(int width, int height, uint32_t fill = 0);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    const std::vector<uint32_t>& Pixels() const { return m_pixels; }
    uint32_t Get(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
    void Set(int x, int y, uint32_t c) { m_pixels[static_cast<size_t>(y) * m_width + x] = c; }

    // Source-over blending of one colour at a pixel, with a coverage from 0 to 1.
    void Blend(int x, int y, uint32_t colour, float coverage = 1.0f);

    void Clear(uint32_t colour);
    void FillRect(int x0, int y0, int x1, int y1, uint32_t colour);
    void VerticalGradient(int x0, int y0, int x1, int y1, uint32_t top, uint32_t bottom);
    void HorizontalGradient(int x0, int y0, int x1, int y1, uint32_t left, uint32_t right);
    // A soft round light: full colour at the centre fading to nothing at the radius.
    void Glow(float cx, float cy, float radius, uint32_t colour);

    // Anti-aliased shapes. A shape is filled where its signed distance is below 0.
    void FillShape(float x0, float y0, float x1, float y1, const std::function<float(float, float)>& distance,
                   uint32_t colour);
    void FillCircle(float cx, float cy, float r, uint32_t colour);
    void FillEllipse(float cx, float cy, float rx, float ry, uint32_t colour);
    void FillRoundRect(float x0, float y0, float x1, float y1, float radius, uint32_t colour);
    void StrokeRoundRect(float x0, float y0, float x1, float y1, float radius, float width, uint32_t colour);
    void FillPolygon(const std::vector<SPointF>& points, uint32_t colour);
    void Line(float x0, float y0, float x1, float y1, float width, uint32_t colour);

    // Copies another canvas with source-over blending, scaled into the destination rectangle
    // (box-filtered when shrinking), its opacity multiplied by `alpha`.
    void Draw(const CCanvas& source, int x, int y, float alpha = 1.0f);
    void DrawScaled(const CCanvas& source, int dx0, int dy0, int dx1, int dy1, float alpha = 1.0f);
    CCanvas Crop(int x0, int y0, int x1, int y1) const;
    CCanvas Scaled(int width, int height) const;

    // Text in the style's face, top-left at (x, y); returns the advance width.
    int Text(int x, int y, const std::string& utf8, const STextStyle& style);
    // Text centred in the rectangle, the font shrunk until the text fits its width.
    void TextCentered(int x0, int y0, int x1, int y1, const std::string& utf8, STextStyle style);

private:
    int m_width;
    int m_height;
    std::vector<uint32_t> m_pixels;
};

struct STextExtent {
    int width = 0;
    int ascent = 0;
    int height = 0;
};
STextExtent MeasureText(const std::string& utf8, const STextStyle& style);

// A reproducible pseudo-random sequence for the generated art.
class CRandom {
public:
    explicit CRandom(uint32_t seed) : m_state(seed ? seed : 1) {}
    uint32_t Next();
    float Unit() { return static_cast<float>(Next() >> 8) / 16777216.0f; }
    float Range(float lo, float hi) { return lo + (hi - lo) * Unit(); }

private:
    uint32_t m_state;
};

// Picture files: Windows bitmaps (24-bit, opaque) and the raw TEYL pictures of the archives.
std::vector<uint8_t> EncodeBmp24(const CCanvas& canvas);
