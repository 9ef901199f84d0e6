// Stream callbacks over a plain file held in a FILE* variable: the source argument is the
// address of that variable, so closing through the callbacks also clears it.
#pragma once

#include <cstdio>

#include "files/stream.h"

size_t ReadFileRef(void* destination, size_t size, size_t count, void* source);
int SeekFileRef(void* source, int64_t offset, int origin);
int CloseFileRef(void* source);
long TellFileRef(void* source);

CStreamCallbacks FileRefCallbacks();

// Opens a loose sound file for reading; null when it does not exist.
FILE* OpenSoundFile(const char* path);
