#include "files/stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/files/temp_folder.h"
#include "tests/support/engine_bytes.h"

namespace {

std::vector<uint8_t> Counting(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return v;
}

// How far into the source the stream has read (its sources only move forward here).
long SourceAt(CMemoryReadStream& m) { return m.stream.callbacks.tell(m.stream.source); }

}  // namespace

TEST(ReadStream, WindowLargerThanBufferIsFetchedInLoadsAndNeverReadPast) {
    CMemoryReadStream m(Counting(1000), 64);
    CReadStream& stream = m.stream;
    ASSERT_EQ(stream.Fill(300), 0);
    EXPECT_EQ(SourceAt(m), 64);
    std::vector<uint8_t> got(400);
    EXPECT_EQ(stream.Read(got.data(), 10), 10);
    EXPECT_EQ(stream.Read(got.data() + 10, 100), 100);
    EXPECT_EQ(stream.Read(got.data() + 110, 250), 190);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 300, m.data.begin()));
    EXPECT_EQ(SourceAt(m), 300);
    EXPECT_EQ(stream.Read(got.data(), 1), 0);
    EXPECT_EQ(stream.LogicalPosition(), 300);

    // The next window starts exactly where the previous one ended.
    ASSERT_EQ(stream.Fill(5), 0);
    EXPECT_EQ(stream.Read(got.data(), 5), 5);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 5, m.data.begin() + 300));
    EXPECT_EQ(SourceAt(m), 305);
}

TEST(ReadStream, FillEdgeCases) {
    CMemoryReadStream m(Counting(10), 16);
    CReadStream& stream = m.stream;
    stream.FreeBuffer();
    uint8_t got[100];
    EXPECT_EQ(stream.Fill(4), -1) << "no buffer";
    EXPECT_EQ(stream.Read(got, 1), -1);
    ASSERT_EQ(stream.AllocBuffer(16), 0);
    EXPECT_EQ(stream.Fill(0), 0) << "an empty payload is a valid window";
    EXPECT_EQ(stream.Read(got, 1), 0);
    EXPECT_EQ(stream.Fill(100), 0) << "a window longer than the source reads what exists";
    EXPECT_EQ(stream.Read(got, 100), 10);
    EXPECT_EQ(stream.Fill(4), -1) << "nothing left";
    // A window size beyond 2 GiB (a damaged chunk size) reads to the end of the source.
    stream.Seek(2, 0);
    EXPECT_EQ(stream.Fill(0xFFFFFFF0u), 0);
    EXPECT_GT(stream.windowLeft, 0);
    EXPECT_EQ(stream.Read(got, 100), 8);
}

TEST(ReadStream, BlockModeReadsAcrossBuffersAndSeeksDropTheBuffer) {
    CMemoryReadStream m(Counting(777), 100);
    CReadStream& stream = m.stream;
    stream.blockMode = 1;
    EXPECT_EQ(stream.Fill(5), 0);
    std::vector<uint8_t> got;
    uint8_t block[33];
    for (int32_t n; (n = stream.Read(block, sizeof block)) > 0;) {
        got.insert(got.end(), block, block + n);
        EXPECT_EQ(stream.LogicalPosition(), static_cast<int64_t>(got.size()));
    }
    EXPECT_EQ(got, m.data);

    ASSERT_EQ(stream.Seek(200, 0), 0);
    ASSERT_EQ(stream.Read(block, 4), 4);
    EXPECT_EQ(0, std::memcmp(block, m.data.data() + 200, 4));
    EXPECT_EQ(stream.LogicalPosition(), 204);
    // From the end, and relative to the source (which stands after the buffered block).
    ASSERT_EQ(stream.Seek(-10, 2), 0);
    ASSERT_EQ(stream.Read(block, 4), 4);
    EXPECT_EQ(0, std::memcmp(block, m.data.data() + 767, 4));
    EXPECT_EQ(stream.Seek(-1000, 1), -1);
    CReadStream noSource;
    EXPECT_EQ(noSource.Seek(0, 0), -1);
}

