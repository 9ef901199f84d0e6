// The WAV player's RIFF walk and its Fill rules at the end of the data, read without a thread.
#include <gtest/gtest.h>

#include "sound/wave_player.h"
#include "tests/sound/sound_test_util.h"

namespace {

using CTestWave = CFillOnlyPlayer<CDirectSoundWave>;

class WaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_device = CAudioDevice::Create(EAudioOutput::Manual);
        ASSERT_NE(m_device, nullptr);
    }
    int32_t OpenBytes(CTestWave& wave, const std::vector<uint8_t>& bytes) {
        return wave.Open(m_device.get(), m_folder.Write("sound.wav", bytes).c_str());
    }
    std::unique_ptr<CAudioDevice> m_device;
    CTempFolder m_folder;
    const SWaveFormat m_mono8 = PcmFormat(1, 8000, 8);
};

std::vector<uint8_t> Bytes(size_t count, uint8_t first) {
    std::vector<uint8_t> out(count);
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(first + i);
    return out;
}

TEST_F(WaveTest, ChunksBeforeAndBetweenFormatAndDataAreSkipped) {
    const std::vector<uint8_t> pcm = Bytes(400, 1);
    CTestWave wave;
    ASSERT_EQ(OpenBytes(wave, CWavBuilder()
                                  .Chunk("LIST", Bytes(13, 0x50))
                                  .Format(PcmFormat(2, 22050, 16))
                                  .Chunk("fact", Bytes(4, 9))
                                  .Data(pcm)
                                  .Build()),
              0);
    EXPECT_EQ(wave.GetFormat().nChannels, 2);
    EXPECT_EQ(wave.GetFormat().nSamplesPerSec, 22050u);
    EXPECT_EQ(wave.GetFormat().wBitsPerSample, 16);
    EXPECT_EQ(wave.GetDataSize(), 400u);
    EXPECT_EQ(wave.GetDataOffset(), 12u + 8 + 13 + 8 + 16 + 8 + 4 + 8);

    wave.SetPlay(1, 0.0);
    const std::vector<uint8_t> block = FilledBlock(wave, 1000, 1);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), block.begin()));
    EXPECT_TRUE(AllZero(block, 400, 1000));
}

TEST_F(WaveTest, FormatPayloadSizesAndHeaders) {
    CTestWave wave;
    // 14 bytes: no wBitsPerSample, so no buffer can be made and the open fails.
    EXPECT_EQ(OpenBytes(wave, CWavBuilder().Format(m_mono8, 14).Data(Bytes(8, 0)).Build()), -1);
    EXPECT_EQ(wave.GetFormat().wBitsPerSample, 0);
    EXPECT_EQ(wave.GetFormat().nChannels, 1);

    // 18 bytes: the last two are skipped and the data chunk is found after them.
    ASSERT_EQ(OpenBytes(wave, CWavBuilder().Format(m_mono8, 18).Data(Bytes(8, 7)).Build()), 0);
    EXPECT_EQ(wave.GetFormat().wBitsPerSample, 8);
    EXPECT_EQ(wave.GetDataOffset(), 12u + 8 + 18 + 8);
    EXPECT_EQ(wave.GetDataSize(), 8u);

    // A "fmt " chunk shorter than its fields takes nothing of the chunk after it.
    EXPECT_EQ(OpenBytes(wave, CWavBuilder().Chunk("fmt ", {1, 0}).Data(Bytes(8, 7)).Build()), -1);
    EXPECT_EQ(wave.GetFormat().nChannels, 0);
    EXPECT_EQ(wave.GetDataSize(), 8u);

    // Not RIFF WAVE, cut after the magic, or missing.
    EXPECT_EQ(OpenBytes(wave, CWavBuilder().Format(m_mono8).Data(Bytes(8, 0)).Build("RIFX", "WAVE")), -1);
    EXPECT_EQ(OpenBytes(wave, CWavBuilder().Format(m_mono8).Data(Bytes(8, 0)).Build("RIFF", "AVI ")), -1);
    EXPECT_EQ(OpenBytes(wave, {'R', 'I', 'F', 'F'}), -1);
    EXPECT_EQ(wave.Open(m_device.get(), (m_folder / "missing.wav").c_str()), -1);
    EXPECT_EQ(wave.Play(0, 0), -1);
}

