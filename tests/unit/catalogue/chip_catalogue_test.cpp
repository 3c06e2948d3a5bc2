// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue/catalogue_codec.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue_test_util.h"

namespace nyra {
namespace {

using test::crlf;

constexpr std::string_view kW25Q80 = "@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:000";

class ChipCatalogueTest : public ::testing::Test {
protected:
    ChipCatalogueTest() {
        catalogue.setLogSink([this](const std::string& line) { log.push_back(line); });
        catalogue.setMessageSink([this](const std::string& text, const std::string& caption,
                                        MessageIcon) { boxes.push_back(caption + "|" + text); });
    }

    ChipCatalogue catalogue;
    std::vector<std::string> log;
    std::vector<std::string> boxes;
};

TEST_F(ChipCatalogueTest, ChipLineTakesTheCurrentTypeAndMakerAndAllTenFields) {
    catalogue.parse(crlf({"$25 SPI FLASH", "#WINBOND:", kW25Q80}));
    ASSERT_EQ(catalogue.count(), 1u);
    const ChipRecord& r = *catalogue.record(0);
    const char* expected[] = {"25 SPI FLASH", "WINBOND", "W25Q80", "256",  "4",  "1MB", "N",
                              "300",          "EF4014",  "00EF13", "3.3V", "000"};
    for (std::size_t f = 0; f < ChipRecord::kTextFieldCount; ++f) {
        EXPECT_EQ(r.field(f), expected[f]) << f;
    }
    EXPECT_EQ(r.index, 0u);
    EXPECT_EQ(catalogue.sourceLine(0), 3u);
    EXPECT_TRUE(log.empty());
}

TEST_F(ChipCatalogueTest, FreshSlotsHoldThirtyOneSpaces) {
    const ChipRecord* slot = catalogue.slot(ChipCatalogue::kMaxChipRecords - 1);
    ASSERT_NE(slot, nullptr);
    for (std::size_t f = 0; f < ChipRecord::kTextFieldCount; ++f) {
        EXPECT_EQ(slot->field(f), std::string(31, ' '));
    }
    EXPECT_EQ(slot->index, 0u);
    EXPECT_EQ(catalogue.slot(ChipCatalogue::kMaxChipRecords), nullptr);
    EXPECT_EQ(catalogue.record(0), nullptr);
}

TEST_F(ChipCatalogueTest, EveryLoadBlanksTheSlotsOfTheLoadBefore) {
    catalogue.parse(crlf({"$T", "#M:", "@A:1:N:1B:N:000:000000:000000:5:000", kW25Q80}));
    ASSERT_EQ(catalogue.count(), 2u);
    catalogue.parse(crlf({"$T", "#M:", "@A:1:N:1B:N:000:000000:000000:5:000"}));
    ASSERT_EQ(catalogue.count(), 1u);
    const ChipRecord* old = catalogue.slot(1);
    EXPECT_EQ(old->device, std::string(31, ' '));
    EXPECT_EQ(old->index, 0u);
    EXPECT_EQ(catalogue.sourceLine(1), 0u);

    // An image refused as too large leaves no chip of the earlier load behind.
    catalogue.parse(crlf({"$T", "#M:", kW25Q80}));
    ASSERT_EQ(catalogue.count(), 1u);
    const std::vector<std::uint8_t> huge(ChipCatalogue::kMaxImageSize + 1, 0x08);
    catalogue.loadImage(std::span(huge).first(ChipCatalogue::kMaxImageSize));
    EXPECT_TRUE(log.empty()) << "an image of exactly the limit is read";
    catalogue.parse(crlf({"$T", "#M:", kW25Q80}));
    catalogue.loadImage(huge);
    EXPECT_EQ(catalogue.count(), 0u);
    EXPECT_EQ(catalogue.slot(0)->device, std::string(31, ' '));
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("too large"), std::string::npos);
}

TEST_F(ChipCatalogueTest, TextWithoutLineFeedIsAnEmptyCatalogue) {
    catalogue.parse("$25 SPI FLASH\r#WINBOND:\r@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:000");
    EXPECT_EQ(catalogue.count(), 0u);
    EXPECT_TRUE(catalogue.typeList().empty());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ChipCatalogueTest, LastLineWithoutLineFeedIsIgnoredEvenAsChipLine) {
    std::string text = crlf({"$T", "#M:", "@A:1:N:1B:N:000:000001:000000:5:000"});
    text += "@B:1:N:1B:N:000:000002:000000:5:000\r";
    catalogue.parse(text);
    ASSERT_EQ(catalogue.count(), 1u);
    EXPECT_EQ(catalogue.record(0)->device, "A");
}

TEST_F(ChipCatalogueTest, ChipLineBeforeAnyGroupHasEmptyTypeAndMaker) {
    catalogue.parse(crlf({kW25Q80}));
    ASSERT_EQ(catalogue.count(), 1u);
    EXPECT_EQ(catalogue.record(0)->type, "");
    EXPECT_EQ(catalogue.record(0)->manufacturer, "");
}

TEST_F(ChipCatalogueTest, MakerLineDropsItsLastCharacter) {
    catalogue.parse(crlf({"$T", "#AB", kW25Q80}));
    ASSERT_EQ(catalogue.count(), 1u);
    EXPECT_EQ(catalogue.record(0)->manufacturer, "A");
}

TEST_F(ChipCatalogueTest, ASingleLineWithoutCarriageReturnIsReportedToo) {
    catalogue.parse(crlf({"$T", "#M:"}) + "@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:0000\n");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("1 line(s) do not end with CR LF, the first at line 3"),
              std::string::npos)
        << log[0];
}

