#include "files/scrambled_io.h"

#include <algorithm>
#include <cstring>

uint8_t g_SaveKey[kScrambleKeySize] = {};
uint8_t g_SystemDataKey[kScrambleKeySize] = {};

namespace {
constexpr uint32_t kWriteBlock = 1024;
}

uint32_t WriteScrambled(CWriteStream* stream, const void* source, uint32_t n, const uint8_t* key) {
    const uint8_t* in = static_cast<const uint8_t*>(source);
    uint64_t offset = static_cast<uint64_t>(stream->LogicalPosition());
    uint32_t taken = 0;
    uint8_t block[kWriteBlock];
    while (taken < n) {
        const uint32_t size = std::min(kWriteBlock, n - taken);
        std::memcpy(block, in + taken, size);
        XorWithKey(block, size, key, offset);
        const uint32_t written = stream->Write(block, size);
        taken += written;
        offset += written;
        if (written < size) break;
    }
    return taken;
}

int32_t ReadScrambled(CReadStream* stream, void* destination, uint32_t n, const uint8_t* key) {
    const int64_t offset = stream->LogicalPosition();
    const int32_t got = stream->Read(destination, n);
    if (got > 0) XorWithKey(static_cast<uint8_t*>(destination), static_cast<size_t>(got), key, static_cast<uint64_t>(offset));
    return got;
}

uint32_t WriteSaveScrambled(CWriteStream* stream, const void* source, uint32_t n) {
    return WriteScrambled(stream, source, n, g_SaveKey);
}

uint32_t WriteSystemScrambled(CWriteStream* stream, const void* source, uint32_t n) {
    return WriteScrambled(stream, source, n, g_SystemDataKey);
}

int32_t ReadSaveScrambled(CReadStream* stream, void* destination, uint32_t n) {
    return ReadScrambled(stream, destination, n, g_SaveKey);
}

int32_t ReadSystemScrambled(CReadStream* stream, void* destination, uint32_t n) {
    return ReadScrambled(stream, destination, n, g_SystemDataKey);
}
