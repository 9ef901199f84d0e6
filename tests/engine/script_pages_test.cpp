#include <gtest/gtest.h>

#include <cstring>

#include "engine_fixture.h"
#include "platform/graphics.h"
#include "platform/message_box.h"
#include "platform/render_context.h"
#include "tests/support/engine_bytes.h"

namespace {

using PagesTest = EngineTest;

// True when the texture holds a covered pixel that is black: the glyph outline.
bool HasDarkRim(CTexture* texture) {
    SLockedRect locked{};
    if (texture == nullptr || texture->LockRect(0, &locked, nullptr, 0) != 0) return false;
    bool dark = false;
    for (uint32_t y = 0; y < texture->Height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch);
        for (uint32_t x = 0; x < texture->Width(); ++x) dark |= (row[x] >> 24) != 0 && (row[x] & 0xFFFFFF) == 0;
    }
    texture->UnlockRect(0);
    return dark;
}

TEST_F(PagesTest, NewGameRunsTheFirstPageAndClicksAdvanceToTheEnd) {
    WriteScript("Script/Main.vsf", {CTestPage().Text("A", "one"), CTestPage().Text("B", "two")});
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->NewGame("Script/Main.vsf"), 0);
    EXPECT_EQ(engine->pageNumber, 1u);
    EXPECT_STREQ(engine->messageWindow.text, "one");
    EXPECT_EQ(Frame(), 0);
    EXPECT_EQ(g_bPageEffectsDone, 1u);
    EXPECT_EQ(g_bPageTextDone, 1u);
    EXPECT_EQ(Press(Click()), 0);
    EXPECT_EQ(engine->pageNumber, 2u);
    EXPECT_STREQ(engine->messageWindow.text, "two");
    Frame();
    EXPECT_EQ(Press(Click()), 1);  // "EOF "
}

TEST_F(PagesTest, ScriptsNeedTheMagicAndAnMstpChunkAndEndAtTheirEnd) {
    CScriptOptions unknownFirst;
    unknownFirst.before = {{"ABCD", {1, 2, 3}}, {"PAGE", {}}};  // a PAGE before MSTP is skipped too
    WriteScript("a.vsf", {CTestPage().Text("", "first")}, unknownFirst);
    CScriptOptions noMstp;
    noMstp.mstp = false;
    WriteScript("b.vsf", {CTestPage().Text("", "first")}, noMstp);
    std::vector<uint8_t> wrongMagic = BuildScript({CTestPage().Text("", "x")});
    wrongMagic[3] = '2';
    ASSERT_TRUE(WriteFileBytes("c.vsf", wrongMagic));
    CScriptOptions noEof;
    noEof.eof = false;
    WriteScript("d.vsf", {CTestPage().Text("", "one"), CTestPage().Text("", "two")}, noEof);
    std::vector<uint8_t> truncated = BuildScript({CTestPage().Text("", "one"), CTestPage().Text("", "cut short here")});
    truncated.resize(truncated.size() - 8 - 10);  // drop "EOF " and the end of the second page
    ASSERT_TRUE(WriteFileBytes("e.vsf", truncated));
    ASSERT_EQ(Start(), 0);
    EXPECT_EQ(engine->Load("a.vsf"), 0);
    EXPECT_STREQ(engine->messageWindow.text, "first");
    EXPECT_EQ(engine->pageNumber, 1u);
    EXPECT_EQ(engine->Load("b.vsf"), -1);
    EXPECT_EQ(engine->Load("c.vsf"), -1);
    EXPECT_EQ(engine->scriptName[0], '\0');
    EXPECT_EQ(engine->Load("missing.vsf"), -1);
    EXPECT_EQ(TakeShownMessages().size(), 1u);  // the loader's file-open box for the missing file

    // A file without "EOF " ends at its end; a truncated page ends the scenario.
    ASSERT_EQ(engine->Load("d.vsf"), 0);
    EXPECT_EQ(engine->RunPage(), 0);
    EXPECT_STREQ(engine->messageWindow.text, "two");
    EXPECT_EQ(engine->RunPage(), 1);
    EXPECT_EQ(engine->RunPage(), 1);
    ASSERT_EQ(engine->Load("e.vsf"), 0);
    EXPECT_EQ(engine->RunPage(), 1);
}

