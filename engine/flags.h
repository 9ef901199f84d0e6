// Story flags and the conditional jumps of a page.
#pragma once

#include <cstdint>

#include "files/stream.h"

constexpr int32_t kGameFlagCount = 256;
constexpr int32_t kCgFlagCount = 1024;
constexpr int32_t kMovieFlagCount = 128;
constexpr int32_t kJumpEntryCount = 8;
constexpr int32_t kJumpListCapacity = 256;
constexpr uint32_t kScriptNameSize = 260;

struct CFlagBlock {
    uint8_t game[kGameFlagCount];
    uint8_t cg[kCgFlagCount];
    uint8_t movie[kMovieFlagCount];

    void Clear();
};

// The page commands FLGU, FLGD, CGFU and SFUP: a run of u32 flag numbers; numbers out of
// range are ignored. Always 0.
int32_t ParseFlagUp(CReadStream* stream, CFlagBlock* flags, uint32_t* consumed, uint32_t size);
int32_t ParseFlagDown(CReadStream* stream, CFlagBlock* flags, uint32_t* consumed, uint32_t size);
int32_t ParseCgFlagUp(CReadStream* stream, CFlagBlock* flags, uint32_t* consumed, uint32_t size);
int32_t ParseMovieFlagUp(CReadStream* stream, CFlagBlock* flags, uint32_t* consumed, uint32_t size);

struct CJumpEntry {
    int32_t used;
    int32_t setList[kJumpListCapacity];
    int32_t setCount;
    int32_t clearList[kJumpListCapacity];
    int32_t clearCount;
    char target[kScriptNameSize];
};

struct CJumpTable {
    int32_t active = 0;
    CJumpEntry entries[kJumpEntryCount] = {};

    void Clear();
    // The page command JUNP: clears every entry, reads the sub-chunks, sets the table active.
    int32_t ParseCommand(CReadStream* stream, uint32_t* consumed, uint32_t size);
    // 1 and the target of the first used entry whose set flags are all 1 and whose clear flags
    // are all 0; else 0.
    int32_t Evaluate(const uint8_t gameFlags[kGameFlagCount], char target[kScriptNameSize]) const;
};
