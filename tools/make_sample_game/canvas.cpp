#include "tools/make_sample_game/canvas.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "platform/font.h"
#include "platform/sjis.h"
#include "tools/lib/chunk_writer.h"

uint32_t WithAlpha(uint32_t colour, uint32_t alpha) { return (colour & 0x00FFFFFF) | (std::min(alpha, 255u) << 24); }

uint32_t Mix(uint32_t a, uint32_t b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        float ca = static_cast<float>(a >> shift & 0xFF);
        float cb = static_cast<float>(b >> shift & 0xFF);
        out |= static_cast<uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return out;
}

CCanvas::CCanvas(int width, int height, uint32_t fill)
    : m_width(width), m_height(height), m_pixels(static_cast<size_t>(width) * height, fill) {}

void CCanvas::Blend(int x, int y, uint32_t colour, float coverage) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height || coverage <= 0.0f) return;
    float sa = static_cast<float>(colour >> 24) / 255.0f * std::min(coverage, 1.0f);
    if (sa <= 0.0f) return;
    uint32_t& d = m_pixels[static_cast<size_t>(y) * m_width + x];
    float da = static_cast<float>(d >> 24) / 255.0f;
    float oa = sa + da * (1.0f - sa);
    uint32_t out = static_cast<uint32_t>(std::lround(oa * 255.0f)) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        float sc = static_cast<float>(colour >> shift & 0xFF);
        float dc = static_cast<float>(d >> shift & 0xFF);
        float oc = oa > 0 ? (sc * sa + dc * da * (1.0f - sa)) / oa : 0.0f;
        out |= static_cast<uint32_t>(std::clamp(std::lround(oc), 0l, 255l)) << shift;
    }
    d = out;
}

void CCanvas::Clear(uint32_t colour) { std::fill(m_pixels.begin(), m_pixels.end(), colour); }

void CCanvas::FillRect(int x0, int y0, int x1, int y1, uint32_t colour) {
    for (int y = std::max(y0, 0); y < std::min(y1, m_height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, m_width); ++x) Blend(x, y, colour);
}

void CCanvas::VerticalGradient(int x0, int y0, int x1, int y1, uint32_t top, uint32_t bottom) {
    for (int y = std::max(y0, 0); y < std::min(y1, m_height); ++y) {
        uint32_t c = Mix(top, bottom, y1 - y0 > 1 ? static_cast<float>(y - y0) / (y1 - y0 - 1) : 0.0f);
        for (int x = std::max(x0, 0); x < std::min(x1, m_width); ++x) Blend(x, y, c);
    }
}

void CCanvas::HorizontalGradient(int x0, int y0, int x1, int y1, uint32_t left, uint32_t right) {
    for (int x = std::max(x0, 0); x < std::min(x1, m_width); ++x) {
        uint32_t c = Mix(left, right, x1 - x0 > 1 ? static_cast<float>(x - x0) / (x1 - x0 - 1) : 0.0f);
        for (int y = std::max(y0, 0); y < std::min(y1, m_height); ++y) Blend(x, y, c);
    }
}

void CCanvas::Glow(float cx, float cy, float radius, uint32_t colour) {
    int x0 = static_cast<int>(cx - radius), x1 = static_cast<int>(cx + radius) + 1;
    int y0 = static_cast<int>(cy - radius), y1 = static_cast<int>(cy + radius) + 1;
    for (int y = std::max(y0, 0); y < std::min(y1, m_height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, m_width); ++x) {
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy) / radius;
            if (d < 1.0f) Blend(x, y, colour, (1.0f - d) * (1.0f - d));
        }
}

void CCanvas::FillShape(float x0, float y0, float x1, float y1, const std::function<float(float, float)>& distance,
                        uint32_t colour) {
    int ix0 = std::max(static_cast<int>(std::floor(x0)) - 1, 0);
    int iy0 = std::max(static_cast<int>(std::floor(y0)) - 1, 0);
    int ix1 = std::min(static_cast<int>(std::ceil(x1)) + 1, m_width);
    int iy1 = std::min(static_cast<int>(std::ceil(y1)) + 1, m_height);
    for (int y = iy0; y < iy1; ++y)
        for (int x = ix0; x < ix1; ++x) {
            float d = distance(x + 0.5f, y + 0.5f);
            float coverage = std::clamp(0.5f - d, 0.0f, 1.0f);
            if (coverage > 0) Blend(x, y, colour, coverage);
        }
}

