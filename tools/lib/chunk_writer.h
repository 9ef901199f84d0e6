// Builds chunked files in memory: 8-byte chunk headers (four-character tag, u32 little-endian
// payload size) with their payloads, nested to any depth. A chunk's size is either given up
// front (Header, Chunk) or patched when the chunk is closed (Begin ... End). Tags are written
// in reading order, or reversed for the .lmf model files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CChunkWriter {
public:
    enum class TagOrder { FileOrder, Reversed };

    explicit CChunkWriter(TagOrder order = TagOrder::FileOrder) : m_order(order) {}

    // Plain little-endian values and bytes at the current end.
    void U8(uint8_t v);
    void U16(uint16_t v);
    void U32(uint32_t v);
    void I32(int32_t v);
    void F32(float v);
    void Bytes(const void* data, size_t n);
    void Bytes(std::string_view data) { Bytes(data.data(), data.size()); }
    // The bytes of s followed by a terminating zero.
    void CString(std::string_view s);
    // A bare four-character tag (as the file's magic, for instance).
    void Tag(std::string_view tag);

    // A chunk header whose payload the caller writes next and whose size it already knows.
    void Header(std::string_view tag, uint32_t size);
    // A whole chunk: header and payload.
    void Chunk(std::string_view tag, const void* payload, size_t n);
    void Chunk(std::string_view tag, std::string_view payload) { Chunk(tag, payload.data(), payload.size()); }
    void EmptyChunk(std::string_view tag) { Header(tag, 0); }
    // Chunks of one u32, one i32 or a zero-terminated string.
    void U32Chunk(std::string_view tag, uint32_t v);
    void I32Chunk(std::string_view tag, int32_t v);
    void CStringChunk(std::string_view tag, std::string_view s);

    // Opens a chunk whose size is patched by the matching End, once its payload is written.
    void Begin(std::string_view tag);
    void End();
    size_t OpenChunks() const { return m_open.size(); }

    // Appends the finished bytes of another writer (chunks built apart, then placed).
    void Append(const CChunkWriter& other);

    const std::vector<uint8_t>& Data() const { return m_data; }
    size_t Size() const { return m_data.size(); }

    // Writes the bytes to a file through a temporary name, so that a failed write leaves no
    // partial file behind. Every chunk must be closed. False on any failure.
    bool SaveToFile(const std::string& path) const;

private:
    TagOrder m_order;
    std::vector<uint8_t> m_data;
    std::vector<size_t> m_open;  // offsets of the headers of chunks not yet closed
};

// Writes bytes to a file through a temporary name beside it; false on any failure.
bool WriteFileAtomically(const std::string& path, const void* data, size_t n);