TEST_F(PagesTest, LayerAndChannelNumbersAreLocalToThePageAndCheckedAgainstTheirRange) {
    WritePicture("Image/bg.teyl", 8, 8, 0xFF102030u);
    CTestPage first = CTestPage().Number("IMGN", 3).Layer(3, "Image/bg.teyl").Text("", "one");
    CTestPage second;
    // IMAG with no IMGN on this page: skipped, IMGN 3 of the previous page does not carry over.
    second.w.Begin("IMAG");
    second.w.CStringChunk("LOAD", "Image/bg.teyl");
    second.w.End();
    second.Number("SETN", 4).Raw("SET ", {1, 2, 3, 4}).Number("BTNO", -1).Raw("BGMT", {}).Number("IMGN", 16);
    second.w.Begin("IMAG");
    second.w.CStringChunk("LOAD", "missing.teyl");
    second.w.End();
    second.Text("", "two");
    ASSERT_EQ(StartScript({first, second}), 0);
    EXPECT_EQ(engine->layers[3].used, 1u);
    engine->layers[3].Release();
    EXPECT_EQ(engine->RunPage(), 0);  // nothing of the skipped commands counts as a failure
    for (const CImageLayer& layer : engine->layers) EXPECT_EQ(layer.used, 0u);
    EXPECT_STREQ(engine->messageWindow.text, "two");
    EXPECT_TRUE(TakeShownMessages().empty());
}

TEST_F(PagesTest, AFailingCommandFailsThePageButTheRestRuns) {
    CTestPage page = CTestPage().Layer(0, "Image/missing.teyl").Flags("FLGU", {9}).Text("", "after");
    EXPECT_EQ(StartScript({page}), -1);
    EXPECT_EQ(engine->flags.game[9], 1);
    EXPECT_STREQ(engine->messageWindow.text, "after");
    EXPECT_EQ(TakeShownMessages().size(), 1u);
}

TEST_F(PagesTest, UnknownTagsAreSkippedInsideAndOutsidePages) {
    CTestPage page = CTestPage().Raw("ZZZZ", std::vector<uint8_t>(100000, 0x41)).Raw("MOVI", {1, 2, 3});
    page.Flags("FLGU", {4}).Text("", "x");
    std::vector<uint8_t> bytes = BuildScript({page, CTestPage().Text("", "y")});
    CChunkWriter junk;  // an unknown top-level chunk between the pages
    junk.Chunk("JUNK", std::string(70000, 'j'));
    const size_t firstPageEnd = BuildScript({page}).size() - 8;
    bytes.insert(bytes.begin() + static_cast<long>(firstPageEnd), junk.Data().begin(), junk.Data().end());
    ASSERT_TRUE(WriteFileBytes("b.vsf", bytes));
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("b.vsf"), 0);
    EXPECT_EQ(engine->flags.game[4], 1);
    EXPECT_STREQ(engine->messageWindow.text, "x");
    ASSERT_EQ(engine->RunPage(), 0);
    EXPECT_STREQ(engine->messageWindow.text, "y");
    EXPECT_EQ(engine->pageNumber, 2u);
}

TEST_F(PagesTest, AnEmptyPageStillRunsEveryAfterPageStep) {
    ASSERT_EQ(StartScript({CTestPage().Text("", "one"), CTestPage()}), 0);
    EXPECT_EQ(engine->messageLog.Count(), 1);
    Idle(500);
    const uint32_t before = g_GameClock;
    EXPECT_EQ(engine->RunPage(), 0);
    EXPECT_EQ(engine->pageNumber, 2u);
    EXPECT_EQ(engine->messageLog.Count(), 2);  // logged again: the text stays
    EXPECT_EQ(g_PageStartClock, before);       // stamped
    EXPECT_EQ(engine->messageWindow.revealStart, kTimeNotSet);
    EXPECT_EQ(g_bHoldTextStart, 1u);
}

TEST_F(PagesTest, ACommandLargerThanItsPageEndsThePage) {
    CTestPage page = CTestPage().Flags("FLGU", {1});
    page.w.Header("FLGU", 1000);  // claims more than the page holds
    page.w.U32(2);
    CTestPage next = CTestPage().Flags("FLGU", {3}).Text("", "next");
    ASSERT_EQ(StartScript({page, next}), 0);
    EXPECT_EQ(engine->flags.game[1], 1);
    EXPECT_EQ(engine->flags.game[2], 0);
    EXPECT_EQ(engine->RunPage(), 0);
    EXPECT_EQ(engine->flags.game[3], 1);
    EXPECT_STREQ(engine->messageWindow.text, "next");
}

