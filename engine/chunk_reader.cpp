#include "engine/chunk_reader.h"

#include <algorithm>
#include <cstring>

int32_t ReadPlain(CReadStream* stream, void* destination, uint32_t n) { return stream->Read(destination, n); }

bool ReadExact(CReadStream* stream, ChunkReadFn read, void* destination, uint32_t n) {
    if (n == 0) return true;
    return read(stream, destination, n) == static_cast<int32_t>(n);
}

bool ReadU32(CReadStream* stream, ChunkReadFn read, uint32_t* value) {
    uint8_t bytes[4];
    if (!ReadExact(stream, read, bytes, 4)) return false;
    *value = ReadU32LE(bytes);
    return true;
}

uint32_t SkipBytes(CReadStream* stream, uint32_t n) {
    uint8_t scratch[1024];
    uint32_t skipped = 0;
    while (skipped < n) {
        const uint32_t want = std::min<uint32_t>(sizeof(scratch), n - skipped);
        const int32_t got = stream->Read(scratch, want);
        if (got <= 0) break;
        skipped += static_cast<uint32_t>(got);
        if (static_cast<uint32_t>(got) < want) break;
    }
    return skipped;
}

bool ReadSubChunkHeader(CReadStream* stream, ChunkReadFn read, uint32_t size, uint32_t* done, CChunkHeader* header) {
    if (*done > size || size - *done < 8) return false;
    const uint32_t left = size - *done;
    uint8_t bytes[8];
    const int32_t got = read(stream, bytes, 8);
    if (got > 0) *done += static_cast<uint32_t>(got);
    if (got != 8) return false;
    header->tag = ReadU32LE(bytes);
    header->size = ReadU32LE(bytes + 4);
    return header->size <= left - 8;
}

uint32_t ReadStringPayload(CReadStream* stream, ChunkReadFn read, uint32_t size, char* field, uint32_t capacity) {
    const uint32_t kept = std::min(size, capacity - 1);
    std::memset(field, 0, capacity);
    uint32_t consumed = 0;
    if (kept > 0) {
        const int32_t got = read(stream, field, kept);
        if (got > 0) consumed = static_cast<uint32_t>(got);
        if (consumed < kept) {
            field[consumed] = '\0';
            return consumed;
        }
    }
    field[capacity - 1] = '\0';
    return consumed + SkipBytes(stream, size - consumed);
}

uint32_t WindowRemaining(const CReadStream* stream) {
    const uint32_t buffered = stream->filled - stream->position;
    return buffered + static_cast<uint32_t>(stream->windowLeft > 0 ? stream->windowLeft : 0);
}

bool EndChunk(CReadStream* stream) {
    const uint32_t left = WindowRemaining(stream);
    return SkipBytes(stream, left) == left;
}

bool BeginChunk(CReadStream* stream, ChunkReadFn read, uint32_t size, uint32_t* done, CChunkHeader* header) {
    if (stream->blockMode) return false;
    if (*done > size || size - *done < 8) return false;
    stream->Fill(8);
    if (!ReadSubChunkHeader(stream, read, size, done, header)) return false;
    stream->Fill(header->size);
    return true;
}
