#include "text/choice_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "files/scrambled_io.h"
#include "platform/graphics.h"
#include "platform/input_state.h"
#include "platform/render_context.h"
#include "tests/support/engine_bytes.h"
#include "tests/support/graphics_support.h"
#include "tools/lib/chunk_writer.h"

namespace {

class ChoiceWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        device = MakeTestDevice(800, 600);
        ASSERT_NE(device, nullptr);
        g_pEngineDevice = device;
        CChoiceWindowStyle style = {};
        style.normalBar = {0, 0, 543, 48};
        style.highlightedBar = {0, 48, 543, 96};
        style.originX = 400;
        style.originY = 190;
        style.spacing = 25;
        style.textRect = {38, 14, 503, 32};
        std::strcpy(style.face, "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E");  // ＭＳ Ｐゴシック
        style.height = 24;
        style.textColour = 0xFFFFFFFFu;
        style.highlightColour = 0xFFFF00FFu;
        window = std::make_unique<CChoiceWindow>();
        window->Clear();
        ASSERT_EQ(window->SetStyle(&style), 0);
    }
    void TearDown() override {
        window.reset();
        g_pEngineDevice = nullptr;
        device->Release();
        std::memset(g_SaveKey, 0, sizeof(g_SaveKey));
    }

    // Runs the page command over a window holding exactly the payload; the bytes it consumed.
    uint32_t Parse(const CChunkWriter& payload) {
        CMemoryReadStream in(payload.Data());
        in.Window(static_cast<uint32_t>(payload.Size()));
        uint32_t consumed = 0;
        EXPECT_EQ(window->ParseCommand(&in.stream, static_cast<uint32_t>(payload.Size()), &consumed), 0);
        return consumed;
    }

    static CChunkWriter Items(const std::vector<std::pair<uint32_t, std::string>>& items) {
        CChunkWriter w;
        for (const auto& [slot, text] : items) {
            w.U32Chunk("SELN", slot);
            w.CStringChunk("TEXT", text);
            w.CStringChunk("JMPF", "target" + std::to_string(slot) + ".vsf");
        }
        return w;
    }

    static CInputState Key(uint8_t dik) {
        CInputState input = {};
        input.keys[dik] = 0x80;
        return input;
    }

    CGraphicsDevice* device = nullptr;
    std::unique_ptr<CChoiceWindow> window;
};

TEST_F(ChoiceWindowTest, OneChoiceIsCentredAndThreeStartNinetySevenAboveTheOrigin) {
    Parse(Items({{1, "only"}}));
    EXPECT_EQ(window->active, 1);
    EXPECT_EQ(window->waitForVoice, 1);
    EXPECT_EQ(window->BarLeft(), 400 - 271);
    EXPECT_EQ(window->BarTop(1), 190 - 24);

    Parse(Items({{0, "a"}, {1, "b"}, {3, "c"}}));
    EXPECT_EQ(window->items[2].used, 0);
    EXPECT_EQ(window->BarTop(0), 190 - 97);
    EXPECT_EQ(window->BarTop(1), 190 - 97 + 73);
    EXPECT_EQ(window->BarTop(3), 190 - 97 + 146);
    EXPECT_EQ(window->ItemAt(129, 93), 0);          // top-left corner, edges included
    EXPECT_EQ(window->ItemAt(129 + 543, 141), 0);   // bottom-right corner
    EXPECT_EQ(window->ItemAt(129, 142 + 10), -1);   // between two bars
    EXPECT_EQ(window->ItemAt(128, 100), -1);
}

TEST_F(ChoiceWindowTest, KeysWrapOverUnusedItemsAndReturnNeedsAHighlight) {
    Parse(Items({{0, "first"}, {2, "second"}}));
    EXPECT_EQ(window->BarTop(2), window->BarTop(0) + 73);  // item 2 takes the second row
    char target[kChoiceTargetSize] = "";
    g_ClockNow = 777;
    CInputState enter = Key(DIK_RETURN);
    EXPECT_EQ(window->Update(&enter, target), 0);  // nothing highlighted: nothing picked
    EXPECT_EQ(enter.keyGuardTime, 777u);

    CInputState down = Key(DIK_DOWN);
    window->Update(&down, target);
    EXPECT_EQ(window->highlighted, 0);
    EXPECT_EQ(down.keyGuardTime, 777u);
    window->Update(&down, target);
    EXPECT_EQ(window->highlighted, 2);
    window->Update(&down, target);
    EXPECT_EQ(window->highlighted, 0);
    CInputState up = Key(DIK_UP);
    window->Update(&up, target);
    EXPECT_EQ(window->highlighted, 2);
    window->highlighted = -1;
    window->Update(&up, target);
    EXPECT_EQ(window->highlighted, 2);  // from none, Up goes to the last used item

    EXPECT_EQ(window->Update(&enter, target), 1);
    EXPECT_STREQ(target, "target2.vsf");
    target[0] = '\0';

    // The mouse highlights the bar under it, nothing between bars, and a click picks.
    CInputState move = {};
    move.mouseMoved = 1;
    move.mouseX = 300;
    move.mouseY = window->BarTop(0) + 10;
    EXPECT_EQ(window->Update(&move, target), 0);
    EXPECT_EQ(window->highlighted, 0);
    move.mouseY = 5;
    window->Update(&move, target);
    EXPECT_EQ(window->highlighted, -1);
    CInputState click = {};
    click.leftUp = 1;
    click.mouseX = 300;
    click.mouseY = window->BarTop(2);
    EXPECT_EQ(window->Update(&click, target), 1);
    EXPECT_STREQ(target, "target2.vsf");
}

