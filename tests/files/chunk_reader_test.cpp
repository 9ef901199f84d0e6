#include "files/chunk_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/engine_bytes.h"

namespace {

uint32_t SizeOf(const CTestBytes& bytes) { return static_cast<uint32_t>(bytes.size()); }

struct Seen {
    uint32_t a = 0;
    float f = 0;
    int32_t i = 0;
    int chunks = 0;
};

// Reads "AAAA" (a u32) and "BBBB" (a float and an i32) sub-chunks of a command payload.
Seen ParseCommand(CReadStream* stream, uint32_t size) {
    Seen seen;
    CChunkReader reader(stream, size);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        ++seen.chunks;
        CChunkReader body = reader.Body();
        if (header.tag == MakeTag("AAAA")) body.ReadU32(&seen.a);
        if (header.tag == MakeTag("BBBB")) {
            body.ReadF32(&seen.f);
            body.ReadI32(&seen.i);
        }
    }
    return seen;
}

std::string NextFour(CReadStream* stream) {
    char next[4] = {};
    return std::string(next, stream->Read(next, 4) == 4 ? 4 : 0);
}

// The engine reads the command header and hands the payload over, in window mode with or
// without having filled it, or in block mode; either way the reader gets every field and stops
// exactly at the chunk's end without fetching a byte beyond it.
TEST(ChunkReader, ReadsNestedChunksWhetherOrNotThePayloadWasFilled) {
    CTestBytes payload;
    payload.ChunkU32("AAAA", 0x11223344).Chunk("BBBB", CTestBytes().F32(2.5f).I32(-7));
    CTestBytes file;
    file.Chunk("CMD ", payload).Tag("NEXT").U32(0);
    const uint32_t end = 8 + SizeOf(payload);
    for (int mode = 0; mode < 3; ++mode) {
        for (uint32_t buffer : {65536u, 8u, 6u, 5u}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " buffer " << buffer);
            CMemoryReadStream m(file.bytes, buffer);
            m.stream.blockMode = mode == 2;
            m.stream.Fill(8);  // does nothing in block mode
            uint8_t header[8];
            ASSERT_EQ(m.stream.Read(header, 8), 8);
            if (mode == 1) m.stream.Fill(SizeOf(payload));
            const Seen seen = ParseCommand(&m.stream, SizeOf(payload));
            EXPECT_EQ(seen.chunks, 2);
            EXPECT_EQ(seen.a, 0x11223344u);
            EXPECT_EQ(seen.f, 2.5f);
            EXPECT_EQ(seen.i, -7);
            EXPECT_EQ(m.stream.LogicalPosition(), static_cast<int64_t>(end));
            if (mode < 2) {
                EXPECT_LE(m.stream.callbacks.tell(m.stream.source), static_cast<long>(end));
            }
        }
    }
}

TEST(ChunkReader, OversizedSubChunkEndsTheCommandAndShortFieldsAreRefused) {
    CTestBytes payload;
    payload.ChunkU32("AAAA", 5);
    payload.Tag("BBBB").U32(1000).U32(1);  // claims more than the command holds
    payload.ChunkU32("AAAA", 6);           // never reached
    CTestBytes file = payload;
    file.Tag("NEXT");
    CMemoryReadStream m(file.bytes);
    m.stream.Fill(SizeOf(file));
    const Seen seen = ParseCommand(&m.stream, SizeOf(payload));
    EXPECT_EQ(seen.chunks, 1);
    EXPECT_EQ(seen.a, 5u);
    EXPECT_EQ(NextFour(&m.stream), "NEXT");

    // A field cut short: the value stays as it was and the sub-chunk is still consumed whole.
    CTestBytes shortField;
    shortField.Chunk("AAAA", CTestBytes().Raw("\x01\x02", 2)).Chunk("BBBB", CTestBytes().F32(1.0f));
    CMemoryReadStream s(shortField.bytes);
    s.stream.Fill(SizeOf(shortField));
    const Seen seen2 = ParseCommand(&s.stream, SizeOf(shortField));
    EXPECT_EQ(seen2.a, 0u);
    EXPECT_EQ(seen2.f, 1.0f);
    EXPECT_EQ(seen2.i, 0);
}

