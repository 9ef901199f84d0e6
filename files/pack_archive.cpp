#include "files/pack_archive.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/stream.h"
#include "platform/paths.h"

namespace {

// Smallest entry record: name length, a one-byte name (its NUL), size and offset.
constexpr uint64_t kMinRecordSize = 4 + 1 + 4 + 4;

unsigned char FoldCase(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// Reads one table field at the file's position, unscrambled when the archive is scrambled.
bool ReadField(const CPackArchive& archive, FILE* file, void* destination, size_t n) {
    if (archive.scrambled) return archive.Descramble(file, destination, n) == n;
    return std::fread(destination, 1, n, file) == n;
}

bool ReadU32Field(const CPackArchive& archive, FILE* file, uint32_t* value) {
    uint8_t bytes[4];
    if (!ReadField(archive, file, bytes, sizeof bytes)) return false;
    *value = ReadU32LE(bytes);
    return true;
}

int64_t FileSize(FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    const int64_t size = ftello(file);
    if (fseeko(file, 0, SEEK_SET) != 0) return -1;
    return size;
}

// An entry that reaches past the end of the file keeps only the bytes the file holds, so it reads
// short while the rest of the archive stays usable.
void ClampToFile(CPackEntry* entry, uint64_t fileSize) {
    const uint64_t available = entry->offset < fileSize ? fileSize - entry->offset : 0;
    if (entry->size > available) entry->size = static_cast<uint32_t>(available);
}

bool SeekTo(FILE* file, uint64_t offset) {
    if (static_cast<uint64_t>(ftello(file)) == offset) return true;
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

}  // namespace

int32_t ComparePackNames(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        const int32_t cx = FoldCase(*x);
        const int32_t cy = FoldCase(*y);
        if (cx != cy || cx == 0) return cx - cy;
    }
}

void CPackEntryHandle::Close() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    index = 0;
    position = 0;
}

size_t CPackArchive::Descramble(FILE* file, void* destination, size_t n) const {
    const int64_t at = ftello(file);
    const size_t got = std::fread(destination, 1, n, file);
    if (at >= 0) XorWithKey(static_cast<uint8_t*>(destination), got, key, static_cast<uint64_t>(at));
    return got;
}

void CPackArchive::Close() {
    std::free(entries);
    entries = nullptr;
    count = 0;
    scrambled = 0;
    std::memset(key, 0, sizeof key);
    std::memset(path, 0, sizeof path);
}

int32_t CPackArchive::Open(const char* archivePath) {
    Close();
    FILE* file = OpenGameFile(archivePath, "rb");
    if (file == nullptr) return kPackCannotOpen;
    auto fail = [&](int32_t code) {
        std::fclose(file);
        Close();
        return code;
    };

    const int64_t fileSize = FileSize(file);
    uint32_t magic = 0;
    uint32_t entryCount = 0;
    uint32_t flag = 0;
    uint8_t storedKey[kScrambleKeySize];
    if (!ReadU32Field(*this, file, &magic) || magic != kPackMagic) return fail(kPackBadMagic);
    if (!ReadU32Field(*this, file, &entryCount) || !ReadU32Field(*this, file, &flag) ||
        std::fread(storedKey, 1, sizeof storedKey, file) != sizeof storedKey) {
        return fail(kPackDamaged);
    }
    for (uint32_t i = 0; i < kScrambleKeySize; ++i) key[i] = storedKey[i] ^ kPackKeyMask;
    scrambled = flag;

    // Every record takes at least kMinRecordSize bytes, so the file bounds the count before any
    // memory is allocated for it.
    if (fileSize < 0 || entryCount > static_cast<uint64_t>(fileSize - kPackHeaderSize) / kMinRecordSize ||
        entryCount > static_cast<uint32_t>(INT32_MAX)) {
        return fail(kPackDamaged);
    }
    if (entryCount > 0) {
        entries = static_cast<CPackEntry*>(std::calloc(entryCount, sizeof(CPackEntry)));
        if (entries == nullptr) return fail(kPackNoMemory);
    }
    for (uint32_t i = 0; i < entryCount; ++i) {
        CPackEntry& entry = entries[i];
        uint32_t nameLength = 0;
        if (!ReadU32Field(*this, file, &nameLength) || nameLength == 0 || nameLength > kPackNameSize ||
            !ReadField(*this, file, entry.name, nameLength) || !ReadU32Field(*this, file, &entry.size) ||
            !ReadU32Field(*this, file, &entry.offset)) {
            return fail(kPackDamaged);
        }
        entry.name[nameLength - 1] = 0;
        ClampToFile(&entry, static_cast<uint64_t>(fileSize));
    }
    count = static_cast<int32_t>(entryCount);
    std::fclose(file);
    std::strncpy(path, archivePath, kPackNameSize - 1);
    path[kPackNameSize - 1] = 0;
    return 0;
}

