#include <gtest/gtest.h>

#include <string>

#include "platform/input_devices.h"
#include "screens/backlog.h"
#include "tests/screens/adventure_fixture.h"

namespace {

std::string NumberedPages(int count) {
    std::string texts;
    for (int i = 1; i <= count; ++i) texts += (i > 1 ? "|page " : "page ") + std::to_string(i);
    return PlainPages(texts);
}

constexpr SPoint kPageBack = {730, 90};
constexpr SPoint kLineBack = {730, 160};
constexpr SPoint kLineForward = {730, 290};
constexpr SPoint kPageForward = {730, 360};
constexpr SPoint kSecondVoiceIcon = {70, 49 + 100 + 20};

}  // namespace

class BacklogTest : public AdventureTest {
protected:
    // Starts on the source, turns `pages` pages and opens the backlog with the wheel.
    void OpenAfter(const std::string& source, int pages) {
        Start(source);
        RunFrames(3);
        for (int i = 0; i < pages; ++i) NextPage();
        WheelFrame(120);
        ASSERT_EQ(adventure.subMode, kAdventureBacklog);
        RunFrames(40);
        ASSERT_EQ(adventure.backlog.state, 1);
    }
    int32_t Scroll(SPoint button) {
        ClickFrame(button.x, button.y);
        return backlog().scroll;
    }
    CBacklog& backlog() { return adventure.backlog; }
};

TEST_F(BacklogTest, ThreePagesShowThreeLinesOldestOnTopWithoutScrollingAndCloseWithAFade) {
    OpenAfter(NumberedPages(4), 2);
    ASSERT_EQ(adventure.engine.messageLog.Count(), 3);
    EXPECT_EQ(backlog().lines[0].logIndex, 2);
    EXPECT_EQ(backlog().lines[2].logIndex, 0);
    EXPECT_EQ(backlog().lines[2].used, 1);
    EXPECT_EQ(backlog().lines[3].used, 0);
    EXPECT_NE(backlog().lines[0].texture, nullptr);
    WheelFrame(120);
    Scroll(kPageBack);
    EXPECT_EQ(Scroll(kLineBack), 0);
    // Drawn over the scene: the background, and line back in its hovered look since the click.
    RunFrames(1);
    EXPECT_SHOWS(5, 5, kTagBacklog, 5, 5);
    EXPECT_SHOWS(699, 124, kTagBacklog, 72, 672);
    EXPECT_SHOWS(699, 54, kTagBacklog, 0, 600);

    RightClickFrame();
    EXPECT_EQ(backlog().state, 2);
    ClickFrame(5, 5);  // a click during the fade-out closes at once
    EXPECT_EQ(adventure.subMode, kAdventureScript);
    EXPECT_EQ(adventure.engine.windowHiddenByUser, 0);
    EXPECT_EQ(backlog().picture, nullptr);
    EXPECT_EQ(adventure.engine.pageNumber, 3u);  // the click did not reach the engine
}

TEST_F(BacklogTest, ThirtyTwoPagesScrollByPagesAndLinesWithinTheLog) {
    OpenAfter(NumberedPages(34), 33);
    ASSERT_EQ(adventure.engine.messageLog.Count(), 32);
    EXPECT_EQ(Scroll(kPageBack), 5);
    EXPECT_EQ(backlog().lines[0].logIndex, 9);
    backlog().scroll = 25;
    EXPECT_EQ(Scroll(kPageBack), 27);
    Scroll(kPageBack);
    Scroll(kLineBack);
    WheelFrame(120);
    EXPECT_EQ(backlog().scroll, 27);  // the oldest page is already at the top
    EXPECT_EQ(backlog().lines[0].logIndex, 31);
    EXPECT_EQ(Scroll(kLineForward), 26);
    WheelFrame(-120);
    EXPECT_EQ(backlog().scroll, 25);
    backlog().scroll = 3;
    EXPECT_EQ(Scroll(kPageForward), 0);
    EXPECT_EQ(Scroll(kPageForward), 0);
}

TEST_F(BacklogTest, ReplayingTheSameLineTwiceKeepsItsLoadedVoice) {
    OpenAfter(PlainPages("quiet") + "page\n  voice 1: load \"Voice/V1.ogg\"; play\n  text: noeffect; say \"spoken\"\n" +
                  "page\n  voice 1: release\n  text: noeffect; say \"after\"\n",
              2);
    ASSERT_EQ(adventure.engine.messageLog.Count(), 3);
    // Lines: 0 "quiet", 1 "spoken" (with its voice icon), 2 "after".
    EXPECT_EQ(backlog().lines[1].hasVoice, 1);
    EXPECT_EQ(backlog().lines[0].hasVoice, 0);
    ClickFrame(kSecondVoiceIcon.x, kSecondVoiceIcon.y);
    CSoundChannel& channel = backlog().voiceChannels[1];
    ASSERT_NE(channel.player, nullptr);
    EXPECT_STREQ(channel.name, "Voice/V1.ogg");
    const IDirectSoundPlayer* loaded = channel.player;
    RunFrames(2);
    EXPECT_EQ(channel.status.pending, 0);  // the replay command ran
    EXPECT_EQ(channel.player->GetState(), kSoundPlaying);
    ClickFrame(kSecondVoiceIcon.x, kSecondVoiceIcon.y);
    EXPECT_EQ(channel.player, loaded);     // not reloaded
    EXPECT_EQ(channel.status.pending, 1);  // but told to play again from the start
    EXPECT_EQ(channel.status.command, kSoundRestart);
    EXPECT_EQ(backlog().voiceChannels[0].player, nullptr);

    // The icon of a line without a voice is never hovered, by the mouse or the keys.
    MoveFrame(70, 49 + 20);
    EXPECT_EQ(backlog().hover, -1);
    backlog().hover = 4;
    KeyFrame(DIK_RIGHT);
    EXPECT_EQ(backlog().hover, 6);
    KeyFrame(DIK_RIGHT);
    EXPECT_EQ(backlog().hover, 0);
    KeyFrame(DIK_LEFT);
    EXPECT_EQ(backlog().hover, 6);
}
