// Replacing a file all at once: the new content goes to a temporary file in the same folder,
// which is synced and renamed over the old file only when every byte was written, so a crash or
// a full disk leaves the old file as it was.
#pragma once

#include <cstdio>
#include <string>

#include "files/stream.h"

struct CAtomicFile {
    std::string target;
    std::string temporary;
    FILE* file = nullptr;

    CAtomicFile() = default;
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;
    ~CAtomicFile() { Abort(); }

    // Creates the temporary file beside `path` (a native path) and opens it for writing.
    // Null when it cannot be created.
    FILE* Begin(const char* path);
    // Writes out the stream's buffered bytes (when a stream is given; the stream lets go of the
    // file), syncs and closes the file and renames it over the target. False, with the target
    // untouched and the temporary file removed, when anything failed on the way.
    bool Commit(CWriteStream* stream = nullptr);
    // Closes and removes the temporary file; the target stays as it was.
    void Abort();
};
