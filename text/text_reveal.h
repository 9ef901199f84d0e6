// Laying out runs of glyphs in a rectangle and drawing them, whole or with a per-character
// entrance animation driven by the time since the reveal started, plus the two textured-quad
// drawers that all glyph drawing rests on.
//
// Every run operation takes: the glyphs and their count (0 draws nothing and reports
// completion; a negative count draws nothing either), the layout rectangle, the extra pixels
// between lines, and an override flag and colour (when the flag is set every glyph is drawn in
// that colour instead of its own). The effects also take the milliseconds since the reveal
// started and the milliseconds per character, and return 1 when the run is complete, else 0.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "text/glyph.h"

class CGraphicsDevice;
class CTexture;

// Draws the source rectangle (null: the whole texture) with its top-left at (x, y) in the colour,
// with the states in force on the device. 1, or 0 when there is no texture.
int32_t DrawTexturedQuad(CGraphicsDevice* device, CTexture* texture, const SRect* source, float x, float y,
                         uint32_t colour);
// The same quad with its corners at offset .. offset + size, scaled, rotated by the angle
// (radians) and moved to the centre.
int32_t DrawTexturedQuadRotated(CGraphicsDevice* device, CTexture* texture, const SRect* source, SPoint offset,
                                SPoint centre, float scaleX, float scaleY, float angle, uint32_t colour);

// The index just past the last glyph of the line that begins at start: a code 10 ends the line
// and belongs to it; a glyph whose advance brings the pen to the rectangle's right edge or beyond
// starts the next line; end ends the last line.
int32_t FindLineEnd(const CGlyph* glyphs, int32_t start, int32_t end, const SRect& rect);

// Draws the run whole. With allLines 0 it goes on to a next line only after a code 10 (names).
// Always returns 1.
int32_t DrawGlyphRun(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                     int32_t allLines, int32_t lineGap, int32_t overrideFlag, uint32_t overrideColour);

// Entrance effects: glyph k starts at k * msPerChar and animates for 8 * msPerChar.
int32_t DrawGlyphRunTyped(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                          int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                          uint32_t overrideColour);
int32_t DrawGlyphRunFade(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                         int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                         uint32_t overrideColour);
int32_t DrawGlyphRunZoom(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                         int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                         uint32_t overrideColour);
int32_t DrawGlyphRunSlideUp(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                            int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                            uint32_t overrideColour);
int32_t DrawGlyphRunSlideDown(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                              int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                              uint32_t overrideColour);
int32_t DrawGlyphRunHop(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                        int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                        uint32_t overrideColour);
int32_t DrawGlyphRunSwell(CGraphicsDevice* device, const CGlyph* glyphs, int32_t count, const SRect& rect,
                          int32_t lineGap, uint32_t elapsed, uint32_t msPerChar, int32_t overrideFlag,
                          uint32_t overrideColour, float amount);
