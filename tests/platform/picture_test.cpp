#include "platform/picture_decode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "tests/support/picture_support.h"

namespace {

// Little-endian fields of `bytes` bytes each, appended to out.
void Put(std::vector<uint8_t>* out, int bytes, std::initializer_list<uint32_t> values) {
    for (uint32_t v : values)
        for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}
std::vector<uint8_t> U32s(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    Put(&out, 4, values);
    return out;
}

// A BMP with a 40-byte info header; `extra` (masks, palette) follows the header and `rows`
// are the stored pixel rows, already padded.
std::vector<uint8_t> Bmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                         const std::vector<uint8_t>& extra, const std::vector<uint8_t>& rows, uint32_t colours = 0) {
    std::vector<uint8_t> out = {'B', 'M'};
    const auto size = static_cast<uint32_t>(14 + 40 + extra.size());
    Put(&out, 4, {size + static_cast<uint32_t>(rows.size()), 0, size, 40, uint32_t(width), uint32_t(height)});
    Put(&out, 2, {1, bits});
    Put(&out, 4, {compression, static_cast<uint32_t>(rows.size()), 2835, 2835, colours, 0});
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

std::vector<uint32_t> Decoded(const std::vector<uint8_t>& bytes, uint32_t* width = nullptr, uint32_t* height = nullptr) {
    CPicture picture;
    if (DecodePicture(bytes.data(), bytes.size(), &picture) != 0) return {};
    if (width != nullptr) *width = picture.width;
    if (height != nullptr) *height = picture.height;
    return picture.pixels;
}

// A JPEG of the given RGB rows at the highest quality.
std::vector<uint8_t> EncodeJpeg(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb, bool progressive) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + info.next_scanline * width * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

// Every prefix shorter than `needed` bytes is refused, and none is read past its end.
void ExpectEveryTruncationFails(const std::vector<uint8_t>& bytes, size_t needed, size_t step = 1) {
    for (size_t size = 0; size < needed; size += step) {
        std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + size);
        prefix.shrink_to_fit();
        CPicture picture;
        EXPECT_EQ(DecodePicture(prefix.data(), prefix.size(), &picture), -1) << "prefix of " << size << " bytes";
        EXPECT_TRUE(picture.pixels.empty());
    }
}

}  // namespace

TEST(PictureBmp, TrueColourBottomUpAndTopDown) {
    // 24-bit, 2 × 2, bottom row first, rows padded to 4 bytes.
    const std::vector<uint8_t> rows24 = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0, 0,   // bottom: (1,2,3) (4,5,6) BGR
                                         0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0, 0};  // top
    uint32_t width = 0;
    uint32_t height = 0;
    EXPECT_EQ(Decoded(Bmp(2, 2, 24, 0, {}, rows24), &width, &height),
              (std::vector<uint32_t>{0xFF302010, 0xFF605040, 0xFF030201, 0xFF060504}));
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(height, 2u);
    // 32-bit, top-down (negative height): the unused byte never becomes alpha.
    const std::vector<uint8_t> rows32 = {1, 2, 3, 0x00, 4, 5, 6, 0x7F};
    EXPECT_EQ(Decoded(Bmp(1, -2, 32, 0, {}, rows32)), (std::vector<uint32_t>{0xFF030201, 0xFF060504}));
    // 32-bit bit fields with the channels in another order.
    const std::vector<uint8_t> masks = U32s({0x000000FF, 0x0000FF00, 0x00FF0000});
    EXPECT_EQ(Decoded(Bmp(1, 1, 32, 3, masks, {0x11, 0x22, 0x33, 0x44})), (std::vector<uint32_t>{0xFF112233}));
    // 16-bit 5-5-5 (the default) and 5-6-5 bit fields.
    EXPECT_EQ(Decoded(Bmp(2, 1, 16, 0, {}, {0x00, 0x7C, 0x1F, 0x00})), (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));
    EXPECT_EQ(Decoded(Bmp(1, 1, 16, 3, U32s({0xF800, 0x07E0, 0x001F}), {0xE0, 0x07, 0, 0})),
              (std::vector<uint32_t>{0xFF00FF00}));
}

TEST(PictureBmp, PalettedPictures) {
    const std::vector<uint8_t> palette = {0x00, 0x00, 0xFF, 0, 0xFF, 0x00, 0x00, 0, 0x00, 0xFF, 0x00, 0};  // red, blue, green
    const uint32_t red = 0xFFFF0000;
    const uint32_t blue = 0xFF0000FF;
    const uint32_t green = 0xFF00FF00;
    // 8-bit with three colours; index 200 lies beyond the palette and reads as black.
    EXPECT_EQ(Decoded(Bmp(3, 1, 8, 0, palette, {2, 0, 200, 0}, 3)), (std::vector<uint32_t>{green, red, 0xFF000000}));
    // 4-bit: two pixels per byte, high nibble first.
    EXPECT_EQ(Decoded(Bmp(3, 1, 4, 0, palette, {0x12, 0x00, 0, 0}, 3)), (std::vector<uint32_t>{blue, green, red}));
    // 1-bit: eight pixels per byte, highest bit first; 9 pixels span two bytes.
    EXPECT_EQ(Decoded(Bmp(9, 1, 1, 0, {palette.begin(), palette.begin() + 8}, {0xA0, 0x80, 0, 0}, 2)),
              (std::vector<uint32_t>{blue, red, blue, red, red, red, red, red, blue}));
    // A core header (12 bytes) with three-byte palette entries.
    std::vector<uint8_t> core = {'B', 'M'};
    Put(&core, 4, {0, 0, 14 + 12 + 2 * 3, 12});
    Put(&core, 2, {2, 1, 1, 1});
    core.insert(core.end(), {0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x40, 0, 0, 0});
    EXPECT_EQ(Decoded(core), (std::vector<uint32_t>{blue, red}));
}

