// Replacing a file all at once: the new content goes to a temporary file in the same folder,
// which is synced and renamed over the old file only when every byte was written, so a crash or
// a full disk leaves the old file as it was.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "files/stream.h"

struct CAtomicFile {
    std::string target;
    std::string temporary;
    FILE* file = nullptr;
    int error = 0;  // errno of the step that failed the last Begin or Commit, else 0

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

// Says on stderr that `path` could not be written and why (errno `error`; 0 when no reason is
// known), and that the file there before is kept.
void ReportUnwrittenFile(const char* path, int error);
// The same with the reason in words, for a failure that no system call names.
void ReportUnwrittenFile(const char* path, const char* reason);

// Removes the temporary files that writes into `folder` left behind when the program was killed
// half way: regular files named "<name>.tmp-XXXXXX" for which ownName(name) holds. Only safe
// while no other copy of the program writes there. Returns how many were removed.
int32_t RemoveStaleTemporaries(const std::string& folder, bool (*ownName)(const std::string& name));
