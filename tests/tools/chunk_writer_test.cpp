#include "tools/lib/chunk_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::string Bytes(const CChunkWriter& w) { return std::string(w.Data().begin(), w.Data().end()); }

TEST(ChunkWriter, LittleEndianValuesAndNestedSizesPatched) {
    CChunkWriter values;
    values.U8(0xAB);
    values.U16(0x1234);
    values.U32(0x89ABCDEF);
    values.I32(-2);
    values.F32(1.0f);
    values.CString("hi");
    EXPECT_EQ(Bytes(values), std::string("\xAB\x34\x12\xEF\xCD\xAB\x89\xFE\xFF\xFF\xFF\x00\x00\x80\x3F" "hi\0", 18));

    CChunkWriter w;
    w.Begin("PAGE");
    w.I32Chunk("IMGN", 2);
    w.Begin("IMAG");
    w.CStringChunk("LOAD", "a");
    w.EmptyChunk("RLAS");
    w.End();
    CChunkWriter part;
    part.U32Chunk("WTIM", 500);
    w.Append(part);
    w.End();
    EXPECT_EQ(w.OpenChunks(), 0u);
    EXPECT_EQ(Bytes(w), std::string("PAGE\x32\0\0\0"  // 12 + 8 + 18 + 12 = 50 bytes of payload
                                    "IMGN\x04\0\0\0\x02\0\0\0"
                                    "IMAG\x12\0\0\0"  // 10 + 8 = 18
                                    "LOAD\x02\0\0\0a\0"
                                    "RLAS\0\0\0\0"
                                    "WTIM\x04\0\0\0\xF4\x01\0\0",
                                    58));

    CChunkWriter reversed(CChunkWriter::TagOrder::Reversed);  // the tag order of models
    reversed.Header("LYER", 1);
    reversed.U8(7);
    reversed.Begin("EOF ");
    reversed.End();
    EXPECT_EQ(Bytes(reversed), std::string("REYL\x01\0\0\0\x07 FOE\0\0\0\0", 17));
}

TEST(ChunkWriter, MisuseThrowsAndSavesOnlyWholeData) {
    const std::string path = std::string(TEST_BINARY_DIR) + "/chunk_writer_test.bin";
    CChunkWriter w;
    w.Chunk("DATA", std::string("\0\1\2", 3));
    EXPECT_THROW(w.End(), std::logic_error);
    EXPECT_THROW(w.Header("TOOLONG", 0), std::invalid_argument);
    CChunkWriter open;
    open.Begin("PAGE");
    EXPECT_THROW(w.Append(open), std::logic_error);
    EXPECT_FALSE(open.SaveToFile(path)) << "a chunk is still open";
    EXPECT_FALSE(w.SaveToFile(std::string(TEST_BINARY_DIR) + "/no/such/folder/file.bin"));
    ASSERT_TRUE(w.SaveToFile(path));
    std::stringstream read;
    read << std::ifstream(path, std::ios::binary).rdbuf();
    EXPECT_EQ(read.str(), std::string("DATA\x03\0\0\0\0\1\2", 11));
    std::remove(path.c_str());
}

}  // namespace
