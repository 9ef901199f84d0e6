#include "files/teyl_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "platform/graphics.h"
#include "tests/support/engine_bytes.h"
#include "tests/support/graphics_support.h"
#include "tools/lib/teyl_writer.h"

namespace {

// A TEYL file written by hand from the format table.
std::vector<uint8_t> HandMadeTeyl(int32_t width, int32_t height, const std::vector<uint32_t>& pixels) {
    CTestBytes out;
    out.Tag("TEYL").I32(width).I32(height);
    for (uint32_t p : pixels) out.U32(p);
    return out.bytes;
}

class TeylImage : public ::testing::Test {
protected:
    void SetUp() override { device_ = MakeTestDevice(64, 64); }
    void TearDown() override {
        if (texture_ != nullptr) texture_->Release();
        device_->Release();
    }
    int32_t Load(std::vector<uint8_t> bytes, int32_t* width = nullptr, int32_t* height = nullptr) {
        FILE* source = fmemopen(bytes.data(), bytes.size(), "rb");
        const int32_t result = LoadTeylImage(device_, &texture_, width, height, CReadStream::StdioRead, source);
        std::fclose(source);
        return result;
    }

    CGraphicsDevice* device_ = nullptr;
    CTexture* texture_ = nullptr;
};

}  // namespace

TEST(TeylSide, SmallestPowerOfTwoOfTheLargerSide) {
    EXPECT_EQ(TeylTextureSide(640, 480), 1024u);
    EXPECT_EQ(TeylTextureSide(256, 256), 256u);
    EXPECT_EQ(TeylTextureSide(256, 257), 512u);
    EXPECT_EQ(TeylTextureSide(1, 1), 1u);
    EXPECT_EQ(TeylTextureSide(16384, 1), 16384u);
}

TEST_F(TeylImage, PixelsLandInTheTopLeftOfASquareTexture) {
    const std::vector<uint32_t> pixels = {0xFF112233, 0x80445566, 0x00778899, 0x01020304, 0xFFFFFFFF, 0x7F000000};
    const std::vector<uint8_t> bytes = HandMadeTeyl(3, 2, pixels);
    EXPECT_EQ(BuildTeyl(3, 2, pixels.data()), bytes) << "the writer follows the same layout";
    int32_t width = 0;
    int32_t height = 0;
    ASSERT_EQ(Load(bytes, &width, &height), 0);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    SSurfaceDesc desc;
    ASSERT_EQ(texture_->GetLevelDesc(0, &desc), 0);
    EXPECT_EQ(desc.width, 4u);
    EXPECT_EQ(desc.height, 4u);
    EXPECT_EQ(desc.format, Format::A8R8G8B8);
    EXPECT_EQ(desc.pool, Pool::Managed);
    for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(SurfacePixel(texture_->Level0(), i % 3, i / 3), pixels[i]);
}

TEST_F(TeylImage, DataShorterThanPromisedLoadsWithTheRestZero) {
    const std::vector<uint32_t> pixels = {0xFF112233, 0x80445566, 0x00778899, 0x01020304, 0xFFFFFFFF};
    std::vector<uint8_t> bytes = HandMadeTeyl(3, 3, pixels);
    bytes.resize(bytes.size() - 2);  // half of the fifth pixel
    int32_t width = 0;
    int32_t height = 0;
    ASSERT_EQ(Load(bytes, &width, &height), 0);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 3);
    const uint32_t expected[9] = {0xFF112233, 0x80445566, 0x00778899, 0x01020304, 0x0000FFFF, 0, 0, 0, 0};
    for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(SurfacePixel(texture_->Level0(), i % 3, i / 3), expected[i]) << i;

    texture_->Release();
    texture_ = nullptr;
    ASSERT_EQ(Load(HandMadeTeyl(2, 2, {})), 0);  // the header alone
    for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(SurfacePixel(texture_->Level0(), i % 2, i / 2), 0u) << i;
}

TEST_F(TeylImage, BadInputFailsAndKeepsTheSlot) {
    const std::vector<uint32_t> four(4, 0xFF00FF00);
    const std::vector<std::vector<uint8_t>> bad = {
        {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {'T', 'E', 'Y'}, {'T', 'E', 'Y', 'L', 2, 0, 0, 0, 2, 0},
        HandMadeTeyl(0, 2, four), HandMadeTeyl(2, -2, four), HandMadeTeyl(-2, -2, four), HandMadeTeyl(16385, 1, four),
        HandMadeTeyl(16384, 16384, four),  // larger than any texture the device makes
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(Load(bad[i]), -1) << "case " << i;
        EXPECT_EQ(texture_, nullptr) << "case " << i;
    }
    ASSERT_EQ(Load(HandMadeTeyl(2, 2, four)), 0);
    CTexture* kept = texture_;
    EXPECT_EQ(Load(bad[0]), -1);
    EXPECT_EQ(texture_, kept);
    EXPECT_EQ(LoadTeylImage(nullptr, &texture_, nullptr, nullptr, CReadStream::StdioRead, nullptr), -1);
}
