// pack: makes a PACK archive of every file under a folder, or lists an archive.
//   pack [--scramble] OUTPUT.pac FOLDER   entry names are the paths under FOLDER
//   pack --list ARCHIVE.pac               prints each entry's size and name
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/pack_archive.h"
#include "files/picture_loader.h"
#include "platform/sjis.h"
#include "tools/lib/pack_writer.h"

namespace {

int PrintUsage() {
    std::fprintf(stderr, "usage: pack [--scramble] OUTPUT.pac FOLDER\n       pack --list ARCHIVE.pac\n");
    return 2;
}

int List(const char* path) {
    CPackArchive archive;
    const int32_t result = archive.Open(path);
    if (result != 0) {
        std::fprintf(stderr, "pack: cannot read %s (error %d)\n", path, result);
        return 1;
    }
    std::printf("%d entries%s\n", archive.count, archive.scrambled ? ", scrambled" : "");
    for (int32_t i = 0; i < archive.count; ++i) {
        std::printf("%10u  %s\n", archive.entries[i].size, SjisToUtf8(archive.entries[i].name).c_str());
    }
    return 0;
}

int Pack(const std::string& output, const std::filesystem::path& folder, bool scrambled) {
    std::vector<CPackWriterEntry> entries;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file()) continue;
        const std::string relative = std::filesystem::relative(it->path(), folder).generic_string();
        CPackWriterEntry entry;
        if (!Utf8ToSjis(relative, &entry.name)) {
            std::fprintf(stderr, "pack: %s has no Shift-JIS spelling\n", relative.c_str());
            return 1;
        }
        if (!ReadGameFile(std::filesystem::absolute(it->path()).c_str(), &entry.data)) {
            std::fprintf(stderr, "pack: cannot read %s\n", it->path().c_str());
            return 1;
        }
        entries.push_back(std::move(entry));
    }
    if (error) {
        std::fprintf(stderr, "pack: cannot list %s: %s\n", folder.c_str(), error.message().c_str());
        return 1;
    }
    CPackWriteOptions options;
    options.scrambled = scrambled;
    const size_t count = entries.size();
    if (WritePackArchive(output, std::move(entries), options) != 0) {
        std::fprintf(stderr, "pack: cannot write %s (a name too long or given twice, or a write error)\n",
                     output.c_str());
        return 1;
    }
    std::printf("%s: %zu entries\n", output.c_str(), count);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0) return List(argv[2]);
    bool scrambled = false;
    int at = 1;
    if (at < argc && std::strcmp(argv[at], "--scramble") == 0) {
        scrambled = true;
        ++at;
    }
    if (argc - at != 2) return PrintUsage();
    return Pack(argv[at], argv[at + 1], scrambled);
}
