// SPDX-License-Identifier: GPL-3.0-or-later
// kvq-cli info: what the window shows for a data file, without the window.
#include "info_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sstream>

#include "program_folder.h"

namespace nyra::cli {
namespace {

class InfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!testing::fillProgramFolder(dir, &why))
            GTEST_SKIP() << why;
    }
    int run(const std::string& file, std::optional<std::string> chip = std::nullopt) {
        out.str("");
        err.str("");
        return info(dir.folder(), file, chip, out, err);
    }

    TempDir dir;
    std::ostringstream out, err;
};

TEST_F(InfoTest, ChecksumsForAChipLongerAndShorterThanTheData) {
    const std::string four = dir.write("four.bin", std::string("\x01\x02\x03\x04", 4));
    ASSERT_EQ(run(four, "24C01"), kExitInfoDone) << err.str();
    // 1 + 2 + 3 + 4, then 124 erased bytes of the 128-byte chip.
    EXPECT_EQ(out.str(),
              "data length: 4\nsize: 0.00KB\ndata checksum: 000000000A\n"
              "chip: 24 EEPROM : GENERIC : 24C01 : 1Kbits/128bytes\n"
              "chip checksum: 0000007B8E\n");

    // 1536 bytes of 0x01 against the same chip: only its first 128 bytes count.
    const std::string longer = dir.write("long.bin", std::string(1536, '\x01'));
    ASSERT_EQ(run(longer, "24C01"), kExitInfoDone);
    EXPECT_NE(out.str().find("size: 1.50KB\ndata checksum: 0000000600\n"), std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("chip checksum: 0000000080\n"), std::string::npos) << out.str();
}

TEST_F(InfoTest, WithoutAChipTheStartUpSelectionIsUsed) {
    const std::string empty = dir.write("empty.bin", "");
    ASSERT_EQ(run(empty), kExitInfoDone);
    EXPECT_EQ(out.str().rfind("data length: 0\nsize: 0.00KB\ndata checksum: 0000000000\nchip: ", 0),
              0u)
        << out.str();
}

TEST_F(InfoTest, BadInputIsReportedWithoutOutput) {
    EXPECT_EQ(run(dir.file("missing.bin")), kExitInfoFailed);
    EXPECT_NE(err.str().find("cannot open"), std::string::npos);
    EXPECT_TRUE(out.str().empty());

    const std::string four = dir.write("four.bin", "abcd");
    EXPECT_EQ(run(four, "NO-SUCH-CHIP"), kExitInfoFailed);
    EXPECT_NE(err.str().find("NO-SUCH-CHIP"), std::string::npos);

    // A 4 GiB file does not fit the 32-bit data length; nothing is read of it.
    const std::string huge = dir.file("huge.bin");
    const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 0x100000000LL), 0);
    ::close(fd);
    EXPECT_EQ(run(huge), kExitInfoFailed);
    EXPECT_NE(err.str().find("4 GiB"), std::string::npos);
    EXPECT_TRUE(out.str().empty());

    // A folder, a FIFO and a file nobody may read hold no data to describe.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    const std::string locked = dir.write("locked.bin", "abcd");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    const bool root = ::geteuid() == 0;
    for (const std::string& bad : {dir.folder(), dir.file("fifo"), locked}) {
        if (bad == locked && root)
            continue;
        EXPECT_EQ(run(bad), kExitInfoFailed) << bad;
        EXPECT_NE(err.str().find("cannot open " + bad + ": "), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().empty()) << bad;
    }
}

}  // namespace
}  // namespace nyra::cli
