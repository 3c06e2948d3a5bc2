// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/programmer_lock.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

namespace nyra {
namespace {

class ProgrammerLockTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("NYRA_LOCK_DIR", dir.folder().c_str(), 1); }
    void TearDown() override { ::unsetenv("NYRA_LOCK_DIR"); }
    TempDir dir;
};

TEST_F(ProgrammerLockTest, OneHolderPerProgrammerNamedToTheOthers) {
    EXPECT_EQ(ProgrammerLock::folder(), dir.folder());
    ProgrammerLock first, second, other;
    std::string error;
    ASSERT_TRUE(first.acquire("100001", error)) << error;
    EXPECT_FALSE(second.acquire("100001", error));
    EXPECT_EQ(error, "process " + std::to_string(::getpid()));
    EXPECT_FALSE(second.held());
    EXPECT_TRUE(other.acquire("100002", error)) << error;

    // Moved, it stays held; released, the next one gets it.
    ProgrammerLock moved(std::move(first));
    EXPECT_FALSE(first.held());
    EXPECT_FALSE(second.acquire("100001", error));
    moved.release();
    EXPECT_TRUE(second.acquire("100001", error)) << error;

    // Names from the bus cannot reach outside the folder, and the file is everyone's.
    ProgrammerLock odd;
    ASSERT_TRUE(odd.acquire("../usb 001/002", error)) << error;
    const std::string file = dir.file("kvq-nyra-programmer-___usb_001_002.lock");
    ASSERT_TRUE(std::filesystem::exists(file));
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u);
}

// Every process of the host, of any user, looks for the locks in one place.
TEST_F(ProgrammerLockTest, WithoutAFolderNamedTheHostsLockFolderHoldsThem) {
    ::unsetenv("NYRA_LOCK_DIR");
    EXPECT_EQ(ProgrammerLock::folder(), ::access("/run/lock", W_OK) == 0 ? "/run/lock" : "/tmp");
}

TEST_F(ProgrammerLockTest, ALinkPlantedInItsPlaceIsNotFollowed) {
    const std::string target = dir.file("target");
    std::filesystem::create_symlink(target, dir.file("kvq-nyra-programmer-100003.lock"));
    ProgrammerLock lock;
    std::string error;
    EXPECT_FALSE(lock.acquire("100003", error));
    EXPECT_NE(error.find("cannot make the lock file"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(target));
}

}  // namespace
}  // namespace nyra
