#include "files/pack_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/files/temp_folder.h"
#include "tests/support/engine_bytes.h"
#include "tools/lib/pack_writer.h"

namespace {

struct CHandEntry {
    std::string name;
    std::string data;
};

// An archive laid out by hand from the format table, independent of the pack writer.
std::vector<uint8_t> HandMadeArchive(const std::vector<CHandEntry>& entries, bool scrambled) {
    uint8_t key[32];
    for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i * 5 + 1);
    CTestBytes out;
    out.Tag("PACK").U32(static_cast<uint32_t>(entries.size())).U32(scrambled ? 7 : 0);
    for (uint8_t k : key) out.bytes.push_back(k ^ 0x9D);
    uint32_t offset = 44;
    for (const CHandEntry& e : entries) offset += 12 + static_cast<uint32_t>(e.name.size()) + 1;
    for (const CHandEntry& e : entries) {
        out.U32(static_cast<uint32_t>(e.name.size()) + 1).Str(e.name).U32(static_cast<uint32_t>(e.data.size())).U32(offset);
        offset += static_cast<uint32_t>(e.data.size());
    }
    for (const CHandEntry& e : entries) out.Raw(e.data.data(), e.data.size());
    if (scrambled) {
        for (size_t p = 44; p < out.size(); ++p) out.bytes[p] ^= key[p % 32];
    }
    return out.bytes;
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
    for (int32_t n; (n = archive.Read(&handle, block, sizeof block)) > 0;) out.append(block, n);
    handle.Close();
    return out;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    std::mt19937 random(seed);
    for (auto& b : v) b = static_cast<uint8_t>(random());
    return v;
}

// A temporary folder holding the hand-made scrambled archive, opened.
class PackArchiveTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(archive_.Open(path_.c_str()), 0); }

    CTempFolder folder_;
    const std::string path_ = folder_.Write("a.pac", HandMadeArchive(kEntries, true));
    CPackArchive archive_;
    CPackEntryHandle handle_;
};

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

TEST_F(PackArchiveTest, LookupsIgnoreCaseAndSlashesAndStayInsideTheTable) {
    EXPECT_EQ(ReadAll(archive_, "script/main.VSF"), kEntries[1].data);
    EXPECT_EQ(ReadAll(archive_, "SYSTEM/extra\\cgtable.txt"), kEntries[2].data);
    EXPECT_EQ(archive_.FindEntry("Script\\Main.vsf"), 1);
    EXPECT_EQ(archive_.FindEntry("Script/Main.vsf"), -1) << "FindEntry takes the stored form";
    for (const char* outside : {"A", "", "\xFF\xFF", "Script\\Main.vsf2"}) EXPECT_EQ(archive_.FindEntry(outside), -1);
    EXPECT_EQ(archive_.OpenEntry(&handle_, "zzz"), kPackNoEntry);
    EXPECT_EQ(handle_.file, nullptr);
    CPackArchive empty;
    EXPECT_EQ(empty.FindEntry("a"), -1);
    EXPECT_EQ(empty.OpenEntry(&handle_, "a"), kPackNoEntry);

    EXPECT_EQ(ComparePackNames("ABC", "abc"), 0);
    EXPECT_LT(ComparePackNames("A_", "AA"), 0) << "letters compare as lower case, above '_'";
    EXPECT_LT(ComparePackNames("ab", "abc"), 0);
    EXPECT_GT(ComparePackNames("\x82\xA0", "z"), 0) << "bytes compare unsigned";
    // A trail byte of a double-byte character is not a path separator.
    const std::string name = "Image\\\x83\x5C\x83\x74\x83\x67.bmp";  // ソフト.bmp
    CPackArchive sjis;
    ASSERT_EQ(sjis.Open(folder_.Write("t.pac", HandMadeArchive({{name, "x"}}, false)).c_str()), 0);
    EXPECT_EQ(ReadAll(sjis, "Image/\x83\x5C\x83\x74\x83\x67.bmp"), "x");

    // The archive file vanished after Open: the entry exists but cannot be opened.
    std::filesystem::remove(path_);
    EXPECT_EQ(archive_.OpenEntry(&handle_, "Image/Bg01.bmp"), kPackEntryCannotOpen);
}