TEST_F(PagesTest, JumpsSeeTheFlagsOfTheirOwnPageAndNeitherLogNorStamp) {
    CTestPage jumping = CTestPage().Text("", "jumping page").Flags("FLGU", {5, 6}).Flags("FLGD", {6});
    jumping.Jump({{0, {6}, {}, "b.vsf"}, {1, {5}, {6}, "c.vsf"}, {2, {}, {}, "b.vsf"}});
    WriteScript("a.vsf", {CTestPage().Text("", "start"), jumping});
    WriteScript("c.vsf", {CTestPage().Flags("FLGU", {7})});
    CTestPage stay = CTestPage().Text("", "stay").Jump({{0, {}, {}, ""}});
    WriteScript("stay.vsf", {stay, CTestPage().Text("", "next")});
    WriteScript("loop.vsf", {CTestPage().Text("", "again").Jump({{0, {}, {}, "loop.vsf"}})});
    ASSERT_EQ(Start(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
    EXPECT_EQ(engine->messageLog.Count(), 1);
    Idle(300);
    EXPECT_EQ(engine->RunPage(), 0);
    EXPECT_STREQ(engine->scriptName, "c.vsf");
    EXPECT_EQ(engine->pageNumber, 1u);
    EXPECT_EQ(engine->flags.game[7], 1);
    // The jumping page was not logged; c.vsf's first page (which has no TEXT) logged the text again.
    ASSERT_EQ(engine->messageLog.Count(), 2);
    CMessageLogEntry entry;
    ASSERT_EQ(engine->messageLog.GetEntry(0, &entry), 0);
    EXPECT_STREQ(entry.text, "jumping page");
    // a.vsf was closed at page 2 and recorded in the read history.
    engine->readHistory.Lookup("A.VSF");
    EXPECT_EQ(engine->readHistory.maxPage, 2);

    // A matching entry with an empty target ends the page as usual.
    ASSERT_EQ(engine->Load("stay.vsf"), 0);
    EXPECT_STREQ(engine->scriptName, "stay.vsf");
    ASSERT_EQ(engine->messageLog.GetEntry(0, &entry), 0);
    EXPECT_STREQ(entry.text, "stay");
    // A script that keeps jumping to itself is cut off, and the next run starts a fresh chain.
    EXPECT_EQ(engine->Load("loop.vsf"), -1);
    EXPECT_STREQ(engine->scriptName, "loop.vsf");
    EXPECT_EQ(engine->Load("loop.vsf"), -1);
}

TEST_F(PagesTest, HostTextReachesTheCallbackWholeOrCut) {
    std::vector<std::string> received;
    params.hostCallback = [](const char* text, void* context) -> int32_t {
        static_cast<std::vector<std::string>*>(context)->push_back(text);
        return 0;
    };
    params.hostContext = &received;
    std::vector<uint8_t> exact(4095, 'a');
    exact.push_back(0);
    std::vector<uint8_t> longer(5000, 'b');
    longer.push_back(0);
    CTestPage page = CTestPage().Raw("SSCR", exact).Raw("SSCR", longer).Flags("FLGU", {1});
    ASSERT_EQ(StartScript({page}), 0);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], std::string(4095, 'a'));
    EXPECT_EQ(received[1], std::string(4095, 'b'));
    EXPECT_EQ(engine->flags.game[1], 1);
}

TEST_F(PagesTest, EffectsOffShowsTransitionsAtTheirEndInTheSameCall) {
    WritePicture("Image/bg.teyl", 8, 8, 0xFF102030u);
    settings.effectsOn = 0;
    ASSERT_EQ(StartScript({CTestPage().Layer(0, "Image/bg.teyl", 2, 0, 1000).Text("", "x")}), 0);
    EXPECT_EQ(engine->layers[0].visible, 1u);
    EXPECT_EQ(engine->layers[0].effect, nullptr);
}

TEST_F(PagesTest, TheTextHoldWaitsForTheLayerEffects) {
    WritePicture("Image/bg.teyl", 8, 8, 0xFF102030u);
    CTestPage fade = CTestPage().Layer(0, "Image/bg.teyl", 2, 0, 500).Text("", "x");
    CTestPage plain = CTestPage().Text("", "y");
    CTestPage early = CTestPage().Layer(0, "Image/bg.teyl", 2, 1, 500).Text("", "z", TextFlag::Niwf);
    ASSERT_EQ(StartScript({fade, plain, early}), 0);
    Frame();
    EXPECT_EQ(g_bHoldTextStart, 1u);
    EXPECT_EQ(engine->messageWindow.revealStart, kTimeNotSet);
    Idle(480);
    EXPECT_EQ(g_bPageEffectsDone, 0u);
    Idle(48);
    EXPECT_EQ(g_bPageEffectsDone, 1u);
    EXPECT_EQ(g_bHoldTextStart, 0u);
    EXPECT_NE(engine->messageWindow.revealStart, kTimeNotSet);
    EXPECT_EQ(engine->layers[0].visible, 1u);

    EXPECT_EQ(engine->RunPage(), 0);  // a page without transitions releases the hold at once
    Frame();
    EXPECT_EQ(g_bHoldTextStart, 0u);
    EXPECT_EQ(g_bPageTextDone, 1u);

    EXPECT_EQ(engine->RunPage(), 0);  // NIWF: the reveal starts with the page
    EXPECT_EQ(engine->messageWindow.revealStart, g_GameClock);
}

