#include "files/teyl_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "files/stream.h"
#include "platform/graphics.h"
#include "tests/support/graphics_support.h"
#include "tools/lib/teyl_writer.h"

namespace {

struct CBytesSource {
    std::vector<uint8_t> bytes;
    size_t at = 0;

    static size_t Read(void* destination, size_t size, size_t count, void* self) {
        auto* s = static_cast<CBytesSource*>(self);
        const size_t n = std::min(size * count, s->bytes.size() - s->at);
        std::memcpy(destination, s->bytes.data() + s->at, n);
        s->at += n;
        return n / size;
    }
};

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
    for (int s = 0; s < 32; s += 8) out->push_back(static_cast<uint8_t>(v >> s));
}

// A TEYL file written by hand from the format table.
std::vector<uint8_t> HandMadeTeyl(int32_t width, int32_t height, const std::vector<uint32_t>& pixels) {
    std::vector<uint8_t> out = {'T', 'E', 'Y', 'L'};
    PutU32(&out, static_cast<uint32_t>(width));
    PutU32(&out, static_cast<uint32_t>(height));
    for (uint32_t p : pixels) PutU32(&out, p);
    return out;
}

class TeylImage : public ::testing::Test {
protected:
    void SetUp() override { device_ = MakeTestDevice(64, 64); }
    void TearDown() override {
        if (texture_ != nullptr) texture_->Release();
        device_->Release();
    }
    int32_t Load(std::vector<uint8_t> bytes, int32_t* width = nullptr, int32_t* height = nullptr) {
        source_ = CBytesSource{std::move(bytes)};
        return LoadTeylImage(device_, &texture_, width, height, CBytesSource::Read, &source_);
    }

    CGraphicsDevice* device_ = nullptr;
    CTexture* texture_ = nullptr;
    CBytesSource source_;
};

}  // namespace

TEST(TeylSide, SmallestPowerOfTwoOfTheLargerSide) {
    EXPECT_EQ(TeylTextureSide(640, 480), 1024u);
    EXPECT_EQ(TeylTextureSide(256, 256), 256u);
    EXPECT_EQ(TeylTextureSide(256, 257), 512u);
    EXPECT_EQ(TeylTextureSide(1, 1), 1u);
    EXPECT_EQ(TeylTextureSide(3, 2), 4u);
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
    ASSERT_NE(texture_, nullptr);
    EXPECT_EQ(texture_->Width(), 4u);
    EXPECT_EQ(texture_->Height(), 4u);
    SSurfaceDesc desc;
    ASSERT_EQ(texture_->GetLevelDesc(0, &desc), 0);
    EXPECT_EQ(desc.format, Format::A8R8G8B8);
    EXPECT_EQ(desc.pool, Pool::Managed);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(SurfacePixel(texture_->Level0(), x, y), pixels[y * 3 + x]);
    }
    // Without size outputs the load works too.
    texture_->Release();
    texture_ = nullptr;
    ASSERT_EQ(Load(bytes), 0);
}

TEST_F(TeylImage, BadInputFailsWithoutATexture) {
    const std::vector<uint32_t> four(4, 0xFF00FF00);
    EXPECT_EQ(Load({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), -1) << "another format";
    EXPECT_EQ(Load({'T', 'E', 'Y'}), -1);
    EXPECT_EQ(Load(HandMadeTeyl(2, 2, {})), -1) << "no pixels";
    std::vector<uint8_t> truncated = HandMadeTeyl(2, 2, four);
    truncated.pop_back();
    EXPECT_EQ(Load(truncated), -1) << "one byte short";
    EXPECT_EQ(Load(HandMadeTeyl(0, 2, four)), -1);
    EXPECT_EQ(Load(HandMadeTeyl(2, -2, four)), -1);
    EXPECT_EQ(Load(HandMadeTeyl(-2, -2, four)), -1);
    EXPECT_EQ(Load(HandMadeTeyl(16385, 1, four)), -1);
    // A huge promised size with no data behind it fails before any texture is made.
    EXPECT_EQ(Load(HandMadeTeyl(16384, 16384, four)), -1);
    EXPECT_EQ(texture_, nullptr);

    // A slot that holds a texture keeps it when the load fails.
    ASSERT_EQ(Load(HandMadeTeyl(2, 2, four)), 0);
    CTexture* kept = texture_;
    EXPECT_EQ(Load(HandMadeTeyl(2, 2, {})), -1);
    EXPECT_EQ(texture_, kept);
    EXPECT_EQ(LoadTeylImage(nullptr, &texture_, nullptr, nullptr, CBytesSource::Read, &source_), -1);
}
