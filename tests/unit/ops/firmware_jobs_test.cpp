// SPDX-License-Identifier: GPL-3.0-or-later
// The firmware version job and the parts of the upgrade that come before the
// boot loader, through the real link into the simulated programmer.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "device/firmware_image.h"
#include "ops/firmware_jobs.h"
#include "ops/job_texts.h"
#include "unit/ops/firmware_job_fixture.h"

namespace nyra {
namespace {

using namespace ids;

using ops_test::FirmwareJobTest;

TEST_F(FirmwareJobTest, TheVersionBoxShowsTheSerialNumberWithZerosAndTheVersion) {
    ASSERT_TRUE(simulator.setSerial(0, 4711));
    ASSERT_TRUE(simulator.setFirmwareVersion(0, 0x1A));
    EXPECT_EQ(showFirmwareVersion(context()), 1);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    const auto box = frontend.boxes()[0];
    EXPECT_EQ(box.text, "\r\nSerial number:004711\r\nFirmware:KVQ_Nyra firmware V2.A     ");
    EXPECT_EQ(box.caption, "Programmer");
    EXPECT_EQ(box.icon, BoxIcon::Information);

    // Both questions and their replies wait 100 ms.
    simulator.clearTransferLog();
    ASSERT_EQ(showFirmwareVersion(context()), 1);
    int replies = 0;
    for (const auto& r : simulator.transferLog()) {
        if (r.call == sim::UsbCall::BulkRead && (r.size == 1 || r.size == 7)) {
            EXPECT_EQ(r.timeout, 100) << r.size;
            ++replies;
        }
    }
    EXPECT_EQ(replies, 2);
}

TEST_F(FirmwareJobTest, NoVersionOrAShortSerialReplyIsNoAnswer) {
    ASSERT_TRUE(simulator.setFirmwareVersion(0, 0xFF));
    EXPECT_EQ(showFirmwareVersion(context()), 0);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "No firmware answer!");
    EXPECT_EQ(frontend.boxes()[0].caption, "Notice");
    EXPECT_EQ(frontend.boxes()[0].icon, BoxIcon::None);
    EXPECT_TRUE(framesOf(cmd::kSerialNumber).empty()) << "the serial number is not asked for";

    // Half of the seven serial bytes, and the rest never comes: the reply is short.
    ASSERT_TRUE(simulator.setFirmwareVersion(0, 0x21));
    simulator.clearTransferLog();
    ASSERT_EQ(showFirmwareVersion(context()), 1);
    const auto log = simulator.transferLog();
    const auto serialRead = std::find_if(log.begin(), log.end(), [](const auto& r) {
        return r.call == sim::UsbCall::BulkRead && r.size == 7;
    });
    // A short read counts reads that had data; a stall counts every read.
    const auto reads = std::count_if(
        log.begin(), serialRead, [](const auto& r) { return r.call == sim::UsbCall::BulkRead; });
    const auto withData = std::count_if(log.begin(), serialRead, [](const auto& r) {
        return r.call == sim::UsbCall::BulkRead && r.result > 0;
    });
    ASSERT_TRUE(simulator.setFault(0, "short_reads", "1@" + std::to_string(withData)));
    ASSERT_TRUE(simulator.setFault(0, "stall", "1@" + std::to_string(reads + 1)));
    simulator.clearTransferLog();
    frontend.clearRecord();
    EXPECT_EQ(showFirmwareVersion(context()), 0);
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, "No firmware answer!");
    const auto shortLog = simulator.transferLog();
    EXPECT_TRUE(std::any_of(shortLog.begin(), shortLog.end(), [](const auto& r) {
        return r.call == sim::UsbCall::BulkRead && r.size == 7 && r.result == 3;
    })) << "three of the seven bytes came";
}

TEST_F(FirmwareJobTest, ABlockedOrMissingProgrammerGetsNoVersionBox) {
    state.flags().programmerBlocked.store(true);
    EXPECT_EQ(showFirmwareVersion(context()), 0);
    EXPECT_EQ(status(), "blocked");
    EXPECT_EQ(frontend.beeps().size(), 1u);
    state.flags().programmerBlocked.store(false);

    simulator.unplug(0);
    frontend.clearRecord();
    EXPECT_EQ(showFirmwareVersion(context()), 0);
    EXPECT_TRUE(framesOf(cmd::kFirmwareVersion).empty());
    // The user is told why no box with the version comes.
    ASSERT_EQ(frontend.boxes().size(), 1u);
    EXPECT_EQ(frontend.boxes()[0].text, context().text(itext(34)));
}

