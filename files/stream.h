// Buffered reading over a callback set (plain files, archive entries) and buffered writing over
// a standard file, plus the 8-byte chunk header that every chunked file of the system uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The callback set through which a source is read. The first four have the shapes of the Ogg
// Vorbis file library's callbacks, so one set serves both.
struct CStreamCallbacks {
    size_t (*read)(void* destination, size_t size, size_t count, void* source) = nullptr;
    int (*seek)(void* source, int64_t offset, int origin) = nullptr;  // 0 set, 1 current, 2 end; 0 = ok
    int (*close)(void* source) = nullptr;
    long (*tell)(void* source) = nullptr;
    int (*eof)(void* source) = nullptr;
};

struct CReadStream {
    FILE* file = nullptr;  // the file OpenFile opened itself, or null for an external source
    CStreamCallbacks callbacks;
    void* source = nullptr;
    uint32_t blockMode = 0;  // 1: refill whole buffers on demand; 0: window mode (Fill)
    int32_t windowLeft = 0;  // window mode: bytes of the window not yet fetched
    uint8_t* buffer = nullptr;
    uint32_t capacity = 0;
    uint32_t position = 0;
    uint32_t filled = 0;

    CReadStream() = default;
    CReadStream(const CReadStream&) = delete;
    CReadStream& operator=(const CReadStream&) = delete;
    ~CReadStream() { Close(); }

    // Opens a game path (see platform/paths.h) for reading. 0 / -1.
    int32_t OpenFile(const char* path);
    // Installs an external source (archive entry, memory). The stream closes it in CloseFile.
    void SetSource(const CStreamCallbacks& set, void* src);
    int32_t AllocBuffer(uint32_t size);
    // Window mode: fetches the first min(n, capacity) bytes of an n-byte window; later reads
    // fetch the rest and never read past it. -1 when nothing could be read (0 for n = 0).
    int32_t Fill(uint32_t n);
    // Bytes copied, fewer at the end of the window or of the source; -1 without a buffer.
    int32_t Read(void* destination, uint32_t n);
    int32_t Seek(int64_t offset, int origin);
    void CloseFile();
    void FreeBuffer();
    void Close();

    // Offset of the next byte a Read returns, in the source's coordinates.
    int64_t LogicalPosition() const;

    static size_t StdioRead(void* destination, size_t size, size_t count, void* source);
    static int StdioSeek(void* source, int64_t offset, int origin);
    static int StdioClose(void* source);
    static long StdioTell(void* source);
    static int StdioEof(void* source);
};

struct CWriteStream {
    FILE* file = nullptr;  // opened by the caller for writing
    uint8_t* buffer = nullptr;
    uint32_t capacity = 0;
    uint32_t used = 0;
    bool failed = false;  // a write to the file came up short
    int error = 0;        // errno of the first write that came up short

    CWriteStream() = default;
    CWriteStream(const CWriteStream&) = delete;
    CWriteStream& operator=(const CWriteStream&) = delete;
    ~CWriteStream() { Close(); }

    int32_t AllocBuffer(uint32_t size);
    uint32_t Write(const void* source, uint32_t n);
    // CloseFile and Close return false when any byte failed to reach the file.
    bool CloseFile();
    void FreeBuffer();
    bool Close();
    // Writes the buffered bytes to the file; false when the file refused some.
    bool Flush();
    int64_t LogicalPosition() const;

private:
    void Fail();  // marks the stream failed, keeping the first errno
};

// Chunk tags compared as little-endian u32 values whose bytes spell the tag in file order.
constexpr uint32_t MakeTag(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

// The same tag as the .lmf models store it (characters in reverse order).
constexpr uint32_t MakeReversedTag(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[3])) | static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24;
}

struct CChunkHeader {
    uint32_t tag = 0;
    uint32_t size = 0;  // payload bytes after the 8-byte header
};

// Little-endian helpers for readers of byte payloads.
inline uint32_t ReadU32LE(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
inline void WriteU32LE(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
