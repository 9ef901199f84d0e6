#include "scene/chunk_reader.h"

#include <gtest/gtest.h>

#include "tests/scene/scene_test_util.h"

namespace {

using scene_test::Bytes;



// A command chunk "CMD " holding two sub-chunks, followed by bytes of the next command.
Bytes CommandWithTrailer(Bytes* payloadOut = nullptr) {
    Bytes payload;
    payload.Chunk("AAAA", Bytes().U32(0x11223344));
    payload.Chunk("BBBB", Bytes().F32(2.5f).I32(-7));
    if (payloadOut) *payloadOut = payload;
    Bytes all;
    all.Chunk("CMD ", payload).Tag("NEXT").U32(0);
    return all;
}

struct Seen {
    uint32_t a = 0;
    float f = 0;
    int32_t i = 0;
    int chunks = 0;
};

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

// The engine reads the command header and hands the payload over, with or without having
// filled it; either way the reader gets every field and stops exactly at the chunk's end.
TEST(ChunkReader, ReadsNestedChunksWhetherOrNotThePayloadWasFilled) {
    Bytes payload;
    const Bytes file = CommandWithTrailer(&payload);
    for (int filled = 0; filled < 2; ++filled) {
        for (uint32_t buffer : {65536u, 8u, 5u}) {
            CMemoryReadStream m(file.bytes, buffer);
            m.stream.Fill(8);
            uint8_t header[8];
            ASSERT_EQ(m.stream.Read(header, 8), 8);
            if (filled) m.stream.Fill(static_cast<uint32_t>(payload.size()));
            const Seen seen = ParseCommand(&m.stream, static_cast<uint32_t>(payload.size()));
            EXPECT_EQ(seen.chunks, 2);
            EXPECT_EQ(seen.a, 0x11223344u);
            EXPECT_EQ(seen.f, 2.5f);
            EXPECT_EQ(seen.i, -7);
            EXPECT_EQ(m.stream.LogicalPosition(), static_cast<int64_t>(8 + payload.size()));
            // Nothing beyond the command was fetched from the source.
            EXPECT_LE(m.stream.callbacks.tell(m.stream.source), static_cast<long>(8 + payload.size())) << "buffer " << buffer << " filled " << filled;
        }
    }
}

TEST(ChunkReader, BlockModeStreamsWork) {
    Bytes payload;
    const Bytes file = CommandWithTrailer(&payload);
    CMemoryReadStream m(file.bytes, 6);
    m.stream.blockMode = 1;
    uint8_t header[8];
    ASSERT_EQ(m.stream.Read(header, 8), 8);
    const Seen seen = ParseCommand(&m.stream, static_cast<uint32_t>(payload.size()));
    EXPECT_EQ(seen.a, 0x11223344u);
    EXPECT_EQ(seen.i, -7);
    EXPECT_EQ(m.stream.LogicalPosition(), static_cast<int64_t>(8 + payload.size()));
}

TEST(ChunkReader, OversizedSubChunkEndsTheCommandAndShortFieldsAreRefused) {
    Bytes payload;
    payload.Chunk("AAAA", Bytes().U32(5));
    payload.Tag("BBBB").U32(1000).U32(1);  // claims more than the command holds
    payload.Chunk("AAAA", Bytes().U32(6));  // never reached
    Bytes file;
    file.Raw(payload.bytes.data(), payload.size()).Tag("NEXT");
    CMemoryReadStream m(file.bytes);
    m.stream.Fill(static_cast<uint32_t>(file.size()));
    const Seen seen = ParseCommand(&m.stream, static_cast<uint32_t>(payload.size()));
    EXPECT_EQ(seen.chunks, 1);
    EXPECT_EQ(seen.a, 5u);
    char next[4];
    ASSERT_EQ(m.stream.Read(next, 4), 4);
    EXPECT_EQ(std::string(next, 4), "NEXT");

    // A field cut short: the value stays as it was and the sub-chunk is still consumed whole.
    Bytes shortField;
    shortField.Chunk("AAAA", Bytes().Raw("\x01\x02", 2)).Chunk("BBBB", Bytes().F32(1.0f));
    CMemoryReadStream s(shortField.bytes);
    s.stream.Fill(static_cast<uint32_t>(shortField.size()));
    const Seen seen2 = ParseCommand(&s.stream, static_cast<uint32_t>(shortField.size()));
    EXPECT_EQ(seen2.a, 0u);
    EXPECT_EQ(seen2.f, 1.0f);
    EXPECT_EQ(seen2.i, 0);
}

TEST(ChunkReader, SourceThatEndsEarlyStopsWithoutLooping) {
    Bytes payload;
    payload.Chunk("AAAA", Bytes().U32(9));
    payload.Tag("BBBB").U32(0x7FFFFFF0);  // truncated file
    CMemoryReadStream m(payload.bytes, 16);
    CChunkReader reader(&m.stream, 0xFFFFFFFFu);
    CChunkHeader header;
    int chunks = 0;
    while (reader.NextChunk(&header)) {
        ++chunks;
        CChunkReader body = reader.Body();  // the huge body is skipped until the data ends
    }
    EXPECT_EQ(chunks, 2);
    EXPECT_TRUE(reader.SourceEnded() || reader.Remaining() == 0);
    EXPECT_EQ(reader.Remaining(), 0u);
}

TEST(ChunkReader, UntakenBodiesAreSkipped) {
    Bytes payload;
    payload.Chunk("XXXX", Bytes().U32(1).U32(2).U32(3));
    payload.Chunk("AAAA", Bytes().U32(42));
    CMemoryReadStream m(payload.bytes, 7);
    CChunkReader reader(&m.stream, static_cast<uint32_t>(payload.size()));
    CChunkHeader header;
    ASSERT_TRUE(reader.NextChunk(&header));
    EXPECT_EQ(header.tag, MakeTag("XXXX"));
    ASSERT_TRUE(reader.NextChunk(&header));
    EXPECT_EQ(header.tag, MakeTag("AAAA"));
    uint32_t v = 0;
    EXPECT_TRUE(reader.Body().ReadU32(&v));
    EXPECT_EQ(v, 42u);
    EXPECT_FALSE(reader.NextChunk(&header));
}

}  // namespace
