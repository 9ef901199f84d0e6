// Bounded reading of chunk payloads inside a read window. Every reader of the engine goes
// through these: a sub-chunk whose size does not fit in what remains of its parent is refused,
// strings are cut to their field and terminated, and a payload is always consumed to its end.
#pragma once

#include <cstdint>

#include "files/stream.h"

// How the bytes of a payload are fetched: plain for scripts, unmasked for save data.
using ChunkReadFn = int32_t (*)(CReadStream* stream, void* destination, uint32_t n);

int32_t ReadPlain(CReadStream* stream, void* destination, uint32_t n);

// Reads exactly n bytes; false when the data ends first.
bool ReadExact(CReadStream* stream, ChunkReadFn read, void* destination, uint32_t n);
bool ReadU32(CReadStream* stream, ChunkReadFn read, uint32_t* value);

// Reads and discards n bytes; returns how many were there.
uint32_t SkipBytes(CReadStream* stream, uint32_t n);

// Reads the header of a sub-chunk of a parent of `size` bytes of which `*done` are used, and
// adds the header's bytes to *done. False when fewer than 8 bytes remain, the header cannot
// be read, or its size exceeds what follows it in the parent.
bool ReadSubChunkHeader(CReadStream* stream, ChunkReadFn read, uint32_t size, uint32_t* done, CChunkHeader* header);

// Reads a payload of `size` bytes holding a zero-terminated string into a field of `capacity`
// bytes: at most capacity - 1 bytes are kept, the field is always terminated, the rest of the
// payload is skipped. Returns the bytes consumed.
uint32_t ReadStringPayload(CReadStream* stream, ChunkReadFn read, uint32_t size, char* field, uint32_t capacity);

// Bytes of the current read window not yet handed out.
uint32_t WindowRemaining(const CReadStream* stream);

// A chunk of a stream read in window mode (scripts, the engine state, GameData.sys): opens an
// 8-byte window, reads the header and, when the chunk fits in what remains of `size` (the
// stream's size; *done counts the bytes used so far, the header included on return), opens a
// window of exactly its payload. False at the end of the data or for a chunk that does not fit.
bool BeginChunk(CReadStream* stream, ChunkReadFn read, uint32_t size, uint32_t* done, CChunkHeader* header);
// Leaves the chunk: what its reader left unread is read out, so the stream then stands on the
// next chunk. False when the data ended before the chunk's end.
bool EndChunk(CReadStream* stream);
