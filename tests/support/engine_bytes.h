// Byte builders and in-memory streams for the engine tests: chunks are assembled by hand from
// the format tables, so the readers are checked against bytes that no project writer made.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "files/stream.h"

struct CTestBytes {
    std::vector<uint8_t> bytes;

    CTestBytes& Tag(const char* tag);  // four characters in file order
    CTestBytes& U32(uint32_t value);
    CTestBytes& I32(int32_t value);
    CTestBytes& F32(float value);
    CTestBytes& Raw(const void* data, size_t n);
    CTestBytes& Str(const std::string& text);  // with its terminating zero
    // A chunk header whose size is patched by End.
    size_t Begin(const char* tag);
    CTestBytes& End(size_t begin);
    // A whole chunk with a payload.
    CTestBytes& Chunk(const char* tag, const CTestBytes& payload);
    CTestBytes& Empty(const char* tag);  // size 0
    CTestBytes& ChunkU32(const char* tag, uint32_t value);
    CTestBytes& ChunkStr(const char* tag, const std::string& text);
    size_t size() const { return bytes.size(); }
};

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
