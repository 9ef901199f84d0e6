// Helpers of the scene tests: a read stream over bytes in memory and a little-endian byte
// builder for command payloads and saved sub-chunks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <cstring>
#include <string>
#include <vector>

#include "files/stream.h"

namespace scene_test {

struct MemorySource {
    std::vector<uint8_t> bytes;
    size_t position = 0;

    static size_t Read(void* destination, size_t size, size_t count, void* source) {
        auto* self = static_cast<MemorySource*>(source);
        size_t n = size * count;
        if (self->position >= self->bytes.size()) return 0;
        if (n > self->bytes.size() - self->position) n = self->bytes.size() - self->position;
        std::memcpy(destination, self->bytes.data() + self->position, n);
        self->position += n;
        return size == 0 ? 0 : n / size;
    }
    static int Seek(void* source, int64_t offset, int origin) {
        auto* self = static_cast<MemorySource*>(source);
        int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<int64_t>(self->position)
                                                       : static_cast<int64_t>(self->bytes.size());
        if (base + offset < 0) return -1;
        self->position = static_cast<size_t>(base + offset);
        return 0;
    }
    static int Close(void*) { return 0; }
    static long Tell(void* source) { return static_cast<long>(static_cast<MemorySource*>(source)->position); }
    static int Eof(void* source) {
        auto* self = static_cast<MemorySource*>(source);
        return self->position >= self->bytes.size() ? 1 : 0;
    }
};

// A read stream over a memory source, in window mode (as scripts and saves are read) unless
// block mode is asked for.
struct MemoryStream {
    MemorySource source;
    CReadStream stream;

    explicit MemoryStream(std::vector<uint8_t> bytes, uint32_t bufferSize = 65536, bool blockMode = false) {
        source.bytes = std::move(bytes);
        CStreamCallbacks callbacks;
        callbacks.read = MemorySource::Read;
        callbacks.seek = MemorySource::Seek;
        callbacks.close = MemorySource::Close;
        callbacks.tell = MemorySource::Tell;
        callbacks.eof = MemorySource::Eof;
        stream.SetSource(callbacks, &source);
        stream.AllocBuffer(bufferSize);
        stream.blockMode = blockMode ? 1 : 0;
    }
};

// Little-endian byte builder.
class Bytes {
public:
    Bytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) data_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    Bytes& F32(float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return U32(v);
    }
    Bytes& Tag(const char* tag) {
        for (int i = 0; i < 4; ++i) data_.push_back(static_cast<uint8_t>(tag[i]));
        return *this;
    }
    Bytes& Raw(const void* p, size_t n) {
        auto* b = static_cast<const uint8_t*>(p);
        data_.insert(data_.end(), b, b + n);
        return *this;
    }
    Bytes& Str(const std::string& s) {  // with its NUL
        Raw(s.data(), s.size());
        data_.push_back(0);
        return *this;
    }
    Bytes& Chunk(const char* tag, const Bytes& payload) {
        Tag(tag).U32(static_cast<uint32_t>(payload.size()));
        return Raw(payload.data_.data(), payload.size());
    }
    Bytes& Append(const Bytes& other) { return Raw(other.data_.data(), other.size()); }
    size_t size() const { return data_.size(); }
    const std::vector<uint8_t>& data() const { return data_; }
    std::vector<uint8_t> vec() const { return data_; }

private:
    std::vector<uint8_t> data_;
};

// Runs a writer on a write stream over a temporary file and returns the bytes it wrote,
// after `prefix` bytes of plain filler (so that scrambling by absolute offset shows).
inline std::vector<uint8_t> WrittenBytes(const std::function<void(CWriteStream*)>& write, size_t prefix = 0) {
    FILE* file = std::tmpfile();
    CWriteStream stream;
    stream.file = file;
    stream.AllocBuffer(4096);
    for (size_t i = 0; i < prefix; ++i) stream.Write("\xAA", 1);
    write(&stream);
    stream.FreeBuffer();
    std::fflush(file);
    std::vector<uint8_t> bytes(static_cast<size_t>(std::ftell(file)));
    std::rewind(file);
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes.clear();
    stream.file = nullptr;
    std::fclose(file);
    return bytes;
}

// XORs bytes with a 32-byte key by absolute offset, as the save scrambling does.
inline std::vector<uint8_t> Unscrambled(std::vector<uint8_t> bytes, const uint8_t* key) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= key[i % 32];
    return bytes;
}

}  // namespace scene_test
