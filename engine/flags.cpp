#include "engine/flags.h"

#include <cstring>

#include "files/chunk_reader.h"

void CFlagBlock::Clear() {
    std::memset(game, 0, sizeof(game));
    std::memset(cg, 0, sizeof(cg));
    std::memset(movie, 0, sizeof(movie));
}

namespace {

// Reads u32 flag numbers until the payload is used up; a tail shorter than four bytes is
// consumed and ignored.
uint32_t ApplyFlagList(CReadStream* stream, uint32_t size, uint8_t* flags, uint32_t count, uint8_t value) {
    CChunkReader list(stream, size);
    uint32_t number = 0;
    while (list.Remaining() >= 4 && list.ReadU32(&number)) {
        if (number < count) flags[number] = value;
    }
    list.SkipRest();
    return list.Consumed();
}

constexpr uint32_t kTagJmpn = MakeTag("JMPN");
constexpr uint32_t kTagUpf = MakeTag("UPF ");
constexpr uint32_t kTagDwnf = MakeTag("DWNF");
constexpr uint32_t kTagJmpf = MakeTag("JMPF");

// Reads a flag list of a jump entry: the first 256 numbers, those outside 0..255 dropped.
void ReadJumpList(CChunkReader& body, int32_t* list, int32_t* count) {
    *count = 0;
    uint32_t number = 0;
    for (int32_t taken = 0; taken < kJumpListCapacity && body.ReadU32(&number); ++taken) {
        if (number < static_cast<uint32_t>(kGameFlagCount)) list[(*count)++] = static_cast<int32_t>(number);
    }
}

}  // namespace

int32_t ParseFlagUp(CReadStream* stream, CFlagBlock* flags, uint32_t* consumed, uint32_t size) {
    *consumed = ApplyFlagList(stream, size, flags->game, kGameFlagCount, 1);
    return 0;
}

int32_t ParseFlagDown(CReadStream* stream, CFlagBlock* flags, uint32_t* consumed, uint32_t size) {
    *consumed = ApplyFlagList(stream, size, flags->game, kGameFlagCount, 0);
    return 0;
}

int32_t ParseCgFlagUp(CReadStream* stream, CFlagBlock* flags, uint32_t* consumed, uint32_t size) {
    *consumed = ApplyFlagList(stream, size, flags->cg, kCgFlagCount, 1);
    return 0;
}

int32_t ParseMovieFlagUp(CReadStream* stream, CFlagBlock* flags, uint32_t* consumed, uint32_t size) {
    *consumed = ApplyFlagList(stream, size, flags->movie, kMovieFlagCount, 1);
    return 0;
}

void CJumpTable::Clear() {
    active = 0;
    std::memset(entries, 0, sizeof(entries));
}

int32_t CJumpTable::ParseCommand(CReadStream* stream, uint32_t* consumed, uint32_t size) {
    std::memset(entries, 0, sizeof(entries));
    CJumpEntry* selected = nullptr;
    CChunkReader reader(stream, size);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        if (header.tag == kTagJmpn) {
            uint32_t number = 0;
            const bool present = body.ReadU32(&number);
            selected = present && number < static_cast<uint32_t>(kJumpEntryCount) ? &entries[number] : nullptr;
            if (selected != nullptr) selected->used = 1;
        } else if (selected != nullptr && header.tag == kTagUpf) {
            ReadJumpList(body, selected->setList, &selected->setCount);
        } else if (selected != nullptr && header.tag == kTagDwnf) {
            ReadJumpList(body, selected->clearList, &selected->clearCount);
        } else if (selected != nullptr && header.tag == kTagJmpf) {
            body.ReadString(selected->target, kScriptNameSize);
        }
    }
    reader.SkipRest();
    *consumed = reader.Consumed();
    active = 1;
    return 0;
}

int32_t CJumpTable::Evaluate(const uint8_t gameFlags[kGameFlagCount], char target[kScriptNameSize]) const {
    for (const CJumpEntry& entry : entries) {
        if (!entry.used) continue;
        bool holds = true;
        for (int32_t i = 0; i < entry.setCount && holds; ++i) holds = gameFlags[entry.setList[i]] == 1;
        for (int32_t i = 0; i < entry.clearCount && holds; ++i) holds = gameFlags[entry.clearList[i]] == 0;
        if (holds) {
            std::memcpy(target, entry.target, kScriptNameSize);
            target[kScriptNameSize - 1] = '\0';
            return 1;
        }
    }
    return 0;
}
