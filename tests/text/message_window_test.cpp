#include "text/message_window.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "files/scrambled_io.h"
#include "platform/render_context.h"
#include "tests/files/temp_folder.h"
#include "tests/support/engine_bytes.h"
#include "text_test_device.h"
#include "tools/lib/teyl_writer.h"

namespace {

CTextFormat Format(const char* face, int32_t height, uint32_t colour, uint8_t bold = 0, uint8_t italic = 0) {
    CTextFormat format{};
    std::strncpy(format.face, face, sizeof format.face - 1);
    format.height = height;
    format.bold = bold;
    format.italic = italic;
    format.colour = colour;
    return format;
}

// One TFMT run entry, byte by byte as the command table gives it.
CTestBytes& FormatRun(CTestBytes& bytes, const CTextFormat& format, uint32_t length) {
    const uint32_t faceLength = static_cast<uint32_t>(std::strlen(format.face)) + 1;
    bytes.U32(faceLength + 18).U32(faceLength).Raw(format.face, faceLength);
    bytes.U32(static_cast<uint32_t>(format.height));
    const uint8_t styles[2] = {format.bold, format.italic};
    return bytes.Raw(styles, 2).U32(format.colour).U32(length);
}

class MessageWindowTest : public TextDeviceTest {
protected:
    void SetUp() override {
        TextDeviceTest::SetUp();
        g_pEngineDevice = device_;
        std::memset(g_SaveKey, 0, sizeof g_SaveKey);
        g_bHoldTextStart = 0;
        g_GameClock = 0;
        window_ = std::make_unique<CMessageWindow>();
        window_->windowFont = window_->nameFont = Format(kMsGothicSjis, 24, 0xFFFFFFFF);
        window_->textRect = {90, 480, 660, 570};
        window_->textShadowRect = {92, 482, 662, 572};
        window_->nameRect = {10, 436, 129, 467};
        window_->nameShadowRect = {12, 438, 131, 469};
        window_->lineGap = 4;
        window_->formatMode = 1;
    }
    void TearDown() override {
        window_.reset();
        g_pEngineDevice = nullptr;
        TextDeviceTest::TearDown();
    }

    // Runs the TEXT command over a read window of `size` bytes (the payload's own size unless
    // given) and returns the bytes it consumed.
    uint32_t Parse(const CTestBytes& payload, int32_t expected = 0, uint32_t size = 0) {
        CMemoryReadStream memory(payload.bytes);
        if (size == 0) size = static_cast<uint32_t>(payload.size());
        memory.Window(size);
        uint32_t consumed = 0;
        EXPECT_EQ(window_->ParseCommand(&memory.stream, size, &consumed), expected);
        return consumed;
    }
    // NEF, NIWF, NBLF, WHF.
    std::array<int32_t, 4> PageFlags() const { return {window_->nef, window_->niwf, window_->nblf, window_->whf}; }

