// Helpers for tests that draw: textures filled from a function, pixel reads, a headless device.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/graphics.h"

// A managed texture whose texel (x, y) is texel(x, y) (0xAARRGGBB); null when creation fails.
CTexture* MakeTestTexture(CGraphicsDevice* device, uint32_t width, uint32_t height,
                          const std::function<uint32_t(uint32_t, uint32_t)>& texel,
                          Format format = Format::A8R8G8B8);

// The stored pixel (x, y) of a 32-bit surface, as it is in memory (X8 alpha included).
uint32_t SurfacePixel(const CSurface* surface, int32_t x, int32_t y);
// The stored depth value (x, y) of a D16 surface.
uint16_t SurfaceDepth(const CSurface* surface, int32_t x, int32_t y);

// A headless device of the given size with the 2D default states (no window, no present).
CGraphicsDevice* MakeTestDevice(uint32_t width, uint32_t height);
