// The software mixer: buffer formats, wrapping locks, cursors, the volume and pan laws,
// resampling, and the three outputs.
#include "platform/audio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "tests/platform/scoped_env.h"
#include "tools/lib/sound_writer.h"

namespace {

// Writes bytes into the buffer at offset through a lock.
void Write(CAudioBuffer* buffer, uint32_t offset, const void* bytes, uint32_t size) {
    void* part1 = nullptr;
    void* part2 = nullptr;
    uint32_t size1 = 0, size2 = 0;
    ASSERT_EQ(buffer->Lock(offset, size, &part1, &size1, &part2, &size2), 0);
    std::memcpy(part1, bytes, size1);
    if (size2 != 0) std::memcpy(part2, static_cast<const uint8_t*>(bytes) + size1, size2);
    ASSERT_EQ(buffer->Unlock(part1, size1, part2, size2), 0);
}

std::vector<uint8_t> Read(CAudioBuffer* buffer, uint32_t offset, uint32_t size) {
    void* part1 = nullptr;
    void* part2 = nullptr;
    uint32_t size1 = 0, size2 = 0;
    std::vector<uint8_t> out;
    if (buffer->Lock(offset, size, &part1, &size1, &part2, &size2) != 0) return out;
    out.assign(static_cast<uint8_t*>(part1), static_cast<uint8_t*>(part1) + size1);
    if (size2 != 0) out.insert(out.end(), static_cast<uint8_t*>(part2), static_cast<uint8_t*>(part2) + size2);
    buffer->Unlock(part1, 0, part2, 0);
    return out;
}

struct BufferDeleter {
    void operator()(CAudioBuffer* buffer) const { buffer->Release(); }
};
using BufferPtr = std::unique_ptr<CAudioBuffer, BufferDeleter>;

// A buffer of the format and byte size, holding `samples` from its start.
template <typename T = int16_t>
BufferPtr MakeBuffer(CAudioDevice& device, const SWaveFormat& format, uint32_t bytes, const std::vector<T>& samples = {}) {
    CAudioBuffer* buffer = nullptr;
    EXPECT_EQ(device.CreateSoundBuffer(format, bytes, &buffer), 0);
    if (buffer != nullptr && !samples.empty()) Write(buffer, 0, samples.data(), uint32_t(samples.size() * sizeof(T)));
    return BufferPtr(buffer);
}

class AudioMixer : public ::testing::Test {
protected:
    // Renders `frames` frames of the manual output.
    const std::vector<int16_t>& Render(uint32_t frames) {
        out.assign(2 * frames, 0x5555);
        device->Render(out.data(), frames);
        return out;
    }

    std::unique_ptr<CAudioDevice> device = CAudioDevice::Create(EAudioOutput::Manual);
    std::vector<int16_t> out;
};

TEST_F(AudioMixer, BufferFormatsAndSizes) {
    ASSERT_NE(device, nullptr);
    SWaveFormat blockAlign = PcmFormat(2, 44100, 16), tag = PcmFormat(2, 44100, 16);
    blockAlign.nBlockAlign = 3;
    tag.wFormatTag = 3;
    const std::pair<SWaveFormat, uint32_t> refused[] = {
        {PcmFormat(3, 44100, 16), 1200}, {PcmFormat(2, 44100, 24), 1200}, {PcmFormat(2, 99, 16), 1200},
        {PcmFormat(2, 200001, 16), 1200}, {blockAlign, 1200}, {tag, 1200}, {PcmFormat(2, 44100, 16), 2}};
    for (const auto& [format, bytes] : refused) {
        CAudioBuffer* buffer = reinterpret_cast<CAudioBuffer*>(1);
        EXPECT_EQ(device->CreateSoundBuffer(format, bytes, &buffer), -1) << format.nChannels << " channels, "
                                                                        << format.nSamplesPerSec << " Hz";
        EXPECT_EQ(buffer, nullptr);
    }
    BufferPtr buffer = MakeBuffer(*device, PcmFormat(1, 8000, 8), 4);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->GetSize(), 4u);
    EXPECT_EQ(Read(buffer.get(), 0, 4), std::vector<uint8_t>(4, 128)) << "a new 8-bit buffer holds silence";
}

