// SPDX-License-Identifier: GPL-3.0-or-later
// Chip identification run as jobs 7 and 23 by the worker, against the
// in-process programmer simulator through the real link.
#include "ops/identify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue_codec.h"
#include "ops/job_frame.h"
#include "shell/app_state.h"
#include "sim/simulator.h"
#include "sim/usb_binding.h"
#include "support/temp_dir.h"
#include "ui/scripted_frontend.h"

namespace nyra {
namespace {

using namespace ids;

constexpr const char* kCatalogue =
    "$25 SPI FLASH\r\n"
    "#WINBOND:\r\n"
    "@W25Q64FV:256:4:8MB:N:300:EF4017:00EF16:3.3V:000\r\n"
    "@W25Q128FV:256:4:16MB:N:400:EF4018:00EF17:3.3V:000\r\n"
    "#TWINS:\r\n"
    "@TWIN-A:256:4:4MB:N:300:C84016:00C815:3.3V:000\r\n"
    "@TWIN-B:256:4:4MB:N:300:C84016:00C815:3.3V:000\r\n"
    "@TWIN-C:256:4:4MB:N:300:C84016:00C815:3.3V:000\r\n"
    "#SST:\r\n"
    "@SST25VF040:1:4:512KB:N:300:FFFFFF:00BF44:3.3V:001\r\n"
    "#ODD:\r\n"
    "@JUST-UNDER-8M:256:4:8388607B:N:300:C22017:00C216:3.3V:000\r\n"
    "@FOUR-ZEROS:256:4:1MB:N:300:000012:000000:3.3V:000\r\n"
    "$24 EEPROM\r\n#GENERIC:\r\n@24C02:8:N:256B:A0:100:000000:000000:5:100\r\n"
    "$25 EEPROM\r\n#GENERIC:\r\n@25040:16:N:512B:N:101:000000:000000:5:200\r\n"
    "$93 EEPROM\r\n#GENERIC:\r\n@93C46(x8):1:N:128B:N:007:000000:000000:5:300\r\n"
    "$34 SPD EEPROM\r\n#GENERIC:\r\n@EE1004:16:N:512B:A0:100:000000:000000:3.3V:400\r\n"
    "$93 EEPROM (ROTATED)\r\n#GENERIC:\r\n@93LC46B:1:N:64*16bit:N:006:000000:000000:5:311\r\n";

constexpr const char* kFtext = "[ftext]\r\n43=Type:\r\n44=Maker:\r\n45=Device:\r\n";
constexpr const char* kItext =
    "[itext]\r\n9=Notice\r\n34=no programmer\r\n35=cannot open\r\n54=large chip\r\n"
    "56=programmer blocked\r\n69=24 family\r\n70=93 family\r\n71=34 family\r\n72=no answer\r\n"
    "73=chip found\r\n74=several chips\r\n75=unknown chip\r\n188=25 EEPROM family\r\n"
    "191=Detected:\r\n";

std::optional<sim::ChipModel> model(const std::string& chip) {
    if (chip == "none")
        return std::nullopt;
    if (auto builtin = sim::builtinChip(chip))
        return builtin;
    return sim::parseChipDescription(chip, nullptr);
}

class IdentifyTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto database = catalogue_codec::scramble(kCatalogue);
        ASSERT_TRUE(database.has_value());
        dir.write("database.dat", std::string(database->begin(), database->end()));
        dir.write("ftext.ini", kFtext);
        dir.write("itext.ini", kItext);
    }