TEST(ChunkReader, ClippedSubChunksTakeWhatIsLeftAndPayloadlessTagsKeepTheirNeighbours) {
    CTestBytes payload;
    payload.Tag("FLAG").U32(0x7FFFFFFF);  // a tag without payload, whatever its size says
    payload.Tag("NAME").U32(0x7FFFFFFF).Str("abc");
    CTestBytes file = payload;
    file.Tag("NEXT");
    CMemoryReadStream m(file.bytes);
    CChunkReader reader(&m.stream, SizeOf(payload));
    CChunkHeader header;
    ASSERT_TRUE(reader.NextChunk(&header, OversizedChunk::Clip));
    EXPECT_EQ(header.tag, MakeTag("FLAG"));
    EXPECT_EQ(header.size, SizeOf(payload) - 8);
    reader.NoBody();
    ASSERT_TRUE(reader.NextChunk(&header, OversizedChunk::Clip));
    EXPECT_EQ(header.tag, MakeTag("NAME"));
    char name[16];
    reader.Body().ReadString(name, sizeof name);
    EXPECT_STREQ(name, "abc");
    EXPECT_FALSE(reader.NextChunk(&header, OversizedChunk::Clip));
    EXPECT_FALSE(reader.Intact());
    EXPECT_EQ(reader.Consumed(), SizeOf(payload));
    m.stream.Fill(4);
    EXPECT_EQ(NextFour(&m.stream), "NEXT");
}

TEST(ChunkReader, IntactOnlyWhenWholeSubChunksFillThePayload) {
    const auto walk = [](const CTestBytes& payload, uint32_t extra) {
        CMemoryReadStream m(payload.bytes);
        CChunkReader reader(&m.stream, SizeOf(payload) + extra);
        CChunkHeader header;
        while (reader.NextChunk(&header)) reader.Body().SkipRest();
        return reader.Intact();
    };
    CTestBytes whole;
    whole.ChunkU32("AAAA", 1).Empty("BBBB");
    EXPECT_TRUE(walk(whole, 0));
    EXPECT_FALSE(walk(CTestBytes(whole).Raw("xyz", 3), 0)) << "a tail too short for a header";
    EXPECT_FALSE(walk(CTestBytes(whole).Tag("CCCC").U32(1), 0)) << "a sub-chunk claiming a byte not there";
    EXPECT_FALSE(walk(whole, 12)) << "the source ends inside the payload";
}

TEST(ChunkReader, UntakenBodiesAreSkippedAndStringsCutTerminated) {
    CTestBytes payload;
    payload.Chunk("XXXX", CTestBytes().U32(1).U32(2).U32(3));
    payload.ChunkStr("LONG", "abcdefghij").ChunkStr("SHRT", "xy").Chunk("NONE", CTestBytes().Raw("pq", 2));
    CMemoryReadStream m(payload.bytes, 7);
    CChunkReader reader(&m.stream, SizeOf(payload));
    CChunkHeader header;
    ASSERT_TRUE(reader.NextChunk(&header));
    EXPECT_EQ(header.tag, MakeTag("XXXX"));
    char fields[3][6];
    std::memset(fields, '#', sizeof fields);
    for (auto& field : fields) {
        ASSERT_TRUE(reader.NextChunk(&header));
        reader.Body().ReadString(field, sizeof field);
    }
    EXPECT_EQ(header.tag, MakeTag("NONE"));
    EXPECT_STREQ(fields[0], "abcde");
    EXPECT_EQ(std::string(fields[1], 6), std::string("xy\0\0\0\0", 6));  // zero-filled
    EXPECT_EQ(std::string(fields[2], 6), std::string("pq\0\0\0\0", 6));  // terminated though the data was not
    EXPECT_FALSE(reader.NextChunk(&header));
    EXPECT_TRUE(reader.Intact());
}

TEST(ChunkReader, SlicesAndFieldStructsTakeOnlyWhatIsThere) {
    CTestBytes payload;
    payload.U32(6).Raw("abcdef", 6).U32(100).U32(5).Raw("\x06\x00", 2);  // the second record claims too much
    CMemoryReadStream m(payload.bytes);
    CChunkReader reader(&m.stream, SizeOf(payload));
    uint32_t length = 0;
    ASSERT_TRUE(reader.ReadU32(&length));
    {
        CChunkReader record = reader.Slice(length);
        uint32_t word = 0;
        EXPECT_TRUE(record.ReadU32(&word));
        EXPECT_FALSE(record.ReadU32(&word));  // two bytes are left in the record
        EXPECT_EQ(record.Remaining(), 0u);
    }
    ASSERT_TRUE(reader.ReadU32(&length));
    CChunkReader record = reader.Slice(length);
    EXPECT_EQ(record.Size(), 6u);
    EXPECT_EQ(reader.Remaining(), 0u);
    struct SPair {
        int32_t x = -1;
        int32_t y = -1;
    } pair;
    ReadFields(record, &pair);
    EXPECT_EQ(pair.x, 5);
    EXPECT_EQ(pair.y, -1) << "a field cut short is not taken";
    EXPECT_EQ(record.Remaining(), 0u);
}

