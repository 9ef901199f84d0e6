// Reading of one chunk's payload from a stream: a reader never goes past the end of its chunk
// and, once finished, has consumed all of it, whatever the payload holds. Sub-chunks are read
// through child readers; a sub-chunk that claims more bytes than its parent has left ends the
// parent's reading (the rest of the parent is skipped).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "files/stream.h"

class CChunkReader {
public:
    // How the bytes come from the stream: plain, or unscrambled with the save key.
    using ReadFn = int32_t (*)(CReadStream* stream, void* destination, uint32_t n);
    static int32_t ReadPlain(CReadStream* stream, void* destination, uint32_t n);

    CChunkReader(CReadStream* stream, uint32_t size, ReadFn read = ReadPlain);
    CChunkReader(CChunkReader&& other) noexcept;
    CChunkReader(const CChunkReader&) = delete;
    CChunkReader& operator=(const CChunkReader&) = delete;
    CChunkReader& operator=(CChunkReader&&) = delete;
    // Skips what is left, so the stream stands at the end of the chunk.
    ~CChunkReader();

    uint32_t Size() const { return size_; }
    uint32_t Remaining() const { return remaining_; }
    // True once the source ran dry before the chunk's end.
    bool SourceEnded() const { return ended_; }

    // Copies min(n, Remaining()) bytes or fewer when the source ends; returns the count.
    uint32_t Read(void* destination, uint32_t n);
    // Little-endian values: false (and the value left as it was) when 4 bytes are not there.
    bool ReadU32(uint32_t* value);
    bool ReadI32(int32_t* value);
    bool ReadF32(float* value);
    void SkipRest();

    // Reads the next sub-chunk's header. False when fewer than 8 bytes remain, the source
    // ended, or the sub-chunk is larger than what remains: the rest of this chunk is then
    // skipped. Body() hands out a reader of the sub-chunk's payload, which must be finished
    // (destroyed or skipped) before this reader reads on; a body never taken is skipped.
    bool NextChunk(CChunkHeader* header);
    CChunkReader Body();

private:
    uint32_t Pull(uint8_t* out, uint32_t n, uint32_t window);
    void Discard(uint32_t n, uint32_t window);
    void DropPendingBody();

    CReadStream* stream_;
    ReadFn read_;
    uint32_t size_;
    uint32_t remaining_;
    uint32_t pendingBody_ = 0;
    bool ended_ = false;
};

// Reads a sub-chunk's payload over a plain struct of 32-bit little-endian fields: only whole
// fields that are present are taken, the others keep their values; extra bytes are skipped.
template <typename T>
void ReadFields(CChunkReader& body, T* fields) {
    static_assert(std::endian::native == std::endian::little && sizeof(T) % 4 == 0);
    uint8_t bytes[sizeof(T)];
    const uint32_t got = body.Read(bytes, sizeof(T));
    std::memcpy(fields, bytes, got / 4 * 4);
}
