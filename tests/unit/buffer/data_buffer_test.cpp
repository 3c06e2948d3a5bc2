// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/data_buffer.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "buffer/file_descriptor.h"
#include "support/open_descriptors.h"
#include "support/temp_dir.h"

namespace nyra {
namespace {

class DataBufferTest : public ::testing::Test {
protected:
    // Loads bytes as the loader does: the working file holds them and their sum is counted.
    void load(const std::string& bytes) {
        dir.write("u_mod1.dll", bytes);
        buffer.reset();
        ASSERT_TRUE(buffer.openWorking(dir.file("u_mod1.dll")));
        std::uint64_t sum = 0;
        for (unsigned char c : bytes)
            sum += c;
        buffer.loaded(sum);
    }
    std::string contents() { return dir.read("u_mod1.dll"); }

    TempDir dir;
    DataBuffer buffer;
};

TEST(FormatChecksum, TenUpperCaseDigitsWithZerosForSpaces) {
    EXPECT_EQ(formatChecksum(0), "0000000000");
    EXPECT_EQ(formatChecksum(0x406), "0000000406");
    EXPECT_EQ(formatChecksum(8556379905ull), "01FDFFFF01");
    EXPECT_EQ(formatChecksum(0xABCDEF0123ull), "ABCDEF0123");
    EXPECT_EQ(formatChecksum(0xFFFFFFFFull), "00FFFFFFFF");
}

TEST(SumBytes, AgreesWithAByteLoopForAnyLengthAndAlignment) {
    // All 0xFF is the largest sum a lane can see; odd lengths and starts
    // cover the tail and unaligned words.
    std::vector<std::uint8_t> bytes(3 * 64 * 8 + 13, 0xFF);
    for (std::size_t i = 0; i < bytes.size(); i += 7)
        bytes[i] = static_cast<std::uint8_t>(i * 31);
    for (const std::size_t start : {0, 1, 5}) {
        for (const std::size_t count : {0, 1, 7, 8, 9, 511, 512, 513, 1536}) {
            std::uint64_t expected = 0;
            for (std::size_t i = start; i < start + count; ++i)
                expected += bytes[i];
            EXPECT_EQ(sumBytes(bytes.data() + start, count), expected)
                << "from " << start << ", " << count << " bytes";
        }
    }
}

TEST_F(DataBufferTest, TextsReadZerosUntilTheFirstLoad) {
    EXPECT_EQ(buffer.dataChecksumText(), "0000000000");
    EXPECT_EQ(buffer.chipChecksumText(), "0000000000");
    buffer.updateChipChecksum(8);
    EXPECT_EQ(buffer.chipChecksumText(), "0000000000");
    EXPECT_FALSE(buffer.isLoaded());
}

TEST_F(DataBufferTest, ChipChecksumForShorterEqualAndLongerData) {
    load(std::string("\x01\x02\x03\x04", 4));
    EXPECT_TRUE(buffer.isLoaded());
    EXPECT_EQ(buffer.dataLength(), 4u);
    EXPECT_EQ(buffer.dataChecksumText(), "000000000A");
    buffer.updateChipChecksum(8);
    EXPECT_EQ(buffer.chipChecksumText(), "0000000406");
    buffer.updateChipChecksum(4);
    EXPECT_EQ(buffer.chipChecksum(), 10u);
    buffer.updateChipChecksum(2);
    EXPECT_EQ(buffer.chipChecksumText(), "0000000003") << "only the bytes the chip holds";
}

TEST_F(DataBufferTest, LongerDataIsSummedAcrossChunkBoundaries) {
    std::string bytes(3 * kChecksumChunk + 5, '\x01');
    bytes[kChecksumChunk] = '\x10';  // first byte of the second chunk
    load(bytes);
    buffer.updateChipChecksum(static_cast<std::uint32_t>(kChecksumChunk + 1));
    EXPECT_EQ(buffer.chipChecksum(), kChecksumChunk + 0x10);
    buffer.updateChipChecksum(static_cast<std::uint32_t>(2 * kChecksumChunk));
    EXPECT_EQ(buffer.chipChecksum(), 2 * kChecksumChunk - 1 + 0x10);
}

TEST_F(DataBufferTest, LargeChipOverAOneByteFileNeedsMoreThanThirtyTwoBits) {
    load(std::string(1, '\0'));
    buffer.updateChipChecksum(32u * 1024 * 1024);
    EXPECT_EQ(buffer.chipChecksum(), 255ull * 33554431);
    EXPECT_EQ(buffer.chipChecksumText(), "01FDFFFF01");
}

TEST_F(DataBufferTest, EditsMoveTheChecksumAndFillTheGapWithErasedBytes) {
    load(std::string("\x01\x02\x03\x04", 4));
    ASSERT_TRUE(buffer.writeByte(3, 5));
    EXPECT_EQ(buffer.dataChecksum(), 11u);
    ASSERT_TRUE(buffer.writeByte(6, 0));
    EXPECT_EQ(buffer.dataChecksum(), 11u + 510);
    EXPECT_EQ(buffer.dataLength(), 7u);
    EXPECT_EQ(contents(), std::string("\x01\x02\x03\x05\xFF\xFF\x00", 7));
    ASSERT_TRUE(buffer.writeByte(7, 0x20)) << "right at the end: appended";
    EXPECT_EQ(buffer.dataLength(), 8u);
    EXPECT_EQ(buffer.dataChecksum(), 11u + 510 + 0x20);
    ASSERT_TRUE(buffer.writeByte(0, 0)) << "a byte lowered";
    EXPECT_EQ(buffer.dataChecksum(), 10u + 510 + 0x20);
}

// A fill of no bytes inside the data changes nothing; past the end it still
// fills the gap up to its address, as any fill there does.
TEST_F(DataBufferTest, AnEmptyFillPastTheEndFillsOnlyTheGap) {
    load(std::string(100, '\x01'));
    ASSERT_TRUE(buffer.fillBytes(50, 0, 0x00));
    ASSERT_TRUE(buffer.fillBytes(100, 0, 0x00));
    EXPECT_EQ(contents(), std::string(100, '\x01'));
    EXPECT_TRUE(buffer.changedRange().empty());
    ASSERT_TRUE(buffer.fillBytes(0xC8, 0, 0x00));
    EXPECT_EQ(contents(), std::string(100, '\x01') + std::string(100, '\xFF'));
    EXPECT_EQ(buffer.dataLength(), 200u);
    EXPECT_EQ(buffer.dataChecksum(), 100u + 100u * 0xFF);
    EXPECT_EQ(buffer.changedRange().begin, 100u);
    EXPECT_EQ(buffer.changedRange().end, 200u);
}

TEST_F(DataBufferTest, TheChangedRangeCoversEveryWriteAndTheFillUntilSaved) {
    load(std::string(10, 'x'));
    EXPECT_TRUE(buffer.changedRange().empty());
    ASSERT_TRUE(buffer.writeByte(4, 1));
    EXPECT_EQ(buffer.changedRange().begin, 4u);
    EXPECT_EQ(buffer.changedRange().end, 5u);
    ASSERT_TRUE(buffer.writeByte(2, 1));
    ASSERT_TRUE(buffer.writeByte(14, 1));  // 10..13 filled on the way
    EXPECT_EQ(buffer.changedRange().begin, 2u);
    EXPECT_EQ(buffer.changedRange().end, 15u);
    buffer.changesSaved();
    EXPECT_TRUE(buffer.changedRange().empty());
    ASSERT_TRUE(buffer.writeByte(20, 1));
    EXPECT_EQ(buffer.changedRange().begin, 15u) << "the new fill starts at the old end";
    buffer.reset();
    EXPECT_TRUE(buffer.changedRange().empty());
}

TEST_F(DataBufferTest, AFailedWriteIsReportedAndLeavesTheSum) {
    load(std::string("\x01\x02", 2));
    // A file that refuses writes.
    ASSERT_TRUE(buffer.openWorkingReadOnly(dir.file("u_mod1.dll")));
    EXPECT_FALSE(buffer.writeByte(0, 9));
    EXPECT_FALSE(buffer.writeByte(5, 9));
    EXPECT_EQ(buffer.dataChecksum(), 3u);
}

TEST_F(DataBufferTest, RowsCountPartialRowsOfDataButWholeRowsOfChip) {
    load(std::string(17, 'x'));
    const auto rows = buffer.updateRows(40);
    EXPECT_EQ(rows.data, 2u);
    EXPECT_EQ(rows.chip, 2u);
    EXPECT_EQ(rows.total, 2u);
    EXPECT_EQ(buffer.updateRows(64).total, 4u);
    EXPECT_EQ(buffer.rows().chip, 4u);
    buffer.reset();
    EXPECT_EQ(buffer.dataLength(), 0u);
    EXPECT_EQ(buffer.rows().total, 0u);
    EXPECT_FALSE(buffer.working().isOpen());
}

TEST(WorkingFileTest, ShortReadsKeepTheCallersPrefill) {
    TempDir dir;
    dir.write("f", "abc");
    WorkingFile file;
    ASSERT_TRUE(file.openReadOnly(dir.file("f")));
    std::uint8_t area[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(file.readAt(1, area, 6), 2u);
    EXPECT_EQ(area[0], 'b');
    EXPECT_EQ(area[1], 'c');
    EXPECT_EQ(area[2], 0xFF);
    EXPECT_EQ(file.readAt(10, area, 6), 0u);
    // The end of the file ends the read, whatever an earlier call left in errno.
    errno = EINTR;
    EXPECT_EQ(file.readAt(3, area, 6), 0u);
    EXPECT_FALSE(file.writeAt(0, area, 1)) << "opened for reading";
    EXPECT_EQ(file.length(), 3u);
    EXPECT_EQ(file.path(), dir.file("f"));
    file.close();
    EXPECT_EQ(file.path(), "");
    EXPECT_EQ(file.readAt(0, area, 1), 0u);
    EXPECT_EQ(file.length(), 0u);
    EXPECT_FALSE(file.openReadOnly(dir.file("missing")));

    // A read error (a folder reads as EISDIR) ends the read with what came.
    ASSERT_TRUE(file.openReadOnly(dir.folder()));
    EXPECT_EQ(file.readAt(0, area, 6), 0u);
}

// The one writer under the working file, the change log and the save: the
// file on disk holds exactly what went through it.
TEST(DescriptorTest, WritesAppendsTruncatesAndRefusesOnceClosed) {
    TempDir dir;
    const std::string path = dir.file("log");
    Descriptor file;
    ASSERT_TRUE(file.open(path, O_RDWR | O_CREAT));
    const auto bytes = [](const char* text) { return reinterpret_cast<const std::uint8_t*>(text); };
    ASSERT_TRUE(file.writeAt(2, bytes("cd"), 2));
    ASSERT_TRUE(file.append(bytes("ef"), 2));
    ASSERT_TRUE(file.writeAt(0, bytes("ab"), 2));
    EXPECT_EQ(dir.read("log"), "abcdef");
    EXPECT_EQ(file.length(), 6u);
    EXPECT_TRUE(file.flush());
    ASSERT_TRUE(file.truncate());
    ASSERT_TRUE(file.append(bytes("g"), 1));
    EXPECT_EQ(dir.read("log"), "g");

    // Opening again closes the first file; a failed open leaves nothing open.
    dir.write("other", "xyz");
    ASSERT_TRUE(file.open(dir.file("other"), O_RDONLY));
    std::uint8_t got[4] = {};
    EXPECT_EQ(file.readAt(1, got, 4), 2u);
    EXPECT_EQ(got[0], 'y');
    EXPECT_FALSE(file.append(bytes("!"), 1)) << "opened for reading";
    EXPECT_FALSE(file.open(dir.file("missing"), O_RDONLY));
    EXPECT_FALSE(file.isOpen());

    errno = 0;
    EXPECT_FALSE(file.writeAt(0, bytes("a"), 1));
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(file.append(bytes("a"), 1));
    EXPECT_FALSE(file.flush());
    EXPECT_FALSE(file.truncate());
    EXPECT_EQ(file.length(), 0u);
    EXPECT_EQ(file.readAt(0, got, 1), 0u);
    EXPECT_TRUE(file.close()) << "closing nothing is no failure";
    EXPECT_EQ(dir.read("log"), "g");
}

TEST(DescriptorTest, NoDescriptorOutlivesItsFile) {
    TempDir dir;
    dir.write("a", "1");
    const int before = openDescriptorCount();
    {
        Descriptor file;
        for (int i = 0; i < 8; ++i)
            ASSERT_TRUE(file.open(dir.file("a"), O_RDONLY));
        EXPECT_EQ(openDescriptorCount(), before + 1) << "opening again closes the last one";
    }
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(DescriptorTest, DescriptorZeroIsAFileLikeAnyOther) {
    TempDir dir;
    const StandardInputClosed noInput;
    Descriptor file;
    ASSERT_TRUE(file.open(dir.file("zero"), O_RDWR | O_CREAT));
    ASSERT_EQ(file.get(), 0);
    const std::uint8_t bytes[] = {1, 2};
    EXPECT_TRUE(file.append(bytes, 2));
    std::uint8_t got[2] = {};
    EXPECT_EQ(file.readAt(0, got, 2), 2u);
    EXPECT_EQ(got[1], 2);
    EXPECT_EQ(file.length(), 2u);
    EXPECT_TRUE(file.truncate());
    EXPECT_TRUE(file.flush());
    EXPECT_TRUE(file.close());
}

}  // namespace
}  // namespace nyra
