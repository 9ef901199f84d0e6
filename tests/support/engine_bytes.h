// In-memory streams for the engine tests: a read stream over bytes built in the test, a write
// stream whose bytes can be taken back, and a file writer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "files/stream.h"

// A read stream over a copy of the bytes (fmemopen), with a buffer of `capacity` bytes.
struct CMemoryReadStream {
    CReadStream stream;
    std::vector<uint8_t> data;

    explicit CMemoryReadStream(const std::vector<uint8_t>& bytes, uint32_t capacity = 65536);
    // Opens a read window of n bytes (what a chunk dispatcher does before handing a payload over).
    void Window(uint32_t n) { stream.Fill(n); }
};

// A write stream over a temporary file; Bytes() flushes and returns everything written.
struct CMemoryWriteStream {
    CWriteStream stream;

    explicit CMemoryWriteStream(uint32_t capacity = 16384);
    std::vector<uint8_t> Bytes();
};

// Writes bytes to a file (creating folders as needed); false on failure.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
