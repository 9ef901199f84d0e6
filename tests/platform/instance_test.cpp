#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/files/temp_folder.h"

namespace {

TEST(Instance, SecondCopyOnTheSameSaveFolderFindsTheFirstAndAsksItToRaise) {
    const CTempFolder folder;
    const std::string save = folder / "Save/Velkora";
    std::filesystem::create_directories(save);

    CInstanceLock first, second;
    ASSERT_EQ(AcquireInstanceLock(&first, save), 1);
    EXPECT_EQ(PollInstanceLock(&first), 0);
    EXPECT_EQ(AcquireInstanceLock(&second, save), 0);
    EXPECT_EQ(second.lockFd, -1) << "the second copy keeps nothing open";
    EXPECT_EQ(second.listenFd, -1);
    // Another path to the same folder (two runtime folders, a link to the data folder) meets the
    // same lock and the same copy.
    std::filesystem::create_directory_symlink(save, folder / "link");
    EXPECT_EQ(AcquireInstanceLock(&second, folder / "link/"), 0);
    EXPECT_EQ(PollInstanceLock(&first), 2);
    EXPECT_EQ(PollInstanceLock(&first), 0);
    EXPECT_TRUE(std::filesystem::is_empty(save)) << "no lock file that could be deleted from under the lock";

    ReleaseInstanceLock(&first);
    EXPECT_EQ(AcquireInstanceLock(&second, save), 1) << "the lock is free once the first copy ends";
    EXPECT_EQ(AcquireInstanceLock(&first, save), 0);
    EXPECT_EQ(PollInstanceLock(&second), 1);
    ReleaseInstanceLock(&second);

    // Different save folders do not meet.
    std::filesystem::create_directories(folder / "other");
    ASSERT_EQ(AcquireInstanceLock(&first, save), 1);
    EXPECT_EQ(AcquireInstanceLock(&second, folder / "other"), 1);
    EXPECT_EQ(PollInstanceLock(&first), 0);
    ReleaseInstanceLock(&first);
    ReleaseInstanceLock(&second);
}

TEST(Instance, AFolderThatCannotBeLockedIsRefused) {
    const CTempFolder folder;
    CInstanceLock lock;
    testing::internal::CaptureStderr();
    EXPECT_EQ(AcquireInstanceLock(&lock, folder / "missing"), -1);
    EXPECT_EQ(AcquireInstanceLock(&lock, folder.Write("file", "x")), -1) << "a file is no save folder";
    EXPECT_EQ(AcquireInstanceLock(&lock, ""), -1);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(folder / "missing"), std::string::npos) << said;
    EXPECT_EQ(lock.lockFd, -1);
    EXPECT_EQ(PollInstanceLock(&lock), 0);
}

}  // namespace
