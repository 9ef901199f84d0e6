// Screen-space quad drawing: every 2D picture, button, window and glyph is one quad in screen
// pixels, passed as pre-transformed vertices (no half-pixel shift) and drawn as a triangle fan.
#pragma once

#include <cstdint>

#include "platform/types.h"

class CGraphicsDevice;
class CTexture;

// Draws a rectangle of the texture (source null = the whole texture) with its top-left corner at
// (x, y), one texel per pixel, modulated by colour (ARGB). With setTexture 1 the texture is bound
// to stage 0 and stage 1 is unbound; with 0 the bound texture is used. Returns 1, or 0 when the
// texture is null.
int32_t DrawSprite(CGraphicsDevice* device, CTexture* texture, const SRect* source, uint32_t setTexture, float x,
                   float y, uint32_t colour);

// Draws a rectangle of the texture placed at offset from the pivot dest, scaled by (scaleX,
// scaleY) and rotated by angle (radians) about dest. Always binds the texture. Returns 1, or 0
// when the texture is null.
int32_t DrawSpriteRotated(CGraphicsDevice* device, CTexture* texture, const SRect* source, SPoint dest,
                          SPoint offset, float scaleX, float scaleY, float angle, uint32_t colour);

// Unbinds stages 0 and 1 and fills the rectangle with colour (ARGB, blended as the states say).
// Returns 1.
int32_t DrawFilledRect(CGraphicsDevice* device, const SRect& rect, uint32_t colour);
