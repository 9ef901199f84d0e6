// PACK archives: a table of named entries followed by their data, optionally XOR-scrambled by
// absolute file offset. The table is loaded once; each entry handle opens the archive file anew,
// so entries can be read on several threads at once.
#pragma once

#include <cstdint>
#include <cstdio>

#include "files/scramble.h"

constexpr uint32_t kPackMagic = 0x4B434150;  // "PACK"
constexpr uint8_t kPackKeyMask = 0x9D;       // stored key bytes are the key XORed with this
constexpr uint32_t kPackHeaderSize = 44;     // magic, count, scrambled flag, 32 key bytes
constexpr uint32_t kPackNameSize = 260;      // name field of an entry, NUL included

// CPackArchive::Open results besides 0.
constexpr int32_t kPackCannotOpen = -3;
constexpr int32_t kPackBadMagic = -5;
constexpr int32_t kPackDamaged = -6;  // a table that does not fit the file or names that do not fit
constexpr int32_t kPackNoMemory = -7;
// CPackArchive::OpenEntry results besides 0.
constexpr int32_t kPackNoEntry = -3;
constexpr int32_t kPackEntryCannotOpen = -4;

// The archive's name order: byte by byte after turning 'A'-'Z' into lower case (the order the
// table must be sorted in). Negative, 0 or positive like strcmp.
int32_t ComparePackNames(const char* a, const char* b);

struct CPackEntry {
    char name[kPackNameSize];
    uint32_t size;
    uint32_t offset;  // absolute file offset of the first byte
};

struct CPackEntryHandle {
    FILE* file = nullptr;  // the archive file, opened for this handle alone
    int32_t index = 0;
    uint32_t position = 0;  // read position inside the entry

    // Closes the handle's file.
    void Close();
};

struct CPackArchive {
    char path[kPackNameSize] = {};
    CPackEntry* entries = nullptr;
    int32_t count = 0;
    uint8_t key[kScrambleKeySize] = {};
    uint32_t scrambled = 0;

    CPackArchive() = default;
    CPackArchive(const CPackArchive&) = delete;
    CPackArchive& operator=(const CPackArchive&) = delete;
    ~CPackArchive() { Close(); }

    // 0, kPackCannotOpen, kPackBadMagic, kPackDamaged or kPackNoMemory; a failure leaves the
    // archive empty. An entry reaching past the end of the file is cut to the bytes the file holds.
    int32_t Open(const char* archivePath);
    void Close();
    // The entry's index, or -1. The name must use '\' as the archive stores it.
    int32_t FindEntry(const char* name) const;
    // Opens a handle at position 0 on the entry; the name may use '/' or '\'.
    // 0, kPackNoEntry or kPackEntryCannotOpen.
    int32_t OpenEntry(CPackEntryHandle* handle, const char* name) const;
    // Reads up to n bytes at the handle's position and advances it. Bytes read; -1 without a file.
    int32_t Read(CPackEntryHandle* handle, void* destination, uint32_t n) const;
    // One line of at most max - 1 bytes; '\n' or NUL ends it and is consumed but not stored.
    // At the end of the entry the buffer is left untouched. Null without a file or buffer.
    char* ReadLine(CPackEntryHandle* handle, char* buffer, uint32_t max) const;
    // Moves the handle: origin 0 from the start, 1 from the position (a move before the start
    // ends at the end), 2 back from the end by |offset|; clamped to the entry. Returns 0.
    int32_t ComputeSeekPosition(CPackEntryHandle* handle, int64_t offset, int origin) const;
    // Reads n bytes at the file's current position and unscrambles them. Bytes read.
    size_t Descramble(FILE* file, void* destination, size_t n) const;

    const CPackEntry& Entry(const CPackEntryHandle& handle) const { return entries[handle.index]; }
};