TEST_F(ChipCatalogueTest, LinesWithoutCarriageReturnLoseTheirLastCharacterAndAreReported) {
    catalogue.parse("$25 SPI FLASHX\n#WINBOND:\n@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:0000\n");
    ASSERT_EQ(catalogue.count(), 1u);
    EXPECT_EQ(catalogue.record(0)->type, "25 SPI FLASH");
    EXPECT_EQ(catalogue.record(0)->manufacturer, "WINBON");
    EXPECT_EQ(catalogue.record(0)->operationType, "000");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("3 line(s) do not end with CR LF, the first at line 1"),
              std::string::npos);
}

TEST_F(ChipCatalogueTest, OtherAndEmptyLinesAreSkipped) {
    catalogue.parse(crlf({"", "; comment", "$T", "", "#M:", "xx", kW25Q80}) + "\n");
    ASSERT_EQ(catalogue.count(), 1u);
    EXPECT_EQ(catalogue.record(0)->type, "T");
    EXPECT_EQ(catalogue.sourceLine(0), 7u);
}

TEST_F(ChipCatalogueTest, TenthFieldRunsToTheEndOfTheLine) {
    catalogue.parse(crlf({"@D:1:2:3KB:4:5:6:7:8:000:10", "@E:1:2:3KB:4:5:6:7:8:000"}));
    ASSERT_EQ(catalogue.count(), 1u);
    EXPECT_EQ(catalogue.record(0)->voltage, "8");
    // The colon and what follows belong to the operation type, which no bus has.
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("\"000:10\""), std::string::npos) << log[0];
}

TEST_F(ChipCatalogueTest, ChipLineWithTooFewColonsIsLeftOutAndReported) {
    catalogue.parse(crlf({"$T", "#M:", "@SHORT:1:2:3", kW25Q80, "@:::1B::::::000"}));
    ASSERT_EQ(catalogue.count(), 2u);
    EXPECT_EQ(catalogue.record(0)->device, "W25Q80");
    EXPECT_EQ(catalogue.record(0)->index, 0u);
    EXPECT_EQ(catalogue.record(1)->device, "");
    EXPECT_EQ(catalogue.record(1)->index, 1u);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("line 3 has fewer than 10 fields"), std::string::npos);
}

// A size that cannot be read as what it says, or a bus no job knows, would
// let a job "succeed" on the wrong bytes: the chip is left out, with one note.
TEST_F(ChipCatalogueTest, AChipNoJobCanUseIsLeftOutWithOneNote) {
    const std::vector<std::pair<std::string, std::string>> unusable = {
        {"1024GB", "000"}, {"4GB", "000"},   {"1099511627776B", "000"},
        {"-512KB", "000"}, {"XYZKB", "000"}, {"0B", "000"},
        {"512", "000"},    {"512KB", "999"}, {"512KB", "5AB"},
        {"512KB", "00"},
    };
    for (const auto& [capacity, op] : unusable) {
        SCOPED_TRACE(capacity + " " + op);
        log.clear();
        catalogue.parse(crlf({"$T", "#M:", kW25Q80,
                              "@BAD:256:4:" + capacity + ":N:000:EF4014:00EF13:3.3V:" + op,
                              "@GOOD:256:4:512KB:N:000:EF4014:00EF13:3.3V:000"}));
        ASSERT_EQ(catalogue.count(), 2u);
        EXPECT_EQ(catalogue.record(0)->device, "W25Q80");
        EXPECT_EQ(catalogue.record(1)->device, "GOOD");
        EXPECT_EQ(catalogue.record(1)->index, 1u);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find("line 4 (BAD)"), std::string::npos) << log[0];
    }
    // Sizes that fit are kept, words and the largest 32-bit size among them.
    for (const std::string capacity : {"1B", "128*16bit", "4095MB", "16MB", "2KB"}) {
        log.clear();
        catalogue.parse(
            crlf({"$T", "#M:", "@OK:256:4:" + capacity + ":N:000:EF4014:00EF13:3:000"}));
        EXPECT_EQ(catalogue.count(), 1u) << capacity;
        EXPECT_TRUE(log.empty()) << capacity;
    }
}

