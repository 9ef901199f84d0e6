#include "files/pack_archive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/files/temp_folder.h"
#include "tools/lib/pack_writer.h"

namespace {

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
    for (int s = 0; s < 32; s += 8) out->push_back(static_cast<uint8_t>(v >> s));
}

struct CHandEntry {
    std::string name;
    std::string data;
};

// An archive laid out by hand from the format table, independent of the pack writer.
std::vector<uint8_t> HandMadeArchive(const std::vector<CHandEntry>& entries, bool scrambled) {
    uint8_t key[32];
    for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i * 5 + 1);
    std::vector<uint8_t> out = {'P', 'A', 'C', 'K'};
    PutU32(&out, static_cast<uint32_t>(entries.size()));
    PutU32(&out, scrambled ? 7 : 0);
    for (uint8_t k : key) out.push_back(k ^ 0x9D);
    uint32_t offset = 44;
    for (const CHandEntry& e : entries) offset += 12 + static_cast<uint32_t>(e.name.size()) + 1;
    for (const CHandEntry& e : entries) {
        PutU32(&out, static_cast<uint32_t>(e.name.size()) + 1);
        out.insert(out.end(), e.name.begin(), e.name.end());
        out.push_back(0);
        PutU32(&out, static_cast<uint32_t>(e.data.size()));
        PutU32(&out, offset);
        offset += static_cast<uint32_t>(e.data.size());
    }
    for (const CHandEntry& e : entries) out.insert(out.end(), e.data.begin(), e.data.end());
    if (scrambled) {
        for (size_t p = 44; p < out.size(); ++p) out[p] ^= key[p % 32];
    }
    return out;
}

const std::vector<CHandEntry> kEntries = {
    {"Image\\Bg01.bmp", "picture bytes"},
    {"Script\\Main.vsf", "line one\r\nline two\nlast line"},
    {"System\\Extra\\CGTable.txt", std::string("a\0b", 3)},
};

std::string ReadAll(const CPackArchive& archive, const char* name) {
    CPackEntryHandle handle;
    if (archive.OpenEntry(&handle, name) != 0) return "<missing>";
    std::string out;
    char block[5];
    int32_t n;
    while ((n = archive.Read(&handle, block, sizeof block)) > 0) out.append(block, n);
    handle.Close();
    return out;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    std::mt19937 random(seed);
    for (auto& b : v) b = static_cast<uint8_t>(random());
    return v;
}

}  // namespace

TEST(PackArchive, ReadsAHandMadeArchivePlainAndScrambled) {
    CTempFolder folder;
    for (bool scrambled : {false, true}) {
        const std::string path = folder.Write(scrambled ? "s.pac" : "p.pac", HandMadeArchive(kEntries, scrambled));
        CPackArchive archive;
        ASSERT_EQ(archive.Open(path.c_str()), 0);
        EXPECT_EQ(archive.count, 3);
        EXPECT_EQ(archive.scrambled != 0, scrambled);
        EXPECT_EQ(archive.key[0], 1) << "stored key bytes are XORed with 0x9D";
        EXPECT_EQ(archive.key[31], 156);
        EXPECT_STREQ(archive.entries[1].name, "Script\\Main.vsf");
        for (const CHandEntry& e : kEntries) EXPECT_EQ(ReadAll(archive, e.name.c_str()), e.data) << e.name;
    }
}

TEST(PackArchive, LookupsIgnoreCaseAndSlashesAndStayInsideTheTable) {
    CTempFolder folder;
    const std::string path = folder.Write("a.pac", HandMadeArchive(kEntries, true));
    CPackArchive archive;
    ASSERT_EQ(archive.Open(path.c_str()), 0);
    EXPECT_EQ(ReadAll(archive, "script/main.VSF"), kEntries[1].data);
    EXPECT_EQ(ReadAll(archive, "SYSTEM/extra\\cgtable.txt"), kEntries[2].data);
    EXPECT_EQ(archive.FindEntry("Script\\Main.vsf"), 1);
    EXPECT_EQ(archive.FindEntry("Script/Main.vsf"), -1) << "FindEntry takes the stored form";
    EXPECT_EQ(archive.FindEntry("A"), -1);
    EXPECT_EQ(archive.FindEntry(""), -1);
    EXPECT_EQ(archive.FindEntry("\xFF\xFF"), -1);
    EXPECT_EQ(archive.FindEntry("Script\\Main.vsf2"), -1);
    CPackEntryHandle handle;
    EXPECT_EQ(archive.OpenEntry(&handle, "zzz"), kPackNoEntry);
    EXPECT_EQ(handle.file, nullptr);

    CPackArchive empty;
    EXPECT_EQ(empty.FindEntry("a"), -1);
    EXPECT_EQ(empty.OpenEntry(&handle, "a"), kPackNoEntry);

    // The archive file vanished after Open: the entry exists but cannot be opened.
    std::filesystem::remove(path);
    EXPECT_EQ(archive.OpenEntry(&handle, "Image/Bg01.bmp"), kPackEntryCannotOpen);
}

