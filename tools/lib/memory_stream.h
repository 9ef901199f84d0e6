// Bytes held in memory read through a CReadStream: how the tests, benchmarks, fuzz targets and
// tools hand prepared data to the program's readers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/stream.h"

// Installs a read-only source over the caller's bytes (which must outlive the stream; the
// stream frees the source when it closes) and allocates a buffer of `capacity` bytes. Seeking
// outside the bytes fails. False when the buffer cannot be allocated.
bool OpenMemoryStream(CReadStream* stream, const void* data, size_t size, uint32_t capacity);
// The same source without a stream: the callbacks and a source over the caller's bytes, for
// readers that take callbacks (the source is freed by the close callback).
void* NewMemorySource(const void* data, size_t size, CStreamCallbacks* callbacks);
