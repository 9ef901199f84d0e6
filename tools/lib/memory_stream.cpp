#include "tools/lib/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace {

struct SMemorySource {
    const uint8_t* data;
    size_t size;
    size_t at;
};

SMemorySource* AsSource(void* source) { return static_cast<SMemorySource*>(source); }

size_t ReadMemory(void* destination, size_t size, size_t count, void* source) {
    SMemorySource* memory = AsSource(source);
    if (size == 0) return 0;
    const size_t elements = std::min(count, (memory->size - memory->at) / size);
    if (elements > 0) std::memcpy(destination, memory->data + memory->at, elements * size);
    memory->at += elements * size;
    return elements;
}

int SeekMemory(void* source, int64_t offset, int origin) {
    SMemorySource* memory = AsSource(source);
    const int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<int64_t>(memory->at) : static_cast<int64_t>(memory->size);
    if (offset < -base || offset > static_cast<int64_t>(memory->size) - base) return -1;
    memory->at = static_cast<size_t>(base + offset);
    return 0;
}

int CloseMemory(void* source) {
    delete AsSource(source);
    return 0;
}

long TellMemory(void* source) { return static_cast<long>(AsSource(source)->at); }

int EofMemory(void* source) { return AsSource(source)->at >= AsSource(source)->size ? 1 : 0; }

}  // namespace

void* NewMemorySource(const void* data, size_t size, CStreamCallbacks* callbacks) {
    callbacks->read = ReadMemory;
    callbacks->seek = SeekMemory;
    callbacks->close = CloseMemory;
    callbacks->tell = TellMemory;
    callbacks->eof = EofMemory;
    return new SMemorySource{static_cast<const uint8_t*>(data), size, 0};
}

bool OpenMemoryStream(CReadStream* stream, const void* data, size_t size, uint32_t capacity) {
    CStreamCallbacks set;
    void* source = NewMemorySource(data, size, &set);
    stream->SetSource(set, source);
    return stream->AllocBuffer(capacity) == 0;
}
