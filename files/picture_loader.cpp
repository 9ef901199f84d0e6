#include "files/picture_loader.h"

#include <cstdio>
#include <cstring>

#include "platform/graphics.h"
#include "platform/paths.h"

int32_t CreatePictureTexture(CGraphicsDevice* device, const CPicture& picture, CTexture** slot) {
    if (device == nullptr || slot == nullptr || picture.width == 0 || picture.height == 0) return -1;
    CTexture* texture = nullptr;
    if (device->CreateTexture(picture.width, picture.height, 1, Usage::None, Format::A8R8G8B8, Pool::Managed,
                              &texture) != 0) {
        return -1;
    }
    SLockedRect locked;
    if (texture->LockRect(0, &locked, nullptr, 0) != 0) {
        texture->Release();
        return -1;
    }
    const size_t rowBytes = static_cast<size_t>(picture.width) * 4;
    for (uint32_t y = 0; y < picture.height; ++y) {
        std::memcpy(static_cast<uint8_t*>(locked.bits) + static_cast<size_t>(locked.pitch) * y,
                    picture.pixels.data() + static_cast<size_t>(picture.width) * y, rowBytes);
    }
    texture->UnlockRect(0);
    *slot = texture;
    return 0;
}

bool ReadGameFile(const char* path, std::vector<uint8_t>* bytes) {
    bytes->clear();
    FILE* file = OpenGameFile(path, "rb");
    if (file == nullptr) return false;
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes->insert(bytes->end(), block, block + got);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

int32_t LoadPictureFile(CGraphicsDevice* device, CTexture** slot, const char* path, int32_t* width, int32_t* height) {
    std::vector<uint8_t> bytes;
    CPicture picture;
    if (!ReadGameFile(path, &bytes) || DecodePicture(bytes.data(), bytes.size(), &picture) != 0) return -1;
    if (CreatePictureTexture(device, picture, slot) != 0) return -1;
    if (width != nullptr) *width = static_cast<int32_t>(picture.width);
    if (height != nullptr) *height = static_cast<int32_t>(picture.height);
    return 0;
}
