// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/single_instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "support/open_descriptors.h"

namespace nyra {
namespace {

class LockFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "nyra_lock_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    // Runs body in a child process and returns its exit code.
    static int inChild(const std::function<int()>& body) {
        const pid_t pid = fork();
        if (pid == 0)
            _exit(body());
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Another process's attempt: 0 refused as held, 1 acquired, 2 anything else.
    int otherProcessTries() const {
        return inChild([this] {
            SingleInstance other(folder);
            const bool acquired = other.tryAcquire();
            if (acquired)
                return other.held() ? 1 : 2;
            return other.status() == SingleInstance::Status::HeldElsewhere ? 0 : 2;
        });
    }

    std::string folder;
};

TEST_F(LockFolder, SecondProcessIsRefusedAndFirstKeepsTheLock) {
    SingleInstance first(folder);
    ASSERT_TRUE(first.tryAcquire());
    EXPECT_EQ(first.path(), folder + "/KVQ_Nyra.exe.lock");

    EXPECT_EQ(otherProcessTries(), 0);
    EXPECT_TRUE(first.held());
    // Still held after the refusal: a third attempt is refused the same way.
    EXPECT_EQ(otherProcessTries(), 0);
    EXPECT_TRUE(first.tryAcquire());
}

TEST_F(LockFolder, ReleasedWhenTheHolderEnds) {
    {
        SingleInstance first(folder);
        ASSERT_TRUE(first.tryAcquire());
    }
    EXPECT_EQ(otherProcessTries(), 1);
}

TEST_F(LockFolder, ReleasedWhenTheHoldingProcessIsKilled) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        SingleInstance instance(folder);
        const char byte = instance.tryAcquire() && instance.held() ? 'y' : 'n';
        // A holder without the lock ends at once, so a failing test does not
        // wait for a child nobody will kill.
        if (write(ready[1], &byte, 1) != 1 || byte != 'y')
            _exit(3);
        for (;;)
            pause();
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    ASSERT_EQ(byte, 'y');

    SingleInstance second(folder);
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_EQ(second.status(), SingleInstance::Status::HeldElsewhere);

    kill(holder, SIGKILL);
    int status = 0;
    waitpid(holder, &status, 0);
    EXPECT_TRUE(second.tryAcquire());
    EXPECT_TRUE(second.held());
}

TEST_F(LockFolder, LockOnDescriptorZeroIsHeldAndReleased) {
    const StandardInputClosed noInput;
    {
        SingleInstance first(folder);
        EXPECT_TRUE(first.tryAcquire());
        EXPECT_TRUE(first.held());
        EXPECT_EQ(otherProcessTries(), 0);
    }
    EXPECT_EQ(otherProcessTries(), 1);
}

TEST_F(LockFolder, PlantedLinkDoesNotKeepTheProgramFromStarting) {
    const std::string target = folder + "/elsewhere";
    ASSERT_EQ(symlink(target.c_str(), (folder + "/KVQ_Nyra.exe.lock").c_str()), 0);
    SingleInstance instance(folder);
    EXPECT_TRUE(instance.tryAcquire());
    EXPECT_EQ(instance.status(), SingleInstance::Status::Unavailable);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(LockFolder, LockFileOfAnotherUserIsNotUsed) {
    // Its owner could hold it to keep every copy of ours from starting.
    const std::string path = folder + "/KVQ_Nyra.exe.lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(fd, 0);
    close(fd);
    if (chown(path.c_str(), getuid() + 1, static_cast<gid_t>(-1)) != 0)
        GTEST_SKIP() << "giving a file away needs root";
    const int before = openDescriptorCount();
    SingleInstance instance(folder);
    EXPECT_TRUE(instance.tryAcquire());
    EXPECT_EQ(instance.status(), SingleInstance::Status::Unavailable);
    EXPECT_FALSE(instance.held());
    EXPECT_EQ(openDescriptorCount(), before);  // the foreign file is not kept open

    const StandardInputClosed noInput;  // the same when it opens as descriptor 0
    SingleInstance onZero(folder);
    EXPECT_TRUE(onZero.tryAcquire());
    EXPECT_EQ(onZero.status(), SingleInstance::Status::Unavailable);
}

TEST_F(LockFolder, RefusedCopyRetriesOnTheSameDescriptor) {
    SingleInstance holder(folder);
    ASSERT_TRUE(holder.tryAcquire());
    const StandardInputClosed noInput;
    SingleInstance second(folder);
    EXPECT_FALSE(second.tryAcquire());
    const int opened = openDescriptorCount();
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_EQ(second.status(), SingleInstance::Status::HeldElsewhere);
    EXPECT_EQ(openDescriptorCount(), opened);
}

TEST_F(LockFolder, LeftoverInterruptCodeDoesNotRepeatASuccessfulLock) {
    // errno is only meaningful after a failed call.
    SingleInstance instance(folder);
    errno = EINTR;
    EXPECT_TRUE(instance.tryAcquire());
    EXPECT_TRUE(instance.held());
}

TEST_F(LockFolder, MissingFolderStartsUnguarded) {
    SingleInstance instance(folder + "/no/such/folder");
    EXPECT_TRUE(instance.tryAcquire());
    EXPECT_EQ(instance.status(), SingleInstance::Status::Unavailable);
    EXPECT_FALSE(instance.held());
}

class RuntimeDir : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* value = std::getenv("XDG_RUNTIME_DIR"))
            saved = value;
    }
    void TearDown() override {
        if (saved) {
            setenv("XDG_RUNTIME_DIR", saved->c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }
    std::optional<std::string> saved;
};

TEST_F(RuntimeDir, LockLivesInTheRuntimeFolderWhenSet) {
    setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(SingleInstance::defaultLockPath(), "/run/user/4242/KVQ_Nyra.exe.lock");
    EXPECT_EQ(SingleInstance().path(), "/run/user/4242/KVQ_Nyra.exe.lock");
}

TEST_F(RuntimeDir, OtherwiseInTmpWithTheUserId) {
    const std::string expected = "/tmp/KVQ_Nyra.exe-" + std::to_string(getuid()) + ".lock";
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SingleInstance::defaultLockPath(), expected);
    setenv("XDG_RUNTIME_DIR", "relative/dir", 1);  // not absolute: ignored
    EXPECT_EQ(SingleInstance::defaultLockPath(), expected);
}

TEST(SecondInstanceBox, TextsAreByteExact) {
    // Full-width exclamation mark, then four spaces.
    EXPECT_EQ(std::string(SingleInstance::kAlreadyRunningText),
              "KVQ_Nyra.exe is already exist\xEF\xBC\x81    ");
    EXPECT_EQ(std::string(SingleInstance::kAlreadyRunningCaption), "\xE6\x8F\x90\xE7\xA4\xBA");
}

}  // namespace
}  // namespace nyra
