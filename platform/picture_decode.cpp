#include "platform/picture_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

namespace {

uint32_t U16At(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
uint32_t U32At(const uint8_t* p) { return U16At(p) | U16At(p + 2) << 16; }

bool SideFits(uint64_t width, uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide;
}

int32_t Fail(CPicture* picture) {
    *picture = CPicture{};
    return -1;
}

constexpr uint32_t kOpaque = 0xFF000000u;

// ---- BMP --------------------------------------------------------------------------------

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

// A channel of a bit-field pixel, scaled to 8 bits.
struct CChannelMask {
    uint32_t mask = 0;
    uint32_t shift = 0;
    uint32_t max = 0;

    explicit CChannelMask(uint32_t m) : mask(m) {
        if (mask == 0) return;
        while (((mask >> shift) & 1) == 0) ++shift;
        max = mask >> shift;
    }
    uint32_t Extract(uint32_t pixel) const {
        if (max == 0) return 0;
        return static_cast<uint32_t>((static_cast<uint64_t>((pixel & mask) >> shift) * 255 + max / 2) / max);
    }
};

struct CBmpLayout {
    int64_t width = 0;
    int64_t height = 0;  // negative: rows stored top to bottom
    uint32_t bitCount = 0;
    uint32_t compression = kBiRgb;
    uint32_t masks[3] = {0, 0, 0};
    uint32_t paletteOffset = 0;
    uint32_t paletteEntrySize = 4;
    uint32_t paletteCount = 0;
};

bool ReadBmpLayout(const uint8_t* data, size_t size, CBmpLayout* layout) {
    if (size < 14 + 12) return false;
    const uint32_t headerSize = U32At(data + 14);
    if (headerSize == 12) {
        layout->width = U16At(data + 18);
        layout->height = U16At(data + 20);
        layout->bitCount = U16At(data + 24);
        layout->paletteEntrySize = 3;
    } else if (headerSize >= 40 && headerSize <= size - 14) {
        layout->width = static_cast<int32_t>(U32At(data + 18));
        layout->height = static_cast<int32_t>(U32At(data + 22));
        layout->bitCount = U16At(data + 28);
        layout->compression = U32At(data + 30);
        layout->paletteCount = U32At(data + 46);
        if (layout->compression == kBiBitfields || layout->compression == kBiAlphaBitfields) {
            // The masks follow a 40-byte header, or are part of a longer one.
            const size_t masksAt = 14 + 40;
            if (masksAt + 12 > size) return false;
            for (int i = 0; i < 3; ++i) layout->masks[i] = U32At(data + masksAt + 4 * i);
            if (headerSize == 40) layout->paletteOffset = layout->compression == kBiAlphaBitfields ? 16 : 12;
        }
    } else {
        return false;
    }
    layout->paletteOffset += 14 + headerSize;
    return true;
}

int32_t DecodeBmpPixels(const uint8_t* data, size_t size, const CBmpLayout& layout, CPicture* picture) {
    const uint32_t bits = layout.bitCount;
    const bool indexed = bits == 1 || bits == 4 || bits == 8;
    if (!indexed && bits != 16 && bits != 24 && bits != 32) return -1;
    const bool bitfields = layout.compression == kBiBitfields || layout.compression == kBiAlphaBitfields;
    if (layout.compression != kBiRgb && !(bitfields && (bits == 16 || bits == 32))) return -1;
    const int64_t height = layout.height < 0 ? -layout.height : layout.height;
    if (!SideFits(static_cast<uint64_t>(layout.width), static_cast<uint64_t>(height))) return -1;
    const uint32_t width = static_cast<uint32_t>(layout.width);
    const uint32_t rows = static_cast<uint32_t>(height);

    uint32_t palette[256];
    if (indexed) {
        const uint32_t entries = layout.paletteCount == 0 || layout.paletteCount > (1u << bits) ? 1u << bits
                                                                                              : layout.paletteCount;
        for (uint32_t i = 0; i < 256; ++i) palette[i] = kOpaque;
        for (uint32_t i = 0; i < entries; ++i) {
            const uint64_t at = static_cast<uint64_t>(layout.paletteOffset) + static_cast<uint64_t>(i) * layout.paletteEntrySize;
            if (at + 3 > size) break;
            palette[i] = kOpaque | data[at + 2] << 16 | data[at + 1] << 8 | data[at];
        }
    }

    const uint32_t pixelOffset = U32At(data + 10);
    const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    const uint64_t lastRowBytes = (static_cast<uint64_t>(width) * bits + 7) / 8;
    if (pixelOffset > size || (size - pixelOffset) < stride * (rows - 1) + lastRowBytes) return -1;

    const uint32_t defaultMasks16[3] = {0x7C00, 0x03E0, 0x001F};
    const uint32_t defaultMasks32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    const uint32_t* masks = bitfields ? layout.masks : bits == 16 ? defaultMasks16 : defaultMasks32;
    const CChannelMask red(masks[0]);
    const CChannelMask green(masks[1]);
    const CChannelMask blue(masks[2]);

    picture->width = width;
    picture->height = rows;
    picture->pixels.assign(static_cast<size_t>(width) * rows, kOpaque);
    for (uint32_t y = 0; y < rows; ++y) {
        const uint32_t sourceRow = layout.height < 0 ? y : rows - 1 - y;
        const uint8_t* row = data + pixelOffset + stride * sourceRow;
        uint32_t* out = picture->pixels.data() + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t value;
            if (indexed) {
                const uint32_t bitAt = x * bits;
                const uint32_t index = (row[bitAt / 8] >> (8 - bits - bitAt % 8)) & ((1u << bits) - 1);
                value = palette[index];
            } else if (bits == 24) {
                value = kOpaque | row[x * 3 + 2] << 16 | row[x * 3 + 1] << 8 | row[x * 3];
            } else {
                const uint32_t pixel = bits == 16 ? U16At(row + x * 2) : U32At(row + x * 4);
                value = kOpaque | red.Extract(pixel) << 16 | green.Extract(pixel) << 8 | blue.Extract(pixel);
            }
            out[x] = value;
        }
    }
    return 0;
}

// ---- JPEG -------------------------------------------------------------------------------

// Progressive files with more scans than this are refused (a damaged file can hold thousands).
constexpr int kMaxJpegScans = 500;

struct CJpegErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<CJpegErrors*>(info->err)->jump, 1); }