int32_t CPackArchive::FindEntry(const char* name) const {
    int32_t low = 0;
    int32_t high = count - 1;
    while (low <= high) {
        const int32_t mid = low + (high - low) / 2;
        const int32_t order = ComparePackNames(name, entries[mid].name);
        if (order == 0) return mid;
        if (order > 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
        }
    }
    return -1;
}

int32_t CPackArchive::OpenEntry(CPackEntryHandle* handle, const char* name) const {
    std::string lookup = name != nullptr ? name : "";
    if (lookup.size() >= kPackNameSize) lookup.resize(kPackNameSize - 1);
    const int32_t index = FindEntry(ReplaceSeparators(lookup, '/', '\\').c_str());
    if (index < 0) return kPackNoEntry;
    FILE* file = OpenGameFile(path, "rb");
    if (file == nullptr) return kPackEntryCannotOpen;
    handle->file = file;
    handle->index = index;
    handle->position = 0;
    return 0;
}

int32_t CPackArchive::Read(CPackEntryHandle* handle, void* destination, uint32_t n) const {
    if (handle->file == nullptr) return -1;
    const CPackEntry& entry = Entry(*handle);
    const uint32_t k = std::min<uint32_t>({n, entry.size - handle->position, static_cast<uint32_t>(INT32_MAX)});
    if (k == 0) return 0;
    if (!SeekTo(handle->file, static_cast<uint64_t>(entry.offset) + handle->position)) return 0;
    const size_t got = scrambled ? Descramble(handle->file, destination, k) : std::fread(destination, 1, k, handle->file);
    handle->position += static_cast<uint32_t>(got);
    return static_cast<int32_t>(got);
}

char* CPackArchive::ReadLine(CPackEntryHandle* handle, char* buffer, uint32_t max) const {
    if (handle->file == nullptr || buffer == nullptr) return nullptr;
    const CPackEntry& entry = Entry(*handle);
    const uint32_t k = std::min(max, entry.size - handle->position);
    if (k == 0) return buffer;
    if (!SeekTo(handle->file, static_cast<uint64_t>(entry.offset) + handle->position)) return buffer;
    uint64_t at = static_cast<uint64_t>(entry.offset) + handle->position;
    uint32_t consumed = 0;
    uint32_t stored = 0;
    while (consumed < k) {
        const int c = std::fgetc(handle->file);
        if (c == EOF) break;
        uint8_t byte = static_cast<uint8_t>(c);
        if (scrambled) byte ^= key[at % kScrambleKeySize];
        ++at;
        ++consumed;
        if (byte == 0 || byte == '\n') break;
        if (stored < max - 1) buffer[stored++] = static_cast<char>(byte);
    }
    buffer[stored] = 0;
    buffer[max - 1] = 0;
    handle->position += consumed;
    return buffer;
}

int32_t CPackArchive::ComputeSeekPosition(CPackEntryHandle* handle, int64_t offset, int origin) const {
    const uint32_t size = Entry(*handle).size;
    const uint32_t delta = static_cast<uint32_t>(offset);
    switch (origin) {
        case 0:
            handle->position = delta < size ? delta : size;
            break;
        case 1: {
            const uint32_t target = handle->position + delta;
            handle->position = target > size ? size : target;
            break;
        }
        case 2: {
            // Counts back from the end: a positive offset as the archive's callers give it,
            // a negative one as fseek's callers do.
            const uint64_t back = offset < 0 ? static_cast<uint64_t>(-(offset + 1)) + 1 : static_cast<uint64_t>(offset);
            handle->position = size - static_cast<uint32_t>(std::min<uint64_t>(back, size));
            break;
        }
        default:
            break;
    }
    return 0;
}
