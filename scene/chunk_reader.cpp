#include "scene/chunk_reader.h"

#include <cstring>

int32_t CChunkReader::ReadPlain(CReadStream* stream, void* destination, uint32_t n) {
    return stream->Read(destination, n);
}

CChunkReader::CChunkReader(CReadStream* stream, uint32_t size, ReadFn read)
    : stream_(stream), read_(read), size_(size), remaining_(size) {}

CChunkReader::CChunkReader(CChunkReader&& other) noexcept
    : stream_(other.stream_),
      read_(other.read_),
      size_(other.size_),
      remaining_(other.remaining_),
      pendingBody_(other.pendingBody_),
      ended_(other.ended_) {
    other.remaining_ = 0;
    other.pendingBody_ = 0;
}

CChunkReader::~CChunkReader() { SkipRest(); }

// Takes n bytes from the stream (or fewer when the source ends). When the stream's current
// window is used up, a new window of `window` bytes is opened, so the reader works whether or
// not its caller filled the payload beforehand, and never fetches a byte beyond the chunk.
uint32_t CChunkReader::Pull(uint8_t* out, uint32_t n, uint32_t window) {
    uint32_t got = 0;
    while (got < n && !ended_) {
        const int32_t r = read_(stream_, out + got, n - got);
        if (r > 0) {
            got += static_cast<uint32_t>(r);
            continue;
        }
        if (r < 0 || stream_->blockMode || stream_->Fill(window - got) != 0) ended_ = true;
    }
    return got;
}

void CChunkReader::Discard(uint32_t n, uint32_t window) {
    uint8_t scratch[512];
    while (n > 0 && !ended_) {
        const uint32_t step = n < sizeof scratch ? n : static_cast<uint32_t>(sizeof scratch);
        const uint32_t got = Pull(scratch, step, window);
        n -= got;
        window -= got;
    }
}

void CChunkReader::DropPendingBody() {
    if (pendingBody_ == 0) return;
    Discard(pendingBody_, pendingBody_ + remaining_);
    pendingBody_ = 0;
}

uint32_t CChunkReader::Read(void* destination, uint32_t n) {
    DropPendingBody();
    if (n > remaining_) n = remaining_;
    const uint32_t got = Pull(static_cast<uint8_t*>(destination), n, remaining_);
    remaining_ = ended_ ? 0 : remaining_ - got;
    return got;
}

bool CChunkReader::ReadU32(uint32_t* value) {
    uint8_t bytes[4];
    if (Read(bytes, 4) != 4) return false;
    *value = ReadU32LE(bytes);
    return true;
}

bool CChunkReader::ReadI32(int32_t* value) {
    uint32_t raw;
    if (!ReadU32(&raw)) return false;
    *value = static_cast<int32_t>(raw);
    return true;
}

bool CChunkReader::ReadF32(float* value) {
    uint32_t raw;
    if (!ReadU32(&raw)) return false;
    std::memcpy(value, &raw, sizeof raw);
    return true;
}

void CChunkReader::SkipRest() {
    DropPendingBody();
    Discard(remaining_, remaining_);
    remaining_ = 0;
}

bool CChunkReader::NextChunk(CChunkHeader* header) {
    DropPendingBody();
    uint8_t bytes[8];
    if (remaining_ < 8 || Read(bytes, 8) != 8) {
        SkipRest();
        return false;
    }
    header->tag = ReadU32LE(bytes);
    header->size = ReadU32LE(bytes + 4);
    if (header->size > remaining_) {
        SkipRest();
        return false;
    }
    remaining_ -= header->size;
    pendingBody_ = header->size;
    return true;
}

CChunkReader CChunkReader::Body() {
    CChunkReader body(stream_, pendingBody_, read_);
    body.ended_ = ended_;
    pendingBody_ = 0;
    return body;
}
