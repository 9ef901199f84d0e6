// The streaming base through the WAV player on the fake clock: play counts, ends of source,
// fades, seeks and the level meter, checked on the state and on what the mixer output carries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "sound/ogg_player.h"
#include "sound/wave_player.h"
#include "tests/sound/sound_test_util.h"

namespace {

size_t FrameAt(uint32_t ms) { return static_cast<size_t>(ms) * 441 / 10; }

int16_t LeftAt(const std::vector<int16_t>& output, uint32_t ms) { return output.at(2 * FrameAt(ms)); }

size_t CountNonZeroFrames(const std::vector<int16_t>& output) {
    size_t count = 0;
    for (size_t i = 0; i + 1 < output.size(); i += 2)
        if (output[i] != 0 || output[i + 1] != 0) ++count;
    return count;
}

int32_t PeakOf(const std::vector<int16_t>& output, size_t frames) {
    int32_t peak = 0;
    for (size_t i = 0; i < 2 * frames && i < output.size(); ++i) peak = std::max(peak, std::abs(int32_t{output[i]}));
    return peak;
}

class PlayerTest : public SoundClockTest {
protected:
    void OpenWav(CDirectSoundWave& wave, const SWaveFormat& format, const std::vector<uint8_t>& pcm) {
        ASSERT_EQ(wave.Open(m_device.get(), m_folder.Write("s.wav", MakeWav(format, pcm)).c_str()), 0);
    }
    // A 44.1 kHz 16-bit stereo sound of the given length holding the ramp.
    void OpenRamp(CDirectSoundWave& wave, uint32_t ms) { OpenWav(wave, PcmFormat(2, 44100, 16), ToBytes(Ramp(FrameAt(ms)))); }
    // One second of a 441 Hz sine of amplitude 20000.
    void OpenSine(CDirectSoundWave& wave) {
        OpenWav(wave, PcmFormat(2, 44100, 16), ToBytes(Sine(FrameAt(1000), 2, 441, 44100, 20000)));
    }
    // Plays and clears the recorded output, so that output index 0 is the start.
    void Start(IDirectSoundPlayer& player, int32_t count, int32_t loopBackMs) {
        TakeOutput();
        ASSERT_EQ(player.Play(count, loopBackMs), 0);
    }
    // Runs ms and checks the player's state after them.
    void RunExpecting(IDirectSoundPlayer& player, uint32_t ms, int32_t state) {
        Run(ms);
        EXPECT_EQ(player.GetState(), state) << "after " << ms << " ms";
    }
    // Runs ms and returns the loudest sample mixed in that time.
    int32_t PeakDuring(uint32_t ms) {
        TakeOutput();
        Run(ms);
        return PeakOf(TakeOutput(), FrameAt(ms));
    }
    CTempFolder m_folder;
};

TEST_F(PlayerTest, EveryOperationOnAClosedPlayerFails) {
    CDirectSoundWave neverOpened, closed;
    CDirectSoundOgg closedOgg;
    OpenRamp(closed, 100);
    closed.Close();
    for (IDirectSoundPlayer* player : std::initializer_list<IDirectSoundPlayer*>{&neverOpened, &closedOgg, &closed}) {
        for (int32_t result : {player->Play(0, 0), player->Pause(), player->Stop(0.0f), player->Seek(100),
                               player->SetVolume(-100, 0.0f), player->SetPan(100, 0.0f), player->SetRate(900, 0.0f)})
            EXPECT_EQ(result, -1);
        EXPECT_EQ(player->SetMasterVolume(-300), 0);
        EXPECT_EQ(player->GetMasterVolume(), -300);
        EXPECT_EQ(player->GetState(), kSoundStopped);
        int32_t left = 0, right = 0;
        EXPECT_EQ(player->GetLevel(&left, &right), 0);
        EXPECT_EQ(left, -10000);
        char name[kSoundNameSize];
        player->GetName(name);
        EXPECT_STREQ(name, "");
    }
}

TEST_F(PlayerTest, PlayCountsAndLoopBack) {
    // Half a second played once stops after about a second and plays again from the start.
    CDirectSoundWave wave;
    OpenRamp(wave, 500);
    Start(wave, 1, 0);
    RunExpecting(wave, 990, kSoundPlaying);
    RunExpecting(wave, 60, kSoundStopped);
    std::vector<int16_t> output = TakeOutput();
    EXPECT_EQ(LeftAt(output, 0), 1);
    EXPECT_EQ(LeftAt(output, 499), 50);
    EXPECT_EQ(CountNonZeroFrames(output), FrameAt(500));
    Start(wave, 1, 0);
    Run(200);
    output = TakeOutput();
    EXPECT_EQ(LeftAt(output, 0), 1);
    EXPECT_EQ(LeftAt(output, 150), 16);

    CDirectSoundWave thrice;
    OpenRamp(thrice, 300);
    Start(thrice, 3, 0);
    RunExpecting(thrice, 1100, kSoundStopped);
    EXPECT_EQ(thrice.GetPlayCount(), 3);
    output = TakeOutput();
    EXPECT_EQ(CountNonZeroFrames(output), 3 * FrameAt(300));
    EXPECT_EQ(LeftAt(output, 300), 1);
    EXPECT_EQ(LeftAt(output, 650), 6);

    CDirectSoundWave looping;
    OpenRamp(looping, 4000);
    Start(looping, 0, 3000);
    RunExpecting(looping, 9000, kSoundPlaying);
    output = TakeOutput();
    // Each pass after the first resumes 3 s into the source.
    const std::pair<uint32_t, int16_t> samples[] = {{3999, 400}, {4000, 301}, {4999, 400}, {5000, 301}, {8500, 351}};
    for (const auto& [ms, value] : samples) EXPECT_EQ(LeftAt(output, ms), value) << ms;
}

TEST_F(PlayerTest, PlayRightAfterAStopRunsANewThread) {
    CDirectSoundWave wave;
    OpenRamp(wave, 3000);
    Start(wave, 0, 0);
    Run(120);
    EXPECT_EQ(wave.Stop(0.0f), 0);
    EXPECT_EQ(wave.GetState(), kSoundStopped);
    AdvanceFakeClock(5);  // the old thread has not polled since
    Start(wave, 0, 0);
    EXPECT_EQ(wave.GetState(), kSoundPlaying);
    RunExpecting(wave, 500, kSoundPlaying);
    const std::vector<int16_t> output = TakeOutput();
    // The new thread reads on from where the old one left the source.
    EXPECT_GT(LeftAt(output, 0), 10);
    EXPECT_EQ(CountNonZeroFrames(output), output.size() / 2);
}

TEST_F(PlayerTest, FadeOutSpeedsTheStopBelowMinus5000AndWhatCancelsIt) {
    CDirectSoundWave wave;
    OpenSine(wave);
    Start(wave, 0, 0);
    Run(100);
    ASSERT_EQ(wave.Stop(0.5f), 0);
    EXPECT_EQ(wave.GetState(), kSoundPlaying);
    Run(2000);
    // 25 hundredths per 50-ms poll: 1000 after 2 s, a gain of 10^(-1000/2000).
    EXPECT_NEAR(PeakDuring(40), 20000 * std::pow(10.0, -0.5), 60);
    RunExpecting(wave, 7960, kSoundPlaying);  // attenuation 5000: volume - 5000 is not below -5000
    RunExpecting(wave, 60, kSoundStopped);
    EXPECT_EQ(wave.GetVolume(), 0);

    // A second Stop during the fade only changes its speed.
    Start(wave, 0, 0);
    Run(100);
    ASSERT_EQ(wave.Stop(0.5f), 0);
    Run(1000);  // attenuation 500
    ASSERT_EQ(wave.Stop(2.0f), 0);
    RunExpecting(wave, 2240, kSoundPlaying);  // + 44 polls of 100
    RunExpecting(wave, 60, kSoundStopped);

    // Play during a fade-out cancels it without restarting.
    Start(wave, 0, 0);
    Run(100);
    wave.Stop(0.5f);
    Run(4000);  // attenuation 2000
    EXPECT_EQ(wave.Play(0, 0), 0);
    Run(50);
    EXPECT_NEAR(PeakDuring(500), 20000, 2);
    EXPECT_EQ(wave.GetState(), kSoundPlaying);

    // Pause during a fade-out keeps the sound paused and silent; play resumes it at full volume.
    wave.Stop(0.5f);
    Run(4000);
    EXPECT_EQ(wave.Pause(), 0);
    EXPECT_EQ(wave.GetState(), kSoundPaused);
    EXPECT_EQ(PeakDuring(20000), 0);
    EXPECT_EQ(wave.GetState(), kSoundPaused);
    EXPECT_EQ(wave.Play(0, 0), 0);
    EXPECT_NEAR(PeakDuring(500), 20000, 2);
}

TEST_F(PlayerTest, VolumePanAndRateFadesStepEachPollAndClamp) {
    CDirectSoundWave wave;
    OpenRamp(wave, 3000);
    EXPECT_EQ(wave.Pause(), 0);
    EXPECT_EQ(wave.GetState(), kSoundStopped);  // only a playing sound pauses
    Start(wave, 0, 0);
    Run(100);
    ASSERT_EQ(wave.Pause(), 0);
    EXPECT_EQ(wave.SetVolume(-3000, 0.1f), 0);
    EXPECT_EQ(wave.GetVolume(), -3000);  // not playing: at once
    EXPECT_EQ(wave.SetVolume(0, 0.0f), 0);
    ASSERT_EQ(wave.Play(0, 0), 0);
    Run(100);
    EXPECT_EQ(wave.SetVolume(-3000, 0.1f), 0);
    EXPECT_EQ(wave.SetPan(-10000, 4.0f), 0);
    EXPECT_EQ(wave.SetRate(500, 1.0f), 0);
    EXPECT_EQ(wave.GetVolume(), 0);
    Run(50);
    EXPECT_EQ(wave.GetVolume(), -5);
    EXPECT_EQ(wave.GetPan(), -200);
    EXPECT_EQ(wave.GetRate(), 950);
    Run(50);
    EXPECT_EQ(wave.GetVolume(), -10);
    Run(450);
    EXPECT_EQ(wave.GetRate(), 500);
    // Pause finishes every fade at its target.
    EXPECT_EQ(wave.Pause(), 0);
    EXPECT_EQ(wave.GetVolume(), -3000);
    EXPECT_EQ(wave.GetPan(), -10000);

    // Out-of-range values are clamped.
    const std::pair<int32_t, int32_t> masterVolumes[] = {{500, 0}, {-20000, -10000}};
    for (const auto& [given, kept] : masterVolumes) {
        EXPECT_EQ(wave.SetMasterVolume(given), 0);
        EXPECT_EQ(wave.GetMasterVolume(), kept);
    }
    const std::pair<int32_t, int32_t> pans[] = {{-20000, -10000}, {20000, 10000}}, rates[] = {{5, 10}, {5000, 2000}};
    for (const auto& [given, kept] : pans) {
        EXPECT_EQ(wave.SetPan(given, 0.0f), 0);
        EXPECT_EQ(wave.GetPan(), kept);
    }
    for (const auto& [given, kept] : rates) {
        EXPECT_EQ(wave.SetRate(given, 0.0f), 0);
        EXPECT_EQ(wave.GetRate(), kept);
    }
    EXPECT_EQ(wave.SetVolume(300, 0.0f), 0);
    EXPECT_EQ(wave.GetVolume(), 0);
}

TEST_F(PlayerTest, SeekWhilePlayingAndWhileStopped) {
    CDirectSoundWave wave;
    OpenRamp(wave, 4000);
    Start(wave, 0, 0);
    Run(200);
    EXPECT_EQ(wave.Seek(1500), 0);
    Run(100);  // the next poll, at 250 ms, restarts the buffer from 1.5 s
    std::vector<int16_t> output = TakeOutput();
    EXPECT_EQ(LeftAt(output, 249), 25);
    EXPECT_EQ(LeftAt(output, 250), 151);
    EXPECT_EQ(LeftAt(output, 290), 155);

    wave.Stop(0.0f);
    EXPECT_EQ(wave.Seek(2500), 0);
    EXPECT_EQ(wave.GetState(), kSoundStopped);
    EXPECT_EQ(wave.GetPosition(), 2500u * 176400 / 1000);
    Start(wave, 0, 0);
    Run(20);
    EXPECT_EQ(LeftAt(TakeOutput(), 0), 251);
}

TEST_F(PlayerTest, LevelMeter) {
    int32_t left = 0, right = 0;
    CDirectSoundWave silence;
    OpenWav(silence, PcmFormat(1, 44100, 8), std::vector<uint8_t>(44100, 128));
    Start(silence, 0, 0);
    Run(100);
    EXPECT_EQ(silence.GetLevel(&left, &right), 0);
    EXPECT_EQ(left, -10000);
    EXPECT_EQ(right, -10000);

    std::vector<int16_t> samples(2 * 44100, 0);
    for (size_t i = 0; i < samples.size(); i += 2) {
        samples[i] = (i / 2) % 100 == 0 ? -32768 : 1000;  // full-scale peak on the left
        samples[i + 1] = 3277;                            // a tenth on the right
    }
    CDirectSoundWave loud;
    OpenWav(loud, PcmFormat(2, 44100, 16), ToBytes(samples));
    Start(loud, 0, 0);
    Run(100);
    EXPECT_EQ(loud.GetLevel(&left, &right), 0);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, static_cast<int32_t>(2000.0 * std::log(3277.0 / 32768.0)));
    loud.Pause();
    EXPECT_EQ(loud.GetLevel(&left, &right), 0);
    EXPECT_EQ(left, -10000);
    EXPECT_EQ(right, -10000);
}