    // Start-up runs job 7 against the chip in the socket.
    void start(const std::string& chip, int programmers = 1) {
        sim::SimulatorOptions options;
        options.programmers = programmers;
        options.chip = model(chip);
        options.time = &deviceTime;
        simulator = std::make_unique<sim::Simulator>(options);
        binding = std::make_unique<sim::usb::ScopedBinding>(*simulator);
        state = std::make_unique<AppState>(frontend, clock, usb);
        state->startUp(dir.folder());
        state->worker().waitUntilIdle();
    }
    void swap(const std::string& chip) {
        if (chip == "none")
            simulator->removeChip(0);
        else
            ASSERT_TRUE(simulator->swapChip(0, *model(chip)));
    }
    int run(std::uint8_t job) {
        simulator->clearFrames(0);
        frontend.clearRecord();
        state->startJob(job);
        state->worker().waitUntilIdle();
        return state->identified().last().result;
    }
    int detect() { return run(job::kFullIdentify); }
    int deviceChange() {
        simulator->clearFrames(0);
        frontend.clearRecord();
        state->windowMessage(kMsgDeviceChange);
        state->worker().waitUntilIdle();
        return state->identified().last().result;
    }
    void pick(const std::string& type, const std::string& maker, const std::string& device) {
        Panel& panel = state->panel();
        for (auto [id, text] : {std::pair{kListChipType, type}, std::pair{kListManufacturer, maker},
                                std::pair{kListDevice, device}}) {
            const auto items = panel.items(id);
            const auto at = std::find(items.begin(), items.end(), text);
            ASSERT_NE(at, items.end()) << text;
            panel.setCurrentIndex(id, static_cast<int>(at - items.begin()));
            state->command(id);
        }
    }
    std::string shown(int listId) const {
        const Panel& panel = state->panel();
        const auto items = panel.items(listId);
        const int at = panel.currentIndex(listId);
        return at < 0 ? "" : items.at(static_cast<std::size_t>(at));
    }
    std::string shownChip() const {
        return shown(kListChipType) + " / " + shown(kListManufacturer) + " / " + shown(kListDevice);
    }
    std::vector<CommandFrame> framesWith(std::uint8_t code) const {
        std::vector<CommandFrame> out;
        for (const auto& frame : simulator->frames(0)) {
            if ((frame[1] & 0x3F) == code)
                out.push_back(frame);
        }
        return out;
    }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : frontend.boxes())
            texts.push_back(box.text);
        return texts;
    }
    bool logged(const std::string& line) const {
        const std::string text = state->log().text();
        return text.find("  " + line + "\r\n") != std::string::npos || text.ends_with("  " + line);
    }
    std::string status() const { return state->panel().text(kStatusLine); }
    bool alert() const { return state->statusKind() == StatusKind::Alert; }

    TempDir dir;
    ScriptedFrontend frontend;
    VirtualClock clock;
    sim::VirtualTimeSource deviceTime{0};
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<sim::usb::ScopedBinding> binding;
    UsbApi usb = sim::usb::api();
    std::unique_ptr<AppState> state;
};

TEST_F(IdentifyTest, StartUpSelectsAUniqueJedecMatchAndDetectReportsItInABox) {
    start("W25Q128FV");
    EXPECT_EQ(state->identified().last().result, kIdentifyMatched);
    EXPECT_EQ(shownChip(), "25 SPI FLASH / WINBOND / W25Q128FV");
    EXPECT_EQ(status(), "chip found");
    EXPECT_FALSE(alert());
    EXPECT_TRUE(frontend.boxes().empty()) << "the quiet form shows no box";
    EXPECT_TRUE(logged("25 SPI FLASH : WINBOND : W25Q128FV : 128Mbits/16Mbytes"));
    EXPECT_TRUE(logged("large chip"));
    EXPECT_FALSE(state->flags().chipChanged.load());
    EXPECT_FALSE(state->flags().notUnique.load());
    EXPECT_EQ(state->selection().chipSize(), 16u * 1024 * 1024);

    pick("25 SPI FLASH", "WINBOND", "W25Q64FV");
    EXPECT_EQ(detect(), kIdentifyMatched);
    EXPECT_EQ(shownChip(), "25 SPI FLASH / WINBOND / W25Q128FV") << "the lists follow the socket";
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Detected:\r\nType:25 SPI FLASH\r\nMaker:WINBOND"
                                                   "\r\nDevice:W25Q128FV          "});
    EXPECT_EQ(frontend.boxes().front().caption, "Notice");
    EXPECT_EQ(frontend.boxes().front().icon, BoxIcon::Information);
    // The block carries the identified chip's parameters again, not the last probe's.
    EXPECT_EQ(state->selection().parameterBlock().bytes[3], 0x00);
    EXPECT_EQ(framesWith(cmd::kCarryParameters).back()[9], 0x00);
    EXPECT_EQ(framesWith(cmd::kCarryParameters).back()[6], 0x01) << "16 MiB, first byte";
}

TEST_F(IdentifyTest, APartWithoutRdidIsFoundByItsSecondId) {
    start("SST25VF040");
    EXPECT_EQ(state->identified().last().result, kIdentifyMatched);
    EXPECT_EQ(shown(kListDevice), "SST25VF040");
    EXPECT_EQ(state->identified().last().identity, 0x00BF44u);
    EXPECT_FALSE(logged("large chip"));
}

