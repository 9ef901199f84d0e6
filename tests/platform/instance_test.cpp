#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

namespace {

// Sets an environment variable for the life of the object.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;
    ~CScopedEnv() {
        if (hadOld_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/instance_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        runtime.emplace("XDG_RUNTIME_DIR", folder.c_str());
    }
    void TearDown() override {
        runtime.reset();
        std::filesystem::remove_all(folder);
    }

    std::string folder;
    std::optional<CScopedEnv> runtime;
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
    const CScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
    {
        const std::string data = folder + "/data";
        const CScopedEnv dataHome("XDG_DATA_HOME", data.c_str());
        EXPECT_EQ(GetInstanceLockPath(), folder + "/data/Save/Velkora/velkora.lock");
    }
    const CScopedEnv noDataHome("XDG_DATA_HOME", nullptr);
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
