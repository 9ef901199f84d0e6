#include "text/glyph.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/graphics.h"
#include "platform/render_context.h"
#include "platform/sjis.h"

namespace {

constexpr uint32_t kCodeNull = 0;
constexpr uint32_t kCodeNewline = 10;

// The bitmap of one character in the selected font, in a buffer reused from call to call.
struct SGlyphBitmap {
    SGlyphMetrics metrics{};
    uint32_t pitch = 0;
    const uint8_t* bits = nullptr;  // null when the glyph has no ink

    uint8_t Level(uint32_t x, uint32_t y) const { return std::min<uint8_t>(bits[y * pitch + x], 64); }
};

// Queries the glyph size; -1 on failure.
int32_t QueryGlyph(CFontDC* dc, uint32_t code, SGlyphMetrics* metrics, uint32_t* size) {
    *size = GetGlyphOutlineGray8(dc, code, metrics, 0, nullptr);
    return *size == kGlyphOutlineError ? -1 : 0;
}

// Fetches the bitmap after a size query; -1 on failure.
int32_t FetchGlyph(CFontDC* dc, uint32_t code, uint32_t size, SGlyphBitmap* bitmap) {
    static std::vector<uint8_t> buffer;
    bitmap->pitch = (bitmap->metrics.gmBlackBoxX + 3) & ~3u;
    bitmap->bits = nullptr;
    if (size == 0) return 0;
    buffer.resize(size);
    if (GetGlyphOutlineGray8(dc, code, &bitmap->metrics, size, buffer.data()) == kGlyphOutlineError) return -1;
    bitmap->pitch = (bitmap->metrics.gmBlackBoxX + 3) & ~3u;
    // Never trust the metrics further than the bytes actually delivered.
    if (static_cast<uint64_t>(bitmap->pitch) * bitmap->metrics.gmBlackBoxY > size) return -1;
    bitmap->bits = buffer.data();
    return 0;
}

uint32_t CoverageAlpha(uint8_t level) { return static_cast<uint32_t>(level) * 4 - 1; }

// Selects a font for the scope of one operation and selects the previous one back.
class CFontSelection {
public:
    CFontSelection(CFontDC* dc, CFont* font) : dc_(dc), previous_(SelectFont(dc, font)) {}
    ~CFontSelection() {
        if (previous_) SelectFont(dc_, previous_);
    }
    CFontSelection(const CFontSelection&) = delete;
    CFontSelection& operator=(const CFontSelection&) = delete;
    bool Ok() const { return previous_ != nullptr; }

private:
    CFontDC* dc_;
    CFont* previous_;
};

void ClearLocked(const SLockedRect& locked, int32_t side) {
    for (int32_t y = 0; y < side; ++y)
        std::memset(static_cast<uint8_t*>(locked.bits) + static_cast<ptrdiff_t>(y) * locked.pitch, 0,
                    static_cast<size_t>(side) * 4);
}

// BlendPixelOver of the two sources a glyph texture is painted with, black or white at the
// alpha of a coverage level, as tables over the destination's channel values: the same float
// arithmetic, done once.
class CCoverageBlendTables {
public:
    CCoverageBlendTables() {
        for (uint32_t level = 1; level <= 64; ++level)
            for (uint32_t value = 0; value < 256; ++value) {
                const uint32_t grey = value << 24 | value << 16 | value << 8 | value;
                const uint32_t rim = BlendPixelOver(grey, CoverageAlpha(static_cast<uint8_t>(level)) << 24);
                const uint32_t fill =
                    BlendPixelOver(grey, CoverageAlpha(static_cast<uint8_t>(level)) << 24 | 0xFFFFFF);
                alpha_[level][value] = static_cast<uint8_t>(rim >> 24);
                black_[level][value] = static_cast<uint8_t>(rim);
                white_[level][value] = static_cast<uint8_t>(fill);
            }
    }
    uint32_t Rim(uint32_t destination, uint8_t level) const { return Blend(destination, level, black_[level]); }
    uint32_t Fill(uint32_t destination, uint8_t level) const { return Blend(destination, level, white_[level]); }

private:
    uint32_t Blend(uint32_t d, uint8_t level, const uint8_t* colour) const {
        return static_cast<uint32_t>(alpha_[level][d >> 24]) << 24 | static_cast<uint32_t>(colour[(d >> 16) & 0xFF]) << 16 |
               static_cast<uint32_t>(colour[(d >> 8) & 0xFF]) << 8 | colour[d & 0xFF];
    }
    uint8_t alpha_[65][256] = {};
    uint8_t black_[65][256] = {};
    uint8_t white_[65][256] = {};
};

// The outline and fill passes of a glyph texture: the bitmap lands at pixel (1, 1).
void PaintGlyphTexture(const SGlyphBitmap& bitmap, uint32_t* pixels, int32_t pitch, bool outline) {
    static const CCoverageBlendTables tables;
    const uint32_t columns = bitmap.metrics.gmBlackBoxX;
    const uint32_t rows = bitmap.metrics.gmBlackBoxY;
    auto at = [pixels, pitch](uint32_t x, uint32_t y) -> uint32_t& { return pixels[y * pitch + x]; };
    if (outline) {
        for (uint32_t y = 0; y < rows; ++y)
            for (uint32_t x = 0; x < columns; ++x) {
                const uint8_t level = bitmap.Level(x, y);
                if (level == 0) continue;
                at(x + 1, y + 1) = tables.Rim(at(x + 1, y + 1), level);
                at(x + 1, y) = tables.Rim(at(x + 1, y), level);
                at(x + 1, y + 2) = tables.Rim(at(x + 1, y + 2), level);
                at(x, y + 1) = tables.Rim(at(x, y + 1), level);
                at(x + 2, y + 1) = tables.Rim(at(x + 2, y + 1), level);
            }
    }
    for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < columns; ++x) {
            const uint8_t level = bitmap.Level(x, y);
            if (level != 0) at(x + 1, y + 1) = tables.Fill(at(x + 1, y + 1), level);
        }
}

}  // namespace

