#include "scene/save_chunk.h"

#include "files/scrambled_io.h"

void WriteSaveChunk(CWriteStream* stream, uint32_t tag, const void* payload, uint32_t size, uint32_t* total) {
    if (stream != nullptr) {
        uint8_t header[8];
        WriteU32LE(header, tag);
        WriteU32LE(header + 4, size);
        WriteSaveScrambled(stream, header, sizeof header);
        if (size > 0) WriteSaveScrambled(stream, payload, size);
    }
    *total += 8 + size;
}

CChunkReader SaveReader(CReadStream* stream, uint32_t size) { return CChunkReader(stream, size, ReadSaveScrambled); }
