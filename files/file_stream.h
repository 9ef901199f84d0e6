// CFileStream: one data source that is either a loose file or an entry of a PACK archive, with
// the stream callbacks over it, so the buffered reader, the picture readers, the models and the
// sound players read an archive entry exactly like a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "files/pack_archive.h"
#include "files/stream.h"

constexpr uint32_t kFileStreamEntry = 1;  // kind of a record on an archive entry

struct CFileStream {
    uint32_t kind = 0;                       // kFileStreamEntry, else a loose file
    const CPackArchive* archive = nullptr;   // the entry's archive
    CPackEntryHandle entry;                  // the entry's own handle on the archive file
    FILE* file = nullptr;                    // the loose file

    // Opens a loose game file (platform/paths.h) for reading; kind 0. 0 / -1.
    int32_t OpenLoose(const char* path);
    // Opens an archive entry; kind kFileStreamEntry. 0, kPackNoEntry or kPackEntryCannotOpen;
    // -1 for a null archive.
    int32_t OpenEntry(const CPackArchive* packArchive, const char* name);

    // The callbacks. `record` is a CFileStream*; a null record reads nothing and is at its end.
    // Read returns elements read (bytes for element size 1).
    static size_t Read(void* destination, size_t size, size_t count, void* record);
    static int Seek(void* record, int64_t offset, int origin);  // 0, or -1 for a loose stream without a file
    static long Tell(void* record);                             // -1 without a source
    static int Eof(void* record);                               // 1 at the end or without a source
    // Closes the file of a record on the caller's stack; the record itself stays. Returns 0.
    static int Close(void* record);
    // Closes the file and deletes the record: for records made with `new` and handed over
    // (the sound players own theirs and release it through their close callback). Returns 0.
    static int Release(void* record);
    static int IsEof(void* record) { return Eof(record); }
};

// {Read, Seek, Close, Tell, Eof}: for a record that the caller keeps and closes.
CStreamCallbacks FileStreamCallbacks();
// {Read, Seek, Release, Tell, Eof}: for a heap record whose reader owns and frees it.
CStreamCallbacks FileStreamReleasingCallbacks();

// Callbacks over a source that points at a FILE* variable (the sound players' default source,
// and the loose-file source of the picture reader). CloseFileRef closes the file, if any, and
// sets the variable to null.
size_t ReadFileRef(void* destination, size_t size, size_t count, void* source);
int SeekFileRef(void* source, int64_t offset, int origin);
int CloseFileRef(void* source);
long TellFileRef(void* source);
// {ReadFileRef, SeekFileRef, CloseFileRef, TellFileRef}.
CStreamCallbacks FileRefCallbacks();
