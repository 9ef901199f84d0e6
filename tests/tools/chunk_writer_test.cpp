#include "tools/lib/chunk_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::string Bytes(const CChunkWriter& w) { return std::string(w.Data().begin(), w.Data().end()); }

TEST(ChunkWriter, ValuesAreLittleEndian) {
    CChunkWriter w;
    w.U8(0xAB);
    w.U16(0x1234);
    w.U32(0x89ABCDEF);
    w.I32(-2);
    w.F32(1.0f);
    w.CString("hi");
    EXPECT_EQ(Bytes(w), std::string("\xAB\x34\x12\xEF\xCD\xAB\x89\xFE\xFF\xFF\xFF\x00\x00\x80\x3F"
                                     "hi\0",
                                     18));
}

TEST(ChunkWriter, NestedChunksGetTheirSizesPatched) {
    CChunkWriter w;
    w.Begin("PAGE");
    w.I32Chunk("IMGN", 2);
    w.Begin("IMAG");
    w.CStringChunk("LOAD", "a");
    w.EmptyChunk("RLAS");
    w.End();
    w.End();
    EXPECT_EQ(w.OpenChunks(), 0u);
    std::string expected("PAGE\x26\0\0\0"  // 12 + 8 + 18 = 38 bytes of payload
                         "IMGN\x04\0\0\0\x02\0\0\0"
                         "IMAG\x12\0\0\0"  // 10 + 8 = 18
                         "LOAD\x02\0\0\0a\0"
                         "RLAS\0\0\0\0",
                         46);
    EXPECT_EQ(Bytes(w), expected);
}

TEST(ChunkWriter, ReversedTagsForModels) {
    CChunkWriter w(CChunkWriter::TagOrder::Reversed);
    w.Header("LYER", 1);
    w.U8(7);
    w.Begin("EOF ");
    w.End();
    EXPECT_EQ(Bytes(w), std::string("REYL\x01\0\0\0\x07 FOE\0\0\0\0", 17));
}

TEST(ChunkWriter, AppendAndMisuse) {
    CChunkWriter part;
    part.U32Chunk("WTIM", 500);
    CChunkWriter w;
    w.Begin("ACTL");
    w.Append(part);
    w.End();
    EXPECT_EQ(Bytes(w), std::string("ACTL\x0C\0\0\0WTIM\x04\0\0\0\xF4\x01\0\0", 20));

    EXPECT_THROW(w.End(), std::logic_error);
    EXPECT_THROW(w.Header("TOOLONG", 0), std::invalid_argument);
    CChunkWriter open;
    open.Begin("PAGE");
    EXPECT_THROW(w.Append(open), std::logic_error);
    EXPECT_FALSE(open.SaveToFile(std::string(TEST_BINARY_DIR) + "/never-written.bin"));
}

TEST(ChunkWriter, SavesTheBytesToAFile) {
    std::string path = std::string(TEST_BINARY_DIR) + "/chunk_writer_test.bin";
    CChunkWriter w;
    w.Chunk("DATA", std::string("\0\1\2", 3));
    ASSERT_TRUE(w.SaveToFile(path));
    std::stringstream read;
    read << std::ifstream(path, std::ios::binary).rdbuf();
    EXPECT_EQ(read.str(), std::string("DATA\x03\0\0\0\0\1\2", 11));
    std::remove(path.c_str());
    EXPECT_FALSE(w.SaveToFile(std::string(TEST_BINARY_DIR) + "/no/such/folder/file.bin"));
}

}  // namespace
