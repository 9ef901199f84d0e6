#include "files/file_stream.h"

#include <sys/types.h>

#include <limits>

#include "platform/paths.h"

namespace {

CFileStream* AsRecord(void* record) { return static_cast<CFileStream*>(record); }

bool IsEntry(const CFileStream* stream) { return stream->kind == kFileStreamEntry && stream->archive != nullptr; }

}  // namespace

int32_t CFileStream::OpenLoose(const char* path) {
    kind = 0;
    archive = nullptr;
    entry = CPackEntryHandle{};
    file = OpenGameFile(path, "rb");
    return file != nullptr ? 0 : -1;
}

int32_t CFileStream::OpenEntry(const CPackArchive* packArchive, const char* name) {
    file = nullptr;
    entry = CPackEntryHandle{};
    kind = kFileStreamEntry;
    archive = packArchive;
    if (packArchive == nullptr) return -1;
    return packArchive->OpenEntry(&entry, name);
}

size_t CFileStream::Read(void* destination, size_t size, size_t count, void* record) {
    CFileStream* stream = AsRecord(record);
    if (stream == nullptr || size == 0 || count == 0) return 0;
    if (IsEntry(stream)) {
        const size_t limit = std::numeric_limits<int32_t>::max() / size;
        const size_t elements = count < limit ? count : limit;
        const int32_t got = stream->archive->Read(&stream->entry, destination, static_cast<uint32_t>(elements * size));
        return got > 0 ? static_cast<size_t>(got) / size : 0;
    }
    if (stream->file == nullptr) return 0;
    return std::fread(destination, size, count, stream->file);
}

int CFileStream::Seek(void* record, int64_t offset, int origin) {
    CFileStream* stream = AsRecord(record);
    if (stream == nullptr) return -1;
    if (IsEntry(stream)) {
        if (stream->entry.file == nullptr) return -1;
        return stream->archive->ComputeSeekPosition(&stream->entry, offset, origin);
    }
    if (stream->file == nullptr) return -1;
    return fseeko(stream->file, static_cast<off_t>(offset), origin);
}

long CFileStream::Tell(void* record) {
    CFileStream* stream = AsRecord(record);
    if (stream == nullptr) return -1;
    if (IsEntry(stream)) return stream->entry.file != nullptr ? static_cast<long>(stream->entry.position) : -1;
    return stream->file != nullptr ? std::ftell(stream->file) : -1;
}

int CFileStream::Eof(void* record) {
    CFileStream* stream = AsRecord(record);
    if (stream == nullptr) return 1;
    if (IsEntry(stream)) {
        if (stream->entry.file == nullptr) return 1;
        return stream->entry.position >= stream->archive->Entry(stream->entry).size ? 1 : 0;
    }
    return stream->file != nullptr ? (std::feof(stream->file) != 0 ? 1 : 0) : 1;
}

int CFileStream::Close(void* record) {
    CFileStream* stream = AsRecord(record);
    if (stream == nullptr) return 0;
    stream->entry.Close();
    if (stream->file != nullptr) std::fclose(stream->file);
    stream->file = nullptr;
    return 0;
}

int CFileStream::Release(void* record) {
    CFileStream* stream = AsRecord(record);
    if (stream == nullptr) return 0;
    Close(stream);
    delete stream;
    return 0;
}

CStreamCallbacks FileStreamCallbacks() {
    CStreamCallbacks set;
    set.read = CFileStream::Read;
    set.seek = CFileStream::Seek;
    set.close = CFileStream::Close;
    set.tell = CFileStream::Tell;
    set.eof = CFileStream::Eof;
    return set;
}

CStreamCallbacks FileRefCallbacks() {
    CStreamCallbacks set;
    set.read = ReadFileRef;
    set.seek = SeekFileRef;
    set.close = CloseFileRef;
    set.tell = TellFileRef;
    return set;
}

CStreamCallbacks FileStreamReleasingCallbacks() {
    CStreamCallbacks set = FileStreamCallbacks();
    set.close = CFileStream::Release;
    return set;
}

size_t ReadFileRef(void* destination, size_t size, size_t count, void* source) {
    FILE* file = *static_cast<FILE**>(source);
    return file != nullptr ? std::fread(destination, size, count, file) : 0;
}

int SeekFileRef(void* source, int64_t offset, int origin) {
    FILE* file = *static_cast<FILE**>(source);
    return file != nullptr ? fseeko(file, static_cast<off_t>(offset), origin) : -1;
}

int CloseFileRef(void* source) {
    FILE** file = static_cast<FILE**>(source);
    if (*file != nullptr) std::fclose(*file);
    *file = nullptr;
    return 0;
}

long TellFileRef(void* source) {
    FILE* file = *static_cast<FILE**>(source);
    return file != nullptr ? std::ftell(file) : -1;
}
