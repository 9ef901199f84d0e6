#include "engine/flags.h"

#include <cstring>

#include "engine/chunk_reader.h"

void CFlagBlock::Clear() {
    std::memset(game, 0, sizeof(game));
    std::memset(cg, 0, sizeof(cg));
    std::memset(movie, 0, sizeof(movie));
}

namespace {

// Reads u32 flag numbers until the payload is used up; a tail shorter than four bytes is
// consumed and ignored.
uint32_t ApplyFlagList(CReadStream* stream, uint32_t size, uint8_t* flags, uint32_t count, uint8_t value) {
    uint32_t consumed = 0;
    while (size - consumed >= 4) {
        uint32_t number = 0;
        if (!ReadU32(stream, ReadPlain, &number)) return consumed;
        consumed += 4;
        if (number < count) flags[number] = value;
    }
    return consumed + SkipBytes(stream, size - consumed);
}

constexpr uint32_t kTagJmpn = MakeTag("JMPN");
constexpr uint32_t kTagUpf = MakeTag("UPF ");
constexpr uint32_t kTagDwnf = MakeTag("DWNF");
constexpr uint32_t kTagJmpf = MakeTag("JMPF");

// Reads a flag list of a jump entry: the first 256 numbers, those outside 0..255 dropped.
uint32_t ReadJumpList(CReadStream* stream, uint32_t size, int32_t* list, int32_t* count) {
    *count = 0;
    uint32_t consumed = 0;
    for (int32_t taken = 0; taken < kJumpListCapacity && size - consumed >= 4; ++taken) {
        uint32_t number = 0;
        if (!ReadU32(stream, ReadPlain, &number)) return consumed;
        consumed += 4;
        if (number < static_cast<uint32_t>(kGameFlagCount)) list[(*count)++] = static_cast<int32_t>(number);
    }
    return consumed + SkipBytes(stream, size - consumed);
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
    uint32_t done = 0;
    CChunkHeader header;
    while (ReadSubChunkHeader(stream, ReadPlain, size, &done, &header)) {
        uint32_t used = 0;
        if (header.tag == kTagJmpn) {
            uint32_t number = 0;
            if (header.size >= 4 && ReadU32(stream, ReadPlain, &number)) used = 4;
            selected = number < static_cast<uint32_t>(kJumpEntryCount) && used == 4 ? &entries[number] : nullptr;
            if (selected != nullptr) selected->used = 1;
        } else if (selected != nullptr && header.tag == kTagUpf) {
            used = ReadJumpList(stream, header.size, selected->setList, &selected->setCount);
        } else if (selected != nullptr && header.tag == kTagDwnf) {
            used = ReadJumpList(stream, header.size, selected->clearList, &selected->clearCount);
        } else if (selected != nullptr && header.tag == kTagJmpf) {
            used = ReadStringPayload(stream, ReadPlain, header.size, selected->target, kScriptNameSize);
        }
        used += SkipBytes(stream, header.size - used);
        done += used;
        if (used < header.size) break;  // the data ended
    }
    *consumed = done + SkipBytes(stream, size - done);
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
