#include "files/chunk_save.h"

#include <cstdlib>
#include <cstring>

#include "files/scrambled_io.h"

void CSaveChunkWriter::Bytes(const void* source, uint32_t n) {
    if (stream_ != nullptr && n > 0) WriteSaveScrambled(stream_, source, n);
    total_ += n;
}

void CSaveChunkWriter::U32(uint32_t value) {
    uint8_t bytes[4];
    WriteU32LE(bytes, value);
    Bytes(bytes, 4);
}

void CSaveChunkWriter::Header(uint32_t tag, uint32_t size) {
    uint8_t bytes[8];
    WriteU32LE(bytes, tag);
    WriteU32LE(bytes + 4, size);
    Bytes(bytes, 8);
}

void CSaveChunkWriter::Chunk(uint32_t tag, const void* payload, uint32_t size) {
    Header(tag, size);
    Bytes(payload, size);
}

void CSaveChunkWriter::ChunkU32(uint32_t tag, uint32_t value) {
    uint8_t bytes[12];
    WriteU32LE(bytes, tag);
    WriteU32LE(bytes + 4, 4);
    WriteU32LE(bytes + 8, value);
    Bytes(bytes, sizeof bytes);
}

void CSaveChunkWriter::ChunkString(uint32_t tag, const char* text) {
    Chunk(tag, text, static_cast<uint32_t>(std::strlen(text)) + 1);
}

void ClearSaveMask() { std::memset(g_SaveKey, 0, sizeof g_SaveKey); }

void InstallSaveMask(const uint8_t key[kScrambleKeySize]) { std::memcpy(g_SaveKey, key, sizeof g_SaveKey); }

bool ReadSaveKeyChunk(CReadStream* stream, uint32_t size) {
    uint8_t key[kScrambleKeySize];
    if (size < sizeof key) return false;
    if (ReadSaveScrambled(stream, key, sizeof key) != static_cast<int32_t>(sizeof key)) return false;
    InstallSaveMask(key);
    return true;
}

uint32_t WriteSaveKeyChunk(CWriteStream* stream, uint32_t seed) {
    ClearSaveMask();
    std::srand(seed);
    uint8_t key[kScrambleKeySize];
    for (uint8_t& byte : key) byte = static_cast<uint8_t>(std::rand() & 0xFF);
    CSaveChunkWriter writer(stream);
    writer.Chunk(MakeTag("CKEY"), key, sizeof key);
    InstallSaveMask(key);
    return writer.Total();
}
