// Helpers of the scene tests over the shared byte builders and memory streams.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "files/stream.h"
#include "tests/support/engine_bytes.h"

namespace scene_test {

inline uint32_t Signed(int32_t v) { return static_cast<uint32_t>(v); }

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
