#include "engine/read_history.h"

#include <gtest/gtest.h>

#include <cstring>

#include "files/chunk_save.h"
#include "files/scrambled_io.h"
#include "platform/clock.h"
#include "platform/input_state.h"
#include "platform/render_context.h"
#include "tests/support/engine_bytes.h"
#include "tools/lib/chunk_writer.h"

namespace {

TEST(ReadHistory, NamesShareRecordsWithoutCaseAndSkipStopsAtTheHighestReadPage) {
    CReadHistory history;
    EXPECT_EQ(history.Record("Script/Main.vsf", 7), 0);
    EXPECT_EQ(history.Record("script/main.VSF", 3), 0);  // a lower page never lowers the maximum
    ASSERT_EQ(history.records.size(), 1u);
    EXPECT_STREQ(history.records[0].name, "Script/Main.vsf");
    EXPECT_EQ(history.records[0].maxPage, 7);
    history.Record("SCRIPT/MAIN.VSF", 9);
    history.Record("Script/B.vsf", 2);
    ASSERT_EQ(history.records.size(), 2u);
    history.Lookup("unknown.vsf");
    EXPECT_EQ(history.maxPage, 0);
    history.Lookup("script/main.vsf");
    EXPECT_EQ(history.maxPage, 9);

    EXPECT_EQ(history.CanSkip(nullptr, 1), 0);  // skip mode off
    history.skipOn = 1;
    EXPECT_EQ(history.CanSkip(nullptr, 8), 1);
    EXPECT_EQ(history.CanSkip(nullptr, 9), 0);  // the last read page stays shown
    EXPECT_EQ(history.skipOn, 0);
    history.skipOn = 1;
    history.skipUnread = 1;
    EXPECT_EQ(history.CanSkip(nullptr, 50), 1);
    CInputState input = {};
    input.rightDown = 1;
    g_ClockNow = 4242;
    EXPECT_EQ(history.CanSkip(&input, 1), 0);
    EXPECT_EQ(history.skipOn, 0);
    EXPECT_EQ(input.keyGuardTime, 4242u);
}

TEST(ReadHistory, BodyMatchesHandBuiltBytesAfterAPlainLengthField) {
    CReadHistory history;
    uint32_t size = 0;
    history.Save(nullptr, &size);
    EXPECT_EQ(size, 40u);
    CMemoryWriteStream empty;
    history.Save(&empty.stream, &size);
    const std::vector<uint8_t> emptyBytes = empty.Bytes();
    ASSERT_EQ(emptyBytes.size(), 40u);
    EXPECT_EQ(std::memcmp(emptyBytes.data(), "CKEY\x20\0\0\0", 8), 0);
    EXPECT_EQ(std::memcmp(emptyBytes.data() + 8, g_SaveKey, 32), 0);
    ClearSaveMask();

    history.Record("Script/Main.vsf", 12);
    history.Record("b.vsf", 1);
    history.Save(nullptr, &size);
    EXPECT_EQ(size, 40u + (15 + 29) + (5 + 29));

    // GameData.sys: a u32 length, then the body; the mask is keyed by absolute file offset.
    CMemoryWriteStream out;
    uint8_t length[4];
    WriteU32LE(length, size);
    out.stream.Write(length, 4);
    uint32_t written = 0;
    history.Save(&out.stream, &written);
    const std::vector<uint8_t> bytes = out.Bytes();
    ASSERT_EQ(bytes.size(), 4u + size);
    uint8_t key[32];
    std::memcpy(key, bytes.data() + 12, 32);

    CChunkWriter plain;
    plain.U32(size);
    plain.Chunk("CKEY", key, 32);
    plain.Begin("RDAT");
    plain.CStringChunk("FNAM", "Script/Main.vsf");
    plain.U32Chunk("RPN ", 12);
    plain.End();
    plain.Begin("RDAT");
    plain.CStringChunk("FNAM", "b.vsf");
    plain.U32Chunk("RPN ", 1);
    plain.End();
    ASSERT_EQ(plain.Size(), bytes.size());
    for (size_t i = 0; i < 44; ++i) EXPECT_EQ(bytes[i], plain.Data()[i]) << i;
    for (size_t i = 44; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], plain.Data()[i] ^ key[i % 32]) << i;

    // Read back after the length field.
    ClearSaveMask();
    CReadHistory restored;
    CMemoryReadStream in(bytes);
    uint8_t head[4];
    in.stream.Fill(4);
    ASSERT_EQ(in.stream.Read(head, 4), 4);
    uint32_t consumed = 0;
    ASSERT_EQ(restored.Restore(&in.stream, ReadU32LE(head), &consumed), 0);
    EXPECT_EQ(consumed, size);
    ASSERT_EQ(restored.records.size(), 2u);
    EXPECT_STREQ(restored.records[0].name, "Script/Main.vsf");
    EXPECT_EQ(restored.records[0].maxPage, 12);
    EXPECT_STREQ(restored.records[1].name, "b.vsf");
    ClearSaveMask();
}

TEST(ReadHistory, DamagedBodiesFailCleanly) {
    // An RDAT that claims more than the stream holds, and a truncated stream.
    const uint8_t zeroKey[32] = {};
    CChunkWriter body;
    body.Chunk("CKEY", zeroKey, 32);
    body.Header("RDAT", 1000);
    body.CStringChunk("FNAM", "x");
    CReadHistory history;
    CMemoryReadStream in(body.Data());
    uint32_t consumed = 0;
    EXPECT_EQ(history.Restore(&in.stream, static_cast<uint32_t>(body.Size()), &consumed), -1);
    EXPECT_TRUE(history.records.empty());

    CMemoryReadStream shorter(body.Data());
    EXPECT_EQ(history.Restore(&shorter.stream, 5000, &consumed), -1);
    ClearSaveMask();
}

}  // namespace