uint32_t BlendPixelOver(uint32_t destination, uint32_t source) {
    const float sourceAlpha = static_cast<float>(source >> 24);
    const float a = sourceAlpha / 255.0f;
    const float b = 1.0f - a;
    auto channel = [&](int shift) {
        const float value = static_cast<float>((destination >> shift) & 0xFF) * b +
                            static_cast<float>((source >> shift) & 0xFF) * a;
        return std::min<uint32_t>(255, static_cast<uint32_t>(value)) << shift;
    };
    const float alpha = sourceAlpha + b * static_cast<float>(destination >> 24);
    return std::min<uint32_t>(255, static_cast<uint32_t>(alpha)) << 24 | channel(16) | channel(8) | channel(0);
}

int32_t TextureSideFor(int32_t largestSide) {
    if (largestSide <= 1) return 1;
    float exponent = static_cast<float>(std::log(static_cast<double>(largestSide)) / std::log(2.0));
    if (exponent != std::trunc(exponent)) exponent = std::trunc(exponent) + 1.0f;
    int32_t side = 1 << static_cast<int32_t>(exponent);
    while (side < largestSide) side <<= 1;  // single precision cannot tell 2^k + 1 from 2^k for huge k
    return side;
}

CGlyph::CGlyph() { std::memset(static_cast<void*>(this), 0, sizeof *this); }

CGlyph::~CGlyph() { Release(); }

void CGlyph::Release() {
    if (texture) texture->Release();
    const uint32_t code = character;
    std::memset(static_cast<void*>(this), 0, sizeof *this);
    character = code;
}

int32_t CGlyph::Rasterize(uint32_t code, CGraphicsDevice* device, CFontDC* dc, CFont* font, uint32_t glyphColour,
                          uint32_t outline) {
    Release();
    character = code;
    colour = glyphColour;
    if (code == kCodeNull || code == kCodeNewline) return 0;

    CFontSelection selection(dc, font);
    if (!selection.Ok()) return -1;
    STextMetrics text{};
    SGlyphBitmap bitmap;
    uint32_t size = 0;
    if (GetFontTextMetrics(dc, &text) != 0 || QueryGlyph(dc, code, &bitmap.metrics, &size) != 0) return -1;
    ascent = text.tmAscent;
    if (IsBlankCode(code)) {
        advance = bitmap.metrics.gmCellIncX;
        lineHeight = text.tmHeight;
        return 0;
    }
    if (FetchGlyph(dc, code, size, &bitmap) != 0) return -1;

    advance = bitmap.metrics.gmCellIncX + 2;
    lineHeight = text.tmHeight + 2;
    width = static_cast<int32_t>(bitmap.metrics.gmBlackBoxX) + 2;
    height = static_cast<int32_t>(bitmap.metrics.gmBlackBoxY) + 2;
    originX = bitmap.metrics.gmptGlyphOrigin.x;
    originY = bitmap.metrics.gmptGlyphOrigin.y;
    const int32_t side = TextureSideFor(std::max(width, height));
    textureWidth = side;
    textureHeight = side;

    if (!device || device->CreateTexture(side, side, 1, Usage::None, Format::A8R8G8B8, Pool::Managed, &texture) != 0) {
        texture = nullptr;
        return -1;
    }
    SLockedRect locked{};
    if (texture->LockRect(0, &locked, nullptr, 0) != 0) {
        // An unlocked texture cannot be cleared: drop it so that the record draws nothing.
        texture->Release();
        texture = nullptr;
        return -1;
    }
    ClearLocked(locked, side);
    if (bitmap.bits) PaintGlyphTexture(bitmap, static_cast<uint32_t*>(locked.bits), locked.pitch / 4, outline == 1);
    texture->UnlockRect(0);
    return 0;
}