TEST_F(WaveTest, DamagedSizesNeverReadPastTheSource) {
    auto bytes = CWavBuilder().Format(PcmFormat(1, 8000, 16)).Data(Bytes(100, 3)).Build();
    // The data chunk claims far more than the file holds: what is there plays, then silence.
    WriteU32LE(bytes.data() + 12 + 8 + 16 + 4, 0xFFFFFFF0u);
    CTestWave wave;
    ASSERT_EQ(OpenBytes(wave, bytes), 0);
    EXPECT_EQ(wave.GetDataSize(), 100u);
    wave.SetPlay(1, 0.0);
    const std::vector<uint8_t> block = FilledBlock(wave, 16000, 1);
    EXPECT_EQ(block[99], static_cast<uint8_t>(3 + 99));
    EXPECT_TRUE(AllZero(block, 100, 16000));

    // A chunk size that jumps past the end ends the walk; every truncation fails or opens.
    auto jumping = CWavBuilder().Chunk("junk", Bytes(4, 0)).Format(m_mono8).Data(Bytes(100, 3)).Build();
    WriteU32LE(jumping.data() + 16, 0x7FFFFFFFu);
    EXPECT_EQ(OpenBytes(wave, jumping), -1);
    for (size_t cut = 0; cut < bytes.size(); cut += 7) {
        CTestWave other;
        if (OpenBytes(other, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut))) == 0) {
            EXPECT_LE(other.GetDataOffset() + other.GetDataSize(), cut);
            other.SetPlay(0, 0.0);
            std::vector<uint8_t> scratch(16000);
            other.Fill(scratch.data(), 16000);
        }
    }
}

TEST_F(WaveTest, EndlessPlayResumesAtTheLoopBackPointInsideOneFill) {
    const std::vector<int16_t> ramp = Ramp(44100);  // one second
    CTestWave wave;
    ASSERT_EQ(OpenBytes(wave, MakeWav(PcmFormat(2, 44100, 16), ToBytes(ramp))), 0);
    wave.SetPlay(0, 0.5);
    std::vector<int16_t> block(2 * 44100 + 2 * 1000);
    EXPECT_EQ(wave.Fill(block.data(), static_cast<uint32_t>(block.size() * 2)), 0);
    EXPECT_EQ(block[2 * 44099], ramp[2 * 44099]);
    // 88200 bytes into the data: frame 22050.
    EXPECT_EQ(block[2 * 44100], ramp[2 * 22050]);
    EXPECT_EQ(wave.GetPosition(), 88200u + 4000u);
    EXPECT_EQ(wave.PlaysDone(), 1);

    // A loop-back point past the end has nothing to play: the source ends instead of spinning.
    wave.SetPlay(0, 5.0);
    EXPECT_EQ(wave.SeekTime(0.9), 0);
    EXPECT_EQ(wave.Fill(block.data(), static_cast<uint32_t>(block.size() * 2)), 1);
    // A seek that falls inside a frame starts at the frame.
    EXPECT_EQ(wave.SeekTime(1.0 / 176400.0 * 3), 0);
    EXPECT_EQ(wave.GetPosition(), 0u);
}

TEST_F(WaveTest, OpenFromCallbacksOwnsTheSourceOnlyOnSuccess) {
    CMemorySource good{MakeWav(m_mono8, Bytes(64, 0))};
    CMemorySource bad{{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'X', 'X', 'X', 'X'}};
    const CStreamCallbacks callbacks = CMemorySource::Callbacks();
    {
        CTestWave wave;
        EXPECT_EQ(wave.OpenFromCallbacks(m_device.get(), "ignored", &callbacks, &bad), -1);
        wave.Close();
        EXPECT_EQ(bad.closes, 0);
        ASSERT_EQ(wave.OpenFromCallbacks(m_device.get(), "ignored", &callbacks, &good), 0);
        wave.Close();
        wave.Close();
        EXPECT_EQ(good.closes, 1);
        ASSERT_EQ(wave.OpenFromCallbacks(m_device.get(), "ignored", &callbacks, &good), 0);
    }
    EXPECT_EQ(good.closes, 2);  // the destructor closed it
}

}  // namespace