TEST_F(ChipCatalogueTest, ChipLinesBeyondCapacityAreLeftOutAndReported) {
    std::string text = crlf({"$T", "#M:"});
    for (int i = 0; i < 1105; ++i) {
        text += "@D" + std::to_string(i) + ":1:N:1B:N:000:000000:000000:5:000\r\n";
    }
    catalogue.parse(text);
    EXPECT_EQ(catalogue.count(), ChipCatalogue::kMaxChipRecords);
    EXPECT_EQ(catalogue.record(1099)->device, "D1099");
    EXPECT_EQ(catalogue.record(1099)->index, 1099u);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("5 chip line(s) from line 1103 on are left out"), std::string::npos);
}

TEST_F(ChipCatalogueTest, ManyBrokenLinesGiveOneNoteEachWithTheFirstLines) {
    std::string text = crlf({"$T", "#M:"});
    const std::string longLine = "@" + std::string(1200, 'Q') + ":1:N:1B:N:000:000000:000000:5:000";
    for (int i = 0; i < 20000; ++i)
        text += "@BROKEN:1:2\r\n";
    text += crlf({kW25Q80, longLine, longLine});
    catalogue.parse(text);
    EXPECT_EQ(catalogue.count(), 3u);
    ASSERT_EQ(log.size(), 2u) << "one note per kind of problem";
    EXPECT_NE(log[0].find("lines 20004 and 20005 are longer than"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find("lines 3, 4, 5, 6, 7 and 19995 more have fewer than 10 fields"),
              std::string::npos)
        << log[1];
}

TEST_F(ChipCatalogueTest, ThreeBrokenLinesAreAllListed) {
    catalogue.parse(crlf({"$T", "#M:", "@A:1", "@B:1", "@C:1"}));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("lines 3, 4 and 5 have"), std::string::npos) << log[0];
}

TEST_F(ChipCatalogueTest, OverlongLineIsReadInFullAndReported) {
    const std::string device(1200, 'Q');
    catalogue.parse(crlf({"$T", "#M:", "@" + device + ":1:N:1B:N:000:000000:000000:5:000"}));
    ASSERT_EQ(catalogue.count(), 1u);
    EXPECT_EQ(catalogue.record(0)->device, device);
    EXPECT_EQ(catalogue.record(0)->operationType, "000");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("line 3 is 1235 characters long"), std::string::npos);
}

class CatalogueQueries : public ChipCatalogueTest {
protected:
    void SetUp() override {
        catalogue.parse(crlf({
            "$1",
            "#ONE:",
            "@ONE-A:1:N:1B:N:000:001234:000000:5:000",
            "$25 SPI FLASH",
            "#WINBOND:",
            "@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:000",
            "@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:010",
            "#MX:",
            "@MX25L8005:256:4:1MB:N:300:C22014:00C213:3.3V:000",
            "#WINBOND:",
            "@W25Q16:256:4:2MB:N:300:EF4015:00EF14:3.3V:000",
            "$24 EEPROM",
            "#GENERIC:",
            "@24C02:8:N:256B:A0:100:000000:000000:5:100",
            "$25 SPI FLASH",
            "#GIGADEVICE:",
            "@GD25Q80:256:4:1MB:N:300:C84014:00C813:3.3V:000",
        }));
    }
};

TEST_F(CatalogueQueries, TypeListHasOneEntryPerGroupAndRepeatsSplitGroups) {
    const std::vector<std::string> expected = {"1", "25 SPI FLASH", "24 EEPROM", "25 SPI FLASH"};
    EXPECT_EQ(catalogue.typeList(), expected);
}

TEST_F(CatalogueQueries, ManufacturerListFollowsChangesWithinTheType) {
    const std::vector<std::string> expected = {"WINBOND", "MX", "WINBOND", "GIGADEVICE"};
    EXPECT_EQ(catalogue.manufacturerList("25 SPI FLASH"), expected);
    EXPECT_EQ(catalogue.manufacturerList("1"), std::vector<std::string>{"ONE"});
    EXPECT_TRUE(catalogue.manufacturerList("25 spi flash").empty());
}

TEST_F(CatalogueQueries, DeviceListKeepsDuplicatesAcrossGroups) {
    const std::vector<std::string> expected = {"W25Q80", "W25Q80", "W25Q16"};
    EXPECT_EQ(catalogue.deviceList("25 SPI FLASH", "WINBOND"), expected);
    EXPECT_TRUE(catalogue.deviceList("24 EEPROM", "WINBOND").empty());
}