TEST_F(IdentifyTest, SharedIdKeepsTheShownRecordWhenItIsAmongTheMatches) {
    start("W25Q64FV");
    pick("25 SPI FLASH", "TWINS", "TWIN-B");
    swap("GD25Q32");  // C84016, as the three twins
    EXPECT_EQ(detect(), kIdentifyMatched);
    EXPECT_EQ(shown(kListDevice), "TWIN-B");
    EXPECT_TRUE(state->flags().notUnique.load());
    EXPECT_FALSE(state->flags().chipChanged.load());
    EXPECT_EQ(status(), "several chips");
    EXPECT_TRUE(alert()) << "the detect job always says so";
    EXPECT_EQ(state->identified().last().matches.size(), 3u);
    // Every candidate record is in the log, so the user can pick the right one.
    EXPECT_TRUE(logged("(1/3) 25 SPI FLASH : TWINS : TWIN-A"));
    EXPECT_TRUE(logged("(2/3) 25 SPI FLASH : TWINS : TWIN-B"));
    EXPECT_TRUE(logged("(3/3) 25 SPI FLASH : TWINS : TWIN-C"));
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_NE(frontend.boxes()[0].text.find("Device:TWIN-B"), std::string::npos);
}

TEST_F(IdentifyTest, SharedIdSelectsTheFirstRecordAndTheNextJobRefusesUntilConfirmed) {
    start("W25Q64FV");
    swap("GD25Q32");
    // The erase job's own identification moves the selection: it refuses to go on.
    JobContext& jobs = state->jobContext();
    EXPECT_FALSE(startChecks(jobs));
    EXPECT_EQ(shown(kListDevice), "TWIN-A");
    EXPECT_TRUE(state->flags().chipChanged.load());
    EXPECT_TRUE(state->flags().notUnique.load());
    EXPECT_EQ(status(), "several chips");
    EXPECT_TRUE(alert());
    EXPECT_TRUE(frontend.boxes().empty()) << "only the detect job shows a box";

    // Started again with the selection left as it is (or another twin chosen), it goes on.
    pick("25 SPI FLASH", "TWINS", "TWIN-C");
    EXPECT_TRUE(startChecks(jobs));
    EXPECT_EQ(shown(kListDevice), "TWIN-C");
    EXPECT_FALSE(state->flags().chipChanged.load());

    // The quiet form after a device change moves it too, and says so.
    swap("W25Q64FV");
    EXPECT_EQ(deviceChange(), kIdentifyMatched);
    swap("GD25Q32");
    pick("25 SPI FLASH", "WINBOND", "W25Q64FV");
    EXPECT_EQ(deviceChange(), kIdentifyMatched);
    EXPECT_EQ(shown(kListDevice), "TWIN-A");
    EXPECT_TRUE(state->flags().chipChanged.load());
    EXPECT_TRUE(alert());
}

TEST_F(IdentifyTest, AnEmptySocketGoesThroughAllTwelveProbesAndEndsWithNoAnswer) {
    start("W25Q64FV");
    swap("none");
    state->operationLog().clear();
    EXPECT_EQ(detect(), kIdentifyFailed);
    EXPECT_EQ(framesWith(cmd::kReadIdentity).size(), 12u)
        << "FFFFFF is dropped, so the probes after 5 follow";
    EXPECT_EQ(status(), "no answer");
    EXPECT_TRUE(alert());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"no answer"});
    EXPECT_EQ(shown(kListDevice), "W25Q64FV") << "the lists stay as they were";
    EXPECT_FALSE(logged("25 SPI FLASH : WINBOND : W25Q64FV : 64Mbits/8Mbytes"));
}

TEST_F(IdentifyTest, ProbeFramesFollowTheProbeTable) {
    start("W25Q64FV");
    // A 16-bit chip selected: bit 6 of byte 1 and the high nibble of byte 2 stay as they are.
    pick("93 EEPROM (ROTATED)", "GENERIC", "93LC46B");
    swap("none");
    detect();
    struct Expected {
        int familyBit, byte2, parameter;
    };
    const Expected expected[12] = {{0, 0x00, 0x00}, {0, 0x00, 0x20}, {0, 0x00, 0x60},
                                   {0, 0x00, 0x70}, {0, 0x00, 0x80}, {1, 0x01, 0x00},
                                   {0, 0x04, 0x00}, {1, 0x02, 0x00}, {1, 0x03, 0x00},
                                   {1, 0x03, 0x10}, {1, 0x03, 0x01}, {1, 0x03, 0x11}};
    const auto probes = framesWith(cmd::kReadIdentity);
    ASSERT_EQ(probes.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(probes[i][1] >> 7, expected[i].familyBit);
        EXPECT_EQ(probes[i][1] & 0x40, 0x40);
        EXPECT_EQ(probes[i][2], expected[i].byte2);
        EXPECT_EQ(probes[i][3], expected[i].parameter);
    }
    // The full form ends any stream before each probe; the quiet one sends the parameters.
    EXPECT_EQ(framesWith(cmd::kEndOfOperation).size(), 12u + 1u) << "and once after the job";
    run(job::kQuietIdentify);
    EXPECT_EQ(framesWith(cmd::kEndOfOperation).size(), 1u);
    EXPECT_EQ(framesWith(cmd::kCarryParameters).size(), 12u + 1u) << "and once at the end";
}

