#include "tools/lib/memory_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string ReadWindow(CReadStream* stream, uint32_t n) {
    std::string out(n, '\0');
    if (stream->Fill(n) != 0) return "<fill failed>";
    out.resize(static_cast<size_t>(std::max(stream->Read(out.data(), n), 0)));
    return out;
}

TEST(MemoryStream, ReadsThroughASmallBufferAndSeeksOnlyWithinTheBytes) {
    const std::string bytes = "0123456789";
    CReadStream stream;
    ASSERT_TRUE(OpenMemoryStream(&stream, bytes.data(), bytes.size(), 4));
    EXPECT_EQ(ReadWindow(&stream, 10), bytes);  // refilled twice behind the four-byte buffer
    EXPECT_EQ(stream.LogicalPosition(), 10);
    EXPECT_EQ(stream.Fill(1), -1);  // nothing left

    EXPECT_EQ(stream.Seek(-3, 2), 0);
    EXPECT_EQ(ReadWindow(&stream, 5), "789");  // the window is cut at the end of the bytes
    EXPECT_EQ(stream.Seek(2, 0), 0);
    EXPECT_EQ(stream.Seek(3, 1), 0);
    EXPECT_EQ(ReadWindow(&stream, 2), "56");
    EXPECT_EQ(stream.Seek(0, 2), 0);
    EXPECT_EQ(stream.LogicalPosition(), 10);

    EXPECT_EQ(stream.Seek(-1, 0), -1);
    EXPECT_EQ(stream.Seek(11, 0), -1);
    EXPECT_EQ(stream.Seek(-11, 2), -1);
    EXPECT_EQ(stream.Seek(1, 2), -1);
    EXPECT_EQ(stream.LogicalPosition(), 10);  // a refused seek leaves the position
    EXPECT_EQ(stream.Seek(0, 0), 0);
    EXPECT_EQ(ReadWindow(&stream, 1), "0");
}

}  // namespace