TEST(ChunkReader, SourceThatEndsEarlyStopsWithoutLooping) {
    CTestBytes payload;
    payload.ChunkU32("AAAA", 9).Tag("BBBB").U32(0x7FFFFFF0);  // truncated file
    CMemoryReadStream m(payload.bytes, 16);
    CChunkReader reader(&m.stream, 0xFFFFFFFFu);
    CChunkHeader header;
    int chunks = 0;
    while (reader.NextChunk(&header)) {
        ++chunks;
        CChunkReader body = reader.Body();  // the huge body is skipped until the data ends
    }
    EXPECT_EQ(chunks, 2);
    EXPECT_TRUE(reader.SourceEnded());
    EXPECT_EQ(reader.Remaining(), 0u);
    EXPECT_EQ(reader.Consumed(), SizeOf(payload));

    // A body that runs into the end of the data ends its parents too.
    CTestBytes nested;
    nested.Tag("OUTR").U32(40).Tag("INNR").U32(32).U32(1);
    CMemoryReadStream n(nested.bytes);
    CChunkReader outer(&n.stream, 48);
    ASSERT_TRUE(outer.NextChunk(&header));
    {
        CChunkReader inner = outer.Body();
        ASSERT_TRUE(inner.NextChunk(&header));
        uint32_t values[2];
        EXPECT_EQ(inner.Body().Read(values, 8), 4u);
    }
    EXPECT_TRUE(outer.SourceEnded());
    EXPECT_FALSE(outer.Intact());
    EXPECT_EQ(outer.Consumed(), SizeOf(nested));
}

// Damaged sizes at every level: the walk ends, never reads outside the chunk and accounts for
// exactly the bytes it took.
TEST(ChunkReader, RandomSizesNeverLeaveTheChunk) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        CTestBytes data;
        for (int w = 1 + static_cast<int>(random() % 24); w > 0; --w) {
            const uint32_t r = random();
            data.U32(r % 3 == 0 ? r % 40 : r);
        }
        const uint32_t size = static_cast<uint32_t>(random() % (data.size() + 16));
        const OversizedChunk mode = round % 2 ? OversizedChunk::Clip : OversizedChunk::EndParent;
        CMemoryReadStream m(data.bytes, 1 + random() % 32);
        std::function<void(CChunkReader&, int)> walk = [&](CChunkReader& reader, int depth) {
            CChunkHeader header;
            while (reader.NextChunk(&header, mode)) {
                CChunkReader body = reader.Body();
                if (depth < 4 && header.tag % 2 == 0) walk(body, depth + 1);
            }
        };
        uint32_t consumed = 0;
        {
            CChunkReader reader(&m.stream, size);
            walk(reader, 0);
            consumed = reader.Consumed();
        }
        const int64_t expected = std::min<int64_t>(size, static_cast<int64_t>(data.size()));
        EXPECT_EQ(consumed, expected) << "round " << round;
        EXPECT_EQ(m.stream.LogicalPosition(), expected) << "round " << round;
    }
}

// Top-level chunks in window mode: each payload gets a window of its own, and a chunk that
// does not fit in the stream's size ends the walk.
TEST(ChunkWindows, BeginAndEndWalkTheStreamChunkByChunk) {
    CTestBytes file;
    file.Chunk("AAAA", CTestBytes().U32(1).U32(2)).ChunkStr("SKIP", "unread").ChunkU32("BBBB", 3);
    file.Tag("HUGE").U32(1000).U32(4);
    CMemoryReadStream m(file.bytes, 64);
    uint32_t done = 0;
    CChunkHeader header;
    std::vector<uint32_t> firstWords;
    while (BeginChunk(&m.stream, ReadPlain, SizeOf(file), &done, &header)) {
        done += header.size;
        uint32_t word = 0;
        if (header.tag != MakeTag("SKIP") && m.stream.Read(&word, 4) == 4) firstWords.push_back(word);
        EXPECT_TRUE(EndChunk(&m.stream));
    }
    EXPECT_EQ(firstWords, (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(header.tag, MakeTag("HUGE"));
    EXPECT_EQ(done, SizeOf(file) - 4);

    // The data ends inside a chunk's window: leaving it fails.
    CTestBytes cut;
    cut.Tag("AAAA").U32(12).U32(1);
    CMemoryReadStream c(cut.bytes);
    done = 0;
    ASSERT_TRUE(BeginChunk(&c.stream, ReadPlain, 100, &done, &header));
    EXPECT_FALSE(EndChunk(&c.stream));
    EXPECT_FALSE(ReadChunkHeader(&c.stream, &header));
}

}  // namespace
