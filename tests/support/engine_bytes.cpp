#include "engine_bytes.h"

#include <cstring>
#include <filesystem>

#include "tools/lib/memory_stream.h"

CTestBytes& CTestBytes::Tag(const char* tag) { return Raw(tag, 4); }

CTestBytes& CTestBytes::U32(uint32_t value) {
    uint8_t b[4];
    WriteU32LE(b, value);
    return Raw(b, 4);
}

CTestBytes& CTestBytes::I32(int32_t value) { return U32(static_cast<uint32_t>(value)); }

CTestBytes& CTestBytes::F32(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return U32(bits);
}

CTestBytes& CTestBytes::Raw(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
    return *this;
}

CTestBytes& CTestBytes::Str(const std::string& text) { return Raw(text.c_str(), text.size() + 1); }

size_t CTestBytes::Begin(const char* tag) {
    Tag(tag).U32(0);
    return bytes.size();
}

CTestBytes& CTestBytes::End(size_t begin) {
    WriteU32LE(bytes.data() + begin - 4, static_cast<uint32_t>(bytes.size() - begin));
    return *this;
}

CTestBytes& CTestBytes::Chunk(const char* tag, const CTestBytes& payload) {
    Tag(tag).U32(static_cast<uint32_t>(payload.size()));
    return Raw(payload.bytes.data(), payload.size());
}

CTestBytes& CTestBytes::Empty(const char* tag) { return Tag(tag).U32(0); }

CTestBytes& CTestBytes::ChunkU32(const char* tag, uint32_t value) { return Tag(tag).U32(4).U32(value); }

CTestBytes& CTestBytes::ChunkStr(const char* tag, const std::string& text) {
    return Tag(tag).U32(static_cast<uint32_t>(text.size() + 1)).Str(text);
}

CMemoryReadStream::CMemoryReadStream(const std::vector<uint8_t>& bytes, uint32_t capacity) : data(bytes) {
    OpenMemoryStream(&stream, data.data(), data.size(), capacity);
}

CMemoryWriteStream::CMemoryWriteStream(uint32_t capacity) {
    stream.file = std::tmpfile();
    stream.AllocBuffer(capacity);
}

std::vector<uint8_t> CMemoryWriteStream::Bytes() {
    stream.Flush();
    std::fflush(stream.file);
    const long end = std::ftell(stream.file);
    std::vector<uint8_t> out(static_cast<size_t>(end));
    std::rewind(stream.file);
    if (end > 0 && std::fread(out.data(), 1, out.size(), stream.file) != out.size()) out.clear();
    std::fseek(stream.file, 0, SEEK_END);
    return out;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
