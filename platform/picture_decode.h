// Picture decoding for the texture loader: BMP, PNG (libpng) and JPEG (libjpeg-turbo) from
// memory into 32-bit pixels. BMP and JPEG pictures are opaque; PNG keeps its alpha.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/graphics.h"

// Pictures larger than a texture can be are refused before any pixel memory is allocated.
constexpr uint32_t kMaxPictureSide = kMaxTextureSide;

struct CPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB (bytes B, G, R, A in memory), top row first
};

enum class PictureFormat { Unknown, Bmp, Png, Jpeg };

// The format by the file's signature.
PictureFormat DetectPictureFormat(const uint8_t* data, size_t size);

// Each returns 0 and fills the picture, or -1 for damaged, truncated, unsupported or oversized
// data (the picture is then empty).
int32_t DecodeBmp(const uint8_t* data, size_t size, CPicture* picture);
int32_t DecodePng(const uint8_t* data, size_t size, CPicture* picture);
int32_t DecodeJpeg(const uint8_t* data, size_t size, CPicture* picture);
// Decodes by the signature.
int32_t DecodePicture(const uint8_t* data, size_t size, CPicture* picture);
