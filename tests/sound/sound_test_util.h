// Test sounds and sources for the sound tests: sample patterns, memory sources behind stream
// callbacks, and a fixture that runs the players on the fake clock with a Clock-driven mixer
// output. WAV and Ogg bytes come from tools/lib/sound_writer.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/stream.h"
#include "platform/audio.h"
#include "tests/files/temp_folder.h"
#include "tools/lib/sound_writer.h"

std::vector<uint8_t> ToBytes(const std::vector<int16_t>& samples);
// Interleaved 16-bit samples of a sine on every channel.
std::vector<int16_t> Sine(uint32_t frames, uint16_t channels, double frequency, uint32_t rate, double amplitude);
// 16-bit stereo frames whose both samples hold (frame / 441) + 1: a value that names the
// 10-ms step of the source it comes from, never 0.
std::vector<int16_t> Ramp(uint32_t frames);

// A source in memory read through stream callbacks; counts how often it was closed.
struct CMemorySource {
    std::vector<uint8_t> bytes;
    size_t position = 0;
    int closes = 0;
    static CStreamCallbacks Callbacks();
};

int CountOpenFileDescriptors();

bool AllZero(const std::vector<uint8_t>& bytes, size_t from, size_t to);

// Fills a block of `size` bytes holding `before` and checks Fill's result.
template <typename Player>
std::vector<uint8_t> FilledBlock(Player& player, size_t size, int32_t expected, uint8_t before = 0xAA) {
    std::vector<uint8_t> block(size, before);
    EXPECT_EQ(player.Fill(block.data(), static_cast<uint32_t>(size)), expected);
    return block;
}

// A player whose play count and loop-back point are set as Play would set them, so that Fill
// runs without a streaming thread.
template <typename Player>
class CFillOnlyPlayer : public Player {
public:
    void SetPlay(int32_t count, double loopBackSeconds) {
        this->m_playCount = count;
        this->m_loopBack = loopBackSeconds;
    }
    int32_t PlaysDone() const { return this->m_playsDone; }
};

// Players on the fake clock and a Clock output that records what it mixes.
class SoundClockTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Advances the fake clock by ms in steps of step ms, letting every streaming thread run
    // what each step makes due.
    void Run(uint32_t ms, uint32_t step = 10);
    // The mixed output since the last call (interleaved stereo).
    std::vector<int16_t> TakeOutput();

    std::unique_ptr<CAudioDevice> m_device;
};
