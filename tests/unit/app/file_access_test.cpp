// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/file_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/small_disk.h"
#include "support/temp_dir.h"

namespace nyra {
namespace {

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

// What a whole-file write leaves, for every kind of place it may be pointed at:
// the new bytes exactly when it succeeded, else the old file byte for byte,
// and never a temporary file.
TEST(WholeFileWriter, TheFileIsAllNewOrAsItWas) {
    struct Case {
        const char* what;
        std::function<void(TempDir&)> prepare;
        bool writes;     // the new bytes are expected in "target"
        int error;       // expected error when not
        bool abandoned;  // the writer goes away before commit
    };
    const std::string old = "old contents of the file";
    const std::string fresh(70000, 'n');
    const std::vector<Case> cases = {
        {"a new file", [](TempDir&) {}, true, 0, false},
        {"an existing file", [&](TempDir& d) { d.write("target", old); }, true, 0, false},
        {"a run that ends before commit", [&](TempDir& d) { d.write("target", old); }, false, 0,
         true},
        {"a FIFO", [](TempDir& d) { ::mkfifo(d.file("target").c_str(), 0644); }, false,
         kErrorNotRegularFile, false},
        {"a folder", [](TempDir& d) { std::filesystem::create_directory(d.file("target")); }, false,
         EISDIR, false},
        {"a missing folder", [](TempDir&) {}, false, ENOENT, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        c.prepare(dir);
        const std::string target =
            std::string(c.what) == "a missing folder" ? dir.file("no/target") : dir.file("target");
        const std::vector<std::string> before = namesIn(dir.folder());
        const std::string oldBytes =
            std::filesystem::is_regular_file(target) ? dir.read("target") : std::string();
        bool ok = false;
        int error = 0;
        {
            WholeFileWriter writer(target);
            const std::vector<std::uint8_t> bytes = bytesOf(fresh);
            ok = writer.open() && writer.write(bytes.data(), bytes.size()) &&
                 (c.abandoned || writer.commit());
            error = writer.error();
        }
        if (c.writes) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(dir.read("target"), fresh);
        } else {
            EXPECT_EQ(error, c.error);
            if (std::filesystem::is_regular_file(target)) {
                EXPECT_EQ(dir.read("target"), oldBytes);
            }
        }
        std::vector<std::string> expected = before;
        if (c.writes && std::find(expected.begin(), expected.end(), "target") == expected.end())
            expected.push_back("target");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(namesIn(dir.folder()), expected);
    }
}

TEST(WholeFileWriter, KeepsPermissionsAndWritesThroughALink) {
    TempDir dir;
    dir.write("real.bin", "old");
    ASSERT_EQ(::chmod(dir.file("real.bin").c_str(), 0640), 0);
    std::filesystem::create_symlink(dir.file("real.bin"), dir.file("link.bin"));
    const std::vector<std::uint8_t> bytes = bytesOf("new bytes");
    EXPECT_EQ(writeWholeFile(dir.file("link.bin"), bytes.data(), bytes.size()), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.bin")));
    EXPECT_EQ(dir.read("real.bin"), "new bytes");
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("real.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(WholeFileWriter, AFullDiskSaysSoAndTheOldFileSurvives) {
    SmallDisk disk(64);
    if (!disk.available())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    const std::string old(8000, 'o');
    const std::vector<std::uint8_t> oldBytes = bytesOf(old);
    ASSERT_EQ(writeWholeFile(disk.file("image.bin"), oldBytes.data(), oldBytes.size()), 0);
    disk.fill();
    const std::vector<std::uint8_t> bytes(40000, 0x5A);
    EXPECT_EQ(writeWholeFile(disk.file("image.bin"), bytes.data(), bytes.size()), ENOSPC);
    EXPECT_NE(fileErrorText(ENOSPC).find("space"), std::string::npos);
    TempDir copy;
    std::filesystem::copy_file(disk.file("image.bin"), copy.file("image.bin"));
    EXPECT_EQ(copy.read("image.bin"), old);
}

TEST(OpenRegularFile, RefusesWhatCouldBlockOrNeverEnd) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    struct stat info {};
    for (const std::string& path : {dir.file("fifo"), std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        errno = 0;
        EXPECT_EQ(openRegularFile(path, info), -1);
        EXPECT_EQ(errno, kErrorNotRegularFile);
        EXPECT_EQ(openRegularForAppend(path, false), -1);
    }
    EXPECT_EQ(openRegularFile(dir.folder(), info), -1);
    EXPECT_EQ(errno, EISDIR);
    const int fd = openRegularFile(dir.write("plain", "abc"), info);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(info.st_size, 3);
    ::close(fd);
}

}  // namespace
}  // namespace nyra
