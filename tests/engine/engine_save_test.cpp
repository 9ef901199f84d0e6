#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine_fixture.h"
#include "files/scrambled_io.h"
#include "platform/render_context.h"
#include "tests/support/engine_bytes.h"

namespace {

constexpr uint32_t kHeaderSize = 68;  // a plain file head in front of the engine state

struct SChunk {
    std::string tag;
    size_t offset;  // of the payload
    uint32_t size;
};

std::vector<SChunk> TopLevelChunks(const std::vector<uint8_t>& plain, size_t from) {
    std::vector<SChunk> chunks;
    for (size_t at = from; at + 8 <= plain.size();) {
        const uint32_t size = ReadU32LE(plain.data() + at + 4);
        chunks.push_back({std::string(reinterpret_cast<const char*>(plain.data() + at), 4), at + 8, size});
        at += 8 + size;
    }
    return chunks;
}

class SaveTest : public EngineTest {
protected:
    // Writes the story's script, pictures and sounds, initialises the engine and starts a new game.
    void StartStory() {
        WritePicture("Image/bg.teyl", 800, 600, 0xFF203040u);
        WritePicture("Image/girl.teyl", 100, 200, 0xFFFF8080u);
        WriteVoice("BGM/theme.wav", 4000);
        WriteVoice("Voice/hello.wav", 2000);
        CTestPage first = CTestPage().Layer(0, "Image/bg.teyl", 1, 1).Layer(5, "Image/girl.teyl", 1, 1);
        first.Number("BTNO", 1);
        first.w.Begin("BGMT");
        first.w.CStringChunk("LOAD", "BGM/theme.wav");
        first.w.Begin("STAT");
        for (uint32_t value : {0u, 0u, 0u, 500u}) first.w.U32(value);  // play endlessly, loop back to 500
        first.w.End();
        first.w.End();
        first.Voice(2, "Voice/hello.wav").Text("Aki", "first").Flags("FLGU", {3, 200}).Flags("CGFU", {1});
        CTestPage second = CTestPage().Text("Aki", "second page").Choices({{"go", "b.vsf"}, {"stay", ""}}, {0, 2});
        second.Wait("ACTL", 5000, false, true).Wait("KLOK", 200, false, false);
        second.w.I32Chunk("IMGN", 5);
        second.w.Begin("IMAG");
        second.w.Begin("EFEC");
        for (uint32_t value : {2u, 0u, 1u, 1000u}) second.w.U32(value);  // fade out over 1000 ms
        second.w.End();
        second.w.End();
        WriteScript("Script/a.vsf", {first, second, CTestPage().Text("", "third")});
        ASSERT_EQ(Start(), 0);
        ASSERT_EQ(engine->NewGame("Script/a.vsf"), 0);
    }

    // The plain file head, the u32 length, then the engine state.
    std::vector<uint8_t> SaveToFile(uint32_t* sizeOnly) {
        engine->Save(nullptr, sizeOnly);
        CMemoryWriteStream out;
        const std::string head(kHeaderSize - 4, 'H');
        out.stream.Write(head.data(), static_cast<uint32_t>(head.size()));
        uint8_t length[4];
        WriteU32LE(length, *sizeOnly);
        out.stream.Write(length, 4);
        uint32_t written = 0;
        EXPECT_EQ(engine->Save(&out.stream, &written), 0);
        EXPECT_EQ(written, *sizeOnly);
        return out.Bytes();
    }

    // Undoes the mask: every byte after the CKEY chunk by its absolute offset.
    static std::vector<uint8_t> Unmask(const std::vector<uint8_t>& file) {
        std::vector<uint8_t> plain = file;
        const uint8_t* key = file.data() + kHeaderSize + 8;
        for (size_t i = kHeaderSize + 40; i < plain.size(); ++i) plain[i] ^= key[i % 32];
        return plain;
    }

    int32_t RestoreFromFile(const std::vector<uint8_t>& file) {
        CMemoryReadStream in(file);
        in.stream.Fill(kHeaderSize);
        std::vector<uint8_t> head(kHeaderSize);
        in.stream.Read(head.data(), kHeaderSize);
        return engine->Restore(&in.stream, ReadU32LE(head.data() + kHeaderSize - 4));
    }

    // Writes a u32 into the masked stream at an absolute file offset.
    static void PutMaskedU32(std::vector<uint8_t>* file, size_t at, uint32_t value) {
        for (size_t i = 0; i < 4; ++i)
            (*file)[at + i] = static_cast<uint8_t>((value >> (8 * i)) ^ (*file)[kHeaderSize + 8 + (at + i) % 32]);
    }

