// TEYL raw pictures: the magic "TEYL", width and height (i32 each), then width × height 32-bit
// A8R8G8B8 pixels, top row first. A picture becomes a square power-of-two texture whose top-left
// width × height texels hold it.
#pragma once

#include <cstddef>
#include <cstdint>

class CGraphicsDevice;
class CTexture;

constexpr uint32_t kTeylMagic = 0x4C594554;  // "TEYL"
constexpr int32_t kMaxTeylSide = 16384;

// The read callback of a CStreamCallbacks set.
using StreamReadFunction = size_t (*)(void* destination, size_t size, size_t count, void* source);

// The smallest power of two not below the larger side.
uint32_t TeylTextureSide(uint32_t width, uint32_t height);

// Reads one TEYL picture from the source and stores a new texture in *slot; width and height
// (when given) receive the picture's size. Pixels that data shorter than the header promises
// does not cover are zero. -1 for another format, a side that is not positive or above
// kMaxTeylSide, or a texture that cannot be made; the slot is then left as it was.
int32_t LoadTeylImage(CGraphicsDevice* device, CTexture** slot, int32_t* width, int32_t* height,
                      StreamReadFunction read, void* source);
