#include "files/chunk_reader.h"

#include <algorithm>

int32_t ReadPlain(CReadStream* stream, void* destination, uint32_t n) { return stream->Read(destination, n); }

CChunkReader::CChunkReader(CReadStream* stream, uint32_t size, ChunkReadFn read)
    : stream_(stream), read_(read), size_(size), remaining_(size) {}

CChunkReader::CChunkReader(CChunkReader&& other) noexcept
    : stream_(other.stream_),
      read_(other.read_),
      parent_(other.parent_),
      size_(other.size_),
      remaining_(other.remaining_),
      pendingBody_(other.pendingBody_),
      taken_(other.taken_),
      ended_(other.ended_),
      damaged_(other.damaged_) {
    other.remaining_ = 0;
    other.pendingBody_ = 0;
}

CChunkReader::~CChunkReader() { SkipRest(); }

void CChunkReader::MarkEnded() {
    for (CChunkReader* r = this; r != nullptr; r = r->parent_) r->ended_ = true;
}

// Takes n bytes from the stream (or fewer when the source ends). When the stream's current
// window is used up, a new window of `window` bytes (what is left of the chunk) is opened, so
// the reader works whether or not its caller filled the payload beforehand, and never fetches
// a byte beyond the chunk.
uint32_t CChunkReader::Pull(uint8_t* out, uint32_t n, uint32_t window) {
    uint32_t got = 0;
    while (got < n && !ended_) {
        const int32_t r = read_(stream_, out + got, n - got);
        if (r > 0) {
            got += static_cast<uint32_t>(r);
            continue;
        }
        if (r < 0 || stream_->blockMode || stream_->Fill(window - got) != 0) MarkEnded();
    }
    for (CChunkReader* r = this; r != nullptr; r = r->parent_) r->taken_ += got;
    return got;
}

void CChunkReader::Discard(uint32_t n, uint32_t window) {
    uint8_t scratch[512];
    while (n > 0 && !ended_) {
        const uint32_t step = std::min<uint32_t>(n, sizeof scratch);
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
    n = std::min(n, Remaining());
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

void CChunkReader::ReadString(char* field, uint32_t capacity) {
    if (capacity == 0) return;
    std::memset(field, 0, capacity);
    Read(field, capacity - 1);
    SkipRest();
}

void CChunkReader::SkipRest() {
    DropPendingBody();
    Discard(remaining_, remaining_);
    remaining_ = 0;
}

bool CChunkReader::NextChunk(CChunkHeader* header, OversizedChunk oversized) {
    DropPendingBody();
    if (Remaining() == 0) return false;
    uint8_t bytes[8];
    if (Remaining() < 8 || Read(bytes, 8) != 8) {
        damaged_ = true;
        SkipRest();
        return false;
    }
    header->tag = ReadU32LE(bytes);
    header->size = ReadU32LE(bytes + 4);
    if (header->size > remaining_) {
        damaged_ = true;
        if (oversized == OversizedChunk::EndParent) {
            SkipRest();
            return false;
        }
        header->size = remaining_;
    }
    remaining_ -= header->size;
    pendingBody_ = header->size;
    return true;
}

void CChunkReader::NoBody() {
    remaining_ += pendingBody_;
    pendingBody_ = 0;
}

CChunkReader CChunkReader::Child(uint32_t size) {
    CChunkReader child(stream_, size, read_);
    child.parent_ = this;
    child.ended_ = ended_;
    return child;
}

CChunkReader CChunkReader::Body() {
    const uint32_t size = pendingBody_;
    pendingBody_ = 0;
    return Child(size);
}

CChunkReader CChunkReader::Slice(uint32_t n) {
    DropPendingBody();
    n = std::min(n, Remaining());
    remaining_ -= n;
    return Child(n);
}

namespace {

// Reads and discards up to n bytes of the current window; returns how many were there.
uint32_t SkipBytes(CReadStream* stream, uint32_t n) {
    uint8_t scratch[1024];
    uint32_t skipped = 0;
    while (skipped < n) {
        const uint32_t want = std::min<uint32_t>(sizeof scratch, n - skipped);
        const int32_t got = stream->Read(scratch, want);
        if (got <= 0) break;
        skipped += static_cast<uint32_t>(got);
        if (static_cast<uint32_t>(got) < want) break;
    }
    return skipped;
}

// Bytes of the current read window not yet handed out.
uint32_t WindowRemaining(const CReadStream* stream) {
    const uint32_t buffered = stream->filled - stream->position;
    return buffered + static_cast<uint32_t>(stream->windowLeft > 0 ? stream->windowLeft : 0);
}

}  // namespace

bool ReadChunkHeader(CReadStream* stream, CChunkHeader* header, ChunkReadFn read) {
    stream->Fill(8);
    uint8_t bytes[8];
    if (read(stream, bytes, 8) != 8) return false;
    header->tag = ReadU32LE(bytes);
    header->size = ReadU32LE(bytes + 4);
    return true;
}

bool BeginChunk(CReadStream* stream, ChunkReadFn read, uint32_t size, uint32_t* done, CChunkHeader* header) {
    if (stream->blockMode || *done > size || size - *done < 8) return false;
    if (!ReadChunkHeader(stream, header, read)) return false;
    *done += 8;
    if (header->size > size - *done) return false;
    stream->Fill(header->size);
    return true;
}

bool EndChunk(CReadStream* stream) {
    const uint32_t left = WindowRemaining(stream);
    return SkipBytes(stream, left) == left;
}