TEST(PictureBmp, DamagedAndUnsupportedFilesAreRefused) {
    const std::vector<uint8_t> rows(16, 0x55);
    // Rows of four 24-bit pixels need no padding, so every byte of the file is needed.
    const std::vector<uint8_t> good = Bmp(4, 2, 24, 0, {}, std::vector<uint8_t>(24, 0x33));
    ASSERT_FALSE(Decoded(good).empty());
    ExpectEveryTruncationFails(good, good.size());
    // Sizes out of range, run-length coding (not read), 7 bits, bit fields on 24 bits.
    const int32_t bad[][4] = {{0, 2, 24, 0}, {-2, 2, 24, 0}, {2, 16385, 24, 0}, {2, INT32_MIN, 24, 0},
                              {2, 2, 8, 1},  {2, 2, 7, 0},   {2, 2, 24, 3},     {100000, 1, 24, 0}};
    for (const auto& b : bad)
        EXPECT_TRUE(Decoded(Bmp(b[0], b[1], uint16_t(b[2]), uint32_t(b[3]), {}, rows)).empty())
            << b[0] << " x " << b[1] << ", " << b[2] << " bits, compression " << b[3];
    // A complete picture wider than any texture is refused before its pixels are allocated;
    // one exactly as wide as the largest texture still decodes.
    const auto rowBytes = [](uint32_t width) { return std::vector<uint8_t>((width * 3 + 3) / 4 * 4, 0x11); };
    EXPECT_FALSE(Decoded(Bmp(8192, 1, 24, 0, {}, rowBytes(8192))).empty());
    EXPECT_TRUE(Decoded(Bmp(8193, 1, 24, 0, {}, rowBytes(8193))).empty());
    std::vector<uint8_t> badOffset = good;
    badOffset[10] = 0xFF;
    badOffset[13] = 0x7F;
    EXPECT_TRUE(Decoded(badOffset).empty());
}

TEST(PicturePng, KeepsAlphaAndRefusesDamage) {
    const std::vector<uint32_t> pixels = {0xFF102030, 0x80FF0000, 0x00000000, 0x4000FF00, 0xFFFFFFFF, 0x01020304};
    const std::vector<uint8_t> png = EncodeTestPng(3, 2, pixels);
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(DetectPictureFormat(png.data(), png.size()), PictureFormat::Png);
    uint32_t width = 0;
    uint32_t height = 0;
    EXPECT_EQ(Decoded(png, &width, &height), pixels);
    EXPECT_EQ(width, 3u);
    EXPECT_EQ(height, 2u);
    // The closing IEND chunk (12 bytes) follows the last pixel; a file cut inside it is whole.
    ExpectEveryTruncationFails(png, png.size() - 12);
    std::vector<uint8_t> corrupt = png;
    corrupt[corrupt.size() / 2] ^= 0xFF;
    EXPECT_TRUE(Decoded(corrupt).empty());
}

TEST(PictureJpeg, DecodesOpaqueAndRefusesTruncation) {
    const uint32_t width = 16;
    const uint32_t height = 8;
    std::vector<uint8_t> rgb;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) rgb.insert(rgb.end(), {200, 100, static_cast<uint8_t>(x < 8 ? 20 : 220)});
    }
    for (bool progressive : {false, true}) {
        const std::vector<uint8_t> jpeg = EncodeJpeg(width, height, rgb, progressive);
        ASSERT_FALSE(jpeg.empty());
        uint32_t w = 0;
        uint32_t h = 0;
        const std::vector<uint32_t> pixels = Decoded(jpeg, &w, &h);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(width * height));
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
        for (uint32_t p : {pixels[0], pixels[width * height - 1]}) EXPECT_EQ(p >> 24, 0xFFu);
        EXPECT_NEAR(pixels[0] >> 16 & 0xFF, 200, 6);
        EXPECT_NEAR(pixels[0] >> 8 & 0xFF, 100, 6);
        EXPECT_NEAR(pixels[0] & 0xFF, 20, 6);
        EXPECT_NEAR(pixels[15] & 0xFF, 220, 6);
        ExpectEveryTruncationFails(jpeg, jpeg.size(), 7);
    }
}

TEST(Picture, UnknownDataIsRefused) {
    CPicture picture;
    const uint8_t text[] = "plain text";
    EXPECT_EQ(DetectPictureFormat(text, sizeof text), PictureFormat::Unknown);
    EXPECT_EQ(DecodePicture(text, sizeof text, &picture), -1);
    EXPECT_EQ(DecodePicture(nullptr, 0, &picture), -1);
    EXPECT_EQ(DecodeBmp(text, sizeof text, &picture), -1);
    EXPECT_EQ(DecodePng(text, sizeof text, &picture), -1);
    EXPECT_EQ(DecodeJpeg(text, sizeof text, &picture), -1);
}
