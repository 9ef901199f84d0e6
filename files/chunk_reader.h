// Bounded reading of chunked data (scripts, the engine state of save files, GameData.sys).
// A reader is given a chunk's payload size and never reads past it: missing fields keep their
// values, strings are cut to their field and terminated, a sub-chunk never reaches beyond its
// parent, and once finished the reader has consumed the payload exactly, whatever it holds.
// It works whether or not its caller opened a read window over the payload, and never fetches
// a byte beyond the chunk from the source.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "files/stream.h"

// How the bytes of a chunk come from the stream: plain, or unscrambled with the save key
// (ReadSaveScrambled).
using ChunkReadFn = int32_t (*)(CReadStream* stream, void* destination, uint32_t n);
int32_t ReadPlain(CReadStream* stream, void* destination, uint32_t n);

// What NextChunk does with a sub-chunk that claims more bytes than its parent has left.
enum class OversizedChunk {
    EndParent,  // the parent ends there: the rest of it is skipped
    Clip,       // the sub-chunk takes what is left of the parent
};

class CChunkReader {
public:
    CChunkReader(CReadStream* stream, uint32_t size, ChunkReadFn read = ReadPlain);
    // A reader must not be moved while a body of it is open.
    CChunkReader(CChunkReader&& other) noexcept;
    CChunkReader(const CChunkReader&) = delete;
    CChunkReader& operator=(const CChunkReader&) = delete;
    CChunkReader& operator=(CChunkReader&&) = delete;
    // Skips what is left, so the stream stands at the end of the chunk.
    ~CChunkReader();

    uint32_t Size() const { return size_; }
    uint32_t Remaining() const { return ended_ ? 0 : remaining_; }
    // Bytes taken from the stream so far, those of the sub-chunks' bodies included.
    uint32_t Consumed() const { return taken_; }
    // True once the source ran dry before the chunk's end.
    bool SourceEnded() const { return ended_; }
    // False once the source ended or a sub-chunk header was refused or clipped: the chunk was
    // not read as whole sub-chunks up to its end.
    bool Intact() const { return !ended_ && !damaged_; }

    // Copies min(n, Remaining()) bytes or fewer when the source ends; returns the count.
    uint32_t Read(void* destination, uint32_t n);
    // Little-endian values: false (and the value left as it was) when 4 bytes are not there.
    bool ReadU32(uint32_t* value);
    bool ReadI32(int32_t* value);
    bool ReadF32(float* value);
    // Reads the rest of the chunk as a string into a field of `capacity` bytes: the field is
    // zero-filled, at most capacity - 1 bytes are kept, and the rest is skipped.
    void ReadString(char* field, uint32_t capacity);
    void SkipRest();

    // Reads the next sub-chunk's header. False when fewer than 8 bytes remain or the source
    // ended: the rest of this chunk is then skipped. A sub-chunk larger than what remains ends
    // this chunk too, or, with OversizedChunk::Clip, is cut to what remains. Body() hands out a
    // reader of the sub-chunk's payload, which must be finished (destroyed or skipped) before
    // this reader reads on; a body never taken is skipped.
    bool NextChunk(CChunkHeader* header, OversizedChunk oversized = OversizedChunk::EndParent);
    CChunkReader Body();
    // For tags that carry no payload whatever their size field says: the size is not used and
    // the next header follows right after this one.
    void NoBody();
    // A reader of the next n bytes (or of what is left, when fewer), like a body without a header.
    CChunkReader Slice(uint32_t n);

private:
    uint32_t Pull(uint8_t* out, uint32_t n, uint32_t window);
    void Discard(uint32_t n, uint32_t window);
    void DropPendingBody();
    void MarkEnded();
    CChunkReader Child(uint32_t size);

    CReadStream* stream_;
    ChunkReadFn read_;
    CChunkReader* parent_ = nullptr;  // a body counts its bytes and the source's end in its parent
    uint32_t size_;
    uint32_t remaining_;
    uint32_t pendingBody_ = 0;
    uint32_t taken_ = 0;
    bool ended_ = false;
    bool damaged_ = false;
};

// Reads a payload over a plain struct of 32-bit little-endian fields: only whole fields that
// are present are taken, the others keep their values; extra bytes are skipped.
template <typename T>
void ReadFields(CChunkReader& body, T* fields) {
    static_assert(std::endian::native == std::endian::little && sizeof(T) % 4 == 0);
    uint8_t bytes[sizeof(T)];
    const uint32_t got = body.Read(bytes, sizeof(T));
    std::memcpy(fields, bytes, got / 4 * 4);
}

// Top-level chunks of a stream read in window mode (scripts, the engine state, GameData.sys).

// Opens an 8-byte window and reads a chunk header through `read`. False when the data ends first.
bool ReadChunkHeader(CReadStream* stream, CChunkHeader* header, ChunkReadFn read = ReadPlain);
// Reads the next chunk of a stream of `size` bytes of which *done are used: its header (added to
// *done) and, when the chunk fits in what remains, a window of exactly its payload. False at
// the end of the data, in block mode, or for a chunk that does not fit.
bool BeginChunk(CReadStream* stream, ChunkReadFn read, uint32_t size, uint32_t* done, CChunkHeader* header);
// Leaves the chunk: what its reader left unread in the window is read out, so the stream then
// stands on the next chunk. False when the data ended before the chunk's end.
bool EndChunk(CReadStream* stream);
