#include "platform/single_instance.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/files/temp_folder.h"
#include "tests/platform/scoped_env.h"

namespace {

TEST(Instance, SecondCopyFindsTheFirstAndAsksItToRaise) {
    const CTempFolder folder;
    const CScopedEnv runtime("XDG_RUNTIME_DIR", folder.Path());
    const std::string path = GetInstanceLockPath();
    EXPECT_EQ(path, folder / "velkora.lock");

    CInstanceLock first, second;
    ASSERT_EQ(AcquireInstanceLock(&first, path), 1);
    EXPECT_EQ(PollInstanceLock(&first), 0);
    EXPECT_EQ(AcquireInstanceLock(&second, path), 0);
    EXPECT_EQ(second.lockFd, -1) << "the second copy keeps nothing open";
    EXPECT_EQ(second.listenFd, -1);
    EXPECT_EQ(AcquireInstanceLock(&second, path), 0);
    EXPECT_EQ(PollInstanceLock(&first), 2);
    EXPECT_EQ(PollInstanceLock(&first), 0);

    ReleaseInstanceLock(&first);
    EXPECT_EQ(AcquireInstanceLock(&second, path), 1) << "the lock is free once the first copy ends";
    EXPECT_EQ(AcquireInstanceLock(&first, path), 0);
    EXPECT_EQ(PollInstanceLock(&second), 1);
    ReleaseInstanceLock(&second);

    // Locks in different folders do not meet; a missing folder is made by the first copy.
    ASSERT_EQ(AcquireInstanceLock(&first, folder / "a/velkora.lock"), 1);
    EXPECT_EQ(AcquireInstanceLock(&second, folder / "deep/er/velkora.lock"), 1);
    EXPECT_TRUE(std::filesystem::exists(folder / "deep/er/velkora.lock"));
    EXPECT_EQ(PollInstanceLock(&first), 0);
    ReleaseInstanceLock(&first);
    ReleaseInstanceLock(&second);
}

TEST(Instance, LockPathFallsBackToTheDataFolderAndAnUnusableOneStillRuns) {
    const CTempFolder folder;
    const CScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
    {
        const CScopedEnv dataHome("XDG_DATA_HOME", folder / "data");
        EXPECT_EQ(GetInstanceLockPath(), folder / "data/Save/Velkora/velkora.lock");
    }
    const CScopedEnv noDataHome("XDG_DATA_HOME", nullptr);
    const CScopedEnv home("HOME", folder / "home");
    EXPECT_EQ(GetInstanceLockPath(), folder / "home/.local/share/Save/Velkora/velkora.lock");

    CInstanceLock lock;
    EXPECT_EQ(AcquireInstanceLock(&lock, "/proc/no-such-folder/velkora.lock"), 1);
    EXPECT_EQ(lock.lockFd, -1);
    EXPECT_EQ(PollInstanceLock(&lock), 0);
    EXPECT_EQ(AcquireInstanceLock(&lock, ""), 1);
}

}  // namespace
