// Chunks of the save stream (GameData.sys and the engine state of save files): the plain
// "CKEY" chunk that carries the save key, and the chunks after it, written through the save
// scrambling. Read them back with CChunkReader and ReadSaveScrambled.
#pragma once

#include <cstdint>

#include "files/scramble.h"
#include "files/stream.h"

// Writes chunks scrambled with the save key and counts every byte it is given; with a null
// stream it only counts, so the same Save code yields a payload's size before its bytes.
class CSaveChunkWriter {
public:
    explicit CSaveChunkWriter(CWriteStream* stream) : stream_(stream) {}

    void Bytes(const void* source, uint32_t n);
    void U32(uint32_t value);
    void Header(uint32_t tag, uint32_t size);
    void Chunk(uint32_t tag, const void* payload, uint32_t size);
    void ChunkU32(uint32_t tag, uint32_t value);
    // A chunk holding the string and its terminating zero.
    void ChunkString(uint32_t tag, const char* text);
    uint32_t Total() const { return total_; }

private:
    CWriteStream* stream_;
    uint32_t total_ = 0;
};

constexpr uint32_t kSaveKeyChunkBytes = 8 + kScrambleKeySize;

// Draws a new save key (srand seeded with `seed`, the low byte of 32 rand() draws), writes it
// as the plain "CKEY" chunk with the key cleared, then installs it. Returns the bytes written.
uint32_t WriteSaveKeyChunk(CWriteStream* stream, uint32_t seed);
// Reads the key from the payload of a "CKEY" chunk of `size` bytes (its window opened by
// BeginChunk) and installs it. False when the payload is shorter than a key or the data ends.
bool ReadSaveKeyChunk(CReadStream* stream, uint32_t size);
// Clears the save key to zero: the bytes up to the next "CKEY" chunk stand plain.
void ClearSaveMask();
// Installs 32 bytes as the save key.
void InstallSaveMask(const uint8_t key[kScrambleKeySize]);