TEST_F(AudioMixer, LocksWrapAndWriteBackOnlyWhatWasWritten) {
    BufferPtr buffer = MakeBuffer(*device, PcmFormat(1, 8000, 8), 100);
    std::vector<uint8_t> bytes(10);
    for (uint8_t i = 0; i < 10; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    Write(buffer.get(), 96, bytes.data(), 10);
    EXPECT_EQ(Read(buffer.get(), 96, 4), std::vector<uint8_t>({1, 2, 3, 4}));
    EXPECT_EQ(Read(buffer.get(), 0, 6), std::vector<uint8_t>({5, 6, 7, 8, 9, 10}));

    void* part1 = nullptr;
    void* part2 = nullptr;
    uint32_t size1 = 0, size2 = 0;
    ASSERT_EQ(buffer->Lock(98, 4, &part1, &size1, &part2, &size2), 0);
    EXPECT_EQ(size1, 2u);
    EXPECT_EQ(size2, 2u);
    std::memset(part1, 0xEE, 2);
    std::memset(part2, 0xEE, 2);
    ASSERT_EQ(buffer->Unlock(part1, 1, part2, 0), 0);  // only the first byte was written
    EXPECT_EQ(Read(buffer.get(), 98, 4), std::vector<uint8_t>({0xEE, 4, 5, 6}));

    EXPECT_EQ(buffer->Lock(100, 1, &part1, &size1, &part2, &size2), -1);
    EXPECT_EQ(buffer->Lock(0, 101, &part1, &size1, &part2, &size2), -1);
    EXPECT_EQ(buffer->Lock(0, 0, &part1, &size1, &part2, &size2), -1);
    EXPECT_EQ(buffer->Unlock(bytes.data(), 1, nullptr, 0), -1);
}

TEST_F(AudioMixer, RendersLoopsAndStopsAtTheEndOfAOneShotBuffer) {
    std::vector<int16_t> samples(200);  // 100 frames
    for (int i = 0; i < 200; ++i) samples[i] = static_cast<int16_t>(i % 2 == 0 ? i * 100 : -i * 100);
    BufferPtr buffer = MakeBuffer(*device, PcmFormat(2, 44100, 16), 400, samples);
    ASSERT_EQ(buffer->Play(kAudioPlayLooping), 0);
    EXPECT_EQ(buffer->GetStatus(), kAudioStatusPlaying | kAudioStatusLooping);
    Render(150);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), out.begin()));
    EXPECT_TRUE(std::equal(out.begin() + 200, out.end(), samples.begin()));
    uint32_t play = 0, write = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), 0);
    EXPECT_EQ(play, 50u * 4);

    ASSERT_EQ(buffer->SetCurrentPosition(90 * 4), 0);
    ASSERT_EQ(buffer->Play(0), 0);
    Render(150);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 20, samples.begin() + 180));
    EXPECT_TRUE(std::all_of(out.begin() + 20, out.end(), [](int16_t s) { return s == 0; }));
    EXPECT_EQ(buffer->GetStatus(), 0u);

    ASSERT_EQ(buffer->Stop(), 0);
    EXPECT_EQ(Render(10), std::vector<int16_t>(20, 0));
}

TEST_F(AudioMixer, VolumeAndPanLawsInHundredthsOfADecibel) {
    const std::vector<int16_t> samples(1000, 20000);
    BufferPtr buffer = MakeBuffer(*device, PcmFormat(1, 44100, 16), 2000, samples);
    buffer->Play(kAudioPlayLooping);
    auto renderOne = [&] {
        Render(10);
        return std::make_pair(out[0], out[1]);
    };
    EXPECT_EQ(renderOne(), std::make_pair(int16_t{20000}, int16_t{20000}));

    ASSERT_EQ(buffer->SetVolume(-600), 0);
    const auto gain600 = static_cast<int16_t>(std::lrint(20000 * std::pow(10.0, -0.3)));
    EXPECT_NEAR(renderOne().first, gain600, 1);
    ASSERT_EQ(buffer->SetPan(2000), 0);  // right: the left side is attenuated by 20 dB more
    auto [left, right] = renderOne();
    EXPECT_NEAR(left, gain600 * 0.1, 1);
    EXPECT_NEAR(right, gain600, 1);
    ASSERT_EQ(buffer->SetPan(-10000), 0);
    std::tie(left, right) = renderOne();
    EXPECT_NEAR(left, gain600, 1);
    EXPECT_EQ(right, 0);
    ASSERT_EQ(buffer->SetVolume(-10000), 0);
    EXPECT_EQ(renderOne(), std::make_pair(int16_t{0}, int16_t{0}));

    EXPECT_EQ(buffer->SetVolume(1), -1);
    EXPECT_EQ(buffer->SetVolume(-10001), -1);
    EXPECT_EQ(buffer->SetPan(10001), -1);
    int32_t volume = 0, pan = 0;
    buffer->GetVolume(&volume);
    buffer->GetPan(&pan);
    EXPECT_EQ(volume, -10000);
    EXPECT_EQ(pan, -10000);

    // Two loud buffers clip at full scale instead of wrapping around.
    buffer->SetVolume(0);
    buffer->SetPan(0);
    BufferPtr second = MakeBuffer(*device, PcmFormat(1, 44100, 16), 2000, samples);
    second->Play(kAudioPlayLooping);
    EXPECT_EQ(renderOne(), std::make_pair(int16_t{32767}, int16_t{32767}));
}

