#include "files/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/paths.h"

// ---- CReadStream ------------------------------------------------------------------------

size_t CReadStream::StdioRead(void* destination, size_t size, size_t count, void* source) {
    return std::fread(destination, size, count, static_cast<FILE*>(source));
}

int CReadStream::StdioSeek(void* source, int64_t offset, int origin) {
    return fseeko(static_cast<FILE*>(source), static_cast<off_t>(offset), origin);
}

int CReadStream::StdioClose(void* source) { return std::fclose(static_cast<FILE*>(source)); }

long CReadStream::StdioTell(void* source) { return std::ftell(static_cast<FILE*>(source)); }

int CReadStream::StdioEof(void* source) { return std::feof(static_cast<FILE*>(source)); }

int32_t CReadStream::OpenFile(const char* path) {
    CloseFile();
    FILE* f = OpenGameFile(path, "rb");
    if (f == nullptr) return -1;
    file = f;
    callbacks.read = StdioRead;
    callbacks.seek = StdioSeek;
    callbacks.close = StdioClose;
    callbacks.tell = StdioTell;
    callbacks.eof = StdioEof;
    source = f;
    position = filled = 0;
    windowLeft = 0;
    return 0;
}

void CReadStream::SetSource(const CStreamCallbacks& set, void* src) {
    CloseFile();
    callbacks = set;
    source = src;
    position = filled = 0;
    windowLeft = 0;
}

int32_t CReadStream::AllocBuffer(uint32_t size) {
    FreeBuffer();
    if (size == 0) return -1;
    buffer = static_cast<uint8_t*>(std::malloc(size));
    if (buffer == nullptr) return -1;
    capacity = size;
    position = filled = 0;
    windowLeft = 0;
    return 0;
}

int32_t CReadStream::Fill(uint32_t n) {
    if (blockMode) return 0;
    if (buffer == nullptr || callbacks.read == nullptr) return -1;
    position = 0;
    const uint32_t want = std::min(n, capacity);
    const size_t got = want == 0 ? 0 : callbacks.read(buffer, 1, want, source);
    filled = static_cast<uint32_t>(std::min<size_t>(got, want));
    // A window of more than 2 GiB is larger than any source: keep it as large as the field holds.
    const uint32_t left = n - filled;
    windowLeft = static_cast<int32_t>(std::min<uint32_t>(left, std::numeric_limits<int32_t>::max()));
    // An empty window is opened successfully: a chunk may have no payload.
    return n != 0 && filled == 0 ? -1 : 0;
}

int32_t CReadStream::Read(void* destination, uint32_t n) {
    if (buffer == nullptr) return -1;
    n = std::min<uint32_t>(n, std::numeric_limits<int32_t>::max());  // the count must fit the result
    uint8_t* out = static_cast<uint8_t*>(destination);
    uint32_t copied = 0;
    while (copied < n) {
        const uint32_t available = filled - position;
        const uint32_t rest = n - copied;
        if (rest <= available) {
            std::memcpy(out + copied, buffer + position, rest);
            position += rest;
            copied += rest;
            break;
        }
        std::memcpy(out + copied, buffer + position, available);
        position += available;
        copied += available;
        if (callbacks.read == nullptr) break;
        if (blockMode) {
            position = 0;
            filled = static_cast<uint32_t>(std::min<size_t>(callbacks.read(buffer, 1, capacity, source), capacity));
        } else {
            if (windowLeft <= 0) break;
            position = 0;
            const uint32_t want = std::min(static_cast<uint32_t>(windowLeft), capacity);
            filled = static_cast<uint32_t>(std::min<size_t>(callbacks.read(buffer, 1, want, source), want));
            windowLeft -= static_cast<int32_t>(filled);
        }
        if (filled == 0) break;
    }
    return static_cast<int32_t>(copied);
}

int32_t CReadStream::Seek(int64_t offset, int origin) {
    if (callbacks.seek == nullptr) return -1;
    position = filled = 0;
    windowLeft = 0;
    return callbacks.seek(source, offset, origin);
}

int64_t CReadStream::LogicalPosition() const {
    const int64_t at = callbacks.tell ? callbacks.tell(source) : 0;
    return at - static_cast<int64_t>(filled) + static_cast<int64_t>(position);
}

void CReadStream::CloseFile() {
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    } else if (callbacks.close != nullptr && source != nullptr) {
        callbacks.close(source);
    }
    callbacks = CStreamCallbacks{};
    source = nullptr;
    position = filled = 0;
    windowLeft = 0;
}

void CReadStream::FreeBuffer() {
    std::free(buffer);
    buffer = nullptr;
    capacity = position = filled = 0;
    windowLeft = 0;
}

void CReadStream::Close() {
    CloseFile();
    FreeBuffer();
}

// ---- CWriteStream -----------------------------------------------------------------------

void CWriteStream::Fail() {
    if (!failed) error = errno;
    failed = true;
}

bool CWriteStream::Flush() {
    if (file == nullptr || used == 0) return !failed;
    if (std::fwrite(buffer, 1, used, file) != used) Fail();
    used = 0;
    return !failed;
}

int32_t CWriteStream::AllocBuffer(uint32_t size) {
    FreeBuffer();
    if (size == 0) return -1;
    buffer = static_cast<uint8_t*>(std::malloc(size));
    if (buffer == nullptr) return -1;
    capacity = size;
    used = 0;
    return 0;
}

uint32_t CWriteStream::Write(const void* source, uint32_t n) {
    if (file == nullptr) return 0;
    const uint8_t* in = static_cast<const uint8_t*>(source);
    if (buffer == nullptr) {
        const size_t written = std::fwrite(in, 1, n, file);
        if (written != n) Fail();
        return static_cast<uint32_t>(written);
    }
    uint32_t taken = 0;
    while (taken < n) {
        if (used == capacity) Flush();  // full buffer and more bytes to come
        const uint32_t chunk = std::min(capacity - used, n - taken);
        std::memcpy(buffer + used, in + taken, chunk);
        used += chunk;
        taken += chunk;
    }
    return taken;
}

int64_t CWriteStream::LogicalPosition() const {
    return (file ? ftello(file) : 0) + static_cast<int64_t>(used);
}

bool CWriteStream::CloseFile() {
    if (file == nullptr) return !failed;
    Flush();
    if (std::fclose(file) != 0) Fail();
    file = nullptr;
    return !failed;
}

void CWriteStream::FreeBuffer() {
    if (file != nullptr) Flush();
    std::free(buffer);
    buffer = nullptr;
    capacity = used = 0;
}

bool CWriteStream::Close() {
    const bool ok = CloseFile();
    FreeBuffer();
    failed = false;
    return ok;
}
