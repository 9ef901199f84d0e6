#include <gtest/gtest.h>

#include <string>

#include "engine_fixture.h"
#include "platform/message_box.h"
#include "platform/render_context.h"

namespace {

using MessageLogTest = EngineTest;

TEST_F(MessageLogTest, KeepsTheNewest32PagesSkipsNblfPagesAndShowsEntriesInTheWindow) {
    std::vector<CTestPage> pages = {CTestPage().Text("", "hidden", TextFlag::Nblf)};
    for (int i = 1; i <= 33; ++i) pages.push_back(CTestPage().Text("N", "page " + std::to_string(i)));
    pages.push_back(CTestPage().Text("N", "not logged", TextFlag::Nblf));
    ASSERT_EQ(StartScript(pages), 0);
    EXPECT_EQ(engine->OpenMessageLog(1), -1);  // nothing logged yet
    Press(Wheel(120));
    EXPECT_EQ(TakeShownMessages().size(), 1u);  // "バックログの表示に失敗しました"
    for (int i = 2; i <= 35; ++i) ASSERT_EQ(engine->RunPage(), 0);
    ASSERT_EQ(engine->messageLog.Count(), 32);
    CMessageLogEntry entry;
    ASSERT_EQ(engine->messageLog.GetEntry(0, &entry), 0);
    EXPECT_STREQ(entry.text, "page 33");
    EXPECT_STREQ(entry.name, "N");
    ASSERT_EQ(engine->messageLog.GetEntry(31, &entry), 0);
    EXPECT_STREQ(entry.text, "page 2");
    EXPECT_EQ(engine->messageLog.GetEntry(32, &entry), -1);
    EXPECT_EQ(engine->messageLog.GetEntry(-1, &entry), -1);

    // Opening without stopping the modes keeps skip mode; opening from the input stops it.
    engine->readHistory.skipOn = 1;
    EXPECT_EQ(engine->OpenMessageLog(0), 0);
    EXPECT_EQ(engine->readHistory.skipOn, 1);
    engine->messageLog.SetOpen(0, &engine->messageWindow, engine->logVoiceChannels);
    ASSERT_EQ(engine->OpenMessageLog(1), 0);
    EXPECT_EQ(engine->readHistory.skipOn, 0);
    EXPECT_STREQ(engine->messageWindow.logText, "page 33");
    EXPECT_STREQ(engine->messageWindow.logName, "N");
    // ShowNewer at the newest and ShowOlder at the oldest leave the view as it is.
    EXPECT_EQ(engine->messageLog.ShowNewer(&engine->messageWindow, engine->logVoiceChannels), 0);
    EXPECT_EQ(engine->messageLog.shownIndex, 0);
    for (int i = 0; i < 32; ++i) engine->messageLog.ShowOlder(&engine->messageWindow, engine->logVoiceChannels);
    EXPECT_EQ(engine->messageLog.shownIndex, 31);
    EXPECT_STREQ(engine->messageWindow.logText, "page 2");
    EXPECT_EQ(engine->messageLog.viewOpen, 1);
    // While the view is open the window draws the entry and leaves the text flag alone.
    g_bPageTextDone = 0;
    Frame();
    EXPECT_EQ(g_bPageTextDone, 0u);
}

TEST_F(MessageLogTest, RecordsTheVoicesThatPlayAndNotOnesStoppedOnThePage) {
    WriteVoice("Voice/a.wav", 200);
    CTestPage second = CTestPage().Text("", "second");
    second.w.I32Chunk("VTNO", 0);
    second.w.Begin("VOIT");
    second.w.CStringChunk("LOAD", "Voice/a.wav");
    second.w.Begin("STAT");
    for (uint32_t value : {0u, 0u, 1u, 0u}) second.w.U32(value);  // play ...
    second.w.End();
    second.w.Begin("STAT");
    for (uint32_t value : {3u, 0u, 0u}) second.w.U32(value);  // ... and stop again before the page ends
    second.w.End();
    second.w.End();
    ASSERT_EQ(StartScript({CTestPage().Text("", "first").Voice(2, "Voice/a.wav"), second}), 0);
    CMessageLogEntry entry;
    ASSERT_EQ(engine->messageLog.GetEntry(0, &entry), 0);
    EXPECT_EQ(entry.voices[0].used, 0);
    ASSERT_EQ(entry.voices[2].used, 1);
    EXPECT_STREQ(entry.voices[2].name, "Voice/a.wav");
    EXPECT_EQ(entry.voices[2].playCount, 1);
    EXPECT_EQ(entry.voices[2].tempo, 1000);
    Idle(100);
    ASSERT_EQ(engine->RunPage(), 0);
    ASSERT_EQ(engine->messageLog.GetEntry(0, &entry), 0);
    EXPECT_EQ(entry.voices[0].used, 0);  // stopped on its page
    EXPECT_EQ(entry.voices[2].used, 1);  // the channel still plays (or has played) the first page's voice

    // Showing the first entry loads its voice into the log channel, not playing yet; closing
    // the view fades it out on the next update.
    ASSERT_EQ(engine->OpenMessageLog(1), 0);
    ASSERT_EQ(engine->messageLog.ShowOlder(&engine->messageWindow, engine->logVoiceChannels), 0);
    EXPECT_EQ(engine->logVoiceChannels[2].active, 1);
    EXPECT_STREQ(engine->logVoiceChannels[2].name, "Voice/a.wav");
    EXPECT_EQ(engine->logVoiceChannels[0].active, 0);
    engine->logVoiceChannels[2].status = {1, kSoundRestart, 1, 0, 0.0f, 0};
    Frame();
    EXPECT_EQ(engine->logVoiceChannels[2].state, kSoundRestart);
    Press(Click());
    EXPECT_EQ(engine->messageLog.viewOpen, 0);
    Frame();
    EXPECT_EQ(engine->logVoiceChannels[2].state, kSoundStop);
}

}  // namespace
