// Archive benchmarks: opening a scrambled archive of 10,000 entries and looking up every entry, and
// reading a 50 MB entry of a scrambled archive against a plain fread of the same bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/file_stream.h"
#include "files/pack_archive.h"
#include "files/stream.h"
#include "tools/lib/pack_writer.h"

namespace {

constexpr int kEntryCount = 10000;
constexpr size_t kLargeSize = 50u << 20;
constexpr uint32_t kBlock = 64 * 1024;

struct CBenchFiles {
    std::string folder;
    std::string manyEntries;
    std::string large;
    std::vector<std::string> names;  // as the game asks for them: '/' separators, other case
    uint32_t largeOffset = 0;

    CBenchFiles() {
        folder = (std::filesystem::temp_directory_path() / ("velkora-bench-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(folder);
        std::vector<CPackWriterEntry> entries;
        for (int i = 0; i < kEntryCount; ++i) {
            const std::string name = "Image/Cg" + std::to_string(i / 100) + "/Picture" + std::to_string(i) + ".bmp";
            entries.push_back({name, std::vector<uint8_t>(16, static_cast<uint8_t>(i))});
            std::string asked = name;
            for (char& c : asked) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            names.push_back(asked);
        }
        CPackWriteOptions options;
        options.scrambled = true;
        manyEntries = folder + "/Many.pac";
        WritePackArchive(manyEntries, std::move(entries), options);

        std::vector<uint8_t> bytes(kLargeSize);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
        large = folder + "/Large.pac";
        WritePackArchive(large, {{"BGM/Long.ogg", std::move(bytes)}}, options);
        CPackArchive archive;
        archive.Open(large.c_str());
        largeOffset = archive.count == 1 ? archive.entries[0].offset : 0;
    }
    ~CBenchFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

const CBenchFiles& Files() {
    static const CBenchFiles files;
    return files;
}

void BM_OpenArchive10000(benchmark::State& state) {
    const CBenchFiles& files = Files();
    for (auto _ : state) {
        CPackArchive archive;
        if (archive.Open(files.manyEntries.c_str()) != 0) state.SkipWithError("archive not readable");
        benchmark::DoNotOptimize(archive.entries);
    }
}
BENCHMARK(BM_OpenArchive10000)->Unit(benchmark::kMillisecond);

void BM_LookUpEvery10000(benchmark::State& state) {
    const CBenchFiles& files = Files();
    CPackArchive archive;
    archive.Open(files.manyEntries.c_str());
    for (auto _ : state) {
        int found = 0;
        for (const std::string& name : files.names) {
            std::string stored = name;
            for (char& c : stored) c = c == '/' ? '\\' : c;
            found += archive.FindEntry(stored.c_str()) >= 0;
        }
        if (found != kEntryCount) state.SkipWithError("an entry was not found");
    }
    state.SetItemsProcessed(state.iterations() * kEntryCount);
}
BENCHMARK(BM_LookUpEvery10000)->Unit(benchmark::kMillisecond);

// The way the game reads an entry: a block-mode CReadStream over the entry's callbacks.
void BM_ReadScrambledEntry50MB(benchmark::State& state) {
    const CBenchFiles& files = Files();
    CPackArchive archive;
    archive.Open(files.large.c_str());
    std::vector<uint8_t> block(kBlock);
    for (auto _ : state) {
        CFileStream record;
        if (record.OpenEntry(&archive, "bgm/long.ogg") != 0) state.SkipWithError("entry missing");
        CReadStream stream;
        stream.SetSource(FileStreamCallbacks(), &record);
        stream.blockMode = 1;
        stream.AllocBuffer(kBlock);
        size_t total = 0;
        int32_t n;
        while ((n = stream.Read(block.data(), kBlock)) > 0) total += static_cast<size_t>(n);
        stream.Close();
        if (total != kLargeSize) state.SkipWithError("short read");
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kLargeSize));
}
BENCHMARK(BM_ReadScrambledEntry50MB)->Unit(benchmark::kMillisecond);

// The same bytes with fread alone (still scrambled: no work on them).
void BM_FreadSameBytes50MB(benchmark::State& state) {
    const CBenchFiles& files = Files();
    std::vector<uint8_t> block(kBlock);
    for (auto _ : state) {
        FILE* file = std::fopen(files.large.c_str(), "rb");
        fseeko(file, files.largeOffset, SEEK_SET);
        size_t total = 0;
        while (total < kLargeSize) {
            const size_t got = std::fread(block.data(), 1, std::min<size_t>(kBlock, kLargeSize - total), file);
            if (got == 0) break;
            total += got;
        }
        std::fclose(file);
        if (total != kLargeSize) state.SkipWithError("short read");
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kLargeSize));
}
BENCHMARK(BM_FreadSameBytes50MB)->Unit(benchmark::kMillisecond);

}  // namespace
