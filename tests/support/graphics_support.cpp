#include "tests/support/graphics_support.h"

#include "platform/devices_graphics.h"

CTexture* MakeTestTexture(CGraphicsDevice* device, uint32_t width, uint32_t height,
                          const std::function<uint32_t(uint32_t, uint32_t)>& texel, Format format) {
    CTexture* texture = nullptr;
    if (device->CreateTexture(width, height, 1, Usage::None, format, Pool::Managed, &texture) != 0) return nullptr;
    SLockedRect locked;
    if (texture->LockRect(0, &locked, nullptr, 0) != 0) {
        texture->Release();
        return nullptr;
    }
    for (uint32_t y = 0; y < height; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
        for (uint32_t x = 0; x < width; ++x) row[x] = texel(x, y);
    }
    texture->UnlockRect(0);
    return texture;
}

uint32_t SurfacePixel(const CSurface* surface, int32_t x, int32_t y) {
    return reinterpret_cast<const uint32_t*>(surface->Bits() + static_cast<size_t>(y) * surface->Pitch())[x];
}

uint16_t SurfaceDepth(const CSurface* surface, int32_t x, int32_t y) {
    return reinterpret_cast<const uint16_t*>(surface->Bits() + static_cast<size_t>(y) * surface->Pitch())[x];
}

CGraphicsDevice* MakeTestDevice(uint32_t width, uint32_t height) {
    SDeviceParams params;
    params.width = width;
    params.height = height;
    CGraphicsDevice* device = CGraphicsDevice::Create(params);
    if (!device) return nullptr;
    ApplyDefaultRenderStates(device);
    return device;
}