TEST_F(AudioMixer, FrequencyResamplesWithLinearInterpolation) {
    std::vector<uint8_t> samples(100);
    for (int i = 0; i < 100; ++i) samples[i] = static_cast<uint8_t>(128 + (i % 2 == 0 ? 64 : -64));
    BufferPtr buffer = MakeBuffer(*device, PcmFormat(1, 22050, 8), 100, samples);
    buffer->Play(kAudioPlayLooping);
    // At half the output rate every other output frame lies halfway between two source frames.
    Render(4);
    EXPECT_EQ(out, (std::vector<int16_t>{64 * 256, 64 * 256, 0, 0, -64 * 256, -64 * 256, 0, 0}));
    uint32_t play = 0;
    buffer->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 2u);

    ASSERT_EQ(buffer->SetFrequency(88200), 0);  // twice the output rate: every other frame
    Render(2);
    EXPECT_EQ(out, (std::vector<int16_t>{64 * 256, 64 * 256, 64 * 256, 64 * 256}));
    buffer->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 6u);
    EXPECT_EQ(buffer->SetFrequency(99), -1);
    EXPECT_EQ(buffer->SetFrequency(200001), -1);
    uint32_t frequency = 0;
    buffer->GetFrequency(&frequency);
    EXPECT_EQ(frequency, 88200u);
}

TEST_F(AudioMixer, ClockOutputFollowsTheFakeClock) {
    UseFakeClock(1000);
    device = CAudioDevice::Create(EAudioOutput::Clock);
    BufferPtr buffer = MakeBuffer(*device, PcmFormat(2, 44100, 16), 4 * 44100, std::vector<int16_t>(2 * 44100, 1234));
    device->SetCapture(true);
    buffer->Play(kAudioPlayLooping);
    AdvanceFakeClock(100);
    uint32_t play = 0;
    buffer->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 4410u * 4);
    AdvanceFakeClock(1);
    buffer->Stop();
    AdvanceFakeClock(50);
    const std::vector<int16_t> captured = device->TakeCaptured();
    ASSERT_EQ(captured.size(), 2u * (4410 + 44 + 2205));  // 151 ms of output, rounded down
    EXPECT_TRUE(std::all_of(captured.begin(), captured.begin() + 2 * 4454, [](int16_t s) { return s == 1234; }));
    EXPECT_TRUE(std::all_of(captured.begin() + 2 * 4454, captured.end(), [](int16_t s) { return s == 0; }));

    // Only time that passes on one clock is output: not a fake clock set back, not the switch to
    // the real clock (its origin lies anywhere).
    SetFakeClock(500);
    EXPECT_TRUE(device->TakeCaptured().empty());
    AdvanceFakeClock(10);
    EXPECT_EQ(device->TakeCaptured().size(), 2u * 441);
    UseRealClock();
    EXPECT_LT(device->TakeCaptured().size(), 2u * 44100) << "at most a moment of real time";
}

TEST_F(AudioMixer, SystemOutputFallsBackToTheDummyDriver) {
    {
        CScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
        device = CAudioDevice::Create(EAudioOutput::System);
    }
    ASSERT_NE(device, nullptr);
    EXPECT_STREQ(device->GetDriverName(), "dummy");
    BufferPtr buffer = MakeBuffer(*device, PcmFormat(1, 44100, 16), 88200);
    buffer->Play(kAudioPlayLooping);
    // The dummy driver consumes the output in real time: the cursor moves.
    uint32_t play = 0;
    for (int i = 0; i < 400 && play == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        buffer->GetCurrentPosition(&play, nullptr);
    }
    EXPECT_GT(play, 0u);
    buffer.reset();
    device.reset();  // the dummy driver has one device

    // The program's device, and buffers that outlive it.
    ASSERT_EQ(InitDirectSound(), 0);
    ASSERT_NE(g_pDirectSound, nullptr);
    BufferPtr orphan = MakeBuffer(*g_pDirectSound, PcmFormat(1, 44100, 16), 1000);
    ReleaseDirectSound();
    EXPECT_EQ(g_pDirectSound, nullptr);
    EXPECT_EQ(orphan->Play(0), 0);
    orphan.reset();
}

}  // namespace