    // A fresh engine, as a load from the title makes it.
    void Restart() {
        engine.reset();
        engine = std::make_unique<CVantEngine>();
        ASSERT_EQ(Start(), 0);
    }
};

TEST_F(SaveTest, TheMaskedStreamRestoresTheSameStateAndSavesTheSamePlainBytes) {
    ASSERT_NO_FATAL_FAILURE(StartStory());
    ASSERT_EQ(engine->RunPage(), 0);
    Idle(300);
    ASSERT_EQ(engine->layers[5].visible, 1u);
    ASSERT_NE(engine->layers[5].effect, nullptr);  // the fade out runs
    uint32_t size = 0;
    const std::vector<uint8_t> file = SaveToFile(&size);
    EXPECT_EQ(engine->layers[5].visible, 0u);  // the save finished the fade first
    ASSERT_EQ(file.size(), kHeaderSize + size);
    EXPECT_EQ(std::memcmp(file.data() + kHeaderSize, "CKEY\x20\0\0\0", 8), 0);
    EXPECT_EQ(std::memcmp(file.data() + kHeaderSize + 8, g_SaveKey, 32), 0);

    const std::vector<uint8_t> plain = Unmask(file);
    const std::vector<SChunk> chunks = TopLevelChunks(plain, kHeaderSize);
    std::vector<std::string> tags;
    for (const SChunk& c : chunks) tags.push_back(c.tag);
    std::vector<std::string> expected = {"CKEY", "TIME", "SCRT", "TEXT"};
    for (int i = 0; i < 16; ++i) expected.insert(expected.end(), {"IMGN", "IMAG"});
    expected.insert(expected.end(), {"MIMG", "CAM ", "LGHT"});
    for (int i = 0; i < 2; ++i) expected.insert(expected.end(), {"BTNO", "BGMT"});
    for (int i = 0; i < 4; ++i) expected.insert(expected.end(), {"VTNO", "VOIT"});
    for (int i = 0; i < 4; ++i) expected.insert(expected.end(), {"SETN", "SET "});
    expected.insert(expected.end(), {"SELE", "FLAG", "ACTL", "KLOK"});
    EXPECT_EQ(tags, expected);
    EXPECT_EQ(chunks.back().offset + chunks.back().size, file.size());

    // The engine's own chunks, byte for byte.
    auto payload = [&](const SChunk& c) {
        return std::vector<uint8_t>(plain.begin() + c.offset, plain.begin() + c.offset + c.size);
    };
    CChunkWriter time, script, actl;
    time.U32Chunk("PLAY", g_GameClock);
    time.U32Chunk("RNEW", g_PageStartClock);
    EXPECT_EQ(payload(chunks[1]), time.Data());
    script.CStringChunk("FNAM", "Script/a.vsf");
    script.U32Chunk("PNO ", 2);
    EXPECT_EQ(payload(chunks[2]), script.Data());
    EXPECT_EQ(ReadU32LE(plain.data() + chunks[4 + 2 * 5].offset), 5u);  // the sixth IMGN
    std::vector<uint8_t> flags(256, 0);
    flags[3] = flags[200] = 1;
    EXPECT_EQ(payload(chunks[chunks.size() - 3]), flags);
    actl.EmptyChunk("TWF ");
    actl.U32Chunk("WTIM", 5000);
    EXPECT_EQ(payload(chunks[chunks.size() - 2]), actl.Data());
    const uint32_t clock = g_GameClock;
    const uint32_t pageClock = g_PageStartClock;

    Restart();
    g_GameClock = 5;
    ASSERT_EQ(RestoreFromFile(file), 0);
    EXPECT_EQ(g_GameClock, clock);
    EXPECT_EQ(g_PageStartClock, pageClock);
    EXPECT_STREQ(engine->scriptName, "Script/a.vsf");
    EXPECT_EQ(engine->pageNumber, 2u);
    EXPECT_STREQ(engine->messageWindow.text, "second page");
    EXPECT_STREQ(engine->messageWindow.name, "Aki");
    EXPECT_EQ(engine->layers[0].used, 1u);
    EXPECT_EQ(engine->layers[0].visible, 1u);
    EXPECT_STREQ(engine->layers[5].name, "Image/girl.teyl");
    EXPECT_EQ(engine->layers[5].visible, 0u);
    EXPECT_EQ(engine->layers[5].effect, nullptr);
    EXPECT_EQ(engine->layers[3].used, 0u);
    EXPECT_EQ(engine->musicChannels[1].active, 1);
    EXPECT_EQ(engine->musicChannels[1].status.pending, 1);
    EXPECT_EQ(engine->musicChannels[1].status.command, kSoundRestart);
    EXPECT_EQ(engine->musicChannels[1].status.loopBack, 500);
    EXPECT_EQ(engine->musicChannels[1].startTime, g_GameClock);
    EXPECT_EQ(engine->voiceChannels[2].active, 1);
    EXPECT_EQ(engine->musicChannels[0].active, 0);
    EXPECT_EQ(engine->choiceWindow.active, 1);
    EXPECT_EQ(engine->choiceWindow.items[2].used, 1);
    EXPECT_STREQ(engine->choiceWindow.items[0].target, "b.vsf");
    EXPECT_EQ(engine->flags.game[3], 1);
    EXPECT_EQ(engine->flags.game[200], 1);
    EXPECT_EQ(engine->flags.cg[1], 0);  // picture flags are not part of the state
    EXPECT_EQ(engine->autoAdvance.active, 1);
    EXPECT_EQ(engine->autoAdvance.twf, 1);
    EXPECT_EQ(engine->autoAdvance.time, 5000);
    EXPECT_EQ(engine->autoAdvance.start, kTimeNotSet);
    EXPECT_EQ(engine->inputLock.active, 1);
    EXPECT_EQ(engine->inputLock.start, pageClock);
    EXPECT_EQ(engine->messageLog.Count(), 1);
    EXPECT_EQ(engine->messageWindow.revealStart, kTimeNotSet);

    // Saving again writes the same plain state under a new mask.
    AdvanceFakeClock(1);
    UpdateEngineClock();
    g_GameClock = clock;
    uint32_t again = 0;
    const std::vector<uint8_t> second = SaveToFile(&again);
    ASSERT_EQ(again, size);
    const std::vector<uint8_t> plain1 = Unmask(file);
    const std::vector<uint8_t> plain2 = Unmask(second);
    EXPECT_NE(std::vector<uint8_t>(file.begin() + kHeaderSize + 8, file.begin() + kHeaderSize + 40),
              std::vector<uint8_t>(second.begin() + kHeaderSize + 8, second.begin() + kHeaderSize + 40));
    EXPECT_TRUE(std::equal(plain1.begin() + kHeaderSize + 40, plain1.end(), plain2.begin() + kHeaderSize + 40));

    // The script stands after the saved page.
    ASSERT_EQ(engine->RunPage(), 0);
    EXPECT_EQ(engine->pageNumber, 3u);
    EXPECT_STREQ(engine->messageWindow.text, "third");
}

TEST_F(SaveTest, ASaveWithoutChoicesOrWaitsRestoresThemInactive) {
    ASSERT_NO_FATAL_FAILURE(StartStory());
    uint32_t size = 0;
    const std::vector<uint8_t> file = SaveToFile(&size);
    EXPECT_EQ(SaveToFile(&size), file);  // saves within one millisecond draw the same mask
    const std::vector<SChunk> chunks = TopLevelChunks(Unmask(file), kHeaderSize);
    for (const SChunk& chunk : chunks) EXPECT_TRUE(chunk.tag != "SELE" && chunk.tag != "ACTL" && chunk.tag != "KLOK");

    // Restored over a page that offers choices and carries both waits.
    ASSERT_EQ(engine->RunPage(), 0);
    ASSERT_EQ(engine->choiceWindow.active, 1);
    ASSERT_EQ(engine->autoAdvance.active, 1);
    ASSERT_EQ(engine->inputLock.active, 1);
    ASSERT_EQ(RestoreFromFile(file), 0);
    EXPECT_STREQ(engine->messageWindow.text, "first");
    EXPECT_EQ(engine->pageNumber, 1u);
    EXPECT_EQ(engine->choiceWindow.active, 0);
    EXPECT_EQ(engine->autoAdvance.active, 0);
    EXPECT_EQ(engine->inputLock.active, 0);
}

TEST_F(SaveTest, DamagedStreamsFailAndLeaveAnEngineThatRunsItsFrames) {
    ASSERT_NO_FATAL_FAILURE(StartStory());
    ASSERT_EQ(engine->RunPage(), 0);
    uint32_t size = 0;
    const std::vector<uint8_t> file = SaveToFile(&size);

    for (size_t cut : {size_t{kHeaderSize + 20}, file.size() / 2, file.size() - 3}) {
        Restart();
        std::vector<uint8_t> truncated(file.begin(), file.begin() + static_cast<long>(cut));
        EXPECT_EQ(RestoreFromFile(truncated), -1) << cut;
        EXPECT_EQ(engine->messageLog.Count(), 0) << "the half-restored page is not logged, cut " << cut;
        Idle(50);
        Press(Click());
    }

    // A chunk claiming more than the stream holds.
    std::vector<uint8_t> oversized = file;
    PutMaskedU32(&oversized, kHeaderSize + 40 + 4, 0x7FFFFFF0u);  // the size of TIME
    Restart();
    EXPECT_EQ(RestoreFromFile(oversized), -1);
    Idle(50);

    // A layer index out of range is skipped.
    std::vector<uint8_t> badIndex = file;
    const std::vector<SChunk> chunks = TopLevelChunks(Unmask(file), kHeaderSize);
    PutMaskedU32(&badIndex, chunks[4].offset, 99);  // the first IMGN
    Restart();
    EXPECT_EQ(RestoreFromFile(badIndex), 0);
    EXPECT_EQ(engine->layers[0].used, 0u);
    EXPECT_EQ(engine->layers[5].used, 1u);
}

}  // namespace
