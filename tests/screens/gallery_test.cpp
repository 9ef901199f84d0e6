// The picture and music galleries on a folder of coded pictures and short tracks: the picture
// table and its limits, the grid and its keys, the full view, the ways out; the music gallery's
// track changes, volume steps and keys.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/system_data.h"
#include "files/table_lines.h"
#include "platform/clock.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/render_context.h"
#include "screens/bgm_mode.h"
#include "screens/cg_mode.h"
#include "sound/sound_player.h"
#include "tests/screens/screen_fixture.h"
#include "tools/lib/pack_writer.h"
#include "tools/lib/sound_writer.h"

namespace {

// Tags of this folder's coded pictures.
enum : uint32_t { kCgBg = 1, kCgSheet, kBgmBg, kBgmSheet, kPictureA, kPictureB, kPictureC, kPackedPicture };

// The galleries' pictures and sounds; Image.pac holds one picture and BGM.pac the third track.
const std::string& GalleryFolder() {
    static CTempFolder folder;
    static bool made = false;
    if (made) return folder.Path();
    made = true;
    const std::string& root = folder.Path();
    WriteCodedPicture(root, "System/Extra/CGModeBG.bmp", kCgBg, 800, 600);
    WriteCodedPicture(root, "System/Extra/CGModeButton.bmp", kCgSheet, 600, 810);
    WriteCodedPicture(root, "System/Extra/BGMModeBG.bmp", kBgmBg, 800, 600);
    WriteCodedPicture(root, "System/Extra/BGMModeButton.bmp", kBgmSheet, 1020, 350);
    WriteCodedPicture(root, "Image/CG/A.bmp", kPictureA, 800, 600);
    WriteCodedPicture(root, "Image/CG/B.bmp", kPictureB, 800, 600);
    WriteCodedPicture(root, "Image/CG/C.bmp", kPictureC, 800, 600);
    WriteCodedPicture(root, "packed.teyl", kPackedPicture, 800, 600);
    WritePackArchive(root + "/Image.pac", {{"Image/CG/Packed.bmp", CTempFolder::Read(root + "/packed.teyl")}});
    std::vector<int16_t> samples(2 * 4410);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 40) % 2 ? 3000 : -3000;
    const std::vector<uint8_t> ogg = EncodeOgg(samples, 2, 44100);
    for (const char* name : {"System/OnCursor.ogg", "System/Select.ogg", "System/Extra/BGM.ogg", "BGM/BGM01.ogg",
                             "BGM/BGM02.ogg"})
        folder.Write(name, ogg);
    WritePackArchive(root + "/BGM.pac", {{"BGM/BGM03.ogg", ogg}});
    return folder.Path();
}

// Entry 0: A, then a picture that is gone; 1: locked; 2: B and C, and a locked line; 3: a missing
// picture; 5: a picture only in Image.pac. Flags 0 and 2-5 are unlocked.
const char kTable[] =
    "0 0 \"Image/CG/A.bmp\"\n"
    "0 0 \"Image/CG/Gone.bmp\"\n"
    "1 1 \"Image/CG/B.bmp\"\r\n"
    "\n"
    "2\t2\t\"Image/CG/B.bmp\"\n"
    "1 2 \"Image/CG/A.bmp\"\n"
    "3 2 \"Image/CG/C.bmp\"\n"
    "4 3 \"Image/CG/Missing.bmp\"\n"
    "5 5 \"Image/CG/Packed.bmp\"\n"
    "-1\n"
    "0 9 \"Image/CG/A.bmp\"\n";

// ファイルのオープンに失敗しました\n"
const std::string kOpenFailed = "Error!!|\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCC\x83\x49\x81\x5B\x83\x76\x83\x93\x82"
                                "\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\n\"";

class GalleryTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        m_workingFolder.reset();
        m_workingFolder = std::make_unique<CWorkingFolder>(GalleryFolder());
        std::memset(g_SystemCgFlags, 0, sizeof g_SystemCgFlags);
        for (int flag : {0, 2, 3, 4, 5}) g_SystemCgFlags[flag] = 1;
        WriteFileBytes(GalleryFolder() + "/System/Extra/CGTable.txt", std::vector<uint8_t>(kTable, kTable + sizeof kTable - 1));
    }
    void TearDown() override {
        cg_.End();
        bgm_.End();
        ScreenTest::TearDown();
    }
    // One tick of the picture gallery with the input given before; its result.
    int32_t CgTick(uint32_t ms = 15) {
        const int32_t result = cg_.Frame();
        NextTick(ms);
        return result;
    }
    void BgmTick(uint32_t ms = 15) {
        bgm_.Frame();
        NextTick(ms);
        ASSERT_TRUE(SettleFakeClock());
    }
    // Opens the picture gallery and waits for its fade-in.
    void OpenCg() {
        ASSERT_EQ(cg_.Init(), 0);
        CgTick(kGalleryFadeMs);
        CgTick();
        ASSERT_EQ(cg_.state, kCgList);
    }
    void OpenBgm() {
        ASSERT_EQ(bgm_.Init(), 0);
        BgmTick(kGalleryFadeMs);
        BgmTick();
        ASSERT_EQ(bgm_.state, kBgmIdle);
    }
    // A click on a music-gallery button and the tick that takes it.
    void ClickButton(int32_t button) {
        const SPoint centre = button < kBgmTrackCount ? SPoint{200, 112 + 42 * button + 17}
                              : button < kBgmStop     ? SPoint{205 + 30 * (button - kBgmMusicOn), 497}
                              : button == kBgmStop    ? SPoint{650, 495}
                                                      : SPoint{700, 565};
        Click(centre.x, centre.y);
        BgmTick();
    }
    CCgMode cg_;
    CBgmMode bgm_;
};

TEST(CgTable, LinesOutsideTheLimitsAreSkippedAndANegativeFlagEndsTheTable) {
    uint8_t unlocked[1024] = {};
    unlocked[3] = unlocked[1023] = 1;
    CCgTable table;
    table.Clear();
    const std::pair<std::string, bool> lines[] = {
        {"  \t ", true},         {"1024 1 \"a.bmp\"", true},           {"3 20 \"a.bmp\"", true},
        {"3 -1 \"a.bmp\"", true}, {"3 4", true} /* no path */,          {"3 4 \"unclosed.bmp", true},
        {"1023 2 \"b c.bmp\"", true}, {"7 6 \"locked.bmp\"", true},
        // Numbers beyond 32 bits saturate, never wrap into flag 3 or entry 5.
        {"4294967299 5 \"wrap.bmp\"", true}, {"3 4294967301 \"wrap.bmp\"", true},
        {"-3 0 \"after.bmp\"", false},
    };
    for (const auto& [line, goesOn] : lines) EXPECT_EQ(table.AddLine(line.c_str(), unlocked), goesOn) << line;
    EXPECT_EQ(table.entryCount, 7) << "the locked line of entry 6 still shows its place";
    EXPECT_STREQ(table.entries[2].names[0], "b c.bmp");
    for (int entry : {0, 1, 3, 4, 5, 6}) EXPECT_EQ(table.entries[entry].count, 0) << entry;
    for (int i = 0; i < 17; ++i) table.AddLine(("3 8 \"p" + std::to_string(i) + ".bmp\"").c_str(), unlocked);
    EXPECT_EQ(table.entries[8].count, kCgPicturesPerEntry);
    EXPECT_STREQ(table.entries[8].names[15], "p15.bmp");
    EXPECT_FALSE(table.AddLine("-4294967293 0 \"a.bmp\"", unlocked)) << "a flag far below zero is still negative";

    // Lines of up to 255 bytes (CR LF or LF) pass in pieces of any size; longer ones are skipped whole.
    const std::string fits = "3 1 \"" + std::string(kTableLineMax - 6, 'x') + "\"";
    const std::string text = fits + "\r\n" + std::string(kTableLineMax + 1, 'y') + "\n" + std::string(5000, 'z') + "\nend";
    for (size_t piece : {1u, 7u, 256u, 100000u}) {
        std::vector<std::string> seen;
        CTableLineSplitter splitter([&](const char* line) {
            seen.push_back(line);
            return true;
        });
        for (size_t at = 0; at < text.size(); at += piece) splitter.Feed(text.data() + at, std::min(piece, text.size() - at));
        splitter.Finish();
        EXPECT_EQ(seen, (std::vector<std::string>{fits, "end"})) << piece;
    }
}

