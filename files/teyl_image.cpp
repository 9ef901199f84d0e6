#include "files/teyl_image.h"

#include <algorithm>
#include <cstring>

#include "files/stream.h"
#include "platform/graphics.h"

namespace {

constexpr uint32_t kReadBufferSize = 64 * 1024;

// Reads the rows straight into the locked texture. Rows, or the end of a row, that the data no
// longer covers are set to zero.
void ReadRows(CReadStream* stream, const SLockedRect& locked, int32_t width, int32_t height) {
    const uint32_t rowBytes = static_cast<uint32_t>(width) * 4;
    const size_t pitch = static_cast<size_t>(locked.pitch) / 4 * 4;
    bool more = true;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = static_cast<uint8_t*>(locked.bits) + pitch * y;
        const int32_t got = more ? stream->Read(row, rowBytes) : 0;
        const uint32_t filled = got > 0 ? static_cast<uint32_t>(got) : 0;
        if (filled < rowBytes) {
            std::memset(row + filled, 0, rowBytes - filled);
            more = false;
        }
    }
}

// The picture after the read stream is set up: the header, then the texture filled row by row.
int32_t LoadFromStream(CGraphicsDevice* device, CReadStream* stream, CTexture** slot, int32_t* width,
                       int32_t* height) {
    uint8_t header[12];
    if (stream->Read(header, sizeof header) != static_cast<int32_t>(sizeof header)) return -1;
    const int32_t w = static_cast<int32_t>(ReadU32LE(header + 4));
    const int32_t h = static_cast<int32_t>(ReadU32LE(header + 8));
    if (ReadU32LE(header) != kTeylMagic || w <= 0 || h <= 0 || w > kMaxTeylSide || h > kMaxTeylSide) return -1;

    const uint32_t side = TeylTextureSide(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    CTexture* texture = nullptr;
    if (device->CreateTexture(side, side, 0, Usage::None, Format::A8R8G8B8, Pool::Managed, &texture) != 0) return -1;
    SLockedRect locked;
    if (texture->LockRect(0, &locked, nullptr, 0) != 0) {
        texture->Release();
        return -1;
    }
    ReadRows(stream, locked, w, h);
    texture->UnlockRect(0);
    *slot = texture;
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return 0;
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

    const int32_t result = LoadFromStream(device, &stream, slot, width, height);
    stream.source = nullptr;  // the caller owns the source
    return result;
}
