// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "catalogue/catalogue_codec.h"
#include "catalogue/catalogue_tools.h"
#include "catalogue/chip_catalogue.h"
#include "catalogue_test_util.h"

namespace nyra {
namespace {

using test::crlf;

const std::string kSmall = crlf({
    "$25 SPI FLASH",
    "#WINBOND:",
    "@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:000",
    "@W25Q256FV:256:4:32MB:N:400:EF4019:00EF18:3.3V:010",
    "$93 EEPROM",
    "#GENERIC:",
    "@93C86(x16):1:N:1K*16bit:N:010:000000:000000:5:310",
});

std::string errorsOf(const BuildResult& r) {
    std::string all;
    for (const auto& e : r.errors) {
        all += std::to_string(e.line) + ": " + e.message + "\n";
    }
    return all;
}

TEST(BuildDatabase, DumpOfBuildGivesTheTextBack) {
    const auto built = buildDatabase(kSmall);
    ASSERT_TRUE(built.ok()) << errorsOf(built);
    EXPECT_EQ(built.text, kSmall);
    EXPECT_EQ(dumpDatabase(built.database), kSmall);
    EXPECT_NE(std::string(built.database.begin(), built.database.end()), kSmall);
}

TEST(BuildDatabase, LoadedRecordsEqualTheTextFields) {
    const auto built = buildDatabase(kSmall);
    ASSERT_TRUE(built.ok()) << errorsOf(built);
    ChipCatalogue catalogue;
    catalogue.loadImage(built.database);
    ASSERT_EQ(catalogue.count(), 3u);
    ChipRecord expected;
    expected.type = "93 EEPROM";
    expected.manufacturer = "GENERIC";
    expected.device = "93C86(x16)";
    expected.pageSize = "1";
    expected.sectorSize = "N";
    expected.capacity = "1K*16bit";
    expected.mainAddress = "N";
    expected.secondaryAddress = "010";
    expected.mainId = "000000";
    expected.secondaryId = "000000";
    expected.voltage = "5";
    expected.operationType = "310";
    expected.index = 2;
    EXPECT_EQ(*catalogue.record(2), expected);
}

TEST(BuildDatabase, LineFeedOnlyTextIsStoredWithCrLf) {
    std::string lf = kSmall;
    for (std::size_t p = lf.find('\r'); p != std::string::npos; p = lf.find('\r', p)) {
        lf.erase(p, 1);
    }
    lf.pop_back();  // and no line feed after the last line
    const auto built = buildDatabase(lf);
    ASSERT_TRUE(built.ok()) << errorsOf(built);
    EXPECT_EQ(dumpDatabase(built.database), kSmall);
}

TEST(BuildDatabase, RefusesCharactersTheCodecCannotCarryWithTheirLine) {
    const auto built = buildDatabase(crlf(
        {"$T", "#M:", "@w25q80:1:N:1B:N:000:000000:000000:5:000",
         "@A_B:1:N:1B:N:000:000000:000000:5:000", "@\xC3\xA9:1:N:1B:N:000:000000:000000:5:000",
         "@A\tB:1:N:1B:N:000:000000:000000:5:000", "@A\x80:1:N:1B:N:000:000000:000000:5:000",
         "@A\x7F:1:N:1B:N:000:000000:000000:5:000", "@A\x1F:1:N:1B:N:000:000000:000000:5:000"}));
    ASSERT_EQ(built.errors.size(), 7u) << errorsOf(built);
    EXPECT_NE(built.errors[4].message.find("byte 0x80 is not 7-bit ASCII"), std::string::npos);
    EXPECT_NE(built.errors[5].message.find("control character 0x7F"), std::string::npos);
    EXPECT_NE(built.errors[6].message.find("control character 0x1F"), std::string::npos);
    EXPECT_EQ(built.errors[0].line, 3u);
    EXPECT_NE(built.errors[0].message.find("character 'w' cannot be stored"), std::string::npos);
    EXPECT_EQ(built.errors[1].line, 4u);
    EXPECT_EQ(built.errors[2].line, 5u);
    EXPECT_NE(built.errors[2].message.find("not 7-bit ASCII"), std::string::npos);
    EXPECT_EQ(built.errors[3].line, 6u);
    EXPECT_NE(built.errors[3].message.find("control character 0x09"), std::string::npos);
    EXPECT_TRUE(built.database.empty());
}

TEST(BuildDatabase, RefusesMalformedLines) {
    const auto built = buildDatabase(crlf({
        "@EARLY:1:N:1B:N:000:000000:000000:5:000",
        "$T",
        "@NOMAKER:1:N:1B:N:000:000000:000000:5:000",
        "#WINBOND",
        "@SHORT:1:N:1B",
        "@LONG:1:N:1B:N:000:000000:000000:5:0:0",
        "@" + std::string(990, 'D') + ":1:N:1B:N:000:000000:000000:5:000",
    }));
    ASSERT_EQ(built.errors.size(), 6u) << errorsOf(built);
    EXPECT_EQ(built.errors[0].line, 1u);
    EXPECT_NE(built.errors[0].message.find("before any type line"), std::string::npos);
    EXPECT_EQ(built.errors[1].line, 3u);
    EXPECT_NE(built.errors[1].message.find("before any maker line"), std::string::npos);
    EXPECT_EQ(built.errors[2].line, 4u);
    EXPECT_NE(built.errors[2].message.find("drops the last character"), std::string::npos);
    EXPECT_EQ(built.errors[3].line, 5u);
    EXPECT_NE(built.errors[3].message.find("3 colons"), std::string::npos);
    EXPECT_EQ(built.errors[4].line, 6u);
    EXPECT_NE(built.errors[4].message.find("10 colons"), std::string::npos);
    EXPECT_EQ(built.errors[5].line, 7u);
    EXPECT_NE(built.errors[5].message.find("at most 999"), std::string::npos);
}

TEST(BuildDatabase, LineOfExactly999CharactersWithItsCrIsAccepted) {
    const std::string tail = ":1:N:1B:N:000:000000:000000:5:000";
    const std::string line = "@" + std::string(998 - 1 - tail.size(), 'D') + tail;
    ASSERT_EQ(line.size() + 1, 999u);
    EXPECT_TRUE(buildDatabase(crlf({"$T", "#M:", line})).ok());
    EXPECT_FALSE(buildDatabase(crlf({"$T", "#M:", line + "X"})).ok());
}

std::string chips(const std::string& prefix, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        text += "@" + prefix + std::to_string(i) + ":1:N:1B:N:000:000000:000000:5:000\r\n";
    }
    return text;
}

TEST(BuildDatabase, RefusesMoreThanSixTypeGroupsAtTheSeventh) {
    std::string text;
    for (int t = 0; t < 7; ++t) {
        text += "$T" + std::to_string(t % 6) + "\r\n#M:\r\n" + chips("D", 1);
    }
    const auto built = buildDatabase(text);
    ASSERT_EQ(built.errors.size(), 1u) << errorsOf(built);
    EXPECT_EQ(built.errors[0].line, 21u);
    EXPECT_NE(built.errors[0].message.find("more than 6 type groups"), std::string::npos);
}

TEST(BuildDatabase, RefusesMoreThan134ChipsOfOneMakerEvenAcrossGroups) {
    const auto ok = buildDatabase("$T\r\n#M:\r\n" + chips("D", 134));
    EXPECT_TRUE(ok.ok()) << errorsOf(ok);
    const auto built = buildDatabase("$T\r\n#M:\r\n" + chips("D", 100) + "#N:\r\n" + chips("E", 1) +
                                     "#M:\r\n" + chips("F", 35));
    ASSERT_EQ(built.errors.size(), 1u) << errorsOf(built);
    EXPECT_EQ(built.errors[0].line, 140u);
    EXPECT_NE(built.errors[0].message.find("more than 134 chips of \"M\""), std::string::npos);
}

TEST(BuildDatabase, TakesExactly1100Chips) {
    std::string text = "$T\r\n";
    for (int m = 0; m < 10; ++m)
        text += "#M" + std::to_string(m) + ":\r\n" + chips("D", 110);
    const auto built = buildDatabase(text);
    EXPECT_TRUE(built.ok()) << errorsOf(built);
}

TEST(BuildDatabase, RefusesMoreThan100MakersOfATypeAndMoreThan1100Chips) {
    std::string text = "$T\r\n";
    for (int m = 0; m < 101; ++m) {
        text += "#M" + std::to_string(m) + ":\r\n" + chips("D", m < 10 ? 100 : 1);
    }
    const auto makers = buildDatabase(text);
    ASSERT_EQ(makers.errors.size(), 1u) << errorsOf(makers);
    EXPECT_EQ(makers.errors[0].line, 1u + 10 * 101 + 91 * 2);
    EXPECT_NE(makers.errors[0].message.find("more than 100 makers"), std::string::npos);

    const auto chipLines = buildDatabase(text + chips("X", 10));
    ASSERT_EQ(chipLines.errors.size(), 1u) << errorsOf(chipLines);
    EXPECT_NE(chipLines.errors[0].message.find("more than 1100 chip lines"), std::string::npos);
}

ChipRecord goodRecord() {
    ChipRecord r;
    r.type = "25 SPI FLASH";
    r.manufacturer = "WINBOND";
    r.device = "W25Q80";
    r.pageSize = "256";
    r.sectorSize = "4";
    r.capacity = "1MB";
    r.mainAddress = "N";
    r.secondaryAddress = "300";
    r.mainId = "EF4014";
    r.secondaryId = "00EF13";
    r.voltage = "3.3V";
    r.operationType = "000";
    return r;
}

std::string problemsWith(std::size_t field, const std::string& value) {
    ChipRecord r = goodRecord();
    r.field(field) = value;
    std::string all;
    for (const auto& p : checkRecord(r)) {
        all += p + "\n";
    }
    return all;
}

TEST(CheckRecord, AcceptsWellFormedRecordsOfEveryFamily) {
    EXPECT_TRUE(checkRecord(goodRecord()).empty());
    ChipRecord microwire = goodRecord();
    microwire.pageSize = "1";
    microwire.sectorSize = "N";
    microwire.capacity = "64*16bit";
    microwire.secondaryAddress = "006";
    microwire.mainId = microwire.secondaryId = "000000";
    microwire.operationType = "311";
    EXPECT_TRUE(checkRecord(microwire).empty());
    ChipRecord i2c = microwire;
    i2c.capacity = "256KB";
    i2c.mainAddress = "A0";
    i2c.secondaryAddress = "2A2";
    i2c.operationType = "100";
    EXPECT_TRUE(checkRecord(i2c).empty());
}

TEST(CheckRecord, FindsMalformedFields) {
    EXPECT_NE(problemsWith(3, "25x"), "");
    EXPECT_NE(problemsWith(3, "528"), "");  // no one-byte code
    EXPECT_EQ(problemsWith(3, "48"), "");
    EXPECT_EQ(problemsWith(3, "N"), "");
    EXPECT_NE(problemsWith(4, "4K"), "");
    EXPECT_EQ(problemsWith(4, "F"), "");
    EXPECT_NE(problemsWith(4, "0"), "");
    EXPECT_NE(problemsWith(4, "300"), "") << "no one-byte code";
    // Ten digits would wrap to a small number in 32 bits (256 and 4).
    EXPECT_NE(problemsWith(3, "4294967552"), "");
    EXPECT_NE(problemsWith(4, "4294967300"), "");
    EXPECT_EQ(problemsWith(4, "256"), "");
    EXPECT_EQ(problemsWith(4, "N"), "");
    EXPECT_NE(problemsWith(0, ""), "");
    EXPECT_NE(problemsWith(1, ""), "");
    EXPECT_NE(problemsWith(2, ""), "");
    EXPECT_NE(problemsWith(5, "1M"), "");
    EXPECT_NE(problemsWith(5, "1mB"), "");
    EXPECT_NE(problemsWith(5, "0KB"), "");
    EXPECT_NE(problemsWith(5, "4GB"), "");  // wraps to 0 in 32 bits
    EXPECT_EQ(problemsWith(5, "512B"), "");
    EXPECT_NE(problemsWith(6, "a0"), "");
    EXPECT_NE(problemsWith(6, "A"), "");
    EXPECT_NE(problemsWith(7, "30"), "");
    EXPECT_NE(problemsWith(8, "EF401"), "");
    EXPECT_NE(problemsWith(8, "ef4014"), "");
    EXPECT_NE(problemsWith(9, "00EG13"), "");
    EXPECT_NE(problemsWith(10, ""), "");
    EXPECT_NE(problemsWith(11, "500"), "");
    EXPECT_NE(problemsWith(11, "00"), "");
    EXPECT_NE(problemsWith(2, std::string(32, 'W')), "");
    EXPECT_EQ(problemsWith(2, std::string(31, 'W')), "");
}

TEST(CheckRecord, FindsInconsistentFields) {
    ChipRecord r = goodRecord();
    r.capacity = "32MB";
    EXPECT_NE(checkRecord(r).size(), 0u) << "above 16 MiB with three address bytes";
    r.secondaryAddress = "400";
    EXPECT_TRUE(checkRecord(r).empty());
    r.capacity = "1K*16bit";
    EXPECT_EQ(checkRecord(r).size(), 1u) << "words on a byte-wide bus";
    r.operationType = "300";
    r.secondaryAddress = "010";
    ASSERT_EQ(checkRecord(r).size(), 1u) << "x16 capacity with x8 organisation";
    EXPECT_NE(checkRecord(r)[0].find("organisation x8 of operation type 300"), std::string::npos)
        << checkRecord(r)[0];
    r.operationType = "310";
    EXPECT_TRUE(checkRecord(r).empty());
    r.secondaryAddress = "00A";
    EXPECT_EQ(checkRecord(r).size(), 1u) << "Microwire widths are decimal";
}

TEST(CheckCatalogue, ReportsUnreachableDuplicatesSplitGroupsAndSharedIds) {
    ChipCatalogue catalogue;
    catalogue.parse(crlf({
        "$25 SPI FLASH",
        "#WINBOND:",
        "@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:000",
        "@W25Q80BV:256:4:1MB:N:300:EF4014:00EF13:3.3V:000",
        "#MX:",
        "@MX25L8005:256:4:1MB:N:300:C22014:000000:3.3V:000",
        "@MX25L8006E:256:4:1MB:N:300:C22014:000000:3.3V:000",
        "#WINBOND:",
        "@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:000",
        "$24 EEPROM",
        "#GENERIC:",
        "@24C01:8:N:128B:A0:100:000000:000000:5:100",
        "@24C02:8:N:256B:A0:100:000000:000000:5:100",
    }));
    const auto report = checkCatalogue(catalogue);
    ASSERT_EQ(report.errors.size(), 1u);
    EXPECT_EQ(report.errors[0].line, 9u);
    EXPECT_NE(report.errors[0].message.find("can never be selected"), std::string::npos);
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_NE(report.warnings[0].message.find("\"WINBOND\""), std::string::npos);
    EXPECT_EQ(report.warnings[0].line, 0u) << "a split group is a matter of the whole file";
    // Placeholder IDs of chips without one are not "shared".
    ASSERT_EQ(report.sharedIds.size(), 3u);
    EXPECT_EQ(report.sharedIds[0].rfind("main ID C22014 (2 records)", 0), 0u);
    EXPECT_EQ(report.sharedIds[1].rfind("main ID EF4014 (3 records)", 0), 0u);
    EXPECT_EQ(report.sharedIds[2].rfind("secondary ID 00EF13 (3 records)", 0), 0u);
}

TEST(CheckCatalogue, ReportsListsBeyondTheirRoomForTheWholeFile) {
    std::string text;
    for (int t = 0; t < 7; ++t) {
        text += "$T" + std::to_string(t) + "\r\n#M:\r\n" + chips("D", t == 0 ? 135 : 1);
    }
    text += "$T6\r\n";
    for (int m = 0; m < 101; ++m) {
        text += "#N" + std::to_string(m) + ":\r\n" + chips("E", 1);
    }
    ChipCatalogue catalogue;
    catalogue.parse(text);
    const auto report = checkCatalogue(catalogue);
    ASSERT_EQ(report.errors.size(), 3u);
    for (const auto& e : report.errors) {
        EXPECT_EQ(e.line, 0u) << e.message;
    }
    EXPECT_NE(report.errors[0].message.find("7 type groups; at most 6"), std::string::npos);
    EXPECT_NE(report.errors[1].message.find("\"M\" of type \"T0\" has 135 chips; at most 134"),
              std::string::npos);
    EXPECT_NE(report.errors[2].message.find("type \"T6\" has 102 makers; at most 100"),
              std::string::npos);

    // At the limits themselves nothing is reported.
    std::string full;
    for (int t = 0; t < 6; ++t) {
        full += "$T" + std::to_string(t) + "\r\n#M:\r\n" + chips("D", t == 0 ? 134 : 1);
    }
    for (int m = 1; m < 100; ++m) {
        full += "#N" + std::to_string(m) + ":\r\n" + chips("E", 1);
    }
    ChipCatalogue limits;
    limits.parse(full);
    ASSERT_EQ(limits.manufacturerList("T5").size(), 100u);
    EXPECT_TRUE(checkCatalogue(limits).errors.empty());
}

TEST(CheckCatalogue, ReportsRecordFaultsWithTheirLine) {
    ChipCatalogue catalogue;
    catalogue.parse(crlf({"$T", "#M:", "@GOOD:1:N:1B:N:000:000000:000000:5:000",
                          "@BAD:1:N:1B:N:000:0000:000000:5:000"}));
    const auto report = checkCatalogue(catalogue);
    ASSERT_EQ(report.errors.size(), 1u);
    EXPECT_EQ(report.errors[0].line, 4u);
    EXPECT_NE(report.errors[0].message.find("record 1 (M BAD): main ID"), std::string::npos);
}

TEST(CheckCatalogue, WarnsAboutControlCharactersInTheListedNames) {
    ChipCatalogue catalogue;
    const std::string tail = ":1:N:1B:N:000:000000:000000:5:000";
    catalogue.parse(crlf({"$T", "#M:", "@CLEAN" + tail, std::string("@NUL\0X", 6) + tail,
                          "@TAB\tX" + tail, "@DEL\x7F" + tail, "#M\x01K:", "@OK" + tail}));
    ASSERT_EQ(catalogue.count(), 5u);
    const auto report = checkCatalogue(catalogue);
    EXPECT_TRUE(report.ok()) << "a warning, not an error";
    ASSERT_EQ(report.warnings.size(), 4u);
    EXPECT_EQ(report.warnings[0].line, 4u);
    EXPECT_NE(report.warnings[0].message.find("device name holds control character 0x00"),
              std::string::npos);
    EXPECT_EQ(report.warnings[1].line, 5u);
    EXPECT_NE(report.warnings[1].message.find("0x09"), std::string::npos);
    EXPECT_EQ(report.warnings[2].line, 6u);
    EXPECT_NE(report.warnings[2].message.find("0x7F"), std::string::npos);
    EXPECT_EQ(report.warnings[3].line, 8u);
    EXPECT_NE(report.warnings[3].message.find("maker name holds control character 0x01"),
              std::string::npos);

    ChipCatalogue typeOnly;
    typeOnly.parse(crlf({"$T\x1F", "#M:", "@A" + tail, "@B" + tail}));
    const auto typeReport = checkCatalogue(typeOnly);
    ASSERT_EQ(typeReport.warnings.size(), 2u) << "once per record";
    EXPECT_NE(typeReport.warnings[0].message.find("type holds control character 0x1F"),
              std::string::npos);

    ChipCatalogue clean;
    clean.parse(crlf({"$T", "#M:", "@CLEAN (x8)" + tail, "@W25Q16JV-IM" + tail}));
    EXPECT_TRUE(checkCatalogue(clean).warnings.empty());
}

TEST(CheckText, WarnsAboutALastLineWithoutLineEnd) {
    const std::string chip = "@LOST:1:N:1B:N:000:000000:000000:5:000";
    const auto lost = unterminatedLastLine(crlf({"$T", "#M:"}) + chip);
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->line, 3u);
    EXPECT_NE(lost->message.find("no line end"), std::string::npos);
    EXPECT_NE(lost->message.find("chip is not loaded"), std::string::npos);

