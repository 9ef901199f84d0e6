// Fonts for glyph rasterising: fonts created per use from a Shift-JIS face name, a measuring
// context with one selected font, text metrics and 8-bit grey glyph bitmaps, with the numbers
// and layouts of the Windows font interface the text code was written against:
// - a positive height is the cell height (ascent + descent), a negative one the em height;
// - glyph bitmaps have 65 coverage levels (0..64) and rows padded to a multiple of 4 bytes;
// - character codes are Shift-JIS codes (a byte, or lead byte * 256 + trail byte).
// Opened font files, resolved face names and recent glyph bitmaps are cached inside this layer,
// so creating a font for every character stays cheap. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

struct CPlatformWindow;

// Returned by GetGlyphOutlineGray8 on failure.
constexpr uint32_t kGlyphOutlineError = 0xFFFFFFFFu;

constexpr int32_t kFontWeightNormal = 400;
constexpr int32_t kFontWeightBold = 700;
// Heights whose magnitude lies above this are refused: nothing on an 800 x 600 screen needs
// more, and a page of 255 glyphs from a script must not ask for gigabytes of glyph textures.
constexpr int32_t kMaxFontHeight = 256;

struct STextMetrics {
    int32_t tmHeight;   // tmAscent + tmDescent
    int32_t tmAscent;   // pixels from the top of the cell down to the baseline
    int32_t tmDescent;  // pixels from the baseline down to the bottom of the cell
    int32_t tmAveCharWidth;
    int32_t tmMaxCharWidth;
    int32_t tmWeight;
    uint8_t tmItalic;
};

struct SGlyphMetrics {
    uint32_t gmBlackBoxX;     // bitmap width (1 for a glyph without ink)
    uint32_t gmBlackBoxY;     // bitmap height (1 for a glyph without ink)
    SPoint gmptGlyphOrigin;   // x: from the pen to the bitmap's left; y: from the baseline up to its top
    int16_t gmCellIncX;       // horizontal pen advance
    int16_t gmCellIncY;       // always 0 (horizontal text)
};

struct CFont;    // a created font (the stand-in for a font handle)
struct CFontDC;  // a measuring context: holds the selected font

// Creates a font. weight 700 (or more) asks for bold, italic non-zero for italic. The face name
// is Shift-JIS; at most its first 31 bytes are used. The Windows faces "ＭＳ ゴシック",
// "ＭＳ Ｐゴシック", "ＭＳ 明朝" and "ＭＳ Ｐ明朝" map to the IPA fonts, other names to the
// installed family of that name, unknown names to the best Japanese sans-serif font.
// Returns null when the height is out of range or no font with Japanese glyphs is installed.
CFont* CreateFontSjis(int32_t height, int32_t weight, uint32_t italic, const char* faceSjis);
// Deletes a font. A font still selected into a context is deleted when it is deselected.
void DeleteFont(CFont* font);

// A measuring context for the window (the window may be null). It starts with a default font.
CFontDC* GetFontDC(CPlatformWindow* window);
void ReleaseFontDC(CPlatformWindow* window, CFontDC* dc);
// Selects the font and returns the previously selected one; null (nothing changed) when the
// context or the font is null.
CFont* SelectFont(CFontDC* dc, CFont* font);

// Metrics of the selected font. Returns 0, or -1 when the font file cannot be read.
int32_t GetFontTextMetrics(CFontDC* dc, STextMetrics* metrics);

// The grey bitmap of a character in the selected font, rows top-down, one byte per pixel with
// levels 0..64, each row padded to a multiple of 4 bytes. With bufferSize 0 (or a null buffer)
// it returns the byte size the bitmap needs (0 for a glyph without ink, such as a blank) and
// fills the metrics; otherwise it also copies the bitmap and returns the bytes written.
// kGlyphOutlineError when the glyph cannot be made or the buffer is too small. A code that is
// not valid Shift-JIS, or that the font has no glyph for, gives a visible replacement glyph.
uint32_t GetGlyphOutlineGray8(CFontDC* dc, uint32_t code, SGlyphMetrics* metrics, uint32_t bufferSize,
                              uint8_t* buffer);

// Shift-JIS names of the installed faces that have Japanese glyphs, sorted, without vertical
// ('@') faces, and with the Windows faces whose substitutes are installed.
std::vector<std::string> EnumJapaneseFontFaces();

// What a face name resolves to (diagnostics and tests).
struct SFontFaceInfo {
    std::string familyUtf8;
    std::string file;
    int32_t index = 0;
    bool syntheticBold = false;
    bool syntheticItalic = false;
};
bool DescribeFontFace(const char* faceSjis, int32_t weight, uint32_t italic, SFontFaceInfo* info);

// Cache control for benchmarks and tests.
struct SFontCacheStats {
    uint32_t fileOpens;     // font files opened (faces created)
    uint32_t glyphRenders;  // glyph bitmaps rasterised (cache misses)
};
SFontCacheStats GetFontCacheStats();
// Drops every cached glyph bitmap and closes every cached font file.
void FlushFontCaches();