void CCanvas::FillCircle(float cx, float cy, float r, uint32_t colour) {
    FillShape(cx - r, cy - r, cx + r, cy + r, [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; },
              colour);
}

void CCanvas::FillEllipse(float cx, float cy, float rx, float ry, uint32_t colour) {
    // Distance approximated by scaling the unit-circle distance with the gradient length.
    FillShape(cx - rx, cy - ry, cx + rx, cy + ry,
              [=](float x, float y) {
                  float nx = (x - cx) / rx, ny = (y - cy) / ry;
                  float k = std::hypot(nx, ny);
                  float g = std::hypot(nx / rx, ny / ry);
                  return g > 0 ? (k - 1.0f) * k / g : -std::min(rx, ry);
              },
              colour);
}

static float RoundRectDistance(float x, float y, float x0, float y0, float x1, float y1, float r) {
    float cx = (x0 + x1) * 0.5f, cy = (y0 + y1) * 0.5f;
    float hx = (x1 - x0) * 0.5f - r, hy = (y1 - y0) * 0.5f - r;
    float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - r;
}

void CCanvas::FillRoundRect(float x0, float y0, float x1, float y1, float radius, uint32_t colour) {
    FillShape(x0, y0, x1, y1, [=](float x, float y) { return RoundRectDistance(x, y, x0, y0, x1, y1, radius); },
              colour);
}

void CCanvas::StrokeRoundRect(float x0, float y0, float x1, float y1, float radius, float width, uint32_t colour) {
    FillShape(x0, y0, x1, y1,
              [=](float x, float y) {
                  float d = RoundRectDistance(x, y, x0, y0, x1, y1, radius);
                  return std::fabs(d + width * 0.5f) - width * 0.5f;
              },
              colour);
}

static float SegmentDistance(float px, float py, SPointF a, SPointF b) {
    float vx = b.x - a.x, vy = b.y - a.y;
    float len2 = vx * vx + vy * vy;
    float t = len2 > 0 ? std::clamp(((px - a.x) * vx + (py - a.y) * vy) / len2, 0.0f, 1.0f) : 0.0f;
    return std::hypot(px - a.x - t * vx, py - a.y - t * vy);
}

void CCanvas::FillPolygon(const std::vector<SPointF>& points, uint32_t colour) {
    if (points.size() < 3) return;
    float x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
    for (const SPointF& p : points) {
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    }
    FillShape(x0, y0, x1, y1,
              [&points](float x, float y) {
                  float best = 1e9f;
                  bool inside = false;
                  for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
                      const SPointF& a = points[i];
                      const SPointF& b = points[j];
                      best = std::min(best, SegmentDistance(x, y, a, b));
                      if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
                  }
                  return inside ? -best : best;
              },
              colour);
}

void CCanvas::Line(float x0, float y0, float x1, float y1, float width, uint32_t colour) {
    float h = width * 0.5f;
    FillShape(std::min(x0, x1) - h, std::min(y0, y1) - h, std::max(x0, x1) + h, std::max(y0, y1) + h,
              [=](float x, float y) { return SegmentDistance(x, y, {x0, y0}, {x1, y1}) - h; }, colour);
}

void CCanvas::Draw(const CCanvas& source, int x, int y, float alpha) {
    DrawScaled(source, x, y, x + source.Width(), y + source.Height(), alpha);
}