TEST_F(PackArchiveTest, ReadsSeeksAndLinesStayInsideTheEntry) {
    ASSERT_EQ(archive_.OpenEntry(&handle_, "Image/Bg01.bmp"), 0);
    char buffer[64] = {};
    EXPECT_EQ(archive_.Read(&handle_, buffer, 64), 13);
    EXPECT_EQ(std::string(buffer, 13), "picture bytes");
    EXPECT_EQ(archive_.Read(&handle_, buffer, 64), 0);
    // {from, offset, origin, result} for the 13-byte entry.
    const int64_t seeks[][4] = {
        {0, 0, 2, 13}, {0, 5, 2, 8}, {0, -5, 2, 8}, {0, -100, 2, 0}, {0, INT64_MIN, 2, 0},
        {0, 100, 0, 13},  // beyond the size clamps
        {3, -2, 1, 1},  {1, -2, 1, 13},  // a move before the start ends at the size
    };
    for (const auto& seek : seeks) {
        handle_.position = static_cast<uint32_t>(seek[0]);
        archive_.ComputeSeekPosition(&handle_, seek[1], static_cast<int>(seek[2]));
        EXPECT_EQ(handle_.position, static_cast<uint32_t>(seek[3])) << seek[1] << " from " << seek[2];
    }
    archive_.ComputeSeekPosition(&handle_, 8, 0);
    EXPECT_EQ(archive_.Read(&handle_, buffer, 64), 5);
    EXPECT_EQ(std::string(buffer, 5), "bytes");
    handle_.Close();
    EXPECT_EQ(archive_.Read(&handle_, buffer, 1), -1);

    ASSERT_EQ(archive_.OpenEntry(&handle_, "Script/Main.vsf"), 0);
    EXPECT_STREQ(archive_.ReadLine(&handle_, buffer, sizeof buffer), "line one\r");
    EXPECT_STREQ(archive_.ReadLine(&handle_, buffer, sizeof buffer), "line two");
    EXPECT_STREQ(archive_.ReadLine(&handle_, buffer, sizeof buffer), "last line") << "a last line without '\\n'";
    std::strcpy(buffer, "untouched");
    EXPECT_STREQ(archive_.ReadLine(&handle_, buffer, sizeof buffer), "untouched");
    // A line longer than the buffer is cut to max - 1 bytes; max bytes are consumed.
    archive_.ComputeSeekPosition(&handle_, 0, 0);
    char small[5];
    EXPECT_STREQ(archive_.ReadLine(&handle_, small, sizeof small), "line");
    EXPECT_EQ(handle_.position, 5u);
    EXPECT_STREQ(archive_.ReadLine(&handle_, small, sizeof small), "one\r");
    EXPECT_EQ(archive_.ReadLine(&handle_, nullptr, 5), nullptr);
    handle_.Close();
    ASSERT_EQ(archive_.OpenEntry(&handle_, "System/Extra/CGTable.txt"), 0);
    EXPECT_STREQ(archive_.ReadLine(&handle_, buffer, sizeof buffer), "a");
    EXPECT_STREQ(archive_.ReadLine(&handle_, buffer, sizeof buffer), "b");
    handle_.Close();
    EXPECT_EQ(archive_.ReadLine(&handle_, buffer, sizeof buffer), nullptr);
}

TEST(PackArchive, ScrambledAndPlainTwinsDeliverTheSameBytes) {
    CTempFolder folder;
    std::vector<CPackWriterEntry> entries;
    for (int i = 0; i < 20; ++i) entries.push_back({"Dir/File" + std::to_string(i), RandomBytes(i * 37 + 1, i)});
    CPackWriteOptions scrambledOptions;
    scrambledOptions.scrambled = true;
    ASSERT_EQ(WritePackArchive(folder / "plain.pac", entries), 0);
    ASSERT_EQ(WritePackArchive(folder / "scrambled.pac", entries, scrambledOptions), 0);
    CPackArchive archives[2];
    ASSERT_EQ(archives[0].Open((folder / "plain.pac").c_str()), 0);
    ASSERT_EQ(archives[1].Open((folder / "scrambled.pac").c_str()), 0);
    CPackEntryHandle handle;
    for (const CPackWriterEntry& entry : entries) {
        for (uint32_t start : {0u, 1u, 31u, 33u}) {
            for (uint32_t size : {1u, 7u, 32u, 100u}) {
                const auto from = entry.data.begin() + std::min<size_t>(start, entry.data.size());
                const std::vector<uint8_t> expected(from, from + std::min<size_t>(size, entry.data.end() - from));
                for (const CPackArchive& archive : archives) {
                    ASSERT_EQ(archive.OpenEntry(&handle, entry.name.c_str()), 0);
                    archive.ComputeSeekPosition(&handle, start, 0);
                    std::vector<uint8_t> got(size);
                    got.resize(static_cast<size_t>(std::max(0, archive.Read(&handle, got.data(), size))));
                    ASSERT_EQ(got, expected) << entry.name << " at " << start << " size " << size;
                    handle.Close();
                }
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
            for (int32_t n; (n = archive.Read(&handle, block, sizeof block)) > 0;) got[t].insert(got[t].end(), block, block + n);
            handle.Close();
        });
    }
    for (auto& r : readers) r.join();
    EXPECT_EQ(got[0], entries[0].data);
    EXPECT_EQ(got[1], entries[1].data);
}

