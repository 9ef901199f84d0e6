// Glyph rasterisers: one texture per character (CGlyph, for the message and choice windows) and
// a whole run of characters rendered line by line into one texture (RenderTextToTexture, for
// save captions, the font preview and the backlog). Both take Shift-JIS codes (a byte, or lead
// byte * 256 + trail byte), a measuring context and fonts that the caller created.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/font.h"
#include "platform/types.h"

class CGraphicsDevice;
class CTexture;

// One rendered character: its metrics and its own texture, which holds white coverage (and a
// dark outline when asked for) with the bitmap at pixel (1, 1); the colour is applied when the
// glyph is drawn.
struct CGlyph {
    uint32_t character;
    uint32_t colour;       // ARGB the glyph is drawn in
    int32_t ascent;        // the font's tmAscent
    int32_t advance;       // pen advance: cell advance + 2; a blank's cell advance; 0 for codes 0 and 10
    int32_t lineHeight;    // tmHeight + 2; a blank's tmHeight; 0 for codes 0 and 10
    int32_t width;         // bitmap width + 2 (0 without a texture)
    int32_t height;        // bitmap height + 2 (0 without a texture)
    int32_t textureWidth;  // side of the square texture (0 when there is none)
    int32_t textureHeight;
    int32_t originX;       // from the pen to the bitmap's left
    int32_t originY;       // from the baseline up to the bitmap's top
    CTexture* texture;     // owned; null for blanks and codes 0 and 10

    CGlyph();
    ~CGlyph();
    CGlyph(const CGlyph&) = delete;
    CGlyph& operator=(const CGlyph&) = delete;

    // Releases the texture and zeroes the record but for the character code.
    void Release();
    // Fills the record and creates its texture. 0, or -1 on a font or device failure (the record
    // then draws nothing).
    int32_t Rasterize(uint32_t code, CGraphicsDevice* device, CFontDC* dc, CFont* font, uint32_t colour,
                      uint32_t outline);

    // Draws the bitmap with its top-left at (penX + originX, baseline - originY), in the override
    // colour when overrideFlag is set. 0, or -1 when there is nothing to draw.
    int32_t Draw(int32_t penX, int32_t baseline, CGraphicsDevice* device, int32_t overrideFlag,
                 uint32_t overrideColour) const;
    // The same, scaled and rotated about the bitmap's centre.
    int32_t DrawRotated(int32_t penX, int32_t baseline, CGraphicsDevice* device, float scaleX, float scaleY,
                        float angle, int32_t overrideFlag, uint32_t overrideColour) const;
};

// Codes that are blanks: drawn as an advance only.
constexpr uint32_t kCodeSpace = 0x20;
constexpr uint32_t kCodeIdeographicSpace = 0x8140;
inline bool IsBlankCode(uint32_t code) { return code == kCodeSpace || code == kCodeIdeographicSpace; }

// Codes that take no glyph in the engine's windows.
constexpr uint32_t kCodeCarriageReturn = 13;
constexpr uint32_t kCodeFormFeed = 12;

// How one glyph of a text is made: its font (deleted after use when owned) and its colour.
struct SGlyphStyle {
    CFont* font = nullptr;
    bool owned = false;
    uint32_t colour = 0;
};

// Rasterises the Shift-JIS characters of a text with the engine's device into at most capacity
// glyphs: codes 13 and 12 are skipped, and the terminating zero makes a glyph of its own when
// withTerminator is set. styleFor(index) gives each glyph's font and colour; a glyph without a
// font fails. The glyphs made before a failure are kept and counted in *count (whose value on
// entry is the previous count), the records after them released. 0, or -1 on a failure.
int32_t RasterizeText(const char* text, bool withTerminator, CGlyph* glyphs, int32_t capacity, int32_t* count,
                      uint32_t outline, const std::function<SGlyphStyle(int32_t)>& styleFor);

// The source composited over the destination, both ARGB.
uint32_t BlendPixelOver(uint32_t destination, uint32_t source);

// The side of the square power-of-two texture for a bitmap of the given largest side.
int32_t TextureSideFor(int32_t largestSide);

struct SBlockSize {
    int32_t width;
    int32_t height;
};

// A managed A8R8G8B8 square texture whose side is the power of two that holds the block.
int32_t CreateTextTexture(CGraphicsDevice* device, SBlockSize block, CTexture** texture);

// Renders count characters, each in its own font and colour, line by line into a new texture
// of the block's size (every pixel not written is transparent black). With wrapFlag a line ends
// before the character that would reach the block's width; a code 10 always ends its line.
// extraLineSpacing is added below every line. 0, or -1 (a texture already made is still handed
// back for the caller to release).
int32_t RenderTextToTexture(CGraphicsDevice* device, CTexture** texture, CFontDC* dc, SBlockSize block,
                            CFont* const* fonts, const uint32_t* characters, const uint32_t* colours, int32_t count,
                            uint32_t outlineFlag, uint32_t wrapFlag, int32_t extraLineSpacing);

// The number of characters of the line that starts at `start` (at least 1 when start < end).
int32_t CountGlyphsInLine(CFont* const* fonts, const uint32_t* characters, int32_t start, int32_t width, int32_t end,
                          uint32_t wrapFlag, CFontDC* dc);
// The largest tmHeight among the fonts of characters start .. start + count - 1 (0 when empty).
int32_t GetMaxLineHeight(int32_t start, int32_t count, CFont* const* fonts, CFontDC* dc);

// Blends one character into a block of pixels (ARGB, pitch in pixels) at the pen on the
// baseline, clipped to the block. Returns the advance (cell advance + 2; a blank's or code 0's
// and 10's cell advance), or -1.
int32_t RenderGlyphToSurface(int32_t baseline, SBlockSize block, uint32_t* pixels, int32_t pitch, int32_t penX,
                             CFontDC* dc, CFont* font, uint32_t character, uint32_t colour);
// The dark rim of the same character: black around every covered pixel, clipped to the block.
int32_t RenderGlyphEdgeToSurface(int32_t baseline, SBlockSize block, uint32_t* pixels, int32_t pitch, int32_t penX,
                                 CFontDC* dc, CFont* font, uint32_t character);