int32_t CreateTextTexture(CGraphicsDevice* device, SBlockSize block, CTexture** texture) {
    *texture = nullptr;
    if (!device || block.width <= 0 || block.height <= 0) return -1;
    const int32_t side = TextureSideFor(std::max(block.width, block.height));
    if (device->CreateTexture(side, side, 1, Usage::None, Format::A8R8G8B8, Pool::Managed, texture) != 0) {
        *texture = nullptr;
        return -1;
    }
    return 0;
}

int32_t RenderTextToTexture(CGraphicsDevice* device, CTexture** texture, CFontDC* dc, SBlockSize block,
                            CFont* const* fonts, const uint32_t* characters, const uint32_t* colours, int32_t count,
                            uint32_t outlineFlag, uint32_t wrapFlag, int32_t extraLineSpacing) {
    if (CreateTextTexture(device, block, texture) != 0) return -1;
    SLockedRect locked{};
    if ((*texture)->LockRect(0, &locked, nullptr, 0) != 0) return -1;
    ClearLocked(locked, static_cast<int32_t>((*texture)->Width()));
    uint32_t* pixels = static_cast<uint32_t*>(locked.bits);
    const int32_t pitch = locked.pitch / 4;

    int32_t y = 0;
    for (int32_t start = 0; start < count;) {
        const int32_t n = CountGlyphsInLine(fonts, characters, start, block.width, count, wrapFlag, dc);
        y += GetMaxLineHeight(start, n, fonts, dc);
        int32_t penX = 0;
        for (int32_t i = start; i < start + n; ++i) {
            if (outlineFlag == 1) RenderGlyphEdgeToSurface(y, block, pixels, pitch, penX, dc, fonts[i], characters[i]);
            const int32_t advance =
                RenderGlyphToSurface(y, block, pixels, pitch, penX, dc, fonts[i], characters[i], colours[i]);
            if (advance == -1) {
                (*texture)->UnlockRect(0);
                return -1;
            }
            penX += advance;
        }
        y += extraLineSpacing;
        start += n;
    }
    (*texture)->UnlockRect(0);
    return 0;
}

int32_t CountGlyphsInLine(CFont* const* fonts, const uint32_t* characters, int32_t start, int32_t width, int32_t end,
                          uint32_t wrapFlag, CFontDC* dc) {
    int32_t counted = 0;
    int32_t sum = 0;
    for (int32_t i = start; i < end; ++i) {
        if (wrapFlag) {
            SGlyphMetrics metrics{};
            uint32_t size = 0;
            {
                CFontSelection selection(dc, fonts[i]);
                if (!selection.Ok() || QueryGlyph(dc, characters[i], &metrics, &size) != 0) metrics = {};
            }
            sum += metrics.gmCellIncX + 2;
            // A character wider than the whole block still takes a line of its own, so that
            // every line makes progress.
            if (sum >= width && counted > 0) return counted;
        }
        ++counted;
        if (characters[i] == kCodeNewline) return counted;
        if (wrapFlag && sum >= width) return counted;
    }
    return counted;
}

int32_t GetMaxLineHeight(int32_t start, int32_t count, CFont* const* fonts, CFontDC* dc) {
    int32_t highest = 0;
    for (int32_t i = start; i < start + count; ++i) {
        CFontSelection selection(dc, fonts[i]);
        STextMetrics metrics{};
        if (selection.Ok() && GetFontTextMetrics(dc, &metrics) == 0) highest = std::max(highest, metrics.tmHeight);
    }
    return highest;
}

