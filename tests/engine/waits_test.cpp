#include "engine/waits.h"

#include <gtest/gtest.h>

#include <cstring>

#include "files/chunk_save.h"
#include "files/scrambled_io.h"
#include "platform/render_context.h"
#include "tests/support/engine_bytes.h"
#include "tools/lib/chunk_writer.h"

namespace {

struct WaitsTest : ::testing::Test {
    void SetUp() override {
        g_GameClock = 1000;
        g_bPageEffectsDone = g_bPageTextDone = g_bPageVoiceDone = 0;
        ClearSaveMask();
    }
    void TearDown() override { ClearSaveMask(); }
};

template <typename Wait>
uint32_t ParseWait(Wait* wait, const CChunkWriter& payload) {
    CMemoryReadStream in(payload.Data());
    in.Window(static_cast<uint32_t>(payload.Size()));
    uint32_t consumed = 0;
    EXPECT_EQ(wait->Parse(&in.stream, &consumed, static_cast<uint32_t>(payload.Size())), 0);
    return consumed;
}

TEST_F(WaitsTest, LockWithoutConditionsRunsFromThePageStamp) {
    CClockWait lock;
    lock.Clear();
    CChunkWriter klok;
    klok.U32Chunk("LTIM", 3000);
    klok.CStringChunk("ZZZZ", "skipped");
    EXPECT_EQ(ParseWait(&lock, klok), klok.Size());
    EXPECT_EQ(lock.active, 1);
    EXPECT_EQ(lock.time, 3000);
    lock.Stamp(g_GameClock);
    EXPECT_TRUE(lock.IsLocking());
    g_GameClock += 2999;
    EXPECT_TRUE(lock.IsLocking());
    g_GameClock += 1;
    EXPECT_FALSE(lock.IsLocking());
}

TEST_F(WaitsTest, LockWithTwfStartsOnlyWhenTextAndVoicesAreDone) {
    CClockWait lock;
    lock.Clear();
    CChunkWriter klok;
    klok.EmptyChunk("TWF ");
    klok.U32Chunk("LTIM", 500);
    ParseWait(&lock, klok);
    lock.Stamp(g_GameClock);
    EXPECT_FALSE(lock.HasStarted());
    g_GameClock += 10000;
    lock.Start();
    EXPECT_TRUE(lock.IsLocking());  // not started: still locked
    g_bPageTextDone = 1;
    lock.Start();
    EXPECT_FALSE(lock.HasStarted());  // the voices still play
    g_bPageVoiceDone = 1;
    lock.Start();
    EXPECT_EQ(lock.start, g_GameClock);
    g_GameClock += 499;
    EXPECT_TRUE(lock.IsLocking());
    g_GameClock += 1;
    EXPECT_FALSE(lock.IsLocking());
}

TEST_F(WaitsTest, ZeroLockWithoutConditionsLocksNothing) {
    CClockWait lock;
    lock.Clear();
    CChunkWriter klok;
    klok.U32Chunk("LTIM", 0);
    ParseWait(&lock, klok);
    lock.Stamp(g_GameClock);
    EXPECT_FALSE(lock.IsLocking());
}

TEST_F(WaitsTest, AdvanceWithIwfAndZeroTimeFiresOnceEffectsEnd) {
    CActionControl advance;
    advance.Clear();
    advance.time = 77;  // kept when the chunk has no WTIM
    CChunkWriter actl;
    actl.EmptyChunk("IWF ");
    ParseWait(&advance, actl);
    EXPECT_EQ(advance.time, 77);
    advance.time = 0;
    advance.Stamp(g_GameClock);
    EXPECT_EQ(advance.IsElapsed(), 0);
    g_bPageEffectsDone = 1;
    EXPECT_EQ(advance.IsElapsed(), 1);
}

TEST_F(WaitsTest, SaveFormIsMaskedAndRestoresTheConditions) {
    CActionControl advance;
    advance.Clear();
    advance.active = 1;
    advance.iwf = 1;
    advance.twf = 1;
    advance.time = 1234;
    uint32_t size = 0;
    advance.Save(nullptr, &size);
    EXPECT_EQ(size, 28u);

    const uint8_t key[32] = {0x11, 0x22, 0x33, 0x44, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                             17,   18,   19,   20,   21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
    InstallSaveMask(key);
    CMemoryWriteStream out;
    uint32_t written = 0;
    advance.Save(&out.stream, &written);
    std::vector<uint8_t> bytes = out.Bytes();
    ASSERT_EQ(bytes.size(), 28u);
    // Hand-built plain form: "IWF " 0, "TWF " 0, "WTIM" 4 1234.
    CChunkWriter plain;
    plain.EmptyChunk("IWF ");
    plain.EmptyChunk("TWF ");
    plain.U32Chunk("WTIM", 1234);
    for (size_t i = 0; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], plain.Data()[i] ^ key[i % 32]) << i;

    CActionControl restored;
    restored.Clear();
    CMemoryReadStream in(bytes);
    in.Window(28);
    uint32_t consumed = 0;
    EXPECT_EQ(restored.Restore(&in.stream, 28, &consumed), 0);
    EXPECT_EQ(consumed, 28u);
    EXPECT_EQ(restored.active, 1);
    EXPECT_EQ(restored.iwf, 1);
    EXPECT_EQ(restored.twf, 1);
    EXPECT_EQ(restored.time, 1234);
}

}  // namespace
