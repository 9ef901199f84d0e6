#include "files/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/files/temp_folder.h"

namespace {

size_t FilesIn(const std::string& folder) {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) count += entry.is_regular_file();
    return count;
}

}  // namespace

TEST(AtomicFile, ReplacesOnlyWhenEverythingWasWritten) {
    CTempFolder folder;
    const std::string path = folder.Write("data.sys", "old content");
    ::chmod(path.c_str(), 0640);

    // A stream that failed somewhere on the way: the old file stays and no temporary is left.
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
        stream.Close();
    }
    EXPECT_EQ(CTempFolder::Read(path), std::vector<uint8_t>({'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'}));
    EXPECT_EQ(FilesIn(folder.Path()), 1u);

    // Abandoned without a commit (a crash before the end): likewise.
    {
        CAtomicFile file;
        FILE* f = file.Begin(path.c_str());
        ASSERT_NE(f, nullptr);
        std::fputs("partial", f);
    }
    EXPECT_EQ(CTempFolder::Read(path).size(), 11u);
    EXPECT_EQ(FilesIn(folder.Path()), 1u);

    // A complete write replaces the file, buffered bytes included, and keeps its permissions.
    {
        CAtomicFile file;
        CWriteStream stream;
        stream.file = file.Begin(path.c_str());
        stream.AllocBuffer(64);
        stream.Write("new", 3);
        EXPECT_TRUE(file.Commit(&stream));
        stream.Close();
    }
    EXPECT_EQ(CTempFolder::Read(path), std::vector<uint8_t>({'n', 'e', 'w'}));
    EXPECT_EQ(FilesIn(folder.Path()), 1u);
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