    const auto other = unterminatedLastLine(crlf({"$T"}) + "#M:\r");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->line, 2u);
    EXPECT_EQ(other->message.find("chip"), std::string::npos);

    const auto only = unterminatedLastLine("$T");
    ASSERT_TRUE(only);
    EXPECT_EQ(only->line, 1u);

    EXPECT_FALSE(unterminatedLastLine(crlf({"$T", "#M:", chip})));
    EXPECT_FALSE(unterminatedLastLine("$T\n"));
    EXPECT_FALSE(unterminatedLastLine(""));
}

// kvq-dbtool check on stored bytes: exit status and everything it printed.
std::pair<int, std::string> dbtoolCheck(const std::string& name,
                                        const std::vector<std::uint8_t>& stored) {
    const auto file = std::filesystem::temp_directory_path() /
                      ("nyra_dbtool_" + std::to_string(::getpid()) + "_" + name + ".dat");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(stored.data()),
               static_cast<std::streamsize>(stored.size()));
    const auto tool = std::filesystem::path(std::getenv("NYRA_TEST_BINARY_DIR")) / "tools" /
                      "dbtool" / "kvq-dbtool";
    const std::string command = tool.string() + " check " + file.string() + " 2>&1";
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {-1, "cannot run " + command};
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    std::filesystem::remove(file);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(DbtoolCheck, WarnsAboutANulInADeviceNameAndALastLineWithoutLineEnd) {
    if (std::getenv("NYRA_TEST_BINARY_DIR") == nullptr) {
        GTEST_SKIP() << "NYRA_TEST_BINARY_DIR is set by ctest";
    }
    const std::string cleanText =
        crlf({"$25 SPI FLASH", "#WINBOND:", "@W25Q80:256:4:1MB:N:300:EF4014:00EF13:3.3V:000"});
    const auto clean = dbtoolCheck("clean", *catalogue_codec::scramble(cleanText));
    EXPECT_EQ(clean.first, 0) << clean.second;
    EXPECT_NE(clean.second.find("1 records, 1 types, 0 shared IDs, 0 error(s), 0 warning(s)"),
              std::string::npos)
        << clean.second;

    constexpr char kNulInName[] =
        "@W25Q\0"
        "80:256:4:1MB:N:300:EF4014:00EF13:3.3V:000";
    const std::string faulty =
        crlf({"$25 SPI FLASH", "#WINBOND:", std::string_view(kNulInName, sizeof kNulInName - 1)}) +
        "@W25Q16:256:4:2MB:N:300:EF4015:00EF14:3.3V:000";
    const auto stored = catalogue_codec::scramble(faulty);
    ASSERT_TRUE(stored);
    const auto warned = dbtoolCheck("faulty", *stored);
    EXPECT_EQ(warned.first, 0) << "warnings do not fail the check\n" << warned.second;
    EXPECT_NE(warned.second.find(":3: warning: record 0 (WINBOND W25Q"), std::string::npos)
        << warned.second;
    EXPECT_NE(warned.second.find("control character 0x00"), std::string::npos) << warned.second;
    EXPECT_NE(warned.second.find(":4: warning: the last line has no line end"), std::string::npos)
        << warned.second;
    EXPECT_NE(warned.second.find("0 error(s), 2 warning(s)"), std::string::npos) << warned.second;
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ShippedCatalogue, SourceBuildsLoadsAndPassesTheCheck) {
    const std::string text = readAll(test::shippedCatalogueSource());
    ASSERT_FALSE(text.empty()) << test::shippedCatalogueSource();
    const auto built = buildDatabase(text);
    ASSERT_TRUE(built.ok()) << errorsOf(built);
    EXPECT_EQ(built.text, text) << "the committed text must keep its CR LF line ends";
    EXPECT_EQ(dumpDatabase(built.database), text);

    ChipCatalogue catalogue;
    std::vector<std::string> log;
    catalogue.setLogSink([&log](const std::string& line) { log.push_back(line); });
    catalogue.loadImage(built.database);
    EXPECT_TRUE(log.empty());
    EXPECT_GE(catalogue.count(), 900u);
    const auto report = checkCatalogue(catalogue);
    std::string problems;
    for (const auto& e : report.errors) {
        problems += std::to_string(e.line) + ": " + e.message + "\n";
    }
    for (const auto& w : report.warnings) {
        problems += "warning: " + w.message + "\n";
    }
    EXPECT_TRUE(problems.empty()) << problems;

    // Type positions that identification relies on.
    const auto types = catalogue.typeList();
    ASSERT_EQ(types.size(), 6u);
    EXPECT_EQ(types[0], "25 SPI FLASH");
    EXPECT_EQ(types[1], "24 EEPROM");
    EXPECT_EQ(types[2], "25 EEPROM");
    EXPECT_EQ(types[3], "93 EEPROM");
    for (std::uint32_t i = 0; i < catalogue.count(); ++i) {
        const ChipRecord& r = *catalogue.record(i);
        const auto position = std::find(types.begin(), types.end(), r.type) - types.begin();
        EXPECT_EQ(r.operationType[0] - '0', position == 5 ? 3 : position)
            << "bus code of " << r.device;
    }
}

TEST(ShippedCatalogue, BuiltDatabaseInTheProgramFolderMatchesTheSource) {
    const char* binaryDir = std::getenv("NYRA_TEST_BINARY_DIR");
    if (binaryDir == nullptr) {
        GTEST_SKIP() << "NYRA_TEST_BINARY_DIR is set by ctest";
    }
    const auto database = std::filesystem::path(binaryDir) / "demo" / "database.dat";
    const std::string stored = readAll(database);
    ASSERT_FALSE(stored.empty()) << database;
    EXPECT_EQ(dumpDatabase(
                  std::span(reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size())),
              readAll(test::shippedCatalogueSource()));
}

}  // namespace
}  // namespace nyra