TEST_F(FirmwareJobTest, TheWindowOpensEmptyAndAChosenFileEnablesTheUpgrade) {
    window().open();
    Panel& panel = window().panel();
    EXPECT_FALSE(panel.enabled(kUpgradeStart));
    EXPECT_EQ(panel.text(kUpgradePath), "");
    EXPECT_EQ(panel.text(kUpgradeProgress), "Choose a file");
    EXPECT_EQ(window().progressBar().position(), 0);
    EXPECT_EQ(panel.text(kUpgradeOpen), "打开") << "no ftext 98 in this set: the template caption";

    const std::string path = dir.file("new.nyr");
    frontend.chooseFile(path);
    state.command(kUpgradeOpen);
    ASSERT_EQ(frontend.dialogs().size(), 1u);
    EXPECT_EQ(frontend.dialogs()[0].dialog.filter, "(*.nyr)|*.nyr||");
    EXPECT_EQ(panel.text(kUpgradePath), path);
    EXPECT_TRUE(panel.enabled(kUpgradeStart));
    EXPECT_EQ(panel.text(kUpgradeProgress), "File chosen");

    // Opened again: a new window, nothing chosen.
    window().open();
    EXPECT_FALSE(panel.enabled(kUpgradeStart));
    EXPECT_EQ(panel.text(kUpgradePath), "");

    state.flags().upgradeRunning.store(true);
    EXPECT_FALSE(window().closeAllowed());
    EXPECT_FALSE(window().upgradeAllowed());
    state.flags().upgradeRunning.store(false);
    EXPECT_TRUE(window().closeAllowed());
}

TEST_F(FirmwareJobTest, AFileThatFailsItsCheckIsRefusedBeforeAnythingIsSent) {
    auto file = buildFirmwareFile(0x13, std::vector<std::uint8_t>(2000, 0x42));
    file.back() ^= 0x01;
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> refused{
        {"bad.nyr", file},
        {"short.nyr", {0, 0, 0}},  // no payload byte: nothing to finish with
        {"empty.nyr", {}},
        {"zero.nyr", std::vector<std::uint8_t>(4096, 0)},  // its sum 0 is its stored 0
        {"blank.nyr", buildFirmwareFile(0x13, std::vector<std::uint8_t>(4000, 0xFF))},
    };
    const std::map<std::string, FirmwareFileProblem> reasons{
        {"bad.nyr", FirmwareFileProblem::ChecksumMismatch},
        {"short.nyr", FirmwareFileProblem::NoMagic},
        {"empty.nyr", FirmwareFileProblem::NoMagic},
        {"zero.nyr", FirmwareFileProblem::NoMagic},
        {"blank.nyr", FirmwareFileProblem::Uniform}};
    for (const auto& [name, bytes] : refused) {
        window().open();
        window().choose(dir.write(name, std::string(bytes.begin(), bytes.end())));
        simulator.clearFrames(0);
        frontend.clearRecord();
        EXPECT_EQ(upgradeFirmware(context(), window()), 0) << name;
        EXPECT_TRUE(simulator.frames(0).empty()) << name;
        EXPECT_EQ(status(), "Firmware file check failed!") << name;
        EXPECT_EQ(frontend.beeps().size(), 1u) << name;
        EXPECT_EQ(window().panel().text(kUpgradeProgress), "Firmware file check failed!");
        EXPECT_EQ(window().progressBar().position(), 0);
        EXPECT_FALSE(state.flags().programmerBlocked.load()) << name;
        ASSERT_EQ(frontend.boxes().size(), 1u) << name;
        EXPECT_EQ(frontend.boxes()[0].text,
                  firmwareFileRefusedText(context().texts, reasons.at(name)));
    }
    window().choose(dir.file("missing.nyr"));
    EXPECT_EQ(upgradeFirmware(context(), window()), 0);
    EXPECT_EQ(status(), "Firmware file check failed!");
}

}  // namespace
}  // namespace nyra