void CCanvas::DrawScaled(const CCanvas& source, int dx0, int dy0, int dx1, int dy1, float alpha) {
    if (dx1 <= dx0 || dy1 <= dy0) return;
    const float sx = static_cast<float>(source.Width()) / (dx1 - dx0);
    const float sy = static_cast<float>(source.Height()) / (dy1 - dy0);
    for (int y = std::max(dy0, 0); y < std::min(dy1, m_height); ++y) {
        int syA = static_cast<int>((y - dy0) * sy);
        int syB = std::max(syA + 1, static_cast<int>((y - dy0 + 1) * sy));
        for (int x = std::max(dx0, 0); x < std::min(dx1, m_width); ++x) {
            int sxA = static_cast<int>((x - dx0) * sx);
            int sxB = std::max(sxA + 1, static_cast<int>((x - dx0 + 1) * sx));
            // Average premultiplied colour over the source box.
            float a = 0, r = 0, g = 0, b = 0;
            int n = 0;
            for (int v = syA; v < std::min(syB, source.Height()); ++v)
                for (int u = sxA; u < std::min(sxB, source.Width()); ++u) {
                    uint32_t c = source.Get(u, v);
                    float ca = static_cast<float>(c >> 24);
                    a += ca;
                    r += ca * (c >> 16 & 0xFF), g += ca * (c >> 8 & 0xFF), b += ca * (c & 0xFF);
                    ++n;
                }
            if (n == 0 || a <= 0) continue;
            uint32_t avg = Argb(static_cast<uint32_t>(a / n + 0.5f), static_cast<uint32_t>(r / a + 0.5f),
                                static_cast<uint32_t>(g / a + 0.5f), static_cast<uint32_t>(b / a + 0.5f));
            Blend(x, y, avg, alpha);
        }
    }
}

CCanvas CCanvas::Crop(int x0, int y0, int x1, int y1) const {
    CCanvas out(x1 - x0, y1 - y0);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (x >= 0 && y >= 0 && x < m_width && y < m_height) out.Set(x - x0, y - y0, Get(x, y));
    return out;
}

