#include "tools/lib/teyl_writer.h"

#include <cstdio>

#include "files/stream.h"
#include "files/teyl_image.h"

std::vector<uint8_t> BuildTeyl(int32_t width, int32_t height, const uint32_t* pixels) {
    const size_t count = width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) : 0;
    std::vector<uint8_t> out(12 + count * 4);
    WriteU32LE(out.data(), kTeylMagic);
    WriteU32LE(out.data() + 4, static_cast<uint32_t>(width));
    WriteU32LE(out.data() + 8, static_cast<uint32_t>(height));
    for (size_t i = 0; i < count; ++i) WriteU32LE(out.data() + 12 + i * 4, pixels[i]);
    return out;
}

int32_t WriteTeylFile(const std::string& path, int32_t width, int32_t height, const uint32_t* pixels) {
    const std::vector<uint8_t> bytes = BuildTeyl(width, height, pixels);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return -1;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written ? 0 : -1;
}
