#include <png.h>

#include <vector>

#include "platform/graphics.h"

int32_t SaveSurfacePng(const CSurface* surface, const char* path) {
    if (!surface || !path) return -1;
    const Format format = surface->GetFormat();
    if (format != Format::A8R8G8B8 && format != Format::X8R8G8B8) return -1;
    const bool alpha = format == Format::A8R8G8B8;
    const uint32_t width = surface->Width();
    const uint32_t height = surface->Height();
    const uint32_t channels = alpha ? 4 : 3;

    std::vector<uint8_t> rows(static_cast<size_t>(width) * height * channels);
    uint8_t* out = rows.data();
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(surface->Bits() + static_cast<size_t>(y) * surface->Pitch());
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t pixel = row[x];
            *out++ = static_cast<uint8_t>(pixel >> 16);
            *out++ = static_cast<uint8_t>(pixel >> 8);
            *out++ = static_cast<uint8_t>(pixel);
            if (alpha) *out++ = static_cast<uint8_t>(pixel >> 24);
        }
    }

    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&image, path, 0, rows.data(), 0, nullptr);
    png_image_free(&image);
    return ok ? 0 : -1;
}