CCanvas CCanvas::Scaled(int width, int height) const {
    CCanvas out(width, height);
    out.DrawScaled(*this, 0, 0, width, height);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Text through the font layer

namespace {

std::string FaceSjis(const std::string& utf8) {
    std::string sjis;
    if (!Utf8ToSjis(utf8, &sjis)) throw std::runtime_error("font face has no Shift-JIS form: " + utf8);
    return sjis;
}

// Walks Shift-JIS text by character codes.
template <typename F>
void ForEachCode(const std::string& sjis, F f) {
    for (size_t i = 0; i < sjis.size();) {
        unsigned char c = static_cast<unsigned char>(sjis[i]);
        if (IsSjisLeadByte(c) && i + 1 < sjis.size()) {
            f(static_cast<uint32_t>(c) << 8 | static_cast<unsigned char>(sjis[i + 1]));
            i += 2;
        } else {
            f(c);
            ++i;
        }
    }
}

// One font selected into a measuring context for the lifetime of the object.
class CSelectedFont {
public:
    explicit CSelectedFont(const STextStyle& style) {
        m_font = CreateFontSjis(style.height, style.bold ? kFontWeightBold : kFontWeightNormal, 0,
                                FaceSjis(style.face).c_str());
        if (!m_font) throw std::runtime_error("no font for face " + style.face);
        m_dc = GetFontDC(nullptr);
        SelectFont(m_dc, m_font);
        if (GetFontTextMetrics(m_dc, &m_metrics) != 0) throw std::runtime_error("font metrics failed");
    }
    ~CSelectedFont() {
        ReleaseFontDC(nullptr, m_dc);
        DeleteFont(m_font);
    }
    CSelectedFont(const CSelectedFont&) = delete;
    CSelectedFont& operator=(const CSelectedFont&) = delete;

    const STextMetrics& Metrics() const { return m_metrics; }

    // The glyph's coverage (0..64 per pixel, rows padded to 4 bytes) and its metrics.
    std::vector<uint8_t> Glyph(uint32_t code, SGlyphMetrics* gm) {
        uint32_t size = GetGlyphOutlineGray8(m_dc, code, gm, 0, nullptr);
        if (size == kGlyphOutlineError) throw std::runtime_error("glyph failed");
        std::vector<uint8_t> bits(size);
        if (size > 0 && GetGlyphOutlineGray8(m_dc, code, gm, size, bits.data()) == kGlyphOutlineError)
            throw std::runtime_error("glyph failed");
        return bits;
    }

private:
    CFont* m_font = nullptr;
    CFontDC* m_dc = nullptr;
    STextMetrics m_metrics{};
};

std::string ToSjisText(const std::string& utf8) {
    std::string sjis;
    if (!Utf8ToSjis(utf8, &sjis)) throw std::runtime_error("text has no Shift-JIS form: " + utf8);
    return sjis;
}

}  // namespace

STextExtent MeasureText(const std::string& utf8, const STextStyle& style) {
    CSelectedFont font(style);
    STextExtent extent;
    extent.ascent = font.Metrics().tmAscent;
    extent.height = font.Metrics().tmHeight;
    ForEachCode(ToSjisText(utf8), [&](uint32_t code) {
        SGlyphMetrics gm{};
        font.Glyph(code, &gm);
        extent.width += gm.gmCellIncX;
    });
    return extent;
}

int CCanvas::Text(int x, int y, const std::string& utf8, const STextStyle& style) {
    CSelectedFont font(style);
    const int baseline = y + font.Metrics().tmAscent;
    int pen = x;
    ForEachCode(ToSjisText(utf8), [&](uint32_t code) {
        SGlyphMetrics gm{};
        std::vector<uint8_t> bits = font.Glyph(code, &gm);
        if (!bits.empty()) {
            const int pitch = static_cast<int>((gm.gmBlackBoxX + 3) & ~3u);
            const int left = pen + gm.gmptGlyphOrigin.x;
            const int top = baseline - gm.gmptGlyphOrigin.y;
            auto stamp = [&](int ox, int oy, uint32_t colour) {
                for (uint32_t row = 0; row < gm.gmBlackBoxY; ++row)
                    for (uint32_t col = 0; col < gm.gmBlackBoxX; ++col) {
                        uint8_t level = bits[row * pitch + col];
                        if (level) Blend(left + col + ox, top + row + oy, colour, level / 64.0f);
                    }
            };
            if (style.shadow) stamp(style.shadow, style.shadow, style.shadowColour);
            for (int oy = -style.outline; oy <= style.outline; ++oy)
                for (int ox = -style.outline; ox <= style.outline; ++ox)
                    if ((ox || oy) && ox * ox + oy * oy <= style.outline * style.outline + 1)
                        stamp(ox, oy, style.outlineColour);
            stamp(0, 0, style.colour);
        }
        pen += gm.gmCellIncX;
    });
    return pen - x;
}

void CCanvas::TextCentered(int x0, int y0, int x1, int y1, const std::string& utf8, STextStyle style) {
    STextExtent extent = MeasureText(utf8, style);
    const int room = x1 - x0 - 2 * style.outline;
    while (extent.width > room && style.height > 8) {
        --style.height;
        extent = MeasureText(utf8, style);
    }
    Text(x0 + (x1 - x0 - extent.width) / 2, y0 + (y1 - y0 - extent.height) / 2, utf8, style);
}

uint32_t CRandom::Next() {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}

std::vector<uint8_t> EncodeBmp24(const CCanvas& canvas) {
    const uint32_t rowBytes = (static_cast<uint32_t>(canvas.Width()) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * canvas.Height();
    CChunkWriter w;
    w.Bytes("BM");
    w.U32(54 + imageBytes);
    w.U32(0);
    w.U32(54);  // pixel data offset
    w.U32(40);  // BITMAPINFOHEADER
    w.I32(canvas.Width());
    w.I32(canvas.Height());  // positive: rows stored bottom-up
    w.U16(1);
    w.U16(24);
    w.U32(0);  // no compression
    w.U32(imageBytes);
    w.U32(2835);
    w.U32(2835);
    w.U32(0);
    w.U32(0);
    const uint8_t padding[3] = {0, 0, 0};
    for (int y = canvas.Height() - 1; y >= 0; --y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            uint32_t c = canvas.Get(x, y);
            w.U8(static_cast<uint8_t>(c));
            w.U8(static_cast<uint8_t>(c >> 8));
            w.U8(static_cast<uint8_t>(c >> 16));
        }
        w.Bytes(padding, rowBytes - canvas.Width() * 3);
    }
    return w.Data();
}