TEST_F(ChoiceWindowTest, LongTextsAreCutAndTheFollowingSubChunksStillRead) {
    CChunkWriter w;
    w.U32Chunk("SELN", 0);
    w.CStringChunk("TEXT", std::string(79, 'x'));  // 80 bytes with the zero
    w.CStringChunk("JMPF", std::string(300, 'j'));
    w.CStringChunk("TEXT", "ignored?");  // a later TEXT replaces the earlier one
    w.CStringChunk("ZZZZ", "unknown");
    w.CStringChunk("JMPF", "after.vsf");
    w.U32Chunk("SELN", 7);
    w.CStringChunk("TEXT", "no slot");
    w.U32Chunk("SELN", 1);
    w.CStringChunk("TEXT", std::string(79, 'x'));
    EXPECT_EQ(Parse(w), w.Size());
    EXPECT_STREQ(window->items[0].text, "ignored?");
    EXPECT_STREQ(window->items[0].target, "after.vsf");
    EXPECT_EQ(window->UsedCount(), 2);
    EXPECT_EQ(std::string(window->items[1].text), std::string(63, 'x'));
    EXPECT_EQ(window->items[1].glyphCount, 64);  // 63 characters and the terminator record
}

TEST_F(ChoiceWindowTest, SaveFormMatchesHandBuiltBytesAndRestores) {
    Parse(Items({{1, "yes"}, {3, "no"}}));
    uint32_t size = 0;
    window->Save(nullptr, &size);
    EXPECT_EQ(size, 30u + 3 + 11 + 30u + 2 + 11);
    uint8_t key[32];
    for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i == 0 ? 0xA5 : i);
    std::memcpy(g_SaveKey, key, 32);
    CMemoryWriteStream out;
    window->Save(&out.stream, &size);
    const std::vector<uint8_t> bytes = out.Bytes();
    const CChunkWriter plain = Items({{1, "yes"}, {3, "no"}});
    ASSERT_EQ(bytes.size(), plain.Size());
    for (size_t i = 0; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], plain.Data()[i] ^ key[i % 32]) << i;

    CChoiceWindow restored;
    restored.Clear();
    CMemoryReadStream in(bytes);
    in.Window(static_cast<uint32_t>(bytes.size()));
    uint32_t consumed = 0;
    ASSERT_EQ(restored.Restore(&in.stream, static_cast<uint32_t>(bytes.size()), &consumed), 0);
    EXPECT_EQ(consumed, bytes.size());
    EXPECT_EQ(restored.active, 1);
    EXPECT_EQ(restored.waitForVoice, 1);
    EXPECT_EQ(restored.items[0].used, 0);
    EXPECT_STREQ(restored.items[1].text, "yes");
    EXPECT_STREQ(restored.items[3].target, "target3.vsf");
    EXPECT_GT(restored.items[3].glyphCount, 1);
}

TEST_F(ChoiceWindowTest, BarsAndTheirTextAreDrawnOnlyOnceThePageHasSettled) {
    CTexture* bars = MakeTestTexture(device, 543, 96, [](uint32_t, uint32_t y) {
        return y < 48 ? 0xFF0000FFu : 0xFF00FF00u;
    });
    ASSERT_NE(bars, nullptr);
    window->picture = bars;
    Parse(Items({{0, "\x93\x94\x91\xE4"}, {1, "\x8E\x73\x8F\xEA"}}));  // 灯台, 市場
    CSurface* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(&back), 0);
    auto draw = [&] {
        device->Clear(0, nullptr, ClearFlag::Target, 0xFF000000u, 1.0f, 0);
        device->BeginScene();
        window->Draw();
        device->EndScene();
    };
    // Pixels of one colour on a bar's whole row (the text may reach below its text rectangle).
    auto count = [&](int32_t item, uint32_t colour) {
        int32_t n = 0;
        for (int32_t y = window->BarTop(item); y < window->BarTop(item) + 48; ++y)
            for (int32_t x = window->BarLeft(); x < window->BarLeft() + 543; ++x)
                n += (SurfacePixel(back, x, y) & 0xFFFFFF) == colour;
        return n;
    };
    g_bPageEffectsDone = g_bPageTextDone = 1;
    g_bPageVoiceDone = 0;
    draw();
    EXPECT_EQ(count(0, 0x00FF00u) + count(0, 0x0000FFu), 0);
    g_bPageVoiceDone = 1;
    window->highlighted = 0;
    draw();
    EXPECT_EQ(SurfacePixel(back, window->BarLeft() + 2, window->BarTop(0) + 2) & 0xFFFFFF, 0x00FF00u);
    // Each bar carries its text: the highlighted one in the highlight colour, the other in white,
    // starting at the text rectangle's left.
    EXPECT_GT(count(0, 0xFF00FFu), 40);
    EXPECT_GT(count(1, 0xFFFFFFu), 40);
    EXPECT_EQ(count(1, 0xFF00FFu), 0);
    int32_t firstColumn = 543;
    for (int32_t y = window->BarTop(1); y < window->BarTop(1) + 48; ++y)
        for (int32_t x = 0; x < firstColumn; ++x)
            if ((SurfacePixel(back, window->BarLeft() + x, y) & 0xFFFFFF) == 0xFFFFFFu) firstColumn = x;
    EXPECT_GE(firstColumn, 38);
    EXPECT_LT(firstColumn, 48);
    back->Release();
    g_bPageEffectsDone = g_bPageTextDone = g_bPageVoiceDone = 0;
}

}  // namespace
