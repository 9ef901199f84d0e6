#include "files/scrambled_io.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tests/support/engine_bytes.h"

namespace {

std::vector<uint8_t> TestKey() {
    std::vector<uint8_t> key(32);
    for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(0xA0 + i * 3);
    return key;
}

std::vector<uint8_t> Payload(size_t n) {
    std::vector<uint8_t> v(n);
    std::mt19937 random(7);
    for (auto& b : v) b = static_cast<uint8_t>(random());
    return v;
}

// Writes a 5-byte plain head, then the payload scrambled in pieces of the given sizes
// (an unbuffered stream for bufferSize 0).
std::vector<uint8_t> WriteInPieces(const std::vector<uint8_t>& payload, const std::vector<uint32_t>& pieces,
                                   uint32_t bufferSize, const uint8_t* key) {
    CMemoryWriteStream memory(bufferSize);
    CWriteStream* stream = &memory.stream;
    stream->Write("HEAD!", 5);
    for (uint32_t done = 0, piece = 0; done < payload.size(); ++piece) {
        const uint32_t size = std::min<uint32_t>(pieces[piece % pieces.size()], static_cast<uint32_t>(payload.size() - done));
        EXPECT_EQ(WriteScrambled(stream, payload.data() + done, size, key), size);
        done += size;
    }
    return memory.Bytes();
}

}  // namespace

TEST(Scramble, EachByteIsXoredByItsAbsoluteOffset) {
    const std::vector<uint8_t> key = TestKey();
    const std::vector<uint8_t> plain = Payload(200);
    for (uint64_t offset : {0ull, 5ull, 31ull, 32ull, 33ull, 1000003ull}) {
        for (size_t length : {0, 1, 31, 32, 33, 64, 200}) {
            std::vector<uint8_t> data(plain.begin(), plain.begin() + length);
            XorWithKey(data.data(), data.size(), key.data(), offset);
            for (size_t i = 0; i < length; ++i) {
                ASSERT_EQ(data[i], plain[i] ^ key[(offset + i) % 32]) << "offset " << offset << " byte " << i;
            }
        }
    }
}

TEST(ScrambledIo, SplitWritesGiveTheSameFileAsOneWrite) {
    const std::vector<uint8_t> payload = Payload(3000);
    const std::vector<uint8_t> copy = payload;
    for (const std::vector<uint8_t>& key : {TestKey(), std::vector<uint8_t>(32, 0)}) {
        // The expected bytes, worked out by hand from the rule: plain head, then p XOR key[p mod 32].
        std::vector<uint8_t> expected = {'H', 'E', 'A', 'D', '!'};
        for (size_t i = 0; i < payload.size(); ++i) expected.push_back(payload[i] ^ key[(5 + i) % 32]);
        EXPECT_EQ(WriteInPieces(payload, {3000}, 0, key.data()), expected);
        EXPECT_EQ(WriteInPieces(payload, {3000}, 4096, key.data()), expected);
        // Pieces that straddle the 100-byte buffer boundary and the 1,024-byte block size.
        EXPECT_EQ(WriteInPieces(payload, {1, 99, 7, 1025, 33, 100, 2}, 100, key.data()), expected);
        EXPECT_EQ(WriteInPieces(payload, {17}, 64, key.data()), expected);
    }
    EXPECT_EQ(payload, copy) << "the source is left alone";
}

TEST(ScrambledIo, ReadUnscramblesByPositionAlsoAfterASeek) {
    const std::vector<uint8_t> payload = Payload(5000);
    std::memcpy(g_SaveKey, TestKey().data(), 32);
    std::memcpy(g_SystemDataKey, TestKey().data(), 32);
    g_SystemDataKey[3] ^= 0xFF;
    CMemoryWriteStream file(512);
    file.stream.Write("HEAD!", 5);
    WriteSaveScrambled(&file.stream, payload.data(), 2500);
    WriteSystemScrambled(&file.stream, payload.data() + 2500, 2500);
    CMemoryReadStream in(file.Bytes(), 300);
    CReadStream& stream = in.stream;
    stream.blockMode = 1;
    std::vector<uint8_t> got(2500);
    ASSERT_EQ(stream.Read(got.data(), 5), 5);
    ASSERT_EQ(ReadSaveScrambled(&stream, got.data(), 1234), 1234);
    ASSERT_EQ(ReadSaveScrambled(&stream, got.data() + 1234, 1266), 1266);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), payload.begin()));
    ASSERT_EQ(ReadSystemScrambled(&stream, got.data(), 2500), 2500);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), payload.begin() + 2500));

    // Seek into the middle of the first part: the key follows the absolute position.
    ASSERT_EQ(stream.Seek(5 + 777, 0), 0);
    ASSERT_EQ(ReadSaveScrambled(&stream, got.data(), 100), 100);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 100, payload.begin() + 777));
    // A short read at the end returns the short count, unscrambled.
    ASSERT_EQ(stream.Seek(-10, 2), 0);
    EXPECT_EQ(ReadSystemScrambled(&stream, got.data(), 100), 10);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 10, payload.end() - 10));
    std::memset(g_SaveKey, 0, 32);
    std::memset(g_SystemDataKey, 0, 32);
}
