// The Ogg Vorbis player: opening from files and callbacks, the end-of-stream rule, damaged
// streams, and playback through the streaming thread.
#include <gtest/gtest.h>

#include <ogg/ogg.h>

#include <cstring>

#include "sound/ogg_player.h"
#include "tests/sound/sound_test_util.h"

namespace {

using CTestOgg = CFillOnlyPlayer<CDirectSoundOgg>;

// Offsets of the Ogg pages ("OggS") in a stream.
std::vector<size_t> PageOffsets(const std::vector<uint8_t>& bytes) {
    std::vector<size_t> offsets;
    for (size_t i = 0; i + 4 <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, "OggS", 4) == 0) offsets.push_back(i);
    return offsets;
}

class OggTest : public SoundClockTest {
protected:
    void SetUp() override {
        SoundClockTest::SetUp();
        m_halfSecond = EncodeOgg(Sine(11025, 1, 500, 22050, 16000), 1, 22050);
        ASSERT_FALSE(m_halfSecond.empty());
    }
    std::string Write(const std::vector<uint8_t>& bytes) { return m_folder.Write("s.ogg", bytes); }
    CTempFolder m_folder;
    std::vector<uint8_t> m_halfSecond;
};

TEST_F(OggTest, PlayCountOnePadsWithZerosAndStaysEnded) {
    CTestOgg ogg;
    ASSERT_EQ(ogg.Open(m_device.get(), Write(m_halfSecond).c_str()), 0);
    const SWaveFormat& format = ogg.GetFormat();
    EXPECT_EQ(std::make_tuple(format.nChannels, format.nSamplesPerSec, format.wBitsPerSample, format.nAvgBytesPerSec),
              std::make_tuple(1, 22050u, 16, 44100u));
    ogg.SetPlay(1, 0.0);
    std::vector<uint8_t> block = FilledBlock(ogg, 44100, 1);
    EXPECT_FALSE(AllZero(block, 1000, 20000));
    EXPECT_TRUE(AllZero(block, 22050, 44100));  // 11025 frames decoded, then zeros
    EXPECT_TRUE(AllZero(FilledBlock(ogg, 44100, 1), 0, 44100));
    EXPECT_EQ(ogg.SeekTime(0.0), 0);
    EXPECT_FALSE(AllZero(FilledBlock(ogg, 4410, 0, 0), 1000, 4410));
}

TEST_F(OggTest, EndlessPlayLoopsInsideOneFill) {
    CTestOgg ogg;
    ASSERT_EQ(ogg.Open(m_device.get(), Write(m_halfSecond).c_str()), 0);
    ogg.SetPlay(0, 0.0);
    const std::vector<uint8_t> block = FilledBlock(ogg, 2 * 44100, 0, 0);
    // The second play of the source follows the first without a gap of zeros.
    EXPECT_FALSE(AllZero(block, 22050 + 2000, 22050 + 4000));
    EXPECT_FALSE(AllZero(block, 44100 + 22050 + 2000, 44100 + 22050 + 4000));
}

TEST_F(OggTest, DamagedPageMakesFillFailWithSilenceAndTheStreamGoesOn) {
    std::vector<int16_t> noise(22050 * 4);
    uint32_t seed = 1;
    for (int16_t& s : noise) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<int16_t>(seed >> 17) - 16384;
    }
    std::vector<uint8_t> bytes = EncodeOgg(noise, 1, 22050);
    const std::vector<size_t> pages = PageOffsets(bytes);
    ASSERT_GE(pages.size(), 6u);
    const size_t middle = pages[pages.size() / 2];
    for (size_t i = middle + 30; i < middle + 60; ++i) bytes[i] ^= 0x5A;  // breaks the page checksum
    CTestOgg ogg;
    ASSERT_EQ(ogg.Open(m_device.get(), Write(bytes).c_str()), 0);
    ogg.SetPlay(1, 0.0);
    std::vector<uint8_t> block(22050, 0xAA);
    int errors = 0;
    int result = 0;
    for (int i = 0; i < 20 && result != 1; ++i) {
        std::fill(block.begin(), block.end(), 0xAA);
        result = ogg.Fill(block.data(), 22050);
        if (result == -1) {
            ++errors;
            EXPECT_EQ(block.back(), 0);  // silence to the end of the block
        }
    }
    EXPECT_GE(errors, 1);
    EXPECT_EQ(result, 1);
}

