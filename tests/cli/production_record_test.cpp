// SPDX-License-Identifier: GPL-3.0-or-later
#include "production_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace nyra::cli {
namespace {

RecordLine chipLine(std::uint64_t number, const std::string& result) {
    return {"2026-12-10 08:00:00", "W25X40", number, "0000001234", "program", result,
            "fw, \"v2\".bin",      "100001"};
}

// What a run leaves on the disk, whatever way it ended.
TEST(ProductionRecord, EachLineIsOnTheDiskAndADeadRunsChipIsRecordedAsUnknown) {
    TempDir dir;
    const std::string path = dir.file("line.csv");
    const std::string header = kRecordHeader;
    const std::string passed7 =
        "2026-12-10 08:00:00,W25X40,7,0000001234,program,passed,\"fw, \"\"v2\"\".bin\",100001\n";
    {
        ProductionRecord record;
        ASSERT_TRUE(record.open(path));
        EXPECT_FALSE(record.recovered());
        ASSERT_TRUE(record.hold(chipLine(7, "unknown")));
        EXPECT_EQ(dir.read("line.csv"), header) << "held aside, not yet the chip's line";
        ASSERT_TRUE(record.append(chipLine(7, "passed")));
        EXPECT_EQ(dir.read("line.csv"), header + passed7);
        EXPECT_FALSE(std::filesystem::exists(path + ".pending"));
        // The run dies while chip 8 is being written.
        ASSERT_TRUE(record.hold(chipLine(8, "unknown")));
    }
    ProductionRecord next;
    ASSERT_TRUE(next.open(path));
    const std::string unknown8 =
        "2026-12-10 08:00:00,W25X40,8,0000001234,program,unknown,\"fw, \"\"v2\"\".bin\",100001";
    ASSERT_TRUE(next.recovered());
    EXPECT_EQ(*next.recovered(), unknown8);
    EXPECT_EQ(dir.read("line.csv"), header + passed7 + unknown8 + "\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".pending"));

    // A pending line the crash cut short is no line.
    dir.write("line.csv.pending", "2026-12-10 08:00:00,W25X4");
    ProductionRecord cut;
    ASSERT_TRUE(cut.open(path));
    EXPECT_FALSE(cut.recovered());
    EXPECT_EQ(dir.read("line.csv"), header + passed7 + unknown8 + "\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".pending"));
}

// A record begun before the file and station columns keeps its six.
TEST(ProductionRecord, AnOlderRecordKeepsItsColumns) {
    TempDir dir;
    const std::string old = "time,chip,id,data_checksum,steps,result\r\nt,c,1,s,program,passed\r\n";
    dir.write("old.csv", old);
    ProductionRecord record;
    ASSERT_TRUE(record.open(dir.file("old.csv")));
    ASSERT_TRUE(record.append(chipLine(2, "failed")));
    EXPECT_EQ(dir.read("old.csv"),
              old + "2026-12-10 08:00:00,W25X40,2,0000001234,program,failed\n");
}

TEST(ProductionRecord, OnlyARegularFileIsARecord) {
    TempDir dir;
    for (const std::string& path : {std::string("/dev/null"), dir.folder()}) {
        ProductionRecord record;
        EXPECT_FALSE(record.open(path)) << path;
        EXPECT_NE(record.error(), 0) << path;
    }
}

}  // namespace
}  // namespace nyra::cli