TEST_F(GalleryTest, TheGridShowsUnlockedLockedAndHoveredThumbnailsAndKeysSkipLockedOnes) {
    ASSERT_EQ(cg_.Init(), 0);
    EXPECT_EQ(cg_.table.entryCount, 6);
    CgTick();
    EXPECT_EQ(Pixel(400, 300), 0u) << "the fade-in starts from black";
    OpenCg();
    MoveMouse(212 + 5, 75 + 5);  // over the locked entry 1
    CgTick();
    EXPECT_EQ(cg_.hover, -1) << "a locked entry is never hovered";
    MoveMouse(344 + 60, 75 + 45);
    CgTick();
    EXPECT_EQ(cg_.hover, 2);
    CgTick();
    EXPECT_SHOWS(80 + 10, 75 + 10, kCgSheet, 10, 450 + 10);    // entry 0: normal cell
    EXPECT_SHOWS(212 + 5, 75 + 5, kCgSheet, 5, 5);             // entry 1: the locked cell
    EXPECT_SHOWS(344 + 5, 75 + 5, kCgSheet, 240 + 5, 90 + 5);  // entry 2: hovered cell
    EXPECT_SHOWS(80 + 5, 177 + 5, kCgSheet, 5, 450 + 90 + 5);  // entry 5: row 1, column 0
    EXPECT_SHOWS(212 + 5, 177 + 5, kCgBg, 212 + 5, 177 + 5) << "the grid stops at the entry count";
    EXPECT_SHOWS(501 + 5, 548 + 5, kCgSheet, 263 + 5, 5);      // to the movie gallery
    EXPECT_SHOWS(700, 548 + 5, kCgSheet, 120 + 58, 5);         // back

    g_SystemCgFlags[5] = 0;  // entry 5 locked too
    OpenCg();
    const std::pair<uint8_t, int32_t> steps[] = {
        {DIK_DOWN, 0}, {DIK_RIGHT, 2}, {DIK_DOWN, 3}, {DIK_DOWN, kCgMovieButton}, {DIK_DOWN, kCgBackButton},
        {DIK_DOWN, 0}, {DIK_UP, kCgBackButton}, {DIK_LEFT, kCgMovieButton}, {DIK_UP, 3}, {DIK_UP, 2},
    };
    for (const auto& [key, hover] : steps) {
        PressKey(key);
        CgTick(kKeyGuardMs);
        EXPECT_EQ(cg_.hover, hover) << "key " << int(key);
    }
}

TEST_F(GalleryTest, TheFullViewStepsThroughAnEntryAndPicturesThatFailReturnToTheList) {
    OpenCg();
    TakeShownMessages();
    Click(344 + 60, 75 + 45);  // entry 2: B, then C, then the list
    CgTick();
    ASSERT_EQ(cg_.state, kCgView);
    CgTick(kKeyGuardMs);
    EXPECT_SHOWS(799, 599, kPictureB, 799, 599);
    PressKey(DIK_RETURN);
    CgTick(kKeyGuardMs);
    CgTick();
    EXPECT_SHOWS(10, 10, kPictureC, 10, 10);
    Click(10, 10);
    CgTick();
    EXPECT_EQ(cg_.state, kCgList);

    Click(80 + 5, 177 + 5);  // entry 5: its picture is only in the gallery's Image.pac
    CgTick();
    CgTick(kKeyGuardMs);
    EXPECT_SHOWS(123, 45, kPackedPicture, 123, 45);
    Click(10, 10);
    CgTick();

    Click(80 + 3 * 132 + 5, 75 + 5);  // entry 3: its only picture is missing
    CgTick();
    EXPECT_EQ(cg_.state, kCgList);
    Click(80 + 5, 75 + 5);  // entry 0: A, then a picture that is gone
    CgTick();
    ASSERT_EQ(cg_.state, kCgView);
    Click(10, 10);
    CgTick();
    EXPECT_EQ(cg_.state, kCgList);
    EXPECT_EQ(TakeShownMessages(), (std::vector<std::string>{kOpenFailed + "Image/CG/Missing.bmp\"",
                                                             kOpenFailed + "Image/CG/Gone.bmp\""}));

    // A left and a right release in one tick open the picture and nothing more.
    Click(344 + 60, 75 + 45);
    RightClick();
    CgTick();
    EXPECT_EQ(cg_.state, kCgView);
    EXPECT_EQ(cg_.music->GetState(), kSoundPlaying);
    CgTick(kGalleryFadeMs);
    EXPECT_EQ(cg_.state, kCgView) << "no fade-out started behind the picture";
}

TEST_F(GalleryTest, TheRightClickFollowsTheHoverAndAMissingTableFailsTheStart) {
    const std::pair<SPoint, int32_t> ways[] = {{{560, 560}, kCgToMovieGallery}, {{85, 80}, kCgToTitle},
                                               {{700, 560}, kCgToTitle}};
    for (const auto& [point, result] : ways) {
        OpenCg();
        MoveMouse(point.x, point.y);
        CgTick();
        RightClick();
        CgTick();
        EXPECT_EQ(cg_.music->GetState(), kSoundPlaying) << "the music fades out";
        CgTick(kGalleryFadeMs - 30);
        EXPECT_EQ(CgTick(), kCgRunning);
        EXPECT_EQ(CgTick(), result);
    }
    std::filesystem::remove(GalleryFolder() + "/System/Extra/CGTable.txt");
    TakeShownMessages();
    EXPECT_EQ(cg_.Init(), -1);
    EXPECT_EQ(TakeShownMessages(), std::vector<std::string>{kOpenFailed + "System/Extra/CGTable.txt\""});
}