TEST_F(OggTest, FailedOpensCloseTheFileOnceAndLeaveCallbackSourcesToTheCaller) {
    const int before = CountOpenFileDescriptors();
    {
        CDirectSoundOgg ogg;
        // An Ogg container whose stream is not Vorbis, and plain garbage.
        std::vector<uint8_t> notVorbis(m_halfSecond.begin(), m_halfSecond.begin() + 58);
        ASSERT_EQ(notVorbis[29], 'v');
        notVorbis[29] = 'X';
        ogg_page page{notVorbis.data(), 28, notVorbis.data() + 28, 30};
        ogg_page_checksum_set(&page);
        EXPECT_EQ(ogg.Open(m_device.get(), Write(notVorbis).c_str()), -1);
        ogg.Close();
        EXPECT_EQ(ogg.Open(m_device.get(), Write(std::vector<uint8_t>(300, 7)).c_str()), -1);
        EXPECT_EQ(ogg.Play(1, 0), -1);
        EXPECT_EQ(CountOpenFileDescriptors(), before);
        ASSERT_EQ(ogg.Open(m_device.get(), Write(m_halfSecond).c_str()), 0);
        EXPECT_EQ(CountOpenFileDescriptors(), before + 1);
    }
    EXPECT_EQ(CountOpenFileDescriptors(), before);

    const CStreamCallbacks callbacks = CMemorySource::Callbacks();
    CMemorySource garbage{std::vector<uint8_t>(500, 3)};
    CMemorySource good{m_halfSecond};
    {
        CDirectSoundOgg ogg;
        EXPECT_EQ(ogg.OpenFromCallbacks(m_device.get(), "x.ogg", &callbacks, &garbage), -1);
        EXPECT_EQ(garbage.closes, 0);
        ASSERT_EQ(ogg.OpenFromCallbacks(m_device.get(), "x.ogg", &callbacks, &good), 0);
        ogg.Close();
        EXPECT_EQ(good.closes, 1);
        // Six channels open as Vorbis but the mixer takes no such format: the source stays ours.
        CMemorySource sixChannels{EncodeOgg(std::vector<int16_t>(6 * 2000, 100), 6, 22050)};
        EXPECT_EQ(ogg.OpenFromCallbacks(m_device.get(), "x.ogg", &callbacks, &sixChannels), -1);
        EXPECT_EQ(sixChannels.closes, 0);
        good.position = 0;
        ASSERT_EQ(ogg.OpenFromCallbacks(m_device.get(), "x.ogg", &callbacks, &good), 0);
    }
    EXPECT_EQ(good.closes, 2);
}

TEST_F(OggTest, PlaysThroughTheThreadAndStopsAfterTheEnd) {
    CDirectSoundOgg ogg;
    ASSERT_EQ(ogg.Open(m_device.get(), Write(m_halfSecond).c_str()), 0);
    TakeOutput();
    ASSERT_EQ(ogg.Play(1, 0), 0);
    Run(1050);
    EXPECT_EQ(ogg.GetState(), kSoundStopped);
    const std::vector<int16_t> output = TakeOutput();
    int32_t peak = 0;
    for (size_t i = 0; i < 2 * 22050; ++i) peak = std::max(peak, std::abs(int32_t{output[i]}));
    EXPECT_NEAR(peak, 16000, 1500);
    EXPECT_TRUE(std::all_of(output.begin() + 2 * 22100, output.end(), [](int16_t s) { return s == 0; }));
}

TEST_F(OggTest, TruncatedStreamsOpenOrFailButAlwaysEnd) {
    const std::vector<uint8_t> bytes = EncodeOgg(Sine(22050 * 2, 2, 300, 22050, 12000), 2, 22050);
    for (size_t cut : {size_t{0}, size_t{27}, size_t{100}, size_t{3000}, bytes.size() / 2, bytes.size() - 10}) {
        CDirectSoundOgg ogg;
        std::vector<uint8_t> truncated(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        if (ogg.Open(m_device.get(), Write(truncated).c_str()) != 0) continue;
        ASSERT_EQ(ogg.Play(1, 0), 0);
        Run(4000, 50);
        EXPECT_EQ(ogg.GetState(), kSoundStopped) << "cut at " << cut;
    }
}

}  // namespace
