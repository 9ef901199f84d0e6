// TEYL pictures from any bytes, into textures of a headless device.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "files/teyl_image.h"
#include "platform/graphics.h"

namespace {

struct CInput {
    const uint8_t* data;
    size_t size;
    size_t at;

    static size_t Read(void* destination, size_t size, size_t count, void* self) {
        auto* input = static_cast<CInput*>(self);
        const size_t n = std::min(size * count, input->size - input->at);
        if (n > 0) std::memcpy(destination, input->data + input->at, n);
        input->at += n;
        return n / size;
    }
};

CGraphicsDevice* Device() {
    static CGraphicsDevice* device = CGraphicsDevice::Create(SDeviceParams{16, 16, false, nullptr, nullptr});
    return device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CInput input{data, size, 0};
    CTexture* texture = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    if (LoadTeylImage(Device(), &texture, &width, &height, CInput::Read, &input) == 0) {
        if (texture == nullptr || width <= 0 || height <= 0) __builtin_trap();
        texture->Release();
    }
    return 0;
}