TEST_F(IdentifyTest, TimeOutsAndSettlingTimesOfEachForm) {
    start("none");
    simulator->clearTransferLog();
    std::int64_t before = clock.nowMs();
    detect();
    // Four changes of settling group (probes 1, 6, 7, 8) and the wait at the end.
    EXPECT_EQ(clock.nowMs() - before, 4 * 30 + 50);
    std::vector<int> identityWrites, identityReads, drains, adapterReads;
    for (const auto& call : simulator->transferLog(0)) {
        if (call.call == sim::UsbCall::InterruptWrite && call.data.size() > 1 &&
            (call.data[1] & 0x3F) == cmd::kReadIdentity)
            identityWrites.push_back(call.timeout);
        if (call.call == sim::UsbCall::InterruptWrite && call.data.size() > 1 &&
            (call.data[1] & 0x3F) == cmd::kAdapterQuery)
            adapterReads.push_back(call.timeout);
        if (call.call == sim::UsbCall::BulkRead && call.size == 3)
            identityReads.push_back(call.timeout);
        if (call.call == sim::UsbCall::BulkRead && call.size == 1)
            adapterReads.push_back(call.timeout);
        if (call.call == sim::UsbCall::BulkRead && call.size == 64 && call.timeout < 100)
            drains.push_back(call.timeout);
    }
    EXPECT_EQ(identityWrites, std::vector<int>(12, 5000));
    EXPECT_EQ(identityReads, std::vector<int>(12, 10000));
    EXPECT_EQ(drains, std::vector<int>(12, 1));
    EXPECT_EQ(adapterReads, (std::vector<int>{1000, 1000}));

    // The quiet form waits 6 ms after each parameter frame, reads with 5 s, drains first,
    // and settles 50 ms more after a device change.
    simulator->clearTransferLog();
    before = clock.nowMs();
    run(job::kQuietIdentify);
    EXPECT_EQ(clock.nowMs() - before, 4 * 30 + 50 + 12 * 6);
    std::vector<int> quietReads, quietDrains;
    for (const auto& call : simulator->transferLog(0)) {
        if (call.call == sim::UsbCall::BulkRead && call.size == 3)
            quietReads.push_back(call.timeout);
        if (call.call == sim::UsbCall::BulkRead && call.size == 64 && call.timeout == 10)
            quietDrains.push_back(call.timeout);
    }
    EXPECT_EQ(quietReads, std::vector<int>(12, 5000));
    EXPECT_EQ(quietDrains.size(), 1u);
    before = clock.nowMs();
    deviceChange();
    EXPECT_EQ(clock.nowMs() - before, 50 + 4 * 30 + 50 + 12 * 6);
}

TEST_F(IdentifyTest, AFailedReadEndsWithNoAnswerAndGreysChipFill) {
    start("W25Q64FV");
    ASSERT_FALSE(state->panel().menuGreyed(kCmdChipFill));
    simulator->setFault(0, "failed_reads", "always");
    EXPECT_EQ(detect(), kIdentifyFailed);
    EXPECT_EQ(status(), "no answer");
    EXPECT_TRUE(alert());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"no answer"});
    EXPECT_EQ(framesWith(cmd::kReadIdentity).size(), 1u) << "the first failed read ends the series";
    EXPECT_TRUE(state->panel().menuGreyed(kCmdChipFill));

    // A chip found again gives chip fill and the data view back.
    simulator->setFault(0, "clear", "1");
    state->panel().greyMenuCommand(kCmdDataView);
    EXPECT_EQ(detect(), kIdentifyMatched);
    EXPECT_FALSE(state->panel().menuGreyed(kCmdChipFill));
    EXPECT_FALSE(state->panel().menuGreyed(kCmdDataView));
}

