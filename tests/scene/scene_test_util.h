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

// Command payloads and saved sub-chunks, written by hand from the format tables.
using Bytes = CTestBytes;

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
