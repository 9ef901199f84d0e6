#include "engine/flags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "files/chunk_reader.h"
#include "tests/support/engine_bytes.h"
#include "tools/lib/chunk_writer.h"

namespace {

// Runs a payload reader over a window holding exactly the payload, followed by a sentinel chunk
// that must stay unread.
template <typename Fn>
uint32_t RunOverPayload(const CChunkWriter& payload, Fn fn) {
    CChunkWriter all;
    all.Append(payload);
    all.EmptyChunk("NEXT");
    CMemoryReadStream in(all.Data());
    const uint32_t size = static_cast<uint32_t>(payload.Size());
    in.Window(size);
    uint32_t consumed = 0xFFFFFFFFu;
    fn(&in.stream, &consumed, size);
    EXPECT_TRUE(EndChunk(&in.stream));
    in.stream.Fill(8);
    char tag[5] = {};
    EXPECT_EQ(in.stream.Read(tag, 4), 4);
    EXPECT_STREQ(tag, "NEXT");
    return consumed;
}

CChunkWriter Numbers(std::initializer_list<uint32_t> numbers) {
    CChunkWriter w;
    for (uint32_t n : numbers) w.U32(n);
    return w;
}

void ListChunk(CChunkWriter* w, const char* tag, const CChunkWriter& list) { w->Chunk(tag, list.Data().data(), list.Size()); }

TEST(Flags, FlagCommandsSetAndClearInRangeNumbersOnly) {
    CFlagBlock flags;
    flags.Clear();
    EXPECT_EQ(RunOverPayload(Numbers({5, 255, 256, 0xFFFFFFFFu}),
                             [&](CReadStream* s, uint32_t* c, uint32_t n) { ParseFlagUp(s, &flags, c, n); }),
              16u);
    EXPECT_EQ(flags.game[5], 1);
    EXPECT_EQ(flags.game[255], 1);

    CChunkWriter down = Numbers({5});
    down.Bytes("\x01\x02", 2);  // a tail shorter than a number is consumed and ignored
    EXPECT_EQ(RunOverPayload(down, [&](CReadStream* s, uint32_t* c, uint32_t n) { ParseFlagDown(s, &flags, c, n); }),
              6u);
    EXPECT_EQ(flags.game[5], 0);

    RunOverPayload(Numbers({1023, 1024}), [&](CReadStream* s, uint32_t* c, uint32_t n) { ParseCgFlagUp(s, &flags, c, n); });
    RunOverPayload(Numbers({127, 128}),
                   [&](CReadStream* s, uint32_t* c, uint32_t n) { ParseMovieFlagUp(s, &flags, c, n); });
    EXPECT_EQ(flags.cg[1023], 1);
    EXPECT_EQ(flags.movie[127], 1);
    EXPECT_EQ(std::count(std::begin(flags.cg), std::end(flags.cg), 1), 1);
    EXPECT_EQ(std::count(std::begin(flags.movie), std::end(flags.movie), 1), 1);
}

TEST(JumpTable, ParsesEntriesListsAndTargetsWithTheirLimits) {
    CChunkWriter longList;
    for (uint32_t i = 0; i < 300; ++i) longList.U32(i % 256);
    CChunkWriter junp;
    ListChunk(&junp, "UPF ", Numbers({1}));  // before any JMPN: skipped
    junp.U32Chunk("JMPN", 2);
    ListChunk(&junp, "UPF ", Numbers({3, 300, 4}));
    ListChunk(&junp, "DWNF", Numbers({7}));
    junp.CStringChunk("JMPF", "Script/B.vsf");
    junp.U32Chunk("JMPN", 9);  // out of range: what follows is skipped
    junp.CStringChunk("JMPF", "Script/X.vsf");
    junp.U32Chunk("JMPN", 0);
    ListChunk(&junp, "UPF ", Numbers({8}));
    ListChunk(&junp, "UPF ", Numbers({9}));  // a later list replaces the earlier one
    junp.CStringChunk("XXXX", "unknown");
    junp.U32Chunk("JMPN", 1);  // long lists and names are cut, the rest skipped
    ListChunk(&junp, "UPF ", longList);
    junp.CStringChunk("JMPF", std::string(400, 'a'));
    ListChunk(&junp, "DWNF", Numbers({2}));
    junp.U32Chunk("JMPN", 3);
    junp.Header("JMPF", 1000);  // larger than its parent: ends the command
    junp.CString("a.vsf");
    CJumpTable table;
    EXPECT_EQ(RunOverPayload(junp, [&](CReadStream* s, uint32_t* c, uint32_t n) { table.ParseCommand(s, c, n); }),
              junp.Size());
    EXPECT_EQ(table.active, 1);
    const CJumpEntry& two = table.entries[2];
    EXPECT_EQ(two.used, 1);
    ASSERT_EQ(two.setCount, 2);
    EXPECT_EQ(two.setList[0], 3);
    EXPECT_EQ(two.setList[1], 4);
    EXPECT_EQ(two.clearCount, 1);
    EXPECT_STREQ(two.target, "Script/B.vsf");
    EXPECT_EQ(table.entries[0].setCount, 1);
    EXPECT_EQ(table.entries[0].setList[0], 9);
    EXPECT_EQ(table.entries[0].target[0], '\0');
    EXPECT_EQ(table.entries[1].setCount, 256);
    EXPECT_EQ(std::strlen(table.entries[1].target), 259u);
    EXPECT_EQ(table.entries[1].clearCount, 1);
    EXPECT_EQ(table.entries[3].used, 1);
    EXPECT_EQ(table.entries[3].target[0], '\0');
    for (int i : {4, 5, 6, 7}) EXPECT_EQ(table.entries[i].used, 0);
}

TEST(JumpTable, EvaluatePicksTheFirstMatchingEntry) {
    CJumpTable table;
    table.Clear();
    uint8_t flags[kGameFlagCount] = {};
    char target[kScriptNameSize] = "unchanged";
    EXPECT_EQ(table.Evaluate(flags, target), 0);  // nothing in use

    table.entries[3].used = 1;
    std::strcpy(table.entries[3].target, "three.vsf");  // only a target: always jumps
    table.entries[1].used = 1;
    table.entries[1].setList[0] = 10;
    table.entries[1].setCount = 1;
    table.entries[1].clearList[0] = 11;
    table.entries[1].clearCount = 1;
    std::strcpy(table.entries[1].target, "one.vsf");
    EXPECT_EQ(table.Evaluate(flags, target), 1);
    EXPECT_STREQ(target, "three.vsf");
    flags[10] = 1;
    EXPECT_EQ(table.Evaluate(flags, target), 1);
    EXPECT_STREQ(target, "one.vsf");
    flags[11] = 1;
    EXPECT_EQ(table.Evaluate(flags, target), 1);
    EXPECT_STREQ(target, "three.vsf");
}

}  // namespace