TEST_F(CatalogueQueries, FindChipReturnsEverySameNamedRecordInOrder) {
    const std::vector<std::uint32_t> expected = {1, 2};
    EXPECT_EQ(catalogue.findChip("25 SPI FLASH", "WINBOND", "W25Q80"), expected);
    EXPECT_TRUE(catalogue.findChip("25 SPI FLASH", "MX", "W25Q80").empty());
}

TEST_F(CatalogueQueries, IdsAreLookedUpAsSixUpperCaseDigits) {
    EXPECT_EQ(ChipCatalogue::idText(0x1234), "001234");
    EXPECT_EQ(ChipCatalogue::idText(0xEF4014), "EF4014");
    EXPECT_EQ(ChipCatalogue::idText(0), "000000");
    EXPECT_EQ(catalogue.findByMainId(0x1234), std::vector<std::uint32_t>{0});
    const std::vector<std::uint32_t> both = {1, 2};
    EXPECT_EQ(catalogue.findByMainId(0xEF4014), both);
    EXPECT_EQ(catalogue.findBySecondaryId(0xEF13), both);
    EXPECT_EQ(catalogue.findBySecondaryId(0xC813), std::vector<std::uint32_t>{6});
    EXPECT_TRUE(catalogue.findByMainId(0xEF13).empty());
    // Seven digits can never equal a six-digit field.
    EXPECT_TRUE(catalogue.findByMainId(0x1EF4014).empty());
}

TEST_F(CatalogueQueries, RecordAccessStopsAtCount) {
    EXPECT_EQ(catalogue.count(), 7u);
    ASSERT_NE(catalogue.record(6), nullptr);
    EXPECT_EQ(catalogue.record(6)->index, 6u);
    EXPECT_EQ(catalogue.record(7), nullptr);
    EXPECT_EQ(catalogue.sourceLine(7), 0u);
}

class CatalogueFile : public ChipCatalogueTest {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("nyra_catalogue_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const auto path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::filesystem::path dir;
};

TEST_F(CatalogueFile, LoadReadsUnscramblesAndParses) {
    const auto stored = catalogue_codec::scramble(crlf({"$25 SPI FLASH", "#WINBOND:", kW25Q80}));
    ASSERT_TRUE(stored.has_value());
    const auto path = write("database.dat", *stored);
    EXPECT_TRUE(ChipCatalogue::canOpen(path));
    catalogue.load(path);
    ASSERT_EQ(catalogue.count(), 1u);
    EXPECT_EQ(catalogue.record(0)->mainId, "EF4014");
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(log.empty());
}

TEST_F(CatalogueFile, MissingFileShowsTheNoticeAndLeavesTheCatalogueEmpty) {
    catalogue.parse(crlf({kW25Q80}));
    const auto path = (dir / "absent.dat").string();
    EXPECT_FALSE(ChipCatalogue::canOpen(path));
    catalogue.load(path);
    EXPECT_EQ(catalogue.count(), 0u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "提示|文件无法打开！  ");
}

TEST_F(CatalogueFile, ReadOnlyFileLoads) {
    const auto stored = catalogue_codec::scramble(crlf({"$T", "#M:", kW25Q80}));
    const auto path = write("database.dat", *stored);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    catalogue.load(path);
    EXPECT_EQ(catalogue.count(), 1u);
}

TEST_F(CatalogueFile, EmptyFileAndDirectoryGiveEmptyCatalogues) {
    catalogue.load(write("empty.dat", {}));
    EXPECT_EQ(catalogue.count(), 0u);
    EXPECT_TRUE(boxes.empty());
    catalogue.load(dir.string());
    EXPECT_EQ(catalogue.count(), 0u);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("not a regular file"), std::string::npos);
    // A FIFO would hold the program for good if it were opened for reading.
    const std::string fifo = (dir / "fifo.dat").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    log.clear();
    catalogue.load(fifo);
    EXPECT_EQ(catalogue.count(), 0u);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("not a regular file"), std::string::npos);
}

TEST_F(CatalogueFile, FileOfExactlyTheSizeLimitIsReadAndOneByteMoreIsRefused) {
    const auto path = write("limit.dat", {});
    // Sparse: the zero bytes take no disk space.
    std::filesystem::resize_file(path, ChipCatalogue::kMaxImageSize);
    catalogue.load(path);
    EXPECT_TRUE(log.empty()) << log.front();
    std::filesystem::resize_file(path, ChipCatalogue::kMaxImageSize + 1);
    catalogue.load(path);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("67108865 bytes long, too large"), std::string::npos);
}

}  // namespace
}  // namespace nyra