TEST(PackArchive, NamesCompareLikeTheStoredOrder) {
    EXPECT_EQ(ComparePackNames("ABC", "abc"), 0);
    EXPECT_LT(ComparePackNames("A_", "AA"), 0) << "letters compare as lower case, above '_'";
    EXPECT_LT(ComparePackNames("ab", "abc"), 0);
    EXPECT_GT(ComparePackNames("\x82\xA0", "z"), 0) << "bytes compare unsigned";
    // A trail byte of a double-byte character is not a path separator.
    CTempFolder folder;
    const std::string name = "Image\\\x83\x5C\x83\x74\x83\x67.bmp";  // ソフト.bmp
    const std::string path = folder.Write("t.pac", HandMadeArchive({{name, "x"}}, false));
    CPackArchive archive;
    ASSERT_EQ(archive.Open(path.c_str()), 0);
    EXPECT_EQ(ReadAll(archive, "Image/\x83\x5C\x83\x74\x83\x67.bmp"), "x");
}

TEST(PackArchive, ReadClipsToTheEntryAndSeeksClamp) {
    CTempFolder folder;
    const std::string path = folder.Write("a.pac", HandMadeArchive(kEntries, true));
    CPackArchive archive;
    ASSERT_EQ(archive.Open(path.c_str()), 0);
    CPackEntryHandle handle;
    ASSERT_EQ(archive.OpenEntry(&handle, "Image/Bg01.bmp"), 0);
    char buffer[64] = {};
    EXPECT_EQ(archive.Read(&handle, buffer, 64), 13);
    EXPECT_EQ(std::string(buffer, 13), "picture bytes");
    EXPECT_EQ(archive.Read(&handle, buffer, 64), 0);

    archive.ComputeSeekPosition(&handle, 0, 2);
    EXPECT_EQ(handle.position, 13u) << "from the end by 0 gives the size";
    archive.ComputeSeekPosition(&handle, 5, 2);
    EXPECT_EQ(handle.position, 8u);
    archive.ComputeSeekPosition(&handle, -5, 2);
    EXPECT_EQ(handle.position, 8u) << "a negative offset counts back from the end as with fseek";
    archive.ComputeSeekPosition(&handle, -100, 2);
    EXPECT_EQ(handle.position, 0u);
    archive.ComputeSeekPosition(&handle, INT64_MIN, 2);
    EXPECT_EQ(handle.position, 0u);
    archive.ComputeSeekPosition(&handle, 100, 0);
    EXPECT_EQ(handle.position, 13u) << "beyond the size clamps";
    archive.ComputeSeekPosition(&handle, 3, 0);
    archive.ComputeSeekPosition(&handle, -2, 1);
    EXPECT_EQ(handle.position, 1u);
    archive.ComputeSeekPosition(&handle, -2, 1);
    EXPECT_EQ(handle.position, 13u) << "a move before the start ends at the size";
    archive.ComputeSeekPosition(&handle, 8, 0);
    EXPECT_EQ(archive.Read(&handle, buffer, 64), 5);
    EXPECT_EQ(std::string(buffer, 5), "bytes");
    handle.Close();
    EXPECT_EQ(archive.Read(&handle, buffer, 1), -1);
}

