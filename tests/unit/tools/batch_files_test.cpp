// SPDX-License-Identifier: GPL-3.0-or-later
// The batch series' files: fresh temporary names, the serial number written
// into a copy of the main document, and the main document with a sub-document.
#include "batch/batch_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/temp_dir.h"

namespace nyra {
namespace {

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class BatchFilesTest : public ::testing::Test {
protected:
    std::string document(std::size_t size, char fill = '\x5A') {
        return dir.write("fw.bin", std::string(size, fill));
    }
    TempDir dir;
};

TEST_F(BatchFilesTest, TheIdGoesAtTheFillAddressInEitherByteOrder) {
    const std::string main = document(1000);
    const std::string out = dir.folder() + "/id.tmp~";
    ASSERT_TRUE(buildIdFile(main, out, 1000, 258, 4, true).ok);
    std::string bytes = read(out);
    ASSERT_EQ(bytes.size(), 1004u);
    EXPECT_EQ(bytes.substr(0, 1000), std::string(1000, '\x5A'));
    EXPECT_EQ(bytes.substr(1000), std::string("\x00\x00\x01\x02", 4));
    ASSERT_TRUE(buildIdFile(main, out, 1000, 258, 4, false).ok);
    EXPECT_EQ(read(out).substr(1000), std::string("\x02\x01\x00\x00", 4));
    ASSERT_TRUE(buildIdFile(main, out, 1000, 258, 2, true).ok);
    EXPECT_EQ(read(out).substr(1000), std::string("\x01\x02", 2));
    // Wider than its length: the low bytes only.
    ASSERT_TRUE(buildIdFile(main, out, 1000, 256, 1, false).ok);
    EXPECT_EQ(read(out).substr(1000), std::string("\x00", 1));
}

TEST_F(BatchFilesTest, InsideTheDocumentTheIdOverwritesAndPastItTheGapIsErased) {
    const std::string main = document(1000);
    const std::string out = dir.folder() + "/id.tmp~";
    ASSERT_TRUE(buildIdFile(main, out, 10, 0xA1B2C3D4, 4, true).ok);
    std::string bytes = read(out);
    ASSERT_EQ(bytes.size(), 1000u);
    EXPECT_EQ(bytes.substr(10, 4), "\xA1\xB2\xC3\xD4");
    EXPECT_EQ(bytes.substr(14), std::string(986, '\x5A'));

    ASSERT_TRUE(buildIdFile(main, out, 2000, 7, 2, false).ok);
    bytes = read(out);
    ASSERT_EQ(bytes.size(), 2002u);
    EXPECT_EQ(bytes.substr(1000, 1000), std::string(1000, '\xFF'));
    EXPECT_EQ(bytes.substr(2000), std::string("\x07\x00", 2));

    // The advance rewrites the ID in the same file.
    ASSERT_TRUE(writeId(out, 2000, 8, 2, false).ok);
    bytes = read(out);
    EXPECT_EQ(bytes.size(), 2002u);
    EXPECT_EQ(bytes.substr(2000), std::string("\x08\x00", 2));
}

TEST_F(BatchFilesTest, TheSubDocumentFollowsTheMainOneOrStartsAtTheAddress) {
    const std::string main = document(100);
    const std::string sub = dir.write("cfg.bin", "CONFIG");
    const std::string out = dir.folder() + "/c.tmp~";
    ASSERT_TRUE(buildCombinedFile(main, out, 120, sub).ok);
    EXPECT_EQ(read(out), std::string(100, '\x5A') + std::string(20, '\xFF') + "CONFIG");
    // A main document longer than the address: right behind it.
    ASSERT_TRUE(buildCombinedFile(main, out, 40, sub).ok);
    EXPECT_EQ(read(out), std::string(100, '\x5A') + "CONFIG");
}

TEST_F(BatchFilesTest, FreshNamesCountUpAndFailuresNameTheFile) {
    const std::string base = dir.folder() + "/fw.bin-ID";
    const std::string first = freshTemporaryName(base);
    EXPECT_EQ(first, base + "-0.tmp~");
    dir.write("fw.bin-ID-0.tmp~", "x");
    EXPECT_EQ(freshTemporaryName(base), base + "-1.tmp~");
    EXPECT_EQ(entryName("/data/cfg/cfg.bin"), "cfg.bin");
    EXPECT_EQ(entryName("cfg.bin"), "cfg.bin");

    const std::string missing = dir.folder() + "/missing.bin";
    BatchFileResult r = buildIdFile(missing, dir.folder() + "/a.tmp~", 0, 1, 1, false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.path, missing);
    EXPECT_EQ(r.error, ENOENT);
    r = buildCombinedFile(document(10), dir.folder() + "/b.tmp~", 0, missing);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.path, missing);
    r = writeId(missing, 0, 1, 1, false);
    EXPECT_FALSE(r.ok);
    r = buildIdFile(document(10), dir.folder() + "/no/such/folder.tmp~", 0, 1, 1, false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.path, dir.folder() + "/no/such/folder.tmp~");
}

TEST_F(BatchFilesTest, AnOutputThatIsAnInputIsRefusedAndNothingIsWritten) {
    const std::string main = document(100);
    const std::string sub = dir.write("cfg.bin", "CONFIG");
    const std::string link = dir.file("link.bin");
    std::filesystem::create_hard_link(main, link);
    const std::string refusal =
        "The file to make is one of the files it is made from; it is not overwritten.";
    // The same name, the same file under another name, a hard link.
    for (const std::string& out : {main, dir.folder() + "./fw.bin", link}) {
        BatchFileResult r = buildIdFile(main, out, 10, 0x01020304, 4, false);
        EXPECT_FALSE(r.ok) << out;
        EXPECT_EQ(r.path, out);
        EXPECT_EQ(failureReason(r), refusal);
        r = buildCombinedFile(main, out, 10, sub);
        EXPECT_FALSE(r.ok) << out;
        EXPECT_EQ(r.path, out);
        EXPECT_EQ(failureReason(r), refusal);
    }
    const BatchFileResult r = buildCombinedFile(main, sub, 120, sub);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.path, sub);
    EXPECT_EQ(failureReason(r), refusal);
    EXPECT_EQ(read(main), std::string(100, '\x5A'));
    EXPECT_EQ(read(sub), "CONFIG");

