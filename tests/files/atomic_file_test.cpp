#include "files/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "tests/files/temp_folder.h"

TEST(AtomicFile, ReplacesOnlyWhenEverythingWasWritten) {
    CTempFolder folder;
    const std::string path = folder.Write("data.sys", "old content");
    ::chmod(path.c_str(), 0640);
    const auto filesInFolder = [&] {
        auto entries = std::filesystem::directory_iterator(folder.Path());
        return std::count_if(begin(entries), end(entries), [](const auto& e) { return e.is_regular_file(); });
    };
    const auto expectContent = [&](const std::string& content) {
        EXPECT_EQ(CTempFolder::Read(path), std::vector<uint8_t>(content.begin(), content.end()));
        EXPECT_EQ(filesInFolder(), 1) << "no temporary is left";
    };

    // A stream that failed somewhere on the way: the old file stays.
    {
        CAtomicFile file;
        CWriteStream stream;
        stream.file = file.Begin(path.c_str());
        ASSERT_NE(stream.file, nullptr);
        stream.AllocBuffer(8);
        stream.Write("new content that is long", 24);
        stream.failed = true;
        EXPECT_FALSE(file.Commit(&stream));
        EXPECT_EQ(stream.file, nullptr);
    }
    expectContent("old content");
    // Abandoned without a commit (a crash before the end): likewise.
    {
        CAtomicFile file;
        FILE* f = file.Begin(path.c_str());
        ASSERT_NE(f, nullptr);
        std::fputs("partial", f);
    }
    expectContent("old content");
    // A complete write replaces the file, buffered bytes included, and keeps its permissions.
    {
        CAtomicFile file;
        CWriteStream stream;
        stream.file = file.Begin(path.c_str());
        stream.AllocBuffer(64);
        stream.Write("new", 3);
        EXPECT_TRUE(file.Commit(&stream));
    }
    expectContent("new");
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // A new file, and a folder that does not exist.
    CAtomicFile fresh;
    ASSERT_NE(fresh.Begin((folder / "fresh.sys").c_str()), nullptr);
    EXPECT_TRUE(fresh.Commit());
    EXPECT_TRUE(std::filesystem::exists(folder / "fresh.sys"));
    CAtomicFile nowhere;
    EXPECT_EQ(nowhere.Begin((folder / "missing/x.sys").c_str()), nullptr);
    EXPECT_FALSE(nowhere.Commit());
}

// A write that cannot be finished tells why; a folder's stale temporaries of its own files go,
// and nothing else does.
TEST(AtomicFile, FailuresKeepTheirReasonAndStaleTemporariesAreRemoved) {
    CTempFolder folder;
    CAtomicFile missing;
    EXPECT_EQ(missing.Begin((folder / "missing/x.sys").c_str()), nullptr);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(missing.Begin(""), nullptr);
    EXPECT_EQ(missing.error, ENOENT);

    std::filesystem::create_directories(folder / "taken.sys/inside");
    CAtomicFile taken;
    ASSERT_NE(taken.Begin((folder / "taken.sys").c_str()), nullptr);
    EXPECT_FALSE(taken.Commit());
    EXPECT_EQ(taken.error, EISDIR);

    // A full disk: the write itself comes up short.
    CAtomicFile full;
    CWriteStream stream;
    stream.file = full.Begin((folder / "full.sys").c_str());
    ASSERT_NE(stream.file, nullptr);
    stream.AllocBuffer(4);
    FILE* device = std::fopen("/dev/full", "wb");
    ASSERT_NE(device, nullptr);
    std::setvbuf(device, nullptr, _IONBF, 0);
    FILE* own = stream.file;
    stream.file = device;
    stream.Write("more than four bytes", 20);
    EXPECT_TRUE(stream.failed);
    EXPECT_EQ(stream.error, ENOSPC);
    std::fclose(device);
    stream.file = own;
    EXPECT_FALSE(full.Commit(&stream));
    EXPECT_EQ(full.error, ENOSPC);
    EXPECT_FALSE(std::filesystem::exists(folder / "full.sys"));

    testing::internal::CaptureStderr();
    ReportUnwrittenFile("/saves/System.sys", ENOSPC);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "cannot write \"/saves/System.sys\": No space left on device; the file there before is kept\n");

    const std::string stale = folder.Write("mine.sys.tmp-Ab12Cd", "x");
    const std::string other = folder.Write("theirs.sys.tmp-Ab12Cd", "x");
    const std::string shortName = folder.Write("mine.sys.tmp-Ab1", "x");
    const std::string plain = folder.Write("mine.sys", "x");
    std::filesystem::create_directories(folder / "mine.sys.tmp-folder");
    EXPECT_EQ(RemoveStaleTemporaries(folder.Path(), [](const std::string& name) { return name == "mine.sys"; }), 1);
    EXPECT_FALSE(std::filesystem::exists(stale));
    for (const std::string& kept : {other, shortName, plain, folder / "mine.sys.tmp-folder"})
        EXPECT_TRUE(std::filesystem::exists(kept)) << kept;
    EXPECT_EQ(RemoveStaleTemporaries(folder / "none", [](const std::string&) { return true; }), 0);
}
