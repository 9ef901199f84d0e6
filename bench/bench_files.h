// Files that the benchmarks write into their temporary folders: pictures of noise (so that no
// fast path for flat colour applies) and plain bytes, with the folders they need.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/lib/teyl_writer.h"

inline void WriteBenchFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

inline void WriteNoisePicture(const std::string& path, int32_t width, int32_t height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteTeylFile(path, width, height, pixels.data());
}