namespace {

// Calls paint(x, y, level) for every covered pixel of the character placed at the pen on the
// baseline. Returns the advance, or -1.
template <typename Paint>
int32_t ForEachPlacedPixel(int32_t baseline, int32_t penX, CFontDC* dc, CFont* font, uint32_t character, Paint paint) {
    CFontSelection selection(dc, font);
    if (!selection.Ok()) return -1;
    SGlyphBitmap bitmap;
    uint32_t size = 0;
    if (QueryGlyph(dc, character, &bitmap.metrics, &size) != 0) return -1;
    if (IsBlankCode(character) || character == kCodeNull || character == kCodeNewline)
        return bitmap.metrics.gmCellIncX;
    if (FetchGlyph(dc, character, size, &bitmap) != 0) return -1;
    if (bitmap.bits) {
        const int32_t left = penX + bitmap.metrics.gmptGlyphOrigin.x + 1;
        const int32_t top = baseline - bitmap.metrics.gmptGlyphOrigin.y + 1;
        for (uint32_t r = 0; r < bitmap.metrics.gmBlackBoxY; ++r)
            for (uint32_t c = 0; c < bitmap.metrics.gmBlackBoxX; ++c) {
                const uint8_t level = bitmap.Level(c, r);
                if (level) paint(left + static_cast<int32_t>(c), top + static_cast<int32_t>(r), level);
            }
    }
    return bitmap.metrics.gmCellIncX + 2;
}

void BlendIntoBlock(SBlockSize block, uint32_t* pixels, int32_t pitch, int32_t x, int32_t y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= block.width || y >= block.height) return;
    uint32_t& pixel = pixels[static_cast<ptrdiff_t>(y) * pitch + x];
    pixel = BlendPixelOver(pixel, colour);
}

}  // namespace

int32_t RenderGlyphToSurface(int32_t baseline, SBlockSize block, uint32_t* pixels, int32_t pitch, int32_t penX,
                             CFontDC* dc, CFont* font, uint32_t character, uint32_t colour) {
    const double colourAlpha = colour >> 24;
    return ForEachPlacedPixel(baseline, penX, dc, font, character, [&](int32_t x, int32_t y, uint8_t level) {
        const double scaled = CoverageAlpha(level) / 255.0 * colourAlpha;
        const uint32_t alpha = std::min<uint32_t>(255, static_cast<uint32_t>(scaled));
        BlendIntoBlock(block, pixels, pitch, x, y, alpha << 24 | (colour & 0xFFFFFF));
    });
}

int32_t RenderGlyphEdgeToSurface(int32_t baseline, SBlockSize block, uint32_t* pixels, int32_t pitch, int32_t penX,
                                 CFontDC* dc, CFont* font, uint32_t character) {
    return ForEachPlacedPixel(baseline, penX, dc, font, character, [&](int32_t x, int32_t y, uint8_t level) {
        const uint32_t rim = CoverageAlpha(level) << 24;
        BlendIntoBlock(block, pixels, pitch, x - 1, y, rim);
        BlendIntoBlock(block, pixels, pitch, x, y - 1, rim);
        BlendIntoBlock(block, pixels, pitch, x, y, rim);
        BlendIntoBlock(block, pixels, pitch, x, y + 1, rim);
        BlendIntoBlock(block, pixels, pitch, x + 1, y, rim);
    });
}

namespace {

// The next Shift-JIS code: a lead byte and the byte after it form one code, a lead byte before
// the terminator stands alone (the same walk as CountChars).
uint32_t NextCode(const char** at) {
    const auto* p = reinterpret_cast<const unsigned char*>(*at);
    uint32_t code = *p++;
    if (IsSjisLeadByte(static_cast<unsigned char>(code)) && *p != 0) code = code << 8 | *p++;
    *at = reinterpret_cast<const char*>(p);
    return code;
}

}  // namespace

int32_t RasterizeText(const char* text, bool withTerminator, CGlyph* glyphs, int32_t capacity, int32_t* count,
                      uint32_t outline, const std::function<SGlyphStyle(int32_t)>& styleFor) {
    CFontDC* dc = GetFontDC(g_hEngineWnd);
    int32_t built = 0;
    int32_t result = 0;
    const char* at = text;
    while (built < capacity) {
        const bool atEnd = *at == '\0';
        if (atEnd && !withTerminator) break;
        const uint32_t code = atEnd ? 0 : NextCode(&at);
        if (code == kCodeCarriageReturn || code == kCodeFormFeed) continue;
        const SGlyphStyle style = styleFor(built);
        const int32_t made =
            style.font ? glyphs[built].Rasterize(code, g_pEngineDevice, dc, style.font, style.colour, outline) : -1;
        if (style.owned) DeleteFont(style.font);
        if (made != 0) {
            result = -1;
            break;
        }
        ++built;
        if (atEnd) break;
    }
    for (int32_t i = built; i < std::max(*count, built + 1) && i < capacity; ++i) glyphs[i].Release();
    *count = built;
    ReleaseFontDC(g_hEngineWnd, dc);
    return result;
}