TEST(PackArchive, ReadLineSplitsOnNewlineAndNulAndCutsLongLines) {
    CTempFolder folder;
    const std::string path = folder.Write("a.pac", HandMadeArchive(kEntries, true));
    CPackArchive archive;
    ASSERT_EQ(archive.Open(path.c_str()), 0);
    CPackEntryHandle handle;
    ASSERT_EQ(archive.OpenEntry(&handle, "Script/Main.vsf"), 0);
    char line[64];
    EXPECT_STREQ(archive.ReadLine(&handle, line, sizeof line), "line one\r");
    EXPECT_STREQ(archive.ReadLine(&handle, line, sizeof line), "line two");
    EXPECT_STREQ(archive.ReadLine(&handle, line, sizeof line), "last line") << "a last line without a newline";
    std::strcpy(line, "untouched");
    EXPECT_STREQ(archive.ReadLine(&handle, line, sizeof line), "untouched");

    // A line longer than the buffer is cut to max - 1 bytes; max bytes are consumed.
    archive.ComputeSeekPosition(&handle, 0, 0);
    char small[5];
    EXPECT_STREQ(archive.ReadLine(&handle, small, sizeof small), "line");
    EXPECT_EQ(handle.position, 5u);
    EXPECT_STREQ(archive.ReadLine(&handle, small, sizeof small), "one\r");
    EXPECT_EQ(archive.ReadLine(&handle, nullptr, 5), nullptr);
    handle.Close();

    ASSERT_EQ(archive.OpenEntry(&handle, "System/Extra/CGTable.txt"), 0);
    EXPECT_STREQ(archive.ReadLine(&handle, line, sizeof line), "a");
    EXPECT_STREQ(archive.ReadLine(&handle, line, sizeof line), "b");
    handle.Close();
    EXPECT_EQ(archive.ReadLine(&handle, line, sizeof line), nullptr);
}

TEST(PackArchive, ScrambledAndPlainTwinsDeliverTheSameBytes) {
    CTempFolder folder;
    std::vector<CPackWriterEntry> entries;
    for (int i = 0; i < 20; ++i) {
        entries.push_back({"Dir" + std::to_string(i % 3) + "/File" + std::to_string(i) + ".dat",
                           RandomBytes(static_cast<size_t>(i * 37 + 1), i)});
    }
    CPackWriteOptions scrambledOptions;
    scrambledOptions.scrambled = true;
    ASSERT_EQ(WritePackArchive(folder / "plain.pac", entries), 0);
    ASSERT_EQ(WritePackArchive(folder / "scrambled.pac", entries, scrambledOptions), 0);
    CPackArchive plain;
    CPackArchive scrambled;
    ASSERT_EQ(plain.Open((folder / "plain.pac").c_str()), 0);
    ASSERT_EQ(scrambled.Open((folder / "scrambled.pac").c_str()), 0);
    for (const CPackWriterEntry& entry : entries) {
        for (uint32_t start : {0u, 1u, 31u, 33u}) {
            for (uint32_t size : {1u, 7u, 32u, 100u}) {
                CPackEntryHandle a;
                CPackEntryHandle b;
                ASSERT_EQ(plain.OpenEntry(&a, entry.name.c_str()), 0);
                ASSERT_EQ(scrambled.OpenEntry(&b, entry.name.c_str()), 0);
                plain.ComputeSeekPosition(&a, start, 0);
                scrambled.ComputeSeekPosition(&b, start, 0);
                std::vector<uint8_t> x(size);
                std::vector<uint8_t> y(size);
                const int32_t n = plain.Read(&a, x.data(), size);
                ASSERT_EQ(scrambled.Read(&b, y.data(), size), n);
                ASSERT_EQ(x, y);
                const size_t expected = std::min<size_t>(size, entry.data.size() - std::min<size_t>(start, entry.data.size()));
                ASSERT_EQ(static_cast<size_t>(n), expected);
                ASSERT_TRUE(std::equal(x.begin(), x.begin() + n, entry.data.begin() + std::min<size_t>(start, entry.data.size())));
                a.Close();
                b.Close();
            }
        }
    }
}

TEST(PackArchive, HandlesAreIndependentAcrossThreads) {
    CTempFolder folder;
    std::vector<CPackWriterEntry> entries = {{"a.bin", RandomBytes(300000, 1)}, {"b.bin", RandomBytes(200000, 2)}};
    CPackWriteOptions options;
    options.scrambled = true;
    ASSERT_EQ(WritePackArchive(folder / "t.pac", entries, options), 0);
    CPackArchive archive;
    ASSERT_EQ(archive.Open((folder / "t.pac").c_str()), 0);
    std::vector<uint8_t> got[2];
    std::thread readers[2];
    for (int t = 0; t < 2; ++t) {
        readers[t] = std::thread([&, t] {
            CPackEntryHandle handle;
            if (archive.OpenEntry(&handle, entries[t].name.c_str()) != 0) return;
            uint8_t block[997];
            int32_t n;
            while ((n = archive.Read(&handle, block, sizeof block)) > 0) got[t].insert(got[t].end(), block, block + n);
            handle.Close();
        });
    }
    for (auto& r : readers) r.join();
    EXPECT_EQ(got[0], entries[0].data);
    EXPECT_EQ(got[1], entries[1].data);
}

