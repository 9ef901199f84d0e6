// Files that the benchmarks write into their temporary folders: pictures of noise (so that no
// fast path for flat colour applies) and plain bytes, with the folders they need.
#pragma once

#include <cstdint>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/lib/teyl_writer.h"

// A temporary folder made the working folder for a benchmark's lifetime, then removed.
class CBenchWorkingFolder {
public:
    explicit CBenchWorkingFolder(const char* prefix) : previous_(std::filesystem::current_path()) {
        std::string pattern = std::string("/tmp/") + prefix + "_XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) std::abort();
        folder_ = pattern;
    }
    ~CBenchWorkingFolder() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(folder_, ignored);
    }
    CBenchWorkingFolder(const CBenchWorkingFolder&) = delete;
    CBenchWorkingFolder& operator=(const CBenchWorkingFolder&) = delete;

private:
    std::filesystem::path previous_;
    std::string folder_;
};

// A file a benchmark cannot write ends the run: measuring without it would mislead.
inline void WriteBenchFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    std::fclose(file);
}

inline void WriteNoisePicture(const std::string& path, int32_t width, int32_t height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteTeylFile(path, width, height, pixels.data());
}