TEST_F(IdentifyTest, AnAnswerWithFourZerosIsNoAnswer) {
    start("spi-flash:size=1M,id=000012");  // a record carries 000012 as its main ID
    EXPECT_EQ(state->identified().last().result, kIdentifyFailed);
    EXPECT_NE(shown(kListDevice), "FOUR-ZEROS");
    EXPECT_EQ(status(), "no answer");
}

TEST_F(IdentifyTest, WithTheAdapterNoProbeAfterTheFifthIsSent) {
    start("none");
    simulator->setAdapter(0, true);
    EXPECT_EQ(detect(), kIdentifyFailed);
    const auto probes = framesWith(cmd::kReadIdentity);
    ASSERT_EQ(probes.size(), 5u);
    for (const auto& frame : probes)
        EXPECT_EQ(frame[2], 0x80);
    EXPECT_TRUE(state->panel().checked(kPicPlacement));
    EXPECT_TRUE(state->selection().adapterFlag());
    EXPECT_EQ(framesWith(cmd::kCarryParameters).back()[2] & 0x80, 0x80)
        << "every command carries it";

    simulator->setAdapter(0, false);
    swap("W25Q64FV");
    EXPECT_EQ(detect(), kIdentifyMatched);
    EXPECT_FALSE(state->panel().checked(kPicPlacement));
    EXPECT_EQ(framesWith(cmd::kCarryParameters).back()[2] & 0x80, 0);
}

struct FamilyCase {
    const char* chip;
    int typePosition;
    const char* type;
    const char* message;
};

class StateCodeTest : public IdentifyTest, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(StateCodeTest, MovesTheTypeListToTheFamily) {
    const FamilyCase& c = GetParam();
    start("W25Q64FV");
    swap(c.chip);
    EXPECT_EQ(detect(), kIdentifyNoMatch);
    EXPECT_EQ(state->panel().currentIndex(kListChipType), c.typePosition);
    EXPECT_EQ(shown(kListChipType), c.type);
    EXPECT_TRUE(state->flags().chipChanged.load());
    EXPECT_EQ(status(), c.message);
    EXPECT_TRUE(alert());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{c.message});
    EXPECT_FALSE(state->panel().menuGreyed(kCmdChipFill));
    EXPECT_FALSE(state->panel().menuGreyed(kCmdDataView));
    // Already there: nothing to confirm, and the pre-step of a job says nothing.
    frontend.clearRecord();
    EXPECT_EQ(identifyChip(state->jobContext(), true, true), kIdentifyNoMatch);
    EXPECT_FALSE(state->flags().chipChanged.load());
    EXPECT_TRUE(frontend.boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(StateCodeFamilies, StateCodeTest,
                         ::testing::Values(FamilyCase{"AT24C02", 1, "24 EEPROM", "24 family"},
                                           FamilyCase{"25LC040", 2, "25 EEPROM",
                                                      "25 EEPROM family"},
                                           FamilyCase{"93C46x8", 3, "93 EEPROM", "93 family"},
                                           FamilyCase{"93C66x16", 3, "93 EEPROM", "93 family"},
                                           FamilyCase{"EE1004", 4, "34 SPD EEPROM", "34 family"}));

TEST_F(IdentifyTest, AMicrowireAnswerKeepsTheRotatedWiringShown) {
    start("W25Q64FV");
    pick("93 EEPROM (ROTATED)", "GENERIC", "93LC46B");
    swap("93LC46BX");
    EXPECT_EQ(detect(), kIdentifyNoMatch);
    EXPECT_EQ(state->panel().currentIndex(kListChipType), 5);
    EXPECT_FALSE(state->flags().chipChanged.load());

    // From the SPI flash group the same answer moves the list to the standard wiring.
    pick("25 SPI FLASH", "WINBOND", "W25Q64FV");
    EXPECT_EQ(deviceChange(), kIdentifyNoMatch);
    EXPECT_EQ(state->panel().currentIndex(kListChipType), 3);
    EXPECT_TRUE(state->flags().chipChanged.load());
    EXPECT_EQ(status(), "93 family");
}

TEST_F(IdentifyTest, BlockedFirmwareBlocksTheNextJob) {
    start("W25Q64FV");
    simulator->setFault(0, "blocked", "1");
    EXPECT_EQ(detect(), kIdentifyFailed);
    EXPECT_TRUE(state->flags().programmerBlocked.load());
    EXPECT_EQ(status(), "programmer blocked");
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"programmer blocked"});
    EXPECT_EQ(framesWith(cmd::kReadIdentity).size(), 1u);

    frontend.clearRecord();
    simulator->clearFrames(0);
    EXPECT_FALSE(startChecks(state->jobContext()));
    EXPECT_EQ(status(), "programmer blocked");
    EXPECT_EQ(frontend.beeps().size(), 1u);
    EXPECT_TRUE(simulator->frames(0).empty()) << "a blocked programmer is not asked again";

    // The next identification clears the flag when the firmware answers again.
    simulator->setFault(0, "blocked", "0");
    EXPECT_EQ(detect(), kIdentifyMatched);
    EXPECT_FALSE(state->flags().programmerBlocked.load());
}

