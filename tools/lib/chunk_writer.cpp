#include "tools/lib/chunk_writer.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "files/atomic_file.h"

void CChunkWriter::U8(uint8_t v) { m_data.push_back(v); }

void CChunkWriter::U16(uint16_t v) {
    m_data.push_back(static_cast<uint8_t>(v));
    m_data.push_back(static_cast<uint8_t>(v >> 8));
}

void CChunkWriter::U32(uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) m_data.push_back(static_cast<uint8_t>(v >> shift));
}

void CChunkWriter::I32(int32_t v) { U32(static_cast<uint32_t>(v)); }

void CChunkWriter::F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U32(bits);
}

void CChunkWriter::Bytes(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    m_data.insert(m_data.end(), p, p + n);
}

void CChunkWriter::CString(std::string_view s) {
    Bytes(s);
    U8(0);
}

void CChunkWriter::Tag(std::string_view tag) {
    if (tag.size() != 4) throw std::invalid_argument("chunk tag must have four characters: " + std::string(tag));
    if (m_order == TagOrder::FileOrder) {
        Bytes(tag);
    } else {
        for (int i = 3; i >= 0; --i) U8(static_cast<uint8_t>(tag[i]));
    }
}

void CChunkWriter::Header(std::string_view tag, uint32_t size) {
    Tag(tag);
    U32(size);
}

static uint32_t CheckedSize(size_t n) {
    if (n > std::numeric_limits<uint32_t>::max()) throw std::length_error("chunk payload larger than 4 GiB");
    return static_cast<uint32_t>(n);
}

void CChunkWriter::Chunk(std::string_view tag, const void* payload, size_t n) {
    Header(tag, CheckedSize(n));
    Bytes(payload, n);
}

void CChunkWriter::U32Chunk(std::string_view tag, uint32_t v) {
    Header(tag, 4);
    U32(v);
}

void CChunkWriter::I32Chunk(std::string_view tag, int32_t v) {
    Header(tag, 4);
    I32(v);
}

void CChunkWriter::CStringChunk(std::string_view tag, std::string_view s) {
    Header(tag, CheckedSize(s.size() + 1));
    CString(s);
}

void CChunkWriter::Begin(std::string_view tag) {
    m_open.push_back(m_data.size());
    Header(tag, 0);
}

void CChunkWriter::End() {
    if (m_open.empty()) throw std::logic_error("CChunkWriter::End without Begin");
    size_t header = m_open.back();
    m_open.pop_back();
    uint32_t size = CheckedSize(m_data.size() - header - 8);
    for (int i = 0; i < 4; ++i) m_data[header + 4 + i] = static_cast<uint8_t>(size >> (8 * i));
}

void CChunkWriter::Append(const CChunkWriter& other) {
    if (!other.m_open.empty()) throw std::logic_error("CChunkWriter::Append of a writer with open chunks");
    m_data.insert(m_data.end(), other.m_data.begin(), other.m_data.end());
}

bool CChunkWriter::SaveToFile(const std::string& path) const {
    if (!m_open.empty()) return false;
    return WriteFileAtomically(path, m_data.data(), m_data.size());
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t n) {
    CAtomicFile file;
    FILE* f = file.Begin(path.c_str());
    if (f == nullptr) return false;
    if (n > 0 && std::fwrite(data, 1, n, f) != n) return false;
    return file.Commit();
}
