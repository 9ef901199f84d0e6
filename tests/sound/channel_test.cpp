// Sound channels and the sound openers: LOAD from loose files and archives, delayed commands on
// the game clock, the hold, the save form with its restore, and damaged payloads.
#include "sound/sound_channel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "files/loaders.h"
#include "files/scrambled_io.h"
#include "platform/message_box.h"
#include "sound/ogg_player.h"
#include "sound/sound_loaders.h"
#include "sound/wave_player.h"
#include "tests/sound/sound_test_util.h"
#include "tests/support/engine_bytes.h"
#include "tools/lib/pack_writer.h"

namespace {

// "Error!!|ファイルのオープンに失敗しました\n\"<path>\"" as the box records it.
std::string OpenErrorBox(const std::string& path) {
    return "Error!!|\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCC\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC9\x8E\xB8\x94\x73"
           "\x82\xB5\x82\xDC\x82\xB5\x82\xBD\n\"" +
           path + "\"";
}

using Bytes = CTestBytes;
using ::testing::_;
using ::testing::FieldsAre;

// Sub-chunks one after another, as one payload.
template <typename... Parts>
Bytes Join(const Parts&... parts) {
    Bytes out;
    (out.Raw(parts.bytes.data(), parts.size()), ...);
    return out;
}

class ChannelTest : public SoundClockTest {
protected:
    void SetUp() override {
        SoundClockTest::SetUp();
        SuppressMessageBoxWindows(true);
        TakeShownMessages();
        m_working = std::make_unique<CWorkingFolder>(m_folder.Path());
        m_ogg = EncodeOgg(Sine(22050, 1, 400, 22050, 12000), 1, 22050);  // one second
        m_wav = MakeWav(PcmFormat(2, 44100, 16), ToBytes(Ramp(44100 * 3)));
        ASSERT_EQ(WritePackArchive("BGM.pac", {{"BGM/Track.ogg", m_ogg}, {"BGM/Loop.wav", m_wav}}), 0);
        ASSERT_EQ(WritePackArchive("SE.pac", {{"SE/Hit.WAV", m_wav}}), 0);
        m_folder.Write("Voice/v01.wav", m_wav);
        CArchiveParams params{};
        std::strcpy(params.names[kBgmArchive], "BGM.pac");
        std::strcpy(params.names[kVoiceArchive], "Voice.pac");  // missing: loose files only
        std::strcpy(params.names[kSeArchive], "SE.pac");
        params.errorMask = 0xFF;
        OpenArchives(&params, nullptr);
        g_pEngineDirectSound = m_device.get();
        g_GameClock = 100000;
    }
    void TearDown() override {
        CloseArchives();
        g_pEngineDirectSound = nullptr;
        m_working.reset();
        TakeShownMessages();
        SoundClockTest::TearDown();
    }
    // Parses a script sound command made of the given sub-chunks.
    int32_t Parse(CSoundChannel& channel, int32_t kind, const Bytes& payload) {
        CMemoryReadStream memory(payload.bytes);
        memory.Window(static_cast<uint32_t>(payload.size()));
        uint32_t read = 0;
        const int32_t result = channel.ParseCommand(&memory.stream, kind, static_cast<uint32_t>(payload.size()), &read);
        EXPECT_EQ(read, payload.size());
        return result;
    }
    // Parses a command and runs one update.
    void Apply(CSoundChannel& channel, int32_t kind, const Bytes& payload, int32_t hold = 0) {
        Parse(channel, kind, payload);
        channel.Update(hold);
    }
    // Restores the save form through a read window of its size; it must be read whole.
    static int32_t RestoreFrom(CSoundChannel& channel, int32_t kind, const std::vector<uint8_t>& bytes) {
        CMemoryReadStream reader(bytes);
        reader.Window(static_cast<uint32_t>(bytes.size()));
        uint32_t read = 0;
        const int32_t result = channel.Restore(&reader.stream, &read, kind, static_cast<uint32_t>(bytes.size()));
        EXPECT_EQ(read, bytes.size());
        return result;
    }
    // The save form; the counted size must match the written one.
    static std::vector<uint8_t> SavedBytes(const CSoundChannel& channel) {
        uint32_t counted = 0, written = 0;
        EXPECT_EQ(channel.Save(nullptr, &counted), 0);
        CMemoryWriteStream memory;
        channel.Save(&memory.stream, &written);
        EXPECT_EQ(written, counted);
        return memory.Bytes();
    }
    static void SetSaveKey() {
        for (uint8_t& b : g_SaveKey) b = static_cast<uint8_t>(&b - g_SaveKey + 0x41);
    }
    // The page starts now, on the game clock.
    void StampPage(CSoundChannel& channel) { channel.startTime = g_GameClock; }
    // Advances the game clock and the fake time together, updating the channel each 10 ms.
    void Frames(CSoundChannel& channel, uint32_t ms, int32_t hold = 0) {
        for (uint32_t done = 0; done < ms; done += 10) {
            g_GameClock += 10;
            Run(10);
            channel.Update(hold);
        }
    }
    // Runs frames and checks the state of the channel's player after them.
    void FramesExpecting(CSoundChannel& channel, uint32_t ms, int32_t state, int32_t hold = 0) {
        Frames(channel, ms, hold);
        EXPECT_EQ(channel.player->GetState(), state) << "after " << ms << " ms";
    }
    // Loads a sound and restarts it on a page that starts now; it plays after ms of frames.
    void StartPlaying(CSoundChannel& channel, int32_t kind, const char* name, uint32_t count, uint32_t ms) {
        ASSERT_EQ(Parse(channel, kind, Join(Load(name), Status(kSoundRestart, 0, count, 0))), 0);
        StampPage(channel);
        FramesExpecting(channel, ms, kSoundPlaying);
    }

