// Helpers of the scene tests: a byte builder, and writers and readers over the shared memory
// streams.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "files/stream.h"
#include "tests/support/engine_bytes.h"

namespace scene_test {

// A little-endian byte builder for command payloads and saved sub-chunks, written by hand
// from the format tables.
class Bytes {
public:
    Bytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    Bytes& F32(float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return U32(v);
    }
    Bytes& Tag(const char* tag) { return Raw(tag, 4); }
    Bytes& Raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
        return *this;
    }
    Bytes& Str(const std::string& s) { return Raw(s.c_str(), s.size() + 1); }  // with its NUL
    Bytes& Chunk(const char* tag, const Bytes& payload) {
        Tag(tag).U32(static_cast<uint32_t>(payload.size()));
        return Raw(payload.bytes.data(), payload.size());
    }
    size_t size() const { return bytes.size(); }

    std::vector<uint8_t> bytes;
};

// Runs a writer on a write stream over a temporary file and returns the bytes it wrote,
// after `prefix` bytes of plain filler (so that scrambling by absolute offset shows).
inline std::vector<uint8_t> WrittenBytes(const std::function<void(CWriteStream*)>& write, size_t prefix = 0) {
    CMemoryWriteStream memory;
    for (size_t i = 0; i < prefix; ++i) memory.stream.Write("\xAA", 1);
    write(&memory.stream);
    return memory.Bytes();
}

// XORs bytes with a 32-byte key by absolute offset, as the save scrambling does.
inline std::vector<uint8_t> Unscrambled(std::vector<uint8_t> bytes, const uint8_t* key) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= key[i % 32];
    return bytes;
}

}  // namespace scene_test
