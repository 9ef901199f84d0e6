#include "sound/file_ref.h"

namespace {

FILE* FileOf(void* source) { return source != nullptr ? *static_cast<FILE**>(source) : nullptr; }

}  // namespace

size_t ReadFileRef(void* destination, size_t size, size_t count, void* source) {
    FILE* file = FileOf(source);
    return file != nullptr ? std::fread(destination, size, count, file) : 0;
}

int SeekFileRef(void* source, int64_t offset, int origin) {
    FILE* file = FileOf(source);
    return file != nullptr ? std::fseek(file, static_cast<long>(static_cast<int32_t>(offset)), origin) : -1;
}

int CloseFileRef(void* source) {
    FILE* file = FileOf(source);
    if (file != nullptr) {
        std::fclose(file);
        *static_cast<FILE**>(source) = nullptr;
    }
    return 0;
}

long TellFileRef(void* source) {
    FILE* file = FileOf(source);
    return file != nullptr ? std::ftell(file) : -1;
}

CStreamCallbacks FileRefCallbacks() {
    CStreamCallbacks callbacks;
    callbacks.read = ReadFileRef;
    callbacks.seek = SeekFileRef;
    callbacks.close = CloseFileRef;
    callbacks.tell = TellFileRef;
    return callbacks;
}

FILE* OpenSoundFile(const char* path) { return path != nullptr ? std::fopen(path, "rb") : nullptr; }
