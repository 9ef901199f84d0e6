#include "files/teyl_image.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "files/stream.h"
#include "platform/graphics.h"

namespace {

constexpr uint32_t kReadBufferSize = 64 * 1024;
// The pixels are read in steps of this size, so memory grows only as far as the data goes.
constexpr size_t kPixelStep = 1 << 20;

bool ReadPixels(CReadStream* stream, size_t total, std::vector<uint8_t>* pixels) {
    while (pixels->size() < total) {
        const size_t at = pixels->size();
        const size_t step = std::min(total - at, kPixelStep);
        pixels->resize(at + step);
        if (stream->Read(pixels->data() + at, static_cast<uint32_t>(step)) != static_cast<int32_t>(step)) return false;
    }
    return true;
}

}  // namespace

uint32_t TeylTextureSide(uint32_t width, uint32_t height) {
    const uint32_t larger = std::max(width, height);
    uint32_t side = 1;
    while (side < larger) side <<= 1;
    return side;
}

int32_t LoadTeylImage(CGraphicsDevice* device, CTexture** slot, int32_t* width, int32_t* height,
                      StreamReadFunction read, void* source) {
    if (device == nullptr || slot == nullptr || read == nullptr) return -1;
    CReadStream stream;
    CStreamCallbacks callbacks;
    callbacks.read = read;
    stream.SetSource(callbacks, source);
    stream.blockMode = 1;
    if (stream.AllocBuffer(kReadBufferSize) != 0) return -1;

    uint8_t header[12];
    const bool complete = stream.Read(header, sizeof header) == static_cast<int32_t>(sizeof header);
    const int32_t w = static_cast<int32_t>(ReadU32LE(header + 4));
    const int32_t h = static_cast<int32_t>(ReadU32LE(header + 8));
    std::vector<uint8_t> pixels;
    const bool valid = complete && ReadU32LE(header) == kTeylMagic && w > 0 && h > 0 && w <= kMaxTeylSide &&
                       h <= kMaxTeylSide && ReadPixels(&stream, static_cast<size_t>(w) * h * 4, &pixels);
    stream.source = nullptr;  // the caller owns the source
    if (!valid) return -1;

    const uint32_t side = TeylTextureSide(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    CTexture* texture = nullptr;
    if (device->CreateTexture(side, side, 0, Usage::None, Format::A8R8G8B8, Pool::Managed, &texture) != 0) return -1;
    SLockedRect locked;
    if (texture->LockRect(0, &locked, nullptr, 0) != 0) {
        texture->Release();
        return -1;
    }
    const size_t rowBytes = static_cast<size_t>(w) * 4;
    const size_t pitch = static_cast<size_t>(locked.pitch) / 4 * 4;
    for (int32_t y = 0; y < h; ++y) {
        std::memcpy(static_cast<uint8_t*>(locked.bits) + pitch * y, pixels.data() + rowBytes * y, rowBytes);
    }
    texture->UnlockRect(0);
    *slot = texture;
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return 0;
}
