#include "files/chunk_save.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "files/chunk_reader.h"
#include "files/scrambled_io.h"
#include "tests/support/engine_bytes.h"

namespace {

struct ChunkSaveTest : ::testing::Test {
    void SetUp() override { ClearSaveMask(); }
    void TearDown() override { ClearSaveMask(); }
};

void WriteSample(CSaveChunkWriter& writer) {
    writer.ChunkU32(MakeTag("NUMB"), 0x01020304);
    writer.ChunkString(MakeTag("NAME"), "Script/Main.vsf");
    writer.Header(MakeTag("NEST"), 8 + 4 + 8);
    writer.Chunk(MakeTag("PAIR"), "\x05\x00\x00\x00", 4);
    writer.Chunk(MakeTag("NONE"), nullptr, 0);
}

TEST_F(ChunkSaveTest, CountingWritesNothingAndMatchesTheBytesWritten) {
    CSaveChunkWriter counter(nullptr);
    WriteSample(counter);
    CMemoryWriteStream memory;
    CSaveChunkWriter writer(&memory.stream);
    WriteSample(writer);
    EXPECT_EQ(counter.Total(), writer.Total());
    // With the key cleared the chunks stand plain, byte for byte.
    CTestBytes plain;
    plain.ChunkU32("NUMB", 0x01020304).ChunkStr("NAME", "Script/Main.vsf");
    plain.Chunk("NEST", CTestBytes().ChunkU32("PAIR", 5).Empty("NONE"));
    EXPECT_EQ(memory.Bytes(), plain.bytes);
    EXPECT_EQ(plain.size(), writer.Total());
}

// A save stream behind a plain head: the key chunk stands plain, every byte after it is
// scrambled by its absolute file offset, and the shared reader reads it back.
TEST_F(ChunkSaveTest, KeyChunkThenScrambledChunksReadBack) {
    CMemoryWriteStream memory(16);
    memory.stream.Write("HEAD!", 5);
    EXPECT_EQ(WriteSaveKeyChunk(&memory.stream, 1234), kSaveKeyChunkBytes);
    uint8_t key[kScrambleKeySize];
    std::memcpy(key, g_SaveKey, sizeof key);
    CSaveChunkWriter writer(&memory.stream);
    WriteSample(writer);
    const std::vector<uint8_t> bytes = memory.Bytes();
    ASSERT_EQ(bytes.size(), 5 + kSaveKeyChunkBytes + writer.Total());
    EXPECT_EQ(std::memcmp(bytes.data() + 5, "CKEY\x20\x00\x00\x00", 8), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 13, key, sizeof key), 0);
    const size_t first = 5 + kSaveKeyChunkBytes;
    EXPECT_EQ(bytes[first], static_cast<uint8_t>('N' ^ key[first % kScrambleKeySize]));
    CMemoryWriteStream again;
    WriteSaveKeyChunk(&again.stream, 1234);
    EXPECT_EQ(std::memcmp(g_SaveKey, key, sizeof key), 0) << "the same seed draws the same key";

    ClearSaveMask();
    CMemoryReadStream in(bytes, 8);
    uint8_t head[5];
    in.stream.Fill(5);
    ASSERT_EQ(in.stream.Read(head, 5), 5);
    uint32_t done = 0;
    CChunkHeader header;
    ASSERT_TRUE(BeginChunk(&in.stream, ReadSaveScrambled, static_cast<uint32_t>(bytes.size() - 5), &done, &header));
    EXPECT_EQ(header.tag, MakeTag("CKEY"));
    EXPECT_FALSE(ReadSaveKeyChunk(&in.stream, kScrambleKeySize - 1)) << "a payload too short for a key";
    ASSERT_TRUE(ReadSaveKeyChunk(&in.stream, header.size));
    EXPECT_EQ(std::memcmp(g_SaveKey, key, sizeof key), 0);
    EXPECT_TRUE(EndChunk(&in.stream));

    CChunkReader reader(&in.stream, writer.Total(), ReadSaveScrambled);
    uint32_t number = 0;
    char name[8];
    uint32_t pair = 0;
    int chunks = 0;
    while (reader.NextChunk(&header)) {
        ++chunks;
        CChunkReader body = reader.Body();
        if (header.tag == MakeTag("NUMB")) body.ReadU32(&number);
        if (header.tag == MakeTag("NAME")) body.ReadString(name, sizeof name);
        if (header.tag != MakeTag("NEST")) continue;
        while (body.NextChunk(&header)) {
            ++chunks;
            if (header.tag == MakeTag("PAIR")) body.Body().ReadU32(&pair);
        }
    }
    EXPECT_TRUE(reader.Intact());
    EXPECT_EQ(chunks, 5);
    EXPECT_EQ(number, 0x01020304u);
    EXPECT_STREQ(name, "Script/");
    EXPECT_EQ(pair, 5u);
    EXPECT_EQ(in.stream.LogicalPosition(), static_cast<int64_t>(bytes.size()));
}

}  // namespace