TEST(ReadStream, UnknownChunkLargerThanTheBufferIsSkippedBySize) {
    CTestBytes file;
    file.Chunk("JUNK", CTestBytes{Counting(5000)}).Chunk("DATA", CTestBytes{{1, 2, 3, 4, 5}}).Empty("EMPT").Empty("EOF ");
    CMemoryReadStream m(file.bytes, 256);
    CReadStream& stream = m.stream;
    std::vector<std::string> seen;
    for (uint8_t header[8]; stream.Fill(8) == 0 && stream.Read(header, 8) == 8;) {
        const uint32_t tag = ReadU32LE(header);
        const uint32_t size = ReadU32LE(header + 4);
        seen.emplace_back(reinterpret_cast<const char*>(header), 4);
        if (tag == MakeTag("EOF ")) break;
        if (tag == MakeTag("JUNK")) {
            ASSERT_EQ(stream.Seek(size, 1), 0);
            continue;
        }
        std::vector<uint8_t> payload(size);
        ASSERT_EQ(stream.Fill(size), 0);
        ASSERT_EQ(stream.Read(payload.data(), size), static_cast<int32_t>(size));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"JUNK", "DATA", "EMPT", "EOF "}));
    EXPECT_EQ(SourceAt(m), static_cast<long>(file.size()));
    EXPECT_EQ(MakeTag("PAGE"), 0x45474150u);
    EXPECT_EQ(MakeReversedTag("LYER"), MakeTag("REYL"));
}

TEST(ReadStream, CloseRunsTheSourceCloseOnceAndOpenFileFailsCleanly) {
    static int closes = 0;
    CStreamCallbacks counting;
    counting.close = [](void*) {
        ++closes;
        return 0;
    };
    {
        CReadStream stream;
        stream.SetSource(counting, &closes);
        stream.CloseFile();
        EXPECT_EQ(stream.callbacks.close, nullptr);
        stream.Close();
    }
    EXPECT_EQ(closes, 1);

    CTempFolder folder;
    CReadStream stream;
    EXPECT_EQ(stream.OpenFile((folder / "missing.bin").c_str()), -1);
    ASSERT_EQ(stream.OpenFile(folder.Write("data.bin", Counting(20)).c_str()), 0);
    ASSERT_EQ(stream.AllocBuffer(8), 0);
    ASSERT_EQ(stream.Fill(20), 0);
    uint8_t got[20];
    EXPECT_EQ(stream.Read(got, 20), 20);
    EXPECT_EQ(0, std::memcmp(got, Counting(20).data(), 20));
    EXPECT_EQ(stream.LogicalPosition(), 20);
    ASSERT_EQ(stream.Seek(-5, 2), 0);
    ASSERT_EQ(stream.Fill(5), 0);
    EXPECT_EQ(stream.Read(got, 20), 5);
    EXPECT_EQ(0, std::memcmp(got, Counting(20).data() + 15, 5));
}

TEST(WriteStream, ExactlyFullBufferWaitsForTheNextWriteOrClose) {
    CTempFolder folder;
    const std::string path = folder / "out.bin";
    const std::vector<uint8_t> bytes = Counting(100);
    CWriteStream stream;
    stream.file = std::fopen(path.c_str(), "wb");
    ASSERT_EQ(stream.AllocBuffer(40), 0);
    EXPECT_EQ(stream.Write(bytes.data(), 40), 40u);
    EXPECT_EQ(ftello(stream.file), 0) << "a buffer filled exactly is not written yet";
    EXPECT_EQ(stream.LogicalPosition(), 40);
    EXPECT_EQ(stream.Write(bytes.data() + 40, 1), 1u);
    EXPECT_EQ(ftello(stream.file), 40);
    EXPECT_EQ(stream.Write(bytes.data() + 41, 59), 59u);
    EXPECT_EQ(stream.LogicalPosition(), 100);
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(CTempFolder::Read(path), bytes);

    // Unbuffered writes go straight to the file.
    CWriteStream direct;
    direct.file = std::fopen(path.c_str(), "wb");
    EXPECT_EQ(direct.Write(bytes.data(), 7), 7u);
    EXPECT_EQ(direct.LogicalPosition(), 7);
    EXPECT_TRUE(direct.Close());
    EXPECT_EQ(CTempFolder::Read(path).size(), 7u);

    // A full disk is reported.
    CWriteStream full;
    full.file = std::fopen("/dev/full", "wb");
    if (full.file == nullptr) return;
    ASSERT_EQ(full.AllocBuffer(16), 0);
    full.Write(bytes.data(), 64);
    EXPECT_FALSE(full.Close());
}