TEST_F(PagesTest, SaveCaptionKeepsTheFirst31BytesAndAHiddenWindowCountsAsShown) {
    const CTestPage hidden = CTestPage().Text("", "short", TextFlag::Whf);
    ASSERT_EQ(StartScript({CTestPage().Text("", std::string(40, 'c')), hidden}), 0);
    char caption[32];
    std::memset(caption, 'x', sizeof(caption));
    engine->GetSaveCaption(caption);
    EXPECT_EQ(std::string(caption), std::string(31, 'c'));
    engine->RunPage();
    engine->GetSaveCaption(caption);
    EXPECT_STREQ(caption, "short");
    EXPECT_EQ(engine->messageWindow.whf, 1);
    Frame();
    EXPECT_EQ(g_bPageTextDone, 1u);
}

TEST_F(PagesTest, OutlineChangesRebuildTheGlyphsAndSpeedChangesDoNot) {
    ASSERT_EQ(StartScript({CTestPage().Text("", "A")}), 0);
    CTexture* before = engine->messageWindow.textGlyphs[0].texture;
    ASSERT_NE(before, nullptr);
    CEngineSettings changed = settings;
    changed.textSpeed = 40;
    engine->ApplySettings(&changed);
    EXPECT_EQ(engine->messageWindow.textGlyphs[0].texture, before);
    EXPECT_EQ(engine->messageWindow.speed, 40u);
    // The outline is baked into the glyph textures: switching it off builds them again.
    ASSERT_EQ(settings.textFlags & 2, 2u);
    EXPECT_TRUE(HasDarkRim(engine->messageWindow.textGlyphs[0].texture));
    changed.textFlags ^= 2;
    engine->ApplySettings(&changed);
    ASSERT_NE(engine->messageWindow.textGlyphs[0].texture, nullptr);
    EXPECT_FALSE(HasDarkRim(engine->messageWindow.textGlyphs[0].texture));
    EXPECT_EQ(engine->messageWindow.textFlags, changed.textFlags);
    EXPECT_EQ(engine->autoUnit, 250);
}

TEST_F(PagesTest, RearmVoicesRestartsOnlyTheVoicesThatPlayWithTheirCurrentValues) {
    WriteVoice("Voice/v.wav", 2000);
    WriteScript("a.vsf", {CTestPage().Text("", "x").Voice(1, "Voice/v.wav").Voice(3, "Voice/v.wav")});
    ASSERT_EQ(Start(), 0);
    EXPECT_EQ(engine->IsVoicePlaying(), 0);
    ASSERT_EQ(engine->Load("a.vsf"), 0);
    EXPECT_EQ(engine->IsVoicePlaying(), 1);  // the play command waits for the text
    Idle(300);
    CSoundChannel& playing = engine->voiceChannels[1];
    ASSERT_EQ(playing.status.pending, 0);
    ASSERT_EQ(playing.state, 0);  // playing
    playing.volumeCommand = {1, -1200, 0.5f, 100};  // a change still on its way: its target counts
    playing.pan = 300;
    CSoundChannel& stopped = engine->voiceChannels[3];
    stopped.status = {1, kSoundStop, 0, 0, 0.0f, 0};

    engine->RearmVoices();
    EXPECT_EQ(playing.status.pending, 1);
    EXPECT_EQ(playing.status.command, kSoundRestart);
    EXPECT_EQ(playing.status.playCount, 1);
    EXPECT_EQ(playing.status.delay, 0u);
    EXPECT_EQ(playing.volumeCommand.pending, 1);
    EXPECT_EQ(playing.volumeCommand.target, -1200);
    EXPECT_EQ(playing.volumeCommand.speed, -1.0f);
    EXPECT_EQ(playing.volumeCommand.delay, 0u);
    EXPECT_EQ(playing.panCommand.target, 300);
    EXPECT_EQ(playing.panCommand.speed, -1.0f);
    EXPECT_EQ(playing.tempoCommand.target, 1000);
    EXPECT_EQ(stopped.status.command, kSoundStop);
    EXPECT_EQ(stopped.volumeCommand.pending, 0);
    EXPECT_EQ(engine->voiceChannels[0].status.pending, 0);

    playing.status = {1, kSoundStop, 0, 0, 0.0f, 0};
    EXPECT_EQ(engine->IsVoicePlaying(), 0);
}

}  // namespace