TEST(PackArchive, DamagedTablesAreRefusedAndEntriesPastTheEndReadShort) {
    CTempFolder folder;
    const std::vector<uint8_t> good = HandMadeArchive(kEntries, true);
    auto open = [&](const std::vector<uint8_t>& bytes) {
        CPackArchive archive;
        const int32_t result = archive.Open(folder.Write("d.pac", bytes).c_str());
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
    // A truncation inside the table is refused; one inside the data leaves every entry readable
    // up to the cut and no further.
    size_t tableEnd = 44;
    for (const CHandEntry& e : kEntries) tableEnd += 12 + e.name.size() + 1;
    for (size_t size = 4; size < good.size(); ++size) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + size);
        if (size < tableEnd) {
            EXPECT_EQ(open(cut), kPackDamaged) << "size " << size;
            continue;
        }
        CPackArchive shortened;
        ASSERT_EQ(shortened.Open(folder.Write("c.pac", cut).c_str()), 0) << "size " << size;
        size_t at = tableEnd;
        for (const CHandEntry& e : kEntries) {
            const size_t kept = std::min(e.data.size(), size - std::min(size, at));
            EXPECT_EQ(ReadAll(shortened, e.name.c_str()), e.data.substr(0, kept)) << e.name << " size " << size;
            at += e.data.size();
        }
    }

    // One plain entry with the given count, name length, size and offset.
    auto plainWith = [&](uint32_t count, uint32_t nameLength, uint32_t size, uint32_t offset) {
        CTestBytes out;
        out.Tag("PACK").U32(count).U32(0);
        out.bytes.resize(44, 0x9D);
        out.U32(nameLength).bytes.resize(out.size() + std::min<uint32_t>(nameLength, 300), 'n');
        out.U32(size).U32(offset).bytes.resize(out.size() + 16, 0);
        return out.bytes;
    };
    EXPECT_EQ(open(plainWith(1, 2, 4, 60)), 0);
    EXPECT_EQ(open(plainWith(1, 260, 4, 60)), 0);
    const uint32_t damaged[][4] = {
        {0x7FFFFFFF, 2, 4, 60},  // more entries than the file holds
        {0xFFFFFFFF, 2, 4, 60}, {1, 0, 4, 60},   // name length 0
        {1, 261, 4, 60},                         // name longer than the field
    };
    for (const auto& d : damaged) EXPECT_EQ(open(plainWith(d[0], d[1], d[2], d[3])), kPackDamaged) << d[0] << " " << d[1];
    // An offset or a size beyond the 74-byte file opens; the entry ends at the end of the file.
    const uint32_t overrunning[][3] = {{4, 0xFFFFFFF0, 0}, {0xFFFFFFFF, 60, 14}, {100, 50, 24}};
    for (const auto& [size, offset, expected] : overrunning) {
        CPackArchive opened;
        ASSERT_EQ(opened.Open(folder.Write("o.pac", plainWith(1, 2, size, offset)).c_str()), 0) << offset;
        EXPECT_EQ(opened.entries[0].size, expected) << offset;
        EXPECT_EQ(ReadAll(opened, opened.entries[0].name).size(), expected) << offset;
    }

    // A name without its NUL is terminated inside the field.
    ASSERT_EQ(archive.Open(folder.Write("n.pac", plainWith(1, 260, 4, 60)).c_str()), 0);
    EXPECT_EQ(std::strlen(archive.entries[0].name), 259u);
    // Reopening a damaged archive over a good one leaves it empty.
    EXPECT_EQ(archive.Open((folder / "none.pac").c_str()), kPackCannotOpen);
    EXPECT_EQ(archive.count, 0);
}

TEST(PackWriter, SortsNamesAndRefusesDuplicatesAndLongNames) {
    CTempFolder folder;
    CPackArchive archive;
    const std::string path = folder.Write("w.pac", BuildPackArchive({{"b/Two", {2}}, {"A_", {1}}, {"a/one", {3}}, {"AA", {4}}}));
    ASSERT_EQ(archive.Open(path.c_str()), 0);
    ASSERT_EQ(archive.count, 4);
    const char* order[] = {"a\\one", "A_", "AA", "b\\Two"};
    for (int i = 0; i < 4; ++i) EXPECT_STREQ(archive.entries[i].name, order[i]);
    EXPECT_TRUE(BuildPackArchive({{"x", {}}, {"X", {}}}).empty());
    EXPECT_TRUE(BuildPackArchive({{std::string(260, 'n'), {}}}).empty());
    EXPECT_FALSE(BuildPackArchive({{std::string(259, 'n'), {}}}).empty());
    EXPECT_TRUE(BuildPackArchive({{"", {}}}).empty());
    EXPECT_EQ(BuildPackArchive({}).size(), 44u);
}
