// SPDX-License-Identifier: GPL-3.0-or-later
// kvq-cli detect in-process: the window's state and job 23 against the
// simulated programmer, in virtual time.
#include "detect_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/text_table.h"
#include "program_folder.h"
#include "sim/simulator.h"
#include "sim/usb_binding.h"

namespace nyra::cli {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

struct Detection {
    int status = -1;
    std::vector<std::string> out;
    std::vector<std::string> err;
};

class DetectTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!testing::fillProgramFolder(dir, &why))
            GTEST_SKIP() << why;
        texts.loadFrom(testing::englishTexts().string());
    }

    std::string text(TextKey key) const {
        const std::string& t = texts.text(key);
        EXPECT_FALSE(t.empty()) << "no text " << key.key;
        return t;
    }

    Detection detectWith(int programmers, std::string_view chip,
                         const std::function<void(sim::Simulator&)>& prepare = {}) {
        sim::VirtualTimeSource deviceTime{0};
        sim::Simulator simulator{sim::simulatorOptions(programmers, chip, &deviceTime)};
        if (prepare)
            prepare(simulator);
        sim::usb::ScopedBinding binding{simulator};
        VirtualClock clock;
        std::ostringstream out;
        std::ostringstream err;
        Detection run;
        run.status = detect(dir.folder(), sim::usb::api(), clock, out, err);
        run.out = linesOf(out.str());
        run.err = linesOf(err.str());
        return run;
    }

    TempDir dir;
    TextTable texts;
};

TEST(DetectExitStatus, EveryOutcomeHasItsOwnCode) {
    const std::set<int> codes{kExitChipFound, kExitNoUsbLibrary, kExitUsage,       kExitFamilyOnly,
                              kExitUnknownId, kExitNoAnswer,     kExitNoProgrammer};
    EXPECT_EQ(codes.size(), 7u);
    EXPECT_EQ(kExitChipFound, 0);
    EXPECT_EQ(kExitNoUsbLibrary, 1);
    EXPECT_EQ(kExitUsage, 2);

    EXPECT_EQ(detectExitStatus({kIdentifyMatched, 0xEF4018, {1, 2}}), kExitChipFound);
    // A result of 0 is told apart by the answer that decided it.
    EXPECT_EQ(detectExitStatus({kIdentifyNoMatch, 0x000001, {}}), kExitFamilyOnly);
    EXPECT_EQ(detectExitStatus({kIdentifyNoMatch, 0x000005, {}}), kExitFamilyOnly);
    EXPECT_EQ(detectExitStatus({kIdentifyNoMatch, 0x000002, {}}), kExitFamilyOnly);
    EXPECT_EQ(detectExitStatus({kIdentifyNoMatch, 0x000003, {}}), kExitFamilyOnly);
    EXPECT_EQ(detectExitStatus({kIdentifyNoMatch, 0xAB4016, {}}), kExitUnknownId);
    EXPECT_EQ(detectExitStatus({kIdentifyFailed, 0x000004, {}}), kExitNoAnswer);
    EXPECT_EQ(detectExitStatus({kIdentifyFailed, 0xFFFFFF, {}}), kExitNoAnswer);
    EXPECT_EQ(detectExitStatus({kIdentifyNoProgrammer, 0, {}}), kExitNoProgrammer);
}

TEST_F(DetectTest, AChipWithAnIdOfItsOwnPrintsOneLine) {
    const Detection run = detectWith(1, "GD25Q32");
    EXPECT_EQ(run.status, kExitChipFound);
    EXPECT_EQ(run.out,
              std::vector<std::string>{"25 SPI FLASH : GIGADEVICE : GD25Q32(B) : 32Mbits/4Mbytes"});
    EXPECT_TRUE(has(run.err, text(itext(73)))) << ::testing::PrintToString(run.err);
    // The detect box, on one line, names the chip.
    const std::string box = text(itext(191)) + " " + text(ftext(43)) + "25 SPI FLASH " +
                            text(ftext(44)) + "GIGADEVICE " + text(ftext(45)) + "GD25Q32(B)";
    EXPECT_TRUE(has(run.err, box)) << ::testing::PrintToString(run.err);
}

