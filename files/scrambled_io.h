// Scrambled reading and writing of the files the program writes for itself (System.sys,
// GameData.sys, the engine state of save files): every byte is XORed with a 32-byte key by its
// absolute offset in the file, whatever precedes it.
#pragma once

#include <cstdint>

#include "files/scramble.h"
#include "files/stream.h"

// The key of GameData.sys and of the engine state of save files.
extern uint8_t g_SaveKey[kScrambleKeySize];
// The key of System.sys.
extern uint8_t g_SystemDataKey[kScrambleKeySize];

// Writes n bytes scrambled by the offsets at which they land in the file, counting the bytes
// still waiting in the stream's buffer. The source is not changed. Returns the bytes taken.
uint32_t WriteScrambled(CWriteStream* stream, const void* source, uint32_t n, const uint8_t* key);
// Reads up to n bytes and unscrambles them by their offsets. Returns the bytes read, -1
// without a buffer.
int32_t ReadScrambled(CReadStream* stream, void* destination, uint32_t n, const uint8_t* key);

uint32_t WriteSaveScrambled(CWriteStream* stream, const void* source, uint32_t n);
uint32_t WriteSystemScrambled(CWriteStream* stream, const void* source, uint32_t n);
int32_t ReadSaveScrambled(CReadStream* stream, void* destination, uint32_t n);
int32_t ReadSystemScrambled(CReadStream* stream, void* destination, uint32_t n);