    static Bytes Load(const std::string& name) { return Bytes().ChunkStr("LOAD", name); }
    static Bytes Status(uint32_t code, uint32_t delay, uint32_t count = 1, uint32_t loopBack = 0) {
        Bytes payload;
        payload.U32(code).U32(delay);
        if (code <= 1) payload.U32(count).U32(loopBack);
        return Bytes().Chunk("STAT", payload);
    }
    static Bytes StopWithFade(float speed) { return Bytes().Chunk("STAT", Bytes().U32(kSoundStop).U32(0).F32(speed)); }
    static Bytes Value(const char* tag, int32_t target, float speed, uint32_t delay) {
        return Bytes().Chunk(tag, Bytes().I32(target).F32(speed).U32(delay));
    }

    CTempFolder m_folder;
    std::unique_ptr<CWorkingFolder> m_working;
    std::vector<uint8_t> m_ogg;
    std::vector<uint8_t> m_wav;
};

TEST_F(ChannelTest, LoadPicksThePlayerByExtensionAndTheArchiveByKind) {
    CSoundChannel music;
    music.masterVolume = -700;
    EXPECT_EQ(Parse(music, kSoundKindMusic, Load("BGM/Track.OGG")), 0);
    EXPECT_EQ(music.active, 1);
    EXPECT_NE(dynamic_cast<CDirectSoundOgg*>(music.player), nullptr);
    EXPECT_EQ(music.player->GetMasterVolume(), -700);
    EXPECT_STREQ(music.name, "BGM/Track.OGG");

    CSoundChannel voice;
    EXPECT_EQ(Parse(voice, kSoundKindVoice, Load("voice/V01.wav")), 0);  // loose file, any case
    EXPECT_NE(dynamic_cast<CDirectSoundWave*>(voice.player), nullptr);
    CSoundChannel effect;
    EXPECT_EQ(Parse(effect, kSoundKindEffect, Load("SE/Hit.WAV")), 0);
    EXPECT_TRUE(TakeShownMessages().empty());

    // The archive of another kind does not serve: the music entry is not a sound effect.
    EXPECT_EQ(Parse(effect, kSoundKindEffect, Load("BGM/Track.ogg")), -1);
    EXPECT_EQ(effect.active, 0);
    EXPECT_EQ(TakeShownMessages(), std::vector<std::string>{OpenErrorBox("BGM/Track.ogg")});
    EXPECT_EQ(Parse(effect, kSoundKindEffect, Load("SE/Hit.mp3")), -1);
    EXPECT_EQ(effect.player, nullptr);
    EXPECT_EQ(effect.active, 0);

    // A mask without the voice bit keeps the box away; the load still fails.
    g_ArchiveErrorMask = kReportBgm;
    EXPECT_EQ(Parse(voice, kSoundKindVoice, Load("Voice/none.wav")), -1);
    EXPECT_TRUE(TakeShownMessages().empty());
    EXPECT_EQ(voice.active, 0);
    // Commands on an inactive channel are stored and never applied.
    Parse(voice, kSoundKindVoice, Status(kSoundRestart, 0));
    StampPage(voice);
    Frames(voice, 50);
    EXPECT_EQ(voice.status.pending, 1);
}

TEST_F(ChannelTest, StatusCommandWaitsForItsDelayFromThePageStart) {
    CSoundChannel music;
    ASSERT_EQ(Parse(music, kSoundKindMusic, Join(Load("BGM/Loop.wav"), Status(kSoundRestart, 1500, 0, 0))), 0);
    music.Update(0);  // no page stamp yet: nothing happens
    EXPECT_EQ(music.status.pending, 1);
    StampPage(music);
    FramesExpecting(music, 1490, kSoundStopped);
    g_GameClock += 9;  // 1499 ms
    music.Update(0);
    EXPECT_EQ(music.player->GetState(), kSoundStopped);
    g_GameClock += 1;
    music.Update(0);
    EXPECT_EQ(music.player->GetState(), kSoundPlaying);
    EXPECT_EQ(music.state, kSoundPlaying);
    EXPECT_EQ(music.status.pending, 0);
    EXPECT_EQ(music.playCount, 0);

    // Pause and play resume; stop at once.
    Apply(music, kSoundKindMusic, Status(kSoundPause, 0), 1);  // pause is applied even while held
    EXPECT_EQ(music.state, kSoundPause);
    EXPECT_EQ(music.player->GetState(), kSoundPaused);
    Apply(music, kSoundKindMusic, Status(kSoundPlay, 0, 2, 0));
    EXPECT_EQ(music.player->GetState(), kSoundPlaying);
    EXPECT_EQ(music.playCount, 2);
    Apply(music, kSoundKindMusic, StopWithFade(0.0f));
    EXPECT_EQ(music.player->GetState(), kSoundStopped);
    EXPECT_EQ(music.state, kSoundStop);
}

TEST_F(ChannelTest, VolumeFadeRunsInThePlayerWhileTheChannelRecordsTheTarget) {
    CSoundChannel music;
    StartPlaying(music, kSoundKindMusic, "BGM/Loop.wav", 0, 100);
    Apply(music, kSoundKindMusic, Value("VOLM", -2000, 0.5f, 0));
    EXPECT_EQ(music.volume, -2000);
    Frames(music, 2000);
    EXPECT_NEAR(music.player->GetVolume(), -1000, 30);
    Frames(music, 2100);
    EXPECT_EQ(music.player->GetVolume(), -2000);

    Apply(music, kSoundKindMusic, Join(Value("PAN ", -20000, 0.0f, 0), Value("TEMP", 1500, 0.0f, 0)));
    EXPECT_EQ(music.pan, -20000);  // the command's target as given
    EXPECT_EQ(music.player->GetPan(), -10000);
    EXPECT_EQ(music.player->GetRate(), 1500);
}

TEST_F(ChannelTest, HoldKeepsPlayCommandsPendingButNotVolume) {
    CSoundChannel voice;
    Parse(voice, kSoundKindVoice, Join(Load("Voice/v01.wav"), Status(kSoundRestart, 200), Value("VOLM", -500, 0.0f, 200)));
    StampPage(voice);
    Frames(voice, 300, 1);
    EXPECT_EQ(voice.status.pending, 1);
    EXPECT_EQ(voice.player->GetState(), kSoundStopped);
    EXPECT_EQ(voice.volumeCommand.pending, 0);
    EXPECT_EQ(voice.player->GetVolume(), -500);
    FramesExpecting(voice, 10, kSoundPlaying, 0);
}

TEST_F(ChannelTest, StopAtOnceOrWithAFadeOut) {
    CSoundChannel effect;
    StartPlaying(effect, kSoundKindEffect, "SE/Hit.WAV", 0, 100);
    Parse(effect, kSoundKindEffect, StopWithFade(1.0f));
    FramesExpecting(effect, 4900, kSoundPlaying);  // 1.0 per ms: below -5000 after 5 s
    FramesExpecting(effect, 200, kSoundStopped);

    // RLAS closes a playing sound at once.
    Parse(effect, kSoundKindEffect, Status(kSoundRestart, 0, 0, 0));
    FramesExpecting(effect, 50, kSoundPlaying);
    TakeOutput();
    Parse(effect, kSoundKindEffect, Bytes().Empty("RLAS"));
    EXPECT_EQ(effect.player, nullptr);
    EXPECT_EQ(effect.active, 0);
    EXPECT_STREQ(effect.name, "");
    Run(100);
    const std::vector<int16_t> output = TakeOutput();
    EXPECT_TRUE(std::all_of(output.begin(), output.end(), [](int16_t s) { return s == 0; }));
}

TEST_F(ChannelTest, ArchiveEntriesAreReleasedWithTheirPlayer) {
    const int before = CountOpenFileDescriptors();
    {
        CSoundChannel music;
        StartPlaying(music, kSoundKindMusic, "BGM/Track.ogg", 1, 300);
        EXPECT_EQ(CountOpenFileDescriptors(), before + 1);  // the entry's own handle
        ASSERT_EQ(Parse(music, kSoundKindMusic, Load("BGM/Loop.wav")), 0);
        EXPECT_EQ(CountOpenFileDescriptors(), before + 1);
    }
    EXPECT_EQ(CountOpenFileDescriptors(), before);
}

TEST_F(ChannelTest, SaveFormAndItsRestore) {
    std::memset(g_SaveKey, 0, sizeof g_SaveKey);
    CSoundChannel music;
    music.masterVolume = -300;
    Parse(music, kSoundKindMusic,
          Join(Load("BGM/Loop.wav"), Status(kSoundRestart, 800, 0, 2500), Value("VOLM", -1200, 0.0f, 0),
               Value("PAN ", 300, 0.0f, 5000)));
    StampPage(music);
    music.Update(0);  // the volume applies; the restart and the pan wait
    const std::vector<uint8_t> bytes = SavedBytes(music);
    const Bytes expected = Bytes()
                               .ChunkU32("EFLG", 1)
                               .ChunkStr("FNAM", "BGM/Loop.wav")
                               .Chunk("STAT", Bytes().U32(0).U32(0).U32(2500))
                               .ChunkU32("VOLM", static_cast<uint32_t>(-1200))
                               .ChunkU32("PAN ", 300)
                               .ChunkU32("TEMP", 1000);
    EXPECT_EQ(bytes, expected.bytes);

    // Restored on a music channel the sound restarts from its beginning at the first update.
    SetSaveKey();
    const std::vector<uint8_t> masked = SavedBytes(music);
    EXPECT_NE(masked, bytes);
    CSoundChannel restored;
    restored.masterVolume = -300;
    EXPECT_EQ(RestoreFrom(restored, kSoundKindMusic, masked), 0);
    EXPECT_EQ(restored.active, 1);
    EXPECT_STREQ(restored.name, "BGM/Loop.wav");
    // pending, command, play count, loop-back, fade speed, delay; pending, target, speed, delay.
    EXPECT_THAT(restored.status, FieldsAre(1, kSoundRestart, _, 2500, _, 0u));
    EXPECT_EQ(restored.volumeCommand.target, -1200);
    EXPECT_THAT(restored.panCommand, FieldsAre(_, 300, _, 0u));
    StampPage(restored);
    FramesExpecting(restored, 20, kSoundPlaying);
    EXPECT_EQ(restored.player->GetVolume(), -1200);
    EXPECT_EQ(restored.player->GetMasterVolume(), -300);
    EXPECT_EQ(restored.player->GetPan(), 300);

    // On a sound-effect channel nothing restarts.
    ASSERT_EQ(WritePackArchive("SE.pac", {{"BGM/Loop.wav", m_wav}}), 0);
    CArchiveParams params{};
    std::strcpy(params.names[kSeArchive], "SE.pac");
    OpenArchives(&params, nullptr);  // clears the save key
    SetSaveKey();
    CSoundChannel effect;
    EXPECT_EQ(RestoreFrom(effect, kSoundKindEffect, masked), 0);
    EXPECT_EQ(effect.active, 1);
    EXPECT_EQ(effect.status.pending, 0);
    StampPage(effect);
    FramesExpecting(effect, 50, kSoundStopped);
}

TEST_F(ChannelTest, InactiveChannelSavesOnlyItsFlagAndRestoringItReleases) {
    std::memset(g_SaveKey, 0, sizeof g_SaveKey);
    CSoundChannel held;
    EXPECT_EQ(SavedBytes(held), Bytes().ChunkU32("EFLG", 0).bytes);
    ASSERT_EQ(Parse(held, kSoundKindMusic, Load("BGM/Loop.wav")), 0);
    EXPECT_EQ(RestoreFrom(held, kSoundKindMusic, Bytes().ChunkU32("EFLG", 0).bytes), 0);
    EXPECT_EQ(held.active, 0);
    EXPECT_EQ(held.player, nullptr);
    EXPECT_STREQ(held.name, "");

    // A paused sound is saved with its code alone and is not restarted.
    ASSERT_EQ(Parse(held, kSoundKindMusic, Join(Load("BGM/Loop.wav"), Status(kSoundPause, 0))), 0);
    EXPECT_EQ(SavedBytes(held).size(), 65u + 12 + 4);
    // A missing file fails the restore; the rest of the form is still read.
    const Bytes missing =
        Bytes().ChunkU32("EFLG", 1).ChunkStr("FNAM", "BGM/None.ogg").Chunk("STAT", Bytes().U32(1).U32(1).U32(0));
    EXPECT_EQ(RestoreFrom(held, kSoundKindMusic, missing.bytes), -1);
    EXPECT_EQ(held.active, 0);
}

TEST_F(ChannelTest, DamagedPayloadsAreBoundedAndConsumedExactly) {
    CSoundChannel music;
    // A LOAD name without a terminator, longer than a name can be: cut, and the next command
    // still read from the right place.
    const std::string longName(400, 'a');
    const Bytes payload =
        Join(Bytes().Chunk("LOAD", Bytes().Raw(longName.data(), longName.size())), Value("VOLM", -100, 0.0f, 0));
    EXPECT_EQ(Parse(music, kSoundKindMusic, payload), -1);
    EXPECT_EQ(std::strlen(music.name), 259u);
    EXPECT_EQ(music.active, 0);
    EXPECT_THAT(music.volumeCommand, FieldsAre(1, -100, _, _));

    // Sub-chunks larger than their parent, short ones and unknown tags.
    const Bytes odd = Bytes().ChunkU32("XTRA", 7).ChunkU32("STAT", 0).Tag("TEMP").U32(0xFFFFFF00u).U32(1200);
    EXPECT_EQ(Parse(music, kSoundKindMusic, odd), 0);
    EXPECT_THAT(music.status, FieldsAre(1, _, _, _, _, 0u));
    EXPECT_EQ(music.tempoCommand.target, 1200);

    // A stream that ends early reports what it consumed.
    CMemoryReadStream shortStream(Status(kSoundPlay, 5).bytes);
    shortStream.Window(1000);
    uint32_t read = 0;
    music.ParseCommand(&shortStream.stream, kSoundKindMusic, 1000, &read);
    EXPECT_EQ(read, 24u);
}

TEST_F(ChannelTest, SystemSoundsComeFromLooseFilesOrSystemPac) {
    ASSERT_EQ(WritePackArchive("System.pac", {{"System/Select.ogg", m_ogg}}), 0);
    OpenSystemArchive(nullptr);
    IDirectSoundPlayer* slot = nullptr;
    EXPECT_EQ(LoadSystemSound(m_device.get(), &slot, "System/Select.ogg"), 0);
    ASSERT_NE(dynamic_cast<CDirectSoundOgg*>(slot), nullptr);
    EXPECT_EQ(slot->Play(1, 0), 0);
    m_folder.Write("System/OnCursor.wav", m_wav);
    EXPECT_EQ(LoadSystemSound(m_device.get(), &slot, "System\\OnCursor.WAV"), 0);
    EXPECT_NE(dynamic_cast<CDirectSoundWave*>(slot), nullptr);
    EXPECT_TRUE(TakeShownMessages().empty());

    EXPECT_EQ(LoadSystemSound(m_device.get(), &slot, "System/Missing.ogg"), -1);
    ASSERT_NE(slot, nullptr);  // stays in the slot, unopened
    EXPECT_EQ(slot->Play(0, 0), -1);
    EXPECT_EQ(LoadSystemSound(m_device.get(), &slot, "System/Select.mid"), -1);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(TakeShownMessages(),
              (std::vector<std::string>{OpenErrorBox("System/Missing.ogg"), OpenErrorBox("System/Select.mid")}));
    CloseSystemArchive();

    // The extension is that of the last path component.
    EXPECT_EQ(CreatePlayerForPath("a.ogg/b"), nullptr);
    EXPECT_EQ(CreatePlayerForPath("a.ogg\\b"), nullptr);
    std::unique_ptr<IDirectSoundPlayer> named(CreatePlayerForPath("\x95\x5C\x83\x5C.OgG"));
    EXPECT_NE(dynamic_cast<CDirectSoundOgg*>(named.get()), nullptr);
}

}  // namespace
