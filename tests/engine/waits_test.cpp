#include "engine/waits.h"

#include <gtest/gtest.h>

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

// A wait parsed from its sub-chunks (IWF, TWF, then the time chunk unless time < 0), plus an unknown one.
template <typename Wait>
Wait Parsed(const char* timeTag, int32_t time, bool iwf, bool twf) {
    CChunkWriter payload;
    if (iwf) payload.EmptyChunk("IWF ");
    if (twf) payload.EmptyChunk("TWF ");
    if (time >= 0) payload.U32Chunk(timeTag, static_cast<uint32_t>(time));
    payload.CStringChunk("ZZZZ", "skipped");
    Wait wait;
    wait.Clear();
    wait.time = 77;
    CMemoryReadStream in(payload.Data());
    in.Window(static_cast<uint32_t>(payload.Size()));
    uint32_t consumed = 0;
    EXPECT_EQ(wait.Parse(&in.stream, &consumed, static_cast<uint32_t>(payload.Size())), 0);
    EXPECT_EQ(consumed, payload.Size());
    EXPECT_EQ(wait.active, 1);
    return wait;
}

TEST_F(WaitsTest, LocksRunFromThePageStampOrOnceTextAndVoicesAreDone) {
    CClockWait lock = Parsed<CClockWait>("LTIM", 3000, false, false);
    EXPECT_EQ(lock.time, 3000);
    lock.Stamp(g_GameClock);
    g_GameClock += 2999;
    EXPECT_TRUE(lock.IsLocking());
    g_GameClock += 1;
    EXPECT_FALSE(lock.IsLocking());

    CClockWait zero = Parsed<CClockWait>("LTIM", 0, false, false);
    zero.Stamp(g_GameClock);
    EXPECT_FALSE(zero.IsLocking());

    // TWF: the lock starts only once the text is shown and no voice plays.
    CClockWait twf = Parsed<CClockWait>("LTIM", 500, false, true);
    twf.Stamp(g_GameClock);
    g_GameClock += 10000;
    twf.Start();
    EXPECT_TRUE(twf.IsLocking());  // not started: still locked
    g_bPageTextDone = 1;
    twf.Start();
    EXPECT_FALSE(twf.HasStarted());  // the voices still play
    g_bPageVoiceDone = 1;
    twf.Start();
    EXPECT_EQ(twf.start, g_GameClock);
    g_GameClock += 499;
    EXPECT_TRUE(twf.IsLocking());
    g_GameClock += 1;
    EXPECT_FALSE(twf.IsLocking());
}

TEST_F(WaitsTest, AdvanceWithIwfFiresOnceEffectsEndAndItsSaveFormIsMasked) {
    CActionControl advance = Parsed<CActionControl>("WTIM", -1, true, false);
    EXPECT_EQ(advance.time, 77);  // kept when the chunk has no WTIM
    advance.time = 0;
    advance.Stamp(g_GameClock);
    EXPECT_EQ(advance.IsElapsed(), 0);
    g_bPageEffectsDone = 1;
    EXPECT_EQ(advance.IsElapsed(), 1);

    advance.twf = 1;
    advance.time = 1234;
    uint32_t size = 0;
    advance.Save(nullptr, &size);
    EXPECT_EQ(size, 28u);
    uint8_t key[32];
    for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i * 29 + 0x11);
    InstallSaveMask(key);
    CMemoryWriteStream out;
    advance.Save(&out.stream, &size);
    const std::vector<uint8_t> bytes = out.Bytes();
    CChunkWriter plain;
    plain.EmptyChunk("IWF ");
    plain.EmptyChunk("TWF ");
    plain.U32Chunk("WTIM", 1234);
    ASSERT_EQ(bytes.size(), plain.Size());
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
