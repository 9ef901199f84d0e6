#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/instance_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        const char* runtime = getenv("XDG_RUNTIME_DIR");
        if (runtime != nullptr) savedRuntime = runtime;
        hadRuntime = runtime != nullptr;
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
    void TearDown() override {
        if (hadRuntime) {
            setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        std::filesystem::remove_all(folder);
    }

    std::string folder;
    std::string savedRuntime;
    bool hadRuntime = false;
};

TEST_F(InstanceTest, SecondCopyFindsTheFirstAndAsksItToRaise) {
    const std::string path = GetInstanceLockPath();
    EXPECT_EQ(path, folder + "/velkora.lock");

    CInstanceLock first;
    CInstanceLock second;
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
}

TEST_F(InstanceTest, LocksInDifferentFoldersDoNotMeet) {
    CInstanceLock first;
    CInstanceLock other;
    ASSERT_EQ(AcquireInstanceLock(&first, folder + "/a/velkora.lock"), 1);
    EXPECT_EQ(AcquireInstanceLock(&other, folder + "/b/velkora.lock"), 1);
    EXPECT_EQ(PollInstanceLock(&first), 0);
    ReleaseInstanceLock(&first);
    ReleaseInstanceLock(&other);
}

TEST_F(InstanceTest, LockPathFallsBackToTheDataFolder) {
    unsetenv("XDG_RUNTIME_DIR");
    setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    EXPECT_EQ(GetInstanceLockPath(), folder + "/data/Save/Velkora/velkora.lock");
    unsetenv("XDG_DATA_HOME");
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        EXPECT_EQ(GetInstanceLockPath(), std::string(home) + "/.local/share/Save/Velkora/velkora.lock");
    }

    // The folder is made by the first copy.
    CInstanceLock lock;
    ASSERT_EQ(AcquireInstanceLock(&lock, folder + "/deep/er/velkora.lock"), 1);
    EXPECT_TRUE(std::filesystem::exists(folder + "/deep/er/velkora.lock"));
    ReleaseInstanceLock(&lock);
}

TEST_F(InstanceTest, UnusableLockFolderStillLetsTheProgramRun) {
    CInstanceLock lock;
    EXPECT_EQ(AcquireInstanceLock(&lock, "/proc/no-such-folder/velkora.lock"), 1);
    EXPECT_EQ(lock.lockFd, -1);
    EXPECT_EQ(PollInstanceLock(&lock), 0);
    EXPECT_EQ(AcquireInstanceLock(&lock, ""), 1);
}

}  // namespace
