#include <gtest/gtest.h>

#include <string>

#include "platform/input_devices.h"
#include "screens/backlog.h"
#include "tests/screens/adventure_fixture.h"

namespace {

std::string NumberedPages(int count) {
    std::string texts;
    for (int i = 1; i <= count; ++i) texts += (i > 1 ? "|" : "") + std::string("page ") + std::to_string(i);
    return PlainPages(texts);
}

constexpr SPoint kPageBack = {730, 90};
constexpr SPoint kLineBack = {730, 160};
constexpr SPoint kLineForward = {730, 290};
constexpr SPoint kPageForward = {730, 360};

}  // namespace

class BacklogTest : public AdventureTest {
protected:
    // Opens the backlog with the wheel and lets it fade in.
    void OpenBacklog() {
        NextTick();
        TurnWheel(120);
        Frame();
        ASSERT_EQ(adventure.subMode, kAdventureBacklog);
        RunFrames(40);
        ASSERT_EQ(adventure.backlog.state, 1);
    }
    void ClickButton(SPoint at) { ClickFrame(at.x, at.y); }
    CBacklog& backlog() { return adventure.backlog; }
};

TEST_F(BacklogTest, ThreePagesShowThreeLinesOldestOnTopWithoutScrolling) {
    Start(NumberedPages(4));
    RunFrames(3);
    NextPage();
    NextPage();
    ASSERT_EQ(adventure.engine.messageLog.Count(), 3);
    OpenBacklog();
    EXPECT_EQ(backlog().lines[0].logIndex, 2);
    EXPECT_EQ(backlog().lines[2].logIndex, 0);
    EXPECT_EQ(backlog().lines[2].used, 1);
    EXPECT_EQ(backlog().lines[3].used, 0);
    EXPECT_NE(backlog().lines[0].texture, nullptr);
    NextTick();
    TurnWheel(120);
    Frame();
    ClickButton(kPageBack);
    ClickButton(kLineBack);
    EXPECT_EQ(backlog().scroll, 0);
    // The screen is drawn over the scene: background and the page-back button in its hovered look.
    NextTick();
    Frame();
    EXPECT_SHOWS(5, 5, kTagBacklog, 5, 5);
    EXPECT_SHOWS(699, 124, kTagBacklog, 72, 672);  // line back, hovered since the click
    EXPECT_SHOWS(699, 54, kTagBacklog, 0, 600);
}

TEST_F(BacklogTest, ThirtyTwoPagesScrollByPagesAndLinesWithinTheLog) {
    Start(NumberedPages(34));
    RunFrames(3);
    for (int i = 0; i < 33; ++i) NextPage();
    ASSERT_EQ(adventure.engine.messageLog.Count(), 32);
    OpenBacklog();
    ClickButton(kPageBack);
    EXPECT_EQ(backlog().scroll, 5);
    EXPECT_EQ(backlog().lines[0].logIndex, 9);
    backlog().scroll = 25;
    ClickButton(kPageBack);
    EXPECT_EQ(backlog().scroll, 27);
    ClickButton(kPageBack);
    ClickButton(kLineBack);
    NextTick();
    TurnWheel(120);
    Frame();
    EXPECT_EQ(backlog().scroll, 27);  // the oldest page is already at the top
    EXPECT_EQ(backlog().lines[0].logIndex, 31);
    ClickButton(kLineForward);
    EXPECT_EQ(backlog().scroll, 26);
    NextTick();
    TurnWheel(-120);
    Frame();
    EXPECT_EQ(backlog().scroll, 25);
    backlog().scroll = 3;
    ClickButton(kPageForward);
    EXPECT_EQ(backlog().scroll, 0);
    ClickButton(kPageForward);
    EXPECT_EQ(backlog().scroll, 0);
}

TEST_F(BacklogTest, ReplayingTheSameLineTwiceKeepsItsLoadedVoice) {
    Start(PlainPages("quiet") + "page\n  voice 1: load \"Voice/V1.ogg\"; play\n  text: noeffect; say \"spoken\"\n" +
          "page\n  voice 1: release\n  text: noeffect; say \"after\"\n");
    RunFrames(3);
    NextPage();
    RunFrames(3);
    NextPage();
    ASSERT_EQ(adventure.engine.messageLog.Count(), 3);
    OpenBacklog();
    // Lines: 0 "quiet", 1 "spoken" (with its voice icon), 2 "after".
    EXPECT_EQ(backlog().lines[1].hasVoice, 1);
    EXPECT_EQ(backlog().lines[0].hasVoice, 0);
    ClickButton({70, 49 + 100 + 20});
    CSoundChannel& channel = backlog().voiceChannels[1];
    ASSERT_NE(channel.player, nullptr);
    EXPECT_STREQ(channel.name, "Voice/V1.ogg");
    const IDirectSoundPlayer* loaded = channel.player;
    RunFrames(2);
    EXPECT_EQ(channel.status.pending, 0);  // the replay command ran
    EXPECT_EQ(channel.player->GetState(), kSoundPlaying);
    ClickButton({70, 49 + 100 + 20});
    EXPECT_EQ(channel.player, loaded);  // not reloaded
    EXPECT_EQ(channel.status.pending, 1);  // but told to play again from the start
    EXPECT_EQ(channel.status.command, kSoundRestart);
    EXPECT_EQ(backlog().voiceChannels[0].player, nullptr);

    // The icon of a line without a voice is never hovered, by the mouse or the keys.
    NextTick();
    MoveMouse(70, 49 + 20);
    Frame();
    EXPECT_EQ(backlog().hover, -1);
    backlog().hover = 4;
    NextTick(200);
    PressKey(DIK_RIGHT);
    Frame();
    EXPECT_EQ(backlog().hover, 6);
    NextTick(200);
    PressKey(DIK_RIGHT);
    Frame();
    EXPECT_EQ(backlog().hover, 0);
    NextTick(200);
    PressKey(DIK_LEFT);
    Frame();
    EXPECT_EQ(backlog().hover, 6);
}

TEST_F(BacklogTest, CloseFadesOutAndReturnsToTheScript) {
    Start(NumberedPages(3));
    RunFrames(3);
    NextPage();
    OpenBacklog();
    NextTick();
    RightClick();
    Frame();
    EXPECT_EQ(backlog().state, 2);
    NextTick();
    Click(5, 5);  // a click during the fade-out closes at once
    Frame();
    EXPECT_EQ(adventure.subMode, kAdventureScript);
    EXPECT_EQ(adventure.engine.windowHiddenByUser, 0);
    EXPECT_EQ(backlog().picture, nullptr);
    EXPECT_EQ(adventure.engine.pageNumber, 2u);  // the click did not reach the engine
}