TEST_F(GalleryTest, ANewTrackStartsOnlyOnceTheOldOneHasFadedOut) {
    OpenBgm();
    ClickButton(0);
    BgmTick();
    EXPECT_EQ(bgm_.currentTrack, 0);
    EXPECT_EQ(bgm_.player.GetMasterVolume(), -2000);
    ClickButton(1);
    BgmTick(800);
    BgmTick();
    EXPECT_EQ(bgm_.currentTrack, 0) << "still fading at speed 5";
    BgmTick(300);
    BgmTick();
    EXPECT_EQ(bgm_.currentTrack, 1);
    EXPECT_EQ(bgm_.player.GetState(), kSoundPlaying);

    ClickButton(2);  // only inside the gallery's BGM.pac
    BgmTick(1100);
    BgmTick();
    EXPECT_EQ(bgm_.currentTrack, 2);
    TakeShownMessages();
    ClickButton(3);  // nowhere
    BgmTick(1100);
    BgmTick();
    EXPECT_EQ(bgm_.currentTrack, -1);
    EXPECT_EQ(TakeShownMessages(), std::vector<std::string>{kOpenFailed + "BGM/BGM04.ogg\""});
}

TEST_F(GalleryTest, VolumeAndMuteLastOnlyInTheMusicGalleryAndKeysSkipStopWhileNothingPlays) {
    const CConfigBlock before = g_Config;
    OpenBgm();
    EXPECT_SHOWS(583 + 5, 478 + 5, kBgmSheet, 5, 245 + 5) << "stop looks disabled";
    EXPECT_SHOWS(260 + 150 + 5, 483 + 5, kBgmSheet, 341 + 145 + 5, 303 + 5) << "step 5 (-2000) is active";
    const std::pair<uint8_t, int32_t> keys[] = {{DIK_DOWN, kBgmBack}, {DIK_UP, kBgmFirstVolume + 9}};
    bgm_.hover = kBgmFirstVolume + 9;
    for (const auto& [key, hover] : keys) {
        PressKey(key);
        BgmTick(kKeyGuardMs);
        EXPECT_EQ(bgm_.hover, hover);
    }
    ClickButton(0);
    BgmTick(kKeyGuardMs);
    bgm_.hover = kBgmBack;
    PressKey(DIK_UP);
    BgmTick(kKeyGuardMs);
    EXPECT_EQ(bgm_.hover, kBgmStop) << "stop is reached while a track plays";

    const std::pair<int32_t, int32_t> volumes[] = {
        {kBgmMusicOff, -10000}, {kBgmFirstVolume + 9, -10000} /* muted: only stored */,
        {kBgmMusicOn, 0},       {kBgmFirstVolume + 2, -3500}};
    for (const auto& [button, volume] : volumes) {
        ClickButton(button);
        EXPECT_EQ(bgm_.player.GetMasterVolume(), volume) << button;
    }
    BgmTick();
    EXPECT_SHOWS(260 + 60 + 5, 483 + 5, kBgmSheet, 341 + 58 + 5, 303 + 5);
    EXPECT_SHOWS(80, 117, kBgmSheet, 680 + 5, 5) << "track 1 shows as current";
    EXPECT_EQ(std::memcmp(&before, &g_Config, sizeof before), 0) << "the configuration is untouched";
    ClickButton(kBgmBack);
    BgmTick(kGalleryFadeMs);
    EXPECT_EQ(bgm_.Frame(), 1);
}

TEST_F(GalleryTest, ADamagedBgmPacLeavesTheLooseTracks) {
    const std::string pac = GalleryFolder() + "/BGM.pac";
    const std::vector<uint8_t> good = CTempFolder::Read(pac);
    WriteFileBytes(pac, std::vector<uint8_t>(good.begin(), good.begin() + 60));
    OpenBgm();
    EXPECT_EQ(bgm_.archive, nullptr);
    ClickButton(0);
    BgmTick();
    EXPECT_EQ(bgm_.currentTrack, 0);
    WriteFileBytes(pac, good);
}

}  // namespace