TEST_F(DetectTest, AnIdSharedByRecordsPrintsTheSelectionThenEveryRecord) {
    const Detection w25q128 = detectWith(1, "W25Q128FV");
    EXPECT_EQ(w25q128.status, kExitChipFound);
    // The first record with the ID is selected; the user picks the one in the socket.
    EXPECT_EQ(w25q128.out, (std::vector<std::string>{
                               "25 SPI FLASH : WINBOND : W25Q128BV : 128Mbits/16Mbytes",
                               "25 SPI FLASH : WINBOND : W25Q128BV : 128Mbits/16Mbytes",
                               "25 SPI FLASH : WINBOND : W25Q128FV : 128Mbits/16Mbytes",
                               "25 SPI FLASH : WINBOND : W25Q128JV : 128Mbits/16Mbytes",
                               "25 SPI FLASH : SPANSION/CYPRESS : S25FL128K : 128Mbits/16Mbytes",
                           }));
    EXPECT_TRUE(has(w25q128.err, text(itext(74)))) << ::testing::PrintToString(w25q128.err);

    // Ten Macronix (MX) records share C22018; every one follows the selection.
    const Detection mx25l = detectWith(1, "MX25L12835F");
    EXPECT_EQ(mx25l.status, kExitChipFound);
    ASSERT_EQ(mx25l.out.size(), 11u);
    EXPECT_EQ(mx25l.out[0], "25 SPI FLASH : MX : MX25L12805D : 128Mbits/16Mbytes");
    EXPECT_EQ(mx25l.out[1], mx25l.out[0]);
    EXPECT_EQ(mx25l.out[3], "25 SPI FLASH : MX : MX25L12835E/F : 128Mbits/16Mbytes");
    std::set<std::string> distinct(mx25l.out.begin() + 1, mx25l.out.end());
    EXPECT_EQ(distinct.size(), 10u);
    for (const std::string& line : mx25l.out) {
        EXPECT_TRUE(line.starts_with("25 SPI FLASH : MX : MX25L128")) << line;
        EXPECT_TRUE(line.ends_with(" : 128Mbits/16Mbytes")) << line;
    }
}

TEST_F(DetectTest, APartWithoutRdidIsFoundByItsSecondId) {
    // RES only: the answer of probe 5 alone names it.
    const Detection run = detectWith(1, "Pm25LV010");
    EXPECT_EQ(run.status, kExitChipFound);
    EXPECT_EQ(run.out,
              std::vector<std::string>{"25 SPI FLASH : PMC : PM25LV010.RES : 1Mbits/128Kbytes"});
}

TEST_F(DetectTest, WithoutAChipIdNothingIsPrintedOnStdout) {
    // A 24-series EEPROM only names its family.
    const Detection eeprom = detectWith(1, "AT24C02");
    EXPECT_EQ(eeprom.status, kExitFamilyOnly);
    EXPECT_TRUE(eeprom.out.empty());
    EXPECT_TRUE(has(eeprom.err, text(itext(69)))) << ::testing::PrintToString(eeprom.err);

    // An ID that no record carries.
    const Detection unknown = detectWith(1, "spi-flash:size=4M,id=AB4016,rems=00AB15");
    EXPECT_EQ(unknown.status, kExitUnknownId);
    EXPECT_TRUE(unknown.out.empty());
    EXPECT_TRUE(has(unknown.err, text(itext(75)))) << ::testing::PrintToString(unknown.err);
}

TEST_F(DetectTest, NoAnswerFromTheSocketOrTheFirmware) {
    const Detection empty = detectWith(1, "none");
    EXPECT_EQ(empty.status, kExitNoAnswer);
    EXPECT_TRUE(empty.out.empty());
    EXPECT_TRUE(has(empty.err, text(itext(72)))) << ::testing::PrintToString(empty.err);

    // Blocked firmware answers 000004 to every probe.
    const Detection blocked = detectWith(1, "W25Q64FV", [](sim::Simulator& simulator) {
        ASSERT_TRUE(simulator.setFault(0, "blocked", "1"));
    });
    EXPECT_EQ(blocked.status, kExitNoAnswer);
    EXPECT_TRUE(blocked.out.empty());
    EXPECT_TRUE(has(blocked.err, text(itext(56)))) << ::testing::PrintToString(blocked.err);
    EXPECT_FALSE(has(blocked.err, text(itext(72))));
}

TEST_F(DetectTest, NoProgrammerOnTheBus) {
    const Detection run = detectWith(0, "W25Q64FV");
    EXPECT_EQ(run.status, kExitNoProgrammer);
    EXPECT_TRUE(run.out.empty());
    EXPECT_TRUE(has(run.err, text(itext(34)))) << ::testing::PrintToString(run.err);
}

TEST_F(DetectTest, TheProgramFolderIsLeftAsTheWindowLeavesIt) {
    const Detection run = detectWith(1, "GD25Q32");
    ASSERT_EQ(run.status, kExitChipFound);
    for (const char* name : {"database.dat", "ftext.ini", "itext.ini", "log.txt", "umod2.dll"})
        EXPECT_TRUE(dir.exists(name)) << name;
    EXPECT_FALSE(dir.exists("temp"));
    // The log holds the chip line the window logs.
    EXPECT_NE(dir.read("log.txt").find("GD25Q32(B) : 32Mbits/4Mbytes"), std::string::npos);
}

TEST_F(DetectTest, AMissingCatalogueIsReportedAndNoChipIsPrinted) {
    std::filesystem::remove(dir.file("database.dat"));
    const Detection run = detectWith(1, "GD25Q32");
    // The chip answers, but an empty catalogue holds no record of its ID.
    EXPECT_EQ(run.status, kExitUnknownId);
    EXPECT_TRUE(run.out.empty());
    EXPECT_TRUE(has(run.err, text(itext(1)))) << ::testing::PrintToString(run.err);
    EXPECT_TRUE(has(run.err, text(itext(75)))) << ::testing::PrintToString(run.err);
}

}  // namespace
}  // namespace nyra::cli
