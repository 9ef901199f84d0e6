// PACK archives from any bytes: open, look up and read every entry in every way.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "files/file_stream.h"
#include "files/pack_archive.h"

namespace {

const std::string& ArchivePath() {
    static const std::string path = "/tmp/fuzz-pack-" + std::to_string(::getpid()) + ".pac";
    return path;
}

void ReadEntry(const CPackArchive& archive, const char* name, uint8_t mode) {
    CPackEntryHandle handle;
    if (archive.OpenEntry(&handle, name) != 0) return;
    uint8_t block[257];
    char line[64];
    archive.ComputeSeekPosition(&handle, static_cast<int64_t>(mode) - 128, mode % 3);
    for (int i = 0; i < 64 && archive.Read(&handle, block, 1 + mode % sizeof block) > 0; ++i) {
    }
    archive.ComputeSeekPosition(&handle, 0, 0);
    for (int i = 0; i < 16; ++i) archive.ReadLine(&handle, line, 1 + (mode + i) % sizeof line);
    handle.Close();

    CFileStream record;
    if (record.OpenEntry(&archive, name) != 0) return;
    CFileStream::Seek(&record, -static_cast<int64_t>(mode), 2);
    CFileStream::Read(block, 1, sizeof block, &record);
    CFileStream::Tell(&record);
    CFileStream::Eof(&record);
    CFileStream::Close(&record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(ArchivePath().c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    CPackArchive archive;
    if (archive.Open(ArchivePath().c_str()) != 0) return 0;
    const uint8_t mode = size > 0 ? data[size - 1] : 0;
    for (int32_t i = 0; i < archive.count && i < 32; ++i) ReadEntry(archive, archive.entries[i].name, mode);
    archive.FindEntry("Script\\Main.vsf");
    archive.FindEntry("");
    archive.FindEntry("\xFF\xFF\xFF");
    return 0;
}