// Warnings are silent, except that data ending early is a failure: the rest would be invented.
void JpegMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) JpegErrorExit(info);
}

void JpegProgress(j_common_ptr info) {
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans) {
        JpegErrorExit(info);
    }
}

// The decompression runs in a function of its own whose locals have no destructors, so that a
// long jump out of the library skips nothing that needs cleaning up.
int32_t DecodeJpegInto(const uint8_t* data, size_t size, CPicture* picture) {
    jpeg_decompress_struct info;
    CJpegErrors errors;
    jpeg_progress_mgr progress;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegErrorExit;
    errors.manager.emit_message = JpegMessage;
    progress.progress_monitor = JpegProgress;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return -1;
    }
    jpeg_create_decompress(&info);
    info.progress = &progress;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || !SideFits(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return -1;
    }
    info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    picture->width = info.output_width;
    picture->height = info.output_height;
    picture->pixels.resize(static_cast<size_t>(info.output_width) * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(picture->pixels.data() + static_cast<size_t>(info.output_scanline) * info.output_width);
        if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    }
    const bool complete = info.output_scanline == info.output_height;
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return complete ? 0 : -1;
}

}  // namespace

PictureFormat DetectPictureFormat(const uint8_t* data, size_t size) {
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return PictureFormat::Bmp;
    if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1A\n", 8) == 0) return PictureFormat::Png;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return PictureFormat::Jpeg;
    return PictureFormat::Unknown;
}

int32_t DecodeBmp(const uint8_t* data, size_t size, CPicture* picture) {
    *picture = CPicture{};
    CBmpLayout layout;
    if (DetectPictureFormat(data, size) != PictureFormat::Bmp || !ReadBmpLayout(data, size, &layout)) return -1;
    return DecodeBmpPixels(data, size, layout, picture) == 0 ? 0 : Fail(picture);
}

int32_t DecodePng(const uint8_t* data, size_t size, CPicture* picture) {
    *picture = CPicture{};
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, data, size) == 0) return -1;
    if (!SideFits(image.width, image.height)) {
        png_image_free(&image);
        return -1;
    }
    image.format = PNG_FORMAT_BGRA;
    picture->width = image.width;
    picture->height = image.height;
    picture->pixels.resize(static_cast<size_t>(image.width) * image.height);
    if (png_image_finish_read(&image, nullptr, picture->pixels.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return Fail(picture);
    }
    return 0;
}

int32_t DecodeJpeg(const uint8_t* data, size_t size, CPicture* picture) {
    *picture = CPicture{};
    if (DetectPictureFormat(data, size) != PictureFormat::Jpeg) return -1;
    return DecodeJpegInto(data, size, picture) == 0 ? 0 : Fail(picture);
}

int32_t DecodePicture(const uint8_t* data, size_t size, CPicture* picture) {
    switch (DetectPictureFormat(data, size)) {
        case PictureFormat::Bmp:
            return DecodeBmp(data, size, picture);
        case PictureFormat::Png:
            return DecodePng(data, size, picture);
        case PictureFormat::Jpeg:
            return DecodeJpeg(data, size, picture);
        default:
            *picture = CPicture{};
            return -1;
    }
}
