#include "files/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
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