    // A failure with an errno keeps its text.
    const BatchFileResult missing =
        buildIdFile(dir.file("missing.bin"), dir.file("id.tmp~"), 0, 1, 1, false);
    EXPECT_TRUE(missing.refusal.empty());
    EXPECT_EQ(failureReason(missing), std::strerror(ENOENT));
}

TEST_F(BatchFilesTest, AnIdLengthOtherThanOneTwoOrFourIsRefusedAndNothingIsWritten) {
    const std::string main = document(100);
    const std::string out = dir.file("id.tmp~");
    for (int length : {0, 3, 5, 8, -1}) {
        const BatchFileResult r = buildIdFile(main, out, 10, 0x01020304, length, false);
        EXPECT_FALSE(r.ok) << length;
        EXPECT_EQ(r.path, out) << length;
        EXPECT_EQ(failureReason(r), "An ID is 1, 2 or 4 bytes long.") << length;
        EXPECT_FALSE(std::filesystem::exists(out)) << length;
        const BatchFileResult written = writeId(main, 10, 0x01020304, length, true);
        EXPECT_FALSE(written.ok) << length;
        EXPECT_EQ(written.path, main) << length;
        EXPECT_EQ(failureReason(written), "An ID is 1, 2 or 4 bytes long.") << length;
    }
    EXPECT_EQ(read(main), std::string(100, '\x5A'));
}

}  // namespace
}  // namespace nyra
