#include "tests/app/saved_files.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr size_t kKeySize = 32;
constexpr size_t kHeaderSize = 8;

uint32_t U32(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t U16(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

bool Fail(std::string* error, const std::string& reason) {
    if (error != nullptr) *error = reason;
    return false;
}

// A zero-terminated text of exactly `size` bytes with its zero at the end.
bool TerminatedText(const std::vector<uint8_t>& bytes, size_t at, size_t size, std::string* text) {
    if (size == 0 || at + size > bytes.size() || bytes[at + size - 1] != 0) return false;
    *text = std::string(reinterpret_cast<const char*>(bytes.data() + at), size - 1);
    return text->find('\0') == std::string::npos;
}

bool ParseChunks(const std::vector<uint8_t>& bytes, size_t at, size_t end, std::vector<SChunk>* chunks) {
    while (at < end) {
        if (end - at < kHeaderSize) return false;
        const uint32_t size = U32(bytes, at + 4);
        if (size > end - at - kHeaderSize) return false;
        SChunk chunk;
        chunk.tag.assign(reinterpret_cast<const char*>(bytes.data() + at), 4);
        chunk.payload.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + kHeaderSize),
                             bytes.begin() + static_cast<std::ptrdiff_t>(at + kHeaderSize + size));
        chunks->push_back(std::move(chunk));
        at += kHeaderSize + size;
    }
    return true;
}

const SChunk* Find(const std::vector<SChunk>& chunks, const std::string& tag) {
    for (const SChunk& chunk : chunks)
        if (chunk.tag == tag) return &chunk;
    return nullptr;
}

// FNAM (the name with its zero) and a u32 chunk, as SCRT and RDAT hold them.
bool NameAndNumber(const SChunk& chunk, const std::string& numberTag, std::string* name, uint32_t* number) {
    std::vector<SChunk> parts;
    if (!ParseChunks(chunk.payload, 0, chunk.payload.size(), &parts)) return false;
    const SChunk* fnam = Find(parts, "FNAM");
    const SChunk* value = Find(parts, numberTag);
    if (fnam == nullptr || value == nullptr || value->payload.size() != 4) return false;
    if (!TerminatedText(fnam->payload, 0, fnam->payload.size(), name)) return false;
    *number = U32(value->payload, 0);
    return true;
}

}  // namespace

bool ReadStoredSystemData(const std::vector<uint8_t>& stored, SStoredSystemData* data, std::string* error) {
    if (stored.size() < 64) return Fail(error, "shorter than its fixed head");
    std::vector<uint8_t> file = stored;
    for (size_t p = kKeySize; p < file.size(); ++p) file[p] ^= file[p % kKeySize];
    const uint32_t L = U32(file, 60);
    if (L == 0 || L > 32) return Fail(error, "font face length " + std::to_string(L));
    if (file.size() != 1275 + L) return Fail(error, "size " + std::to_string(file.size()) + " for a face of " +
                                                    std::to_string(L) + " bytes");
    if (!TerminatedText(file, 64, L, &data->fontFace)) return Fail(error, "font face without its zero byte");
    data->windowed = U32(file, 32);
    data->seOff = U32(file, 44);
    data->fontHeight = static_cast<int32_t>(U32(file, 64 + L));
    data->textSpeed = U32(file, 82 + L);
    data->effectsOn = U32(file, 98 + L);
    data->bgmVolume = static_cast<int32_t>(U32(file, 106 + L));
    const auto bytes = [&](size_t at, size_t n) {
        return std::vector<uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(at + n));
    };
    data->persistentFlags = bytes(118 + L, 5);
    data->cgFlags = bytes(123 + L, 1024);
    data->movieFlags = bytes(1147 + L, 128);
    return true;
}

bool ReadMaskedChunks(const std::vector<uint8_t>& file, size_t offset, size_t size, std::vector<SChunk>* chunks,
                      std::string* error) {
    if (offset > file.size() || size > file.size() - offset) return Fail(error, "the stream passes the file's end");
    if (size < kHeaderSize + kKeySize || std::memcmp(file.data() + offset, "CKEY", 4) != 0 ||
        U32(file, offset + 4) != kKeySize)
        return Fail(error, "the stream does not begin with a CKEY chunk of 32 bytes");
    std::vector<uint8_t> plain = file;
    const uint8_t* key = file.data() + offset + kHeaderSize;
    for (size_t p = offset + kHeaderSize + kKeySize; p < offset + size; ++p) plain[p] ^= key[p % kKeySize];
    if (!ParseChunks(plain, offset, offset + size, chunks)) return Fail(error, "a chunk passes the stream's end");
    return true;
}

bool ReadGameDataFile(const std::vector<uint8_t>& file, std::vector<SReadRecord>* records, std::string* error) {
    if (file.size() < 4) return Fail(error, "no length");
    const uint32_t size = U32(file, 0);
    if (size != file.size() - 4) return Fail(error, "length " + std::to_string(size) + " for a file of " +
                                                    std::to_string(file.size()) + " bytes");
    std::vector<SChunk> chunks;
    if (!ReadMaskedChunks(file, 4, size, &chunks, error)) return false;
    for (size_t i = 1; i < chunks.size(); ++i) {
        if (chunks[i].tag != "RDAT") return Fail(error, "unexpected chunk " + chunks[i].tag);
        SReadRecord record;
        if (!NameAndNumber(chunks[i], "RPN ", &record.script, &record.maxPage)) return Fail(error, "damaged RDAT");
        if (chunks[i].payload.size() != record.script.size() + 21) return Fail(error, "RDAT of the wrong size");
        records->push_back(record);
    }
    return true;
}

bool ReadSaveFile(const std::vector<uint8_t>& file, SSaveFile* save, std::string* error) {
    size_t at = 0;
    const auto need = [&](size_t n) { return file.size() >= at && file.size() - at >= n; };
    if (!need(18)) return Fail(error, "shorter than the date and N");
    for (int i = 0; i < 7; ++i) save->date[i] = U16(file, 2 * i);
    const uint32_t N = U32(file, 14);
    at = 18;
    if (N == 0) {
        if (!need(30000)) return Fail(error, "the thumbnail is cut short");
        save->pixels.assign(file.begin() + 18, file.begin() + 18 + 30000);
        at += 30000;
    } else {
        if (N >= 260 || !TerminatedText(file, at, N, &save->thumbnailName)) return Fail(error, "bad thumbnail name");
        at += N;
    }
    if (!need(4)) return Fail(error, "no caption length");
    const uint32_t L = U32(file, at);
    at += 4;
    if (L == 0 || L > 32 || !TerminatedText(file, at, L, &save->caption)) return Fail(error, "bad caption");
    at += L;
    if (!need(4)) return Fail(error, "no state size");
    const uint32_t S = U32(file, at);
    at += 4;
    if (S != file.size() - at) return Fail(error, "state size " + std::to_string(S) + " but " +
                                                  std::to_string(file.size() - at) + " bytes follow");
    if (!ReadMaskedChunks(file, at, S, &save->state, error)) return false;
    const SChunk* script = Find(save->state, "SCRT");
    if (script == nullptr || !NameAndNumber(*script, "PNO ", &save->script, &save->page))
        return Fail(error, "no readable SCRT chunk");
    const SChunk* flags = Find(save->state, "FLAG");
    if (flags == nullptr || flags->payload.size() != 256) return Fail(error, "no FLAG chunk of 256 bytes");
    save->gameFlags = flags->payload;
    return true;
}
