// Chunk writing and reading through the save mask (the scrambled I/O of save files and
// GameData.sys): every byte after the CKEY chunk is XORed with the mask by its file offset.
#pragma once

#include <cstdint>

#include "files/stream.h"

// Masked reading with the shape of a chunk reader.
int32_t ReadMasked(CReadStream* stream, void* destination, uint32_t n);

void WriteMasked(CWriteStream* stream, const void* source, uint32_t n);
void WriteSaveChunkHeader(CWriteStream* stream, uint32_t tag, uint32_t size);
void WriteSaveChunkU32(CWriteStream* stream, uint32_t tag, uint32_t value);
// A chunk holding the string and its terminating zero.
void WriteSaveChunkString(CWriteStream* stream, uint32_t tag, const char* text);
// 8 + the string's length + 1.
uint32_t SaveChunkStringSize(const char* text);

// Draws a new mask (srand seeded with `seed`, the low byte of 32 rand() draws), writes it as the
// plain CKEY chunk with the mask cleared, then installs it. Returns the bytes written (40).
uint32_t WriteSaveKeyChunk(CWriteStream* stream, uint32_t seed);
// Clears the mask to zero.
void ClearSaveMask();
// Installs 32 bytes as the mask.
void InstallSaveMask(const uint8_t key[32]);
