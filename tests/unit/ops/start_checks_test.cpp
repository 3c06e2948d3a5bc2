// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ops/identify.h"
#include "ops/job_frame.h"
#include "unit/ops/ops_fixture.h"

namespace nyra {
namespace {

using namespace ids;
using ops_test::DeskTest;
using ops_test::SimDeskTest;

class StartChecksTest : public DeskTest {
protected:
    void autoIdentify(bool on) {
        if (state.autoIdentifyOn() != on)
            state.command(kCmdAutoIdentify);
        ASSERT_EQ(state.autoIdentifyOn(), on);
    }
    // Spoils the parameter block's page size code, so that a recomputation shows.
    std::uint8_t spoilParameters() {
        const std::uint8_t good = state.selection().parameterBlock().bytes[4];
        state.selection().modifyParameterBlock(
            [&](ChipParameterBlock& block) { block.bytes[4] = static_cast<std::uint8_t>(~good); });
        return good;
    }
};

TEST_F(StartChecksTest, BlockedProgrammerStopsTheJobBeforeAnyTransfer) {
    startUp();
    state.flags().programmerBlocked = true;
    for (bool identify : {true, false}) {
        autoIdentify(identify);
        usbRecord().calls.clear();
        frontend.clearRecord();
        EXPECT_FALSE(startChecks(context()));
        EXPECT_TRUE(usbRecord().calls.empty()) << identify;
        EXPECT_EQ(state.panel().text(kStatusLine), "programmer blocked");
        EXPECT_EQ(state.statusKind(), StatusKind::Alert);
        EXPECT_EQ(frontend.beeps(), std::vector<BeepKind>{BeepKind::Exclamation});
        EXPECT_TRUE(frontend.boxes().empty());
        EXPECT_TRUE(state.flags().programmerBlocked.load());
    }
}

TEST_F(StartChecksTest, DirectStartWithoutAutoIdentifyOnlyChecksTheLink) {
    startUp(true);
    autoIdentify(false);
    usbRecord().calls.clear();
    EXPECT_TRUE(startChecks(context()));
    EXPECT_FALSE(usbRecord().callsNamed("open").empty()) << "the link is opened again";
    EXPECT_TRUE(usbRecord().frames().empty()) << "no identification";

    // No programmer: the job does not start and the chip's parameters are rebuilt.
    const std::uint8_t good = spoilParameters();
    usbRecord().devicesPresent = 0;
    usbRecord().calls.clear();
    EXPECT_FALSE(startChecks(context()));
    EXPECT_TRUE(usbRecord().frames().empty());
    EXPECT_EQ(state.selection().parameterBlock().bytes[4], good);
}

TEST_F(StartChecksTest, DirectStartWithAutoIdentifyIdentifiesTheChip) {
    startUp();
    ASSERT_TRUE(state.autoIdentifyOn());

    // The programmer answers nothing: the full form tells the user and the job stays off.
    usbRecord().calls.clear();
    frontend.clearRecord();
    EXPECT_FALSE(startChecks(context()));
    EXPECT_EQ(state.identified().last().result, kIdentifyFailed);
    EXPECT_FALSE(usbRecord().frames().empty());
    ASSERT_FALSE(frontend.boxes().empty());
    EXPECT_EQ(frontend.boxes().back().text, "no answer");

    // No programmer at all.
    usbRecord().devicesPresent = 0;
    usbRecord().calls.clear();
    EXPECT_FALSE(startChecks(context()));
    EXPECT_EQ(state.identified().last().result, kIdentifyNoProgrammer);
    EXPECT_TRUE(usbRecord().frames().empty());
}

class SimStartChecksTest : public SimDeskTest {};

TEST_F(SimStartChecksTest, IdentifiedChipLetsTheJobStartUnlessTheChipChanged) {
    startUp();
    ASSERT_TRUE(state.autoIdentifyOn());
    ASSERT_EQ(state.selection().selectedDevice(), "W25Q64FV") << "found at start-up";
    state.flags().chipChanged = true;  // confirmed since

    // The selected record is among the matches: nothing to confirm.
    EXPECT_TRUE(startChecks(context()));
    EXPECT_EQ(state.identified().last().result, kIdentifyMatched);
    EXPECT_FALSE(state.flags().chipChanged.load());

    // The user chose another chip: identification picks the first match, which
    // the user must confirm before a job runs.
    state.listSelectionChanged(kListDevice, 0);
    ASSERT_EQ(state.selection().selectedDevice(), "W25X05(CL)");
    EXPECT_FALSE(startChecks(context()));
    EXPECT_TRUE(state.flags().chipChanged.load());
    EXPECT_EQ(state.selection().selectedDevice(), "W25Q64FV");

    // Auto-identify off: the link is checked, the choice stands.
    state.command(kCmdAutoIdentify);
    state.listSelectionChanged(kListDevice, 0);
    EXPECT_TRUE(startChecks(context()));
    EXPECT_EQ(state.selection().selectedDevice(), "W25X05(CL)");
}

TEST_F(SimStartChecksTest, NoProgrammerOnTheBusStopsTheJob) {
    startUp();
    simulator.unplug(0);
    for (bool identify : {true, false}) {
        if (state.autoIdentifyOn() != identify)
            state.command(kCmdAutoIdentify);
        EXPECT_FALSE(startChecks(context())) << identify;
    }
    EXPECT_EQ(state.identified().last().result, kIdentifyNoProgrammer);
}

}  // namespace
}  // namespace nyra