TEST_F(PlayerTest, SineThroughTheMixerWithVolumePanAndRate) {
    const std::vector<int16_t> sine = Sine(FrameAt(2000), 2, 440, 44100, 12000);
    CDirectSoundWave wave;
    OpenWav(wave, PcmFormat(2, 44100, 16), ToBytes(sine));
    Start(wave, 0, 0);
    Run(500);
    std::vector<int16_t> output = TakeOutput();
    ASSERT_GE(output.size(), 2 * FrameAt(500));
    EXPECT_TRUE(std::equal(output.begin(), output.begin() + 2 * FrameAt(500), sine.begin()));

    wave.SetVolume(-2000, 0.0f);  // a tenth
    wave.SetPan(-10000, 0.0f);    // the right side silent
    wave.SetRate(500, 0.0f);      // half the pitch
    Run(500);
    output = TakeOutput();
    const size_t frames = FrameAt(400);
    size_t crossings = 0;
    for (size_t i = 0; i < frames; ++i) {
        EXPECT_EQ(output[2 * i + 1], 0);
        if (i > 0 && (output[2 * i - 2] < 0) != (output[2 * i] < 0)) ++crossings;
    }
    EXPECT_NEAR(PeakOf(output, frames), 1200, 2);
    EXPECT_NEAR(static_cast<double>(crossings), 2.0 * 220 * 0.4, 3.0);
}

}  // namespace
