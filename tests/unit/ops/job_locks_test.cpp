// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/job_locks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/worker.h"
#include "ui/ids.h"
#include "ui/main_panel.h"

namespace nyra {
namespace {

using namespace ids;

struct LockCase {
    const char* name;
    std::uint8_t job;
    int ownButton;
    std::set<int> buttons;
    std::set<int> menus;
};

void PrintTo(const LockCase& c, std::ostream* os) {
    *os << c.name;
}

const std::set<int> kChipMenus{32804, 32803, 32788, 32790, 32808};

const LockCase kLockCases[] = {
    {"Program",
     job::kProgram,
     kBtnProgram,
     {1004, 1022, 1023, 1020, 1019, 1024, 1035},
     {32784, 32810, 32801, 32807, 32804, 32803, 32788, 32808, 32790}},
    {"Erase", job::kErase, kBtnErase, {1022, 1023, 1019, 1024, 1021, 1035}, kChipMenus},
    {"BlankCheck",
     job::kBlankCheck,
     kBtnBlankCheck,
     {1021, 1022, 1023, 1020, 1024, 1019},
     kChipMenus},
    {"Read",
     job::kRead,
     kBtnRead,
     {1023, 1020, 1019, 1024, 1021, 1035},
     {32804, 32803, 32788, 32790, 32801, 32807, 32808}},
    {"Verify",
     job::kVerify,
     kBtnVerify,
     {1022, 1019, 1024, 1021, 1020, 1004, 1035},
     {32784, 32810, 32801, 32807, 32804, 32803, 32788, 32790, 32808}},
};

struct PanelState {
    std::map<int, ControlState> controls;
    std::map<int, MenuItemState> menu;
};

PanelState stateOf(const Panel& panel) {
    PanelState state;
    for (int id : panel.controlIds())
        state.controls[id] = panel.control(id);
    for (int id : panel.menuItemIds())
        state.menu[id] = *panel.menuItem(id);
    return state;
}

class JobLocksTest : public ::testing::TestWithParam<LockCase> {
protected:
    JobLocksTest() {
        buildMainPanel(panel, [](TextKey key) { return "text " + std::to_string(key.key); });
        // The main menu has no item for this command; one is added so that its grey state shows.
        panel.addMenuItem(kCmdJobLocked, "job locked");
        for (int id : panel.controlIds())
            panel.setEnabled(id, true);
        for (int id : panel.menuItemIds())
            panel.enableMenuCommand(id);
    }
    Panel panel;
};

TEST_P(JobLocksTest, LockDisablesExactlyTheJobsControlsAndUnlockRestoresThem) {
    const LockCase& c = GetParam();
    for (int id : c.menus)
        ASSERT_TRUE(panel.hasMenuItem(id)) << id;
    const PanelState before = stateOf(panel);

    lockControls(panel, c.job);
    for (int id : panel.controlIds())
        EXPECT_EQ(panel.enabled(id), !c.buttons.contains(id)) << "control " << id;
    for (int id : panel.menuItemIds()) {
        const bool locked = c.buttons.contains(id) || c.menus.contains(id);
        EXPECT_EQ(panel.menuGreyed(id), locked) << "menu " << id;
    }
    EXPECT_TRUE(panel.enabled(c.ownButton)) << "the job's button is its stop button";
    EXPECT_FALSE(panel.menuGreyed(c.ownButton));
    // Only the enabled and grey states change.
    for (int id : panel.controlIds()) {
        ControlState expected = before.controls.at(id);
        expected.enabled = panel.enabled(id);
        EXPECT_EQ(panel.control(id), expected) << id;
    }

    // Out of edit mode the file fill command stays greyed.
    unlockControls(panel, c.job, false);
    PanelState expected = before;
    if (c.menus.contains(kCmdFileFill))
        expected.menu[kCmdFileFill].greyed = true;
    const PanelState after = stateOf(panel);
    EXPECT_EQ(after.controls, expected.controls);
    EXPECT_EQ(after.menu, expected.menu);

    lockControls(panel, c.job);
    unlockControls(panel, c.job, true);
    const PanelState inEditMode = stateOf(panel);
    EXPECT_EQ(inEditMode.controls, before.controls);
    EXPECT_EQ(inEditMode.menu, before.menu);
}

TEST_P(JobLocksTest, UnlockEnablesSaveAsAndFindWhateverTheJobLocked) {
    const LockCase& c = GetParam();
    panel.greyMenuCommand(kCmdSaveAs);
    panel.greyMenuCommand(kCmdFind);
    panel.greyMenuCommand(kCmdFirmwareUpgrade);
    lockControls(panel, c.job);
    unlockControls(panel, c.job, false);
    EXPECT_FALSE(panel.menuGreyed(kCmdSaveAs));
    EXPECT_FALSE(panel.menuGreyed(kCmdFind));
    // Everything the job locked is enabled, even what was grey before it.
    EXPECT_FALSE(panel.menuGreyed(kCmdFirmwareUpgrade));
}

INSTANTIATE_TEST_SUITE_P(JobLocksPerJob, JobLocksTest, ::testing::ValuesIn(kLockCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JobLocksOther, JobsWithoutAButtonLockNothing) {
    Panel panel;
    buildMainPanel(panel, [](TextKey) { return std::string(); });
    const std::uint8_t others[] = {job::kAuto, job::kQuietIdentify, job::kFullIdentify,
                                   job::kFirmwareVersion, kIdleJobCode};
    for (std::uint8_t code : others) {
        EXPECT_EQ(jobLocks(code), nullptr) << int{code};
        const PanelState before = stateOf(panel);
        lockControls(panel, code);
        EXPECT_EQ(stateOf(panel).controls, before.controls) << int{code};
        EXPECT_EQ(stateOf(panel).menu, before.menu) << int{code};
        unlockControls(panel, code, true);
        EXPECT_EQ(stateOf(panel).menu, before.menu) << int{code};
    }
}

}  // namespace
}  // namespace nyra