TEST(PackArchive, DamagedArchivesAreRefusedAndLeaveItEmpty) {
    CTempFolder folder;
    const std::vector<uint8_t> good = HandMadeArchive(kEntries, true);
    auto open = [&](const std::vector<uint8_t>& bytes) {
        const std::string path = folder.Write("d.pac", bytes);
        CPackArchive archive;
        const int32_t result = archive.Open(path.c_str());
        if (result != 0) {
            EXPECT_EQ(archive.count, 0);
            EXPECT_EQ(archive.entries, nullptr);
        }
        return result;
    };
    CPackArchive archive;
    EXPECT_EQ(archive.Open((folder / "none.pac").c_str()), kPackCannotOpen);
    EXPECT_EQ(archive.Open(nullptr), kPackCannotOpen);

    std::vector<uint8_t> bad = good;
    bad[0] = 'X';
    EXPECT_EQ(open(bad), kPackBadMagic);
    EXPECT_EQ(open({'P', 'A'}), kPackBadMagic);

    // Every truncation of a valid archive is refused without reading past the file.
    for (size_t size = 4; size < good.size(); ++size) {
        const int32_t result = open(std::vector<uint8_t>(good.begin(), good.begin() + size));
        EXPECT_EQ(result, kPackDamaged) << "size " << size;
    }

    auto plainWith = [&](uint32_t count, uint32_t nameLength, uint32_t size, uint32_t offset) {
        std::vector<uint8_t> out = {'P', 'A', 'C', 'K'};
        PutU32(&out, count);
        PutU32(&out, 0);
        out.resize(44, 0x9D);
        PutU32(&out, nameLength);
        out.resize(out.size() + std::min<uint32_t>(nameLength, 300), 'n');
        PutU32(&out, size);
        PutU32(&out, offset);
        out.resize(out.size() + 16, 0);
        return out;
    };
    EXPECT_EQ(open(plainWith(1, 2, 4, 60)), 0);
    EXPECT_EQ(open(plainWith(0x7FFFFFFF, 2, 4, 60)), kPackDamaged) << "more entries than the file holds";
    EXPECT_EQ(open(plainWith(0xFFFFFFFF, 2, 4, 60)), kPackDamaged);
    EXPECT_EQ(open(plainWith(1, 0, 4, 60)), kPackDamaged) << "name length 0";
    EXPECT_EQ(open(plainWith(1, 261, 4, 60)), kPackDamaged) << "name longer than the field";
    EXPECT_EQ(open(plainWith(1, 260, 4, 60)), 0);
    EXPECT_EQ(open(plainWith(1, 2, 4, 0xFFFFFFF0)), kPackDamaged) << "offset beyond the file";
    EXPECT_EQ(open(plainWith(1, 2, 0xFFFFFFFF, 60)), kPackDamaged) << "size beyond the file";

    // A name without its NUL is terminated inside the field.
    const std::string path = folder.Write("n.pac", plainWith(1, 260, 4, 60));
    ASSERT_EQ(archive.Open(path.c_str()), 0);
    EXPECT_EQ(std::strlen(archive.entries[0].name), 259u);
    // Reopening a damaged archive over a good one leaves it empty.
    EXPECT_EQ(archive.Open((folder / "none.pac").c_str()), kPackCannotOpen);
    EXPECT_EQ(archive.count, 0);
}

TEST(PackWriter, SortsNamesAndRefusesDuplicatesAndLongNames) {
    const std::vector<uint8_t> bytes =
        BuildPackArchive({{"b/Two", {2}}, {"A_", {1}}, {"a/one", {3}}, {"AA", {4}}});
    ASSERT_FALSE(bytes.empty());
    CTempFolder folder;
    const std::string path = folder.Write("w.pac", bytes);
    CPackArchive archive;
    ASSERT_EQ(archive.Open(path.c_str()), 0);
    ASSERT_EQ(archive.count, 4);
    EXPECT_STREQ(archive.entries[0].name, "a\\one");
    EXPECT_STREQ(archive.entries[1].name, "A_");
    EXPECT_STREQ(archive.entries[2].name, "AA");
    EXPECT_STREQ(archive.entries[3].name, "b\\Two");
    EXPECT_TRUE(BuildPackArchive({{"x", {}}, {"X", {}}}).empty());
    EXPECT_TRUE(BuildPackArchive({{std::string(260, 'n'), {}}}).empty());
    EXPECT_FALSE(BuildPackArchive({{std::string(259, 'n'), {}}}).empty());
    EXPECT_TRUE(BuildPackArchive({{"", {}}}).empty());
    EXPECT_EQ(BuildPackArchive({}).size(), 44u);
}