TEST_F(IdentifyTest, AMissingProgrammerStopsWithTheTextsOfEachForm) {
    start("W25Q64FV", 0);
    // Quiet (start-up): an alert with the beep, no box.
    EXPECT_EQ(state->identified().last().result, kIdentifyNoProgrammer);
    EXPECT_EQ(status(), "no programmer");
    EXPECT_TRUE(alert());
    EXPECT_EQ(frontend.beeps().size(), 1u);
    EXPECT_TRUE(frontend.boxes().empty());
    EXPECT_TRUE(state->panel().menuGreyed(kCmdChipFill));
    EXPECT_EQ(state->log().text().find("cannot open"), std::string::npos)
        << "no probe is tried without a programmer";

    // Full: the alert and a warning box.
    EXPECT_EQ(detect(), kIdentifyNoProgrammer);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"no programmer"});
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_TRUE(frontend.beeps().empty());
}

TEST_F(IdentifyTest, ARefusedIdentityCommandIsAnOpenFailure) {
    start("W25Q64FV");
    simulator->setFault(0, "refuse", "7:always");
    EXPECT_EQ(detect(), kIdentifyNoProgrammer);
    EXPECT_EQ(status(), "cannot open");
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"cannot open"});
    EXPECT_TRUE(state->panel().menuGreyed(kCmdChipFill));
}

TEST_F(IdentifyTest, OnlyChipsOfEightMebibytesOrMoreAddTheLargeChipLine) {
    start("W25Q64FV");
    EXPECT_TRUE(logged("large chip"));
    state->operationLog().clear();
    swap("spi-flash:size=8M,id=C22017");
    EXPECT_EQ(deviceChange(), kIdentifyMatched);
    EXPECT_EQ(shown(kListDevice), "JUST-UNDER-8M");
    EXPECT_EQ(state->selection().chipSize(), 8u * 1024 * 1024 - 1);
    EXPECT_FALSE(logged("large chip"));
    EXPECT_TRUE(logged("25 SPI FLASH : ODD : JUST-UNDER-8M : 8388607B") ||
                state->log().text().find("JUST-UNDER-8M") != std::string::npos);
}

TEST_F(IdentifyTest, QuietIdentificationDoesNothingWhileAutoIdentifyIsOff) {
    start("W25Q64FV");
    state->command(kCmdAutoIdentify);
    ASSERT_FALSE(state->autoIdentifyOn());
    state->flags().chipChanged = true;
    state->flags().notUnique = true;
    swap("W25Q128FV");
    EXPECT_EQ(deviceChange(), kIdentifyMatched);
    EXPECT_TRUE(framesWith(cmd::kReadIdentity).empty());
    EXPECT_FALSE(state->flags().chipChanged.load());
    EXPECT_TRUE(state->flags().notUnique.load()) << "the other flags keep their values";
    EXPECT_EQ(shown(kListDevice), "W25Q64FV");

    // The detect button still identifies.
    EXPECT_EQ(detect(), kIdentifyMatched);
    EXPECT_EQ(shown(kListDevice), "W25Q128FV");
}

TEST_F(IdentifyTest, AnUnknownIdentityLeavesTheSelection) {
    start("W25Q64FV");
    swap("spi-flash:size=1M,id=AB1234,rems=00AB33");
    EXPECT_EQ(detect(), kIdentifyNoMatch);
    EXPECT_EQ(status(), "unknown chip");
    EXPECT_FALSE(alert());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"unknown chip"});
    EXPECT_EQ(shown(kListDevice), "W25Q64FV");
    EXPECT_EQ(framesWith(cmd::kReadIdentity).size(), 5u) << "decided after probe 5";
}

}  // namespace
}  // namespace nyra
