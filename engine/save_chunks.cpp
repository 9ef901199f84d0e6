#include "engine/save_chunks.h"

#include <cstdlib>
#include <cstring>

#include "files/scrambled_io.h"

int32_t ReadMasked(CReadStream* stream, void* destination, uint32_t n) {
    return static_cast<int32_t>(ReadSaveScrambled(stream, destination, n));
}

void WriteMasked(CWriteStream* stream, const void* source, uint32_t n) { WriteSaveScrambled(stream, source, n); }

void WriteSaveChunkHeader(CWriteStream* stream, uint32_t tag, uint32_t size) {
    uint8_t bytes[8];
    WriteU32LE(bytes, tag);
    WriteU32LE(bytes + 4, size);
    WriteMasked(stream, bytes, 8);
}

void WriteSaveChunkU32(CWriteStream* stream, uint32_t tag, uint32_t value) {
    uint8_t bytes[12];
    WriteU32LE(bytes, tag);
    WriteU32LE(bytes + 4, 4);
    WriteU32LE(bytes + 8, value);
    WriteMasked(stream, bytes, 12);
}

void WriteSaveChunkString(CWriteStream* stream, uint32_t tag, const char* text) {
    const uint32_t length = static_cast<uint32_t>(std::strlen(text)) + 1;
    WriteSaveChunkHeader(stream, tag, length);
    WriteMasked(stream, text, length);
}

uint32_t SaveChunkStringSize(const char* text) { return 8 + static_cast<uint32_t>(std::strlen(text)) + 1; }

void ClearSaveMask() { std::memset(g_SaveKey, 0, sizeof(g_SaveKey)); }

void InstallSaveMask(const uint8_t key[32]) { std::memcpy(g_SaveKey, key, sizeof(g_SaveKey)); }

uint32_t WriteSaveKeyChunk(CWriteStream* stream, uint32_t seed) {
    ClearSaveMask();
    std::srand(seed);
    uint8_t key[32];
    for (uint8_t& byte : key) byte = static_cast<uint8_t>(std::rand() & 0xFF);
    WriteSaveChunkHeader(stream, MakeTag("CKEY"), 32);
    WriteMasked(stream, key, 32);
    InstallSaveMask(key);
    return 40;
}
