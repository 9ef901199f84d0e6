// Saved sub-chunks of the scene components: each a tag, a u32 size and the payload, written
// through the save scrambling; with no stream only their size is counted.
#pragma once

#include <cstdint>

#include "files/stream.h"
#include "scene/chunk_reader.h"

// Writes (or, with a null stream, only counts) one sub-chunk and adds its bytes to *total.
void WriteSaveChunk(CWriteStream* stream, uint32_t tag, const void* payload, uint32_t size, uint32_t* total);

// A reader of a saved payload: the bytes are unscrambled with the save key.
CChunkReader SaveReader(CReadStream* stream, uint32_t size);