    std::unique_ptr<CMessageWindow> window_;
};

using Flags = std::array<int32_t, 4>;

TEST_F(MessageWindowTest, PayloadFieldsAreCutAndTheNextSubChunkIsStillRead) {
    CTestBytes payload;
    payload.ChunkStr("NAME", std::string(19, 'n')).ChunkStr("TEXT", std::string(299, 't')).Empty("NIWF");
    payload.Tag("XTRA").U32(3).Raw("abc", 3).Empty("NBLF");
    EXPECT_EQ(Parse(payload), payload.size());
    EXPECT_EQ(std::string(window_->name), std::string(15, 'n'));
    EXPECT_EQ(std::string(window_->text), std::string(255, 't'));
    EXPECT_EQ(PageFlags(), (Flags{0, 1, 1, 0}));
    EXPECT_EQ(window_->nameGlyphCount, 16);
    EXPECT_EQ(window_->textGlyphCount, 255);

    // The next command clears the flags and the name.
    CTestBytes next;
    next.ChunkStr("TEXT", "x").Empty("NEF ");
    Parse(next);
    EXPECT_EQ(PageFlags(), (Flags{1, 0, 0, 0}));
    EXPECT_EQ(window_->name[0], '\0');
    EXPECT_EQ(window_->nameGlyphCount, 1);  // the terminator's record only: no plate, no name
}

TEST_F(MessageWindowTest, FormatRunsFillAtMostTwoHundredFiftySixRecords) {
    const CTextFormat red = Format(kMsGothicSjis, 20, 0xFFFF0000);
    const CTextFormat blue = Format("IPAPGothic", 30, 0xFF0000FF, 1, 1);
    CTestBytes runs;
    FormatRun(FormatRun(FormatRun(runs, red, 2), blue, 298), red, 5);
    CTestBytes payload;
    payload.ChunkStr("TEXT", "ab").Chunk("TFMT", runs).Empty("WHF ");
    EXPECT_EQ(Parse(payload), payload.size());
    EXPECT_EQ(window_->whf, 1);
    // The text has two characters: three records are kept in the window.
    EXPECT_TRUE(SameFormat(window_->textFormats[0], red));
    EXPECT_TRUE(SameFormat(window_->textFormats[1], red));
    EXPECT_TRUE(SameFormat(window_->textFormats[2], blue));
    EXPECT_EQ(window_->textGlyphs[0].colour, 0xFFFF0000u);
    EXPECT_EQ(window_->textGlyphs[1].lineHeight, 22);

    // A face name without its zero inside 32 bytes is cut at 31.
    CTestBytes wideRuns;
    const uint8_t styles[2] = {0, 0};
    wideRuns.U32(40 + 18).U32(40).Raw(std::string(40, 'F').data(), 40).U32(24).Raw(styles, 2).U32(0xFF00FF00u).U32(2);
    CTestBytes second;
    second.ChunkStr("TEXT", "a").Chunk("TFMT", wideRuns);
    Parse(second);
    EXPECT_EQ(std::string(window_->textFormats[0].face), std::string(31, 'F'));
    EXPECT_EQ(window_->textFormats[0].colour, 0xFF00FF00u);
}

TEST_F(MessageWindowTest, CarriageReturnAndFormFeedTakeNeitherGlyphNorRecord) {
    CTestBytes runs;
    for (uint32_t colour = 0xFF000001; colour <= 0xFF000005; ++colour)
        FormatRun(runs, Format(kMsGothicSjis, 24, colour), 1);
    CTestBytes payload;
    payload.ChunkStr("TEXT", "a\rb\x0c\nc").Chunk("TFMT", runs);
    Parse(payload);
    ASSERT_EQ(window_->textGlyphCount, 4);
    const uint32_t characters[4] = {'a', 'b', 10, 'c'};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(window_->textGlyphs[i].character, characters[i]) << i;
    EXPECT_EQ(window_->textGlyphs[1].colour, 0xFF000002u);
    EXPECT_EQ(window_->textGlyphs[3].colour, 0xFF000004u);
    EXPECT_EQ(window_->textGlyphs[2].texture, nullptr);

    // Double-byte characters take one glyph; a lone lead byte before the end takes one too.
    CTestBytes kana;
    kana.ChunkStr("TEXT", "\x82\xA0\x82\xA2\x81");
    Parse(kana);
    ASSERT_EQ(window_->textGlyphCount, 3);
    EXPECT_EQ(window_->textGlyphs[1].character, 0x82A2u);
    EXPECT_EQ(window_->textGlyphs[2].character, 0x81u);
    EXPECT_NE(window_->textGlyphs[2].texture, nullptr);
}

TEST_F(MessageWindowTest, DamagedPayloadsAreReadWithinTheirSize) {
    // A sub-chunk that claims more bytes than its parent holds.
    CTestBytes overlong;
    overlong.Tag("NAME").U32(0x7FFFFFFF).Str("abc");
    EXPECT_EQ(Parse(overlong), overlong.size());
    EXPECT_EQ(std::string(window_->name), "abc");
    // A payload size beyond the bytes the stream has.
    CTestBytes truncated;
    truncated.ChunkStr("TEXT", "hello");
    EXPECT_EQ(Parse(truncated, 0, 1000), truncated.size());
    EXPECT_EQ(std::string(window_->text), "hello");
    // Run entries whose face length or size do not add up end the runs.
    CTestBytes badRuns;
    badRuns.U32(10).U32(500).U32(0).U32(0);
    CTestBytes payload;
    payload.ChunkStr("TEXT", "z").Chunk("TFMT", badRuns).Empty("NEF ");
    EXPECT_EQ(Parse(payload), payload.size());
    EXPECT_EQ(window_->nef, 1);
    // Fewer than eight bytes left: consumed whole, nothing read from them.
    CTestBytes tail;
    tail.ChunkStr("TEXT", "q").Raw("NEF", 3);
    EXPECT_EQ(Parse(tail), tail.size());
    EXPECT_EQ(window_->nef, 0);
}

TEST_F(MessageWindowTest, AFontThatCannotBeCreatedFailsTheCommandAndKeepsEarlierGlyphs) {
    CTestBytes runs;
    FormatRun(FormatRun(runs, Format(kMsGothicSjis, 24, 0xFFFFFFFF), 2), Format(kMsGothicSjis, 100000, 0xFFFFFFFF), 2);
    CTestBytes payload;
    payload.ChunkStr("NAME", "N").ChunkStr("TEXT", "abcd").Chunk("TFMT", runs);
    Parse(payload, -1);
    EXPECT_EQ(window_->textGlyphCount, 2);
    EXPECT_EQ(window_->nameGlyphCount, 2);
    EXPECT_NE(window_->textGlyphs[1].texture, nullptr);
    EXPECT_EQ(window_->textGlyphs[2].texture, nullptr);
}

TEST_F(MessageWindowTest, SaveFormRunLengthCodesTheFormatsAndSizeOnlyMatchesTheBytes) {
    const CTextFormat white = Format(kMsGothicSjis, 24, 0xFFFFFFFF);
    CTestBytes runs;
    FormatRun(FormatRun(runs, white, 2), Format("IPAMincho", 26, 0xFFFFD700, 1, 0), 2);
    CTestBytes payload;
    payload.Empty("NEF ").Empty("WHF ").ChunkStr("NAME", "Ann").ChunkStr("TEXT", "abc").Chunk("TFMT", runs);
    Parse(payload);

    // With a zero key the form is plain: the same flags, name, text and two runs over the three
    // characters + 1 records as the command.
    uint32_t sizeOnly = 0, written = 0;
    ASSERT_EQ(window_->Save(nullptr, &sizeOnly), 0);
    CMemoryWriteStream plain;
    ASSERT_EQ(window_->Save(&plain.stream, &written), 0);
    EXPECT_EQ(sizeOnly, written);
    EXPECT_EQ(written, payload.size());
    EXPECT_EQ(plain.Bytes(), payload.bytes);

    // Masked with a key, restored into a fresh window.
    for (int i = 0; i < 32; ++i) g_SaveKey[i] = static_cast<uint8_t>(i * 37 + 11);
    CMemoryWriteStream masked;
    ASSERT_EQ(window_->Save(&masked.stream, &written), 0);
    const std::vector<uint8_t> maskedBytes = masked.Bytes();
    EXPECT_NE(maskedBytes, payload.bytes);
    CMessageWindow restored;
    restored.windowFont = restored.nameFont = white;
    restored.formatMode = 1;
    restored.niwf = 1;
    CMemoryReadStream memory(maskedBytes);
    memory.Window(static_cast<uint32_t>(maskedBytes.size()));
    uint32_t consumed = 0;
    ASSERT_EQ(restored.Restore(&memory.stream, static_cast<uint32_t>(maskedBytes.size()), &consumed), 0);
    EXPECT_EQ(consumed, maskedBytes.size());
    EXPECT_EQ(std::string(restored.name), "Ann");
    EXPECT_EQ(std::string(restored.text), "abc");
    EXPECT_EQ((Flags{restored.nef, restored.niwf, restored.nblf, restored.whf}), (Flags{1, 0, 0, 1}));
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(SameFormat(restored.textFormats[i], window_->textFormats[i])) << i;
    EXPECT_EQ(restored.textGlyphCount, 3);
    EXPECT_EQ(restored.textGlyphs[2].colour, 0xFFFFD700u);
    restored.Save(nullptr, &written);
    EXPECT_EQ(written, sizeOnly);

    // An empty name is not saved; the text always is.
    CMessageWindow empty;
    CMemoryWriteStream none;
    std::memset(g_SaveKey, 0, sizeof g_SaveKey);
    ASSERT_EQ(empty.Save(&none.stream, &written), 0);
    CTestBytes oneRun;
    FormatRun(oneRun, empty.textFormats[0], 1);
    CTestBytes emptyForm;
    emptyForm.ChunkStr("TEXT", "").Chunk("TFMT", oneRun);
    EXPECT_EQ(none.Bytes(), emptyForm.bytes);

    // A restore clears NEF, NIWF and NBLF; the hidden-window flag waits for the next page start.
    restored.nef = restored.niwf = restored.nblf = restored.whf = 1;
    const uint32_t unflaggedSize = static_cast<uint32_t>(emptyForm.size());
    CMemoryReadStream unflagged(emptyForm.bytes);
    unflagged.Window(unflaggedSize);
    ASSERT_EQ(restored.Restore(&unflagged.stream, unflaggedSize, &consumed), 0);
    EXPECT_EQ((Flags{restored.nef, restored.niwf, restored.nblf, restored.whf}), (Flags{0, 0, 0, 1}));
}

TEST_F(MessageWindowTest, RevealWaitsForTheHoldUnlessNiwfAndShowAllIgnoresTheClock) {
    window_->effectMode = 1;
    window_->speed = 50;
    window_->textFlags = 0;
    CTestBytes payload;
    payload.ChunkStr("TEXT", "\x82\xA0\x82\xA0\x82\xA0");  // three あ
    Parse(payload);
    window_->revealStart = kTimeNotSet;
    g_bHoldTextStart = 1;
    g_GameClock = 5000;
    EXPECT_EQ(window_->Draw(), 0);
    EXPECT_EQ(window_->revealStart, kTimeNotSet);
    EXPECT_EQ(LitPixels({90, 480, 660, 570}), 0);
    g_bHoldTextStart = 0;
    g_GameClock = 6000;
    EXPECT_EQ(window_->Draw(), 0);
    EXPECT_EQ(window_->revealStart, 6000u);
    EXPECT_GT(LitPixels({90, 480, 660, 570}), 0);
    g_GameClock = 6099;
    EXPECT_EQ(window_->Draw(), 0);
    g_GameClock = 6100;
    EXPECT_EQ(window_->Draw(), 1);

    // NIWF: the hold does not matter, but an unstamped start still waits.
    window_->niwf = 1;
    window_->revealStart = kTimeNotSet;
    g_bHoldTextStart = 1;
    EXPECT_EQ(window_->Draw(), 0);
    window_->revealStart = g_GameClock;
    EXPECT_EQ(window_->Draw(), 0);
    // Show everything at once, whatever the game clock says.
    window_->revealStart = kRevealShowAll;
    for (uint32_t clock : {0u, 0x80000002u, 0xFFFFFFF0u}) {
        g_GameClock = clock;
        EXPECT_EQ(window_->Draw(), 1) << clock;
    }
    // An effect mode outside 0..7 draws nothing and never completes.
    window_->effectMode = 9;
    EXPECT_EQ(window_->Draw(), 0);
}

TEST_F(MessageWindowTest, ShadowPassesDrawInTheShadowColourAndRestoreTheStage) {
    window_->effectMode = 0;
    window_->textFlags = 1;
    window_->shadowColour = 0xFFFF0000u;
    CTestBytes payload;
    payload.ChunkStr("NAME", "\x96\xBC").ChunkStr("TEXT", "\x81\xA1");  // 名, ■
    Parse(payload);
    window_->revealStart = kRevealShowAll;
    EXPECT_EQ(window_->Draw(), 1);
    auto countRed = [this](const SRect& rect) {
        int32_t red = 0;
        for (int32_t y = rect.top; y < rect.bottom; ++y)
            for (int32_t x = rect.left; x < rect.right; ++x)
                red += (Pixel(x, y) & 0xFFFF) == 0 && (Pixel(x, y) >> 16) > 0x80;
        return red;
    };
    EXPECT_GT(countRed({90, 480, 130, 520}), 10);  // the text shadow peeks out by two pixels
    EXPECT_GT(countRed({10, 436, 50, 480}), 10);   // and the name shadow
    EXPECT_EQ(Pixel(92 + 12, 482 + 12) & 0xFF, 0xFFu);  // white text over it
    EXPECT_EQ(device_->GetTextureStageState(0, TexStage::ColorOp), TexOp::Modulate);
    EXPECT_EQ(device_->GetTextureStageState(0, TexStage::ColorArg1), TexArg::Texture);

    // Without the shadow bit: white only.
    window_->textFlags = 0;
    ClearScreen();
    window_->Draw();
    EXPECT_EQ(countRed({0, 400, 800, 600}), 0);
}

TEST_F(MessageWindowTest, FrameAndPlateFollowTheNameAndLogEntriesAreTranslucent) {
    window_->frameTexture = MakeTestTexture(device_, 256, 256, [](uint32_t, uint32_t) { return 0xFF0000FFu; });
    ASSERT_NE(window_->frameTexture, nullptr);
    window_->plateSource = {0, 0, 20, 20};
    window_->plateX = 300;
    window_->plateY = 10;
    window_->frameSource = {0, 0, 40, 40};
    window_->frameX = 300;
    window_->frameY = 100;
    window_->revealStart = kRevealShowAll;
    CTestBytes unnamed, named;
    unnamed.ChunkStr("TEXT", "a");
    named.ChunkStr("NAME", "x").ChunkStr("TEXT", "a");
    Parse(unnamed);
    window_->Draw();
    EXPECT_EQ(Pixel(310, 120), 0x0000FFu);  // frame
    EXPECT_EQ(Pixel(310, 15), 0u);          // no plate without a name
    Parse(named);
    ClearScreen();
    window_->Draw();
    EXPECT_EQ(Pixel(310, 15), 0x0000FFu);

    ASSERT_EQ(window_->BuildLogTextGlyphs("ab", nullptr), 0);
    ASSERT_EQ(window_->BuildLogNameGlyphs("L"), 0);
    EXPECT_EQ(window_->logTextGlyphCount, 2);
    EXPECT_EQ(window_->logNameGlyphCount, 2);
    EXPECT_EQ(window_->logTextGlyphs[0].colour, 0x88FFFFFFu);
    EXPECT_EQ(window_->logNameGlyphs[0].colour, 0x88FFFFFFu);
    ClearScreen();
    window_->DrawLogEntry();
    EXPECT_GT(LitPixels({90, 480, 160, 520}), 0);
    EXPECT_GT(LitPixels({10, 436, 60, 470}), 0);

    // In format mode 0 the log name takes the window font's face and size but the name's colour.
    window_->formatMode = 0;
    window_->windowFont = Format(kMsGothicSjis, 30, 0xFFFF0000);
    window_->nameFont.colour = 0xFF00FF00;
    ASSERT_EQ(window_->BuildLogNameGlyphs("L"), 0);
    EXPECT_EQ(window_->logNameGlyphs[0].colour, 0x8800FF00u);
    EXPECT_EQ(window_->logNameGlyphs[0].lineHeight, 32);
}

TEST_F(MessageWindowTest, SettingsRebuildOnlyWhatChanged) {
    CTestBytes payload;
    payload.ChunkStr("NAME", "N").ChunkStr("TEXT", "ab");
    Parse(payload);
    CTexture* before = window_->nameGlyphs[0].texture;
    window_->SetNameFont(window_->nameFont, 0);
    EXPECT_EQ(window_->nameGlyphs[0].texture, before);
    window_->SetNameFont(Format(kMsGothicSjis, 24, 0xFF00FF00), 0);
    EXPECT_EQ(window_->nameGlyphs[0].colour, 0xFF00FF00u);

    // Mode 0 takes the window font for every character; a record given in mode 1 is not adopted.
    const CTextFormat green = Format(kMsGothicSjis, 30, 0xFF00FF00);
    window_->SetTextFontMode(0, &green);
    EXPECT_EQ(window_->textGlyphs[1].colour, 0xFF00FF00u);
    EXPECT_EQ(window_->textGlyphs[1].lineHeight, 32);
    window_->SetTextFontMode(1, &window_->nameFont);
    EXPECT_TRUE(SameFormat(window_->windowFont, green));

    // The outline is baked into the textures: rebuilding changes them.
    window_->textFlags = 3;
    ASSERT_EQ(window_->RebuildGlyphs(), 0);
    bool dark = false;
    for (uint32_t p : TexturePixels(window_->textGlyphs[0].texture)) dark |= (p >> 24) != 0 && (p & 0xFFFFFF) == 0;
    EXPECT_TRUE(dark);

    char copied[kTextBytes];
    CTextFormat formats[kTextGlyphs];
    window_->CopyText(copied, formats);
    EXPECT_STREQ(copied, "ab");
    EXPECT_TRUE(SameFormat(formats[2], window_->textFormats[2]));
}

TEST_F(MessageWindowTest, InitCopiesTheStyleAndLoadsThePicture) {
    CTempFolder folder;
    const std::vector<uint32_t> pixels(64 * 64, 0xFF00FF00u);
    std::filesystem::create_directories(folder / "Image");
    ASSERT_EQ(WriteTeylFile(folder / "Image/TextWindow.bmp", 64, 64, pixels.data()), 0);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());

    CMessageWindowStyle style{};
    std::strcpy(style.pictureName, "Image/TextWindow.bmp");
    style.frameX = 5;
    style.textRect = {90, 480, 660, 570};
    style.lineGap = 4;
    style.shadowColour = 0xA0606060u;
    CMessageWindow window;
    EXPECT_EQ(window.Init(&style), 0);
    EXPECT_NE(window.frameTexture, nullptr);
    EXPECT_EQ(window.frameX, 5);
    EXPECT_EQ(window.textRect.right, 660);
    EXPECT_EQ(window.lineGap, 4);
    EXPECT_EQ(window.shadowColour, 0xA0606060u);
    EXPECT_EQ(window.Init(&style), 0);  // again: the old picture is released first
    window.ReleaseGlyphs();
    EXPECT_EQ(window.frameTexture, nullptr);

    std::strcpy(style.pictureName, "Image/Missing.bmp");
    EXPECT_EQ(window.Init(&style), -1);
    EXPECT_EQ(window.frameTexture, nullptr);
    style.pictureName[0] = '\0';
    EXPECT_EQ(window.Init(&style), 0);
    std::filesystem::current_path(previous);
}

}  // namespace
