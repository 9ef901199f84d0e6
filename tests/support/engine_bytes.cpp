#include "engine_bytes.h"

#include <filesystem>

CMemoryReadStream::CMemoryReadStream(const std::vector<uint8_t>& bytes, uint32_t capacity) : data(bytes) {
    if (data.empty()) data.push_back(0);  // fmemopen refuses an empty buffer; the stream size says 0
    FILE* file = fmemopen(data.data(), bytes.empty() ? 1 : data.size(), "rb");
    CStreamCallbacks set;
    set.read = CReadStream::StdioRead;
    set.seek = CReadStream::StdioSeek;
    set.close = CReadStream::StdioClose;
    set.tell = CReadStream::StdioTell;
    set.eof = CReadStream::StdioEof;
    stream.SetSource(set, file);
    stream.AllocBuffer(capacity);
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
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
