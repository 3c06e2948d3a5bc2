// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "ui/ids.h"

namespace nyra {
namespace {

std::string keyName(TextKey key) {
    std::string name(key.file == TextKey::File::Ftext ? "f" : "i");
    name += std::to_string(key.key);
    return name;
}

TEST(MainMenuTable, EveryItemHangsUnderAnEarlierPopup) {
    std::set<int> popups{ids::kMenuBar};
    std::set<int> seen;
    for (const auto& entry : ids::kMainMenu) {
        EXPECT_TRUE(seen.insert(entry.id).second) << "duplicate id " << entry.id;
        EXPECT_TRUE(popups.contains(entry.parent)) << "item " << entry.id << " before its pop-up";
        if (ids::isPopupMenu(entry.id))
            popups.insert(entry.id);
    }
    const auto topLevel = std::count_if(ids::kMainMenu.begin(), ids::kMainMenu.end(),
                                        [](const auto& e) { return e.parent == ids::kMenuBar; });
    EXPECT_EQ(topLevel, 7);
}

TEST(MainMenuTable, CaptionKeysRunThroughTheMenuInOrder) {
    // The menu texts are ftext 1..41, one per entry, in display order.
    int expected = 1;
    for (const auto& entry : ids::kMainMenu) {
        EXPECT_EQ(entry.caption, ftext(expected)) << "entry " << entry.id;
        ++expected;
    }
    EXPECT_EQ(expected, 42);
}

TEST(MainMenuTable, OnlySwitchesAndEditModeCarryCheckMarks) {
    std::set<int> checkable;
    for (const auto& entry : ids::kMainMenu) {
        if (entry.checkable)
            checkable.insert(entry.id);
    }
    EXPECT_EQ(checkable,
              (std::set<int>{ids::kCmdEditMode, ids::kCmdSounds, ids::kCmdAutoIdentify,
                             ids::kCmdBatchErase, ids::kCmdBatchProgram, ids::kCmdBatchVerify}));
}

TEST(MainControlTable, KeysReachOnlyMainWindowCommands) {
    std::set<int> known;
    for (const auto& c : ids::kMainControls)
        known.insert(c.id);
    for (const auto& binding : ids::kKeyBindings) {
        EXPECT_TRUE(known.contains(binding.command)) << binding.command;
        // F2 is the one key that ignores its button's state.
        EXPECT_EQ(binding.onlyWhenEnabled, binding.key != ids::Key::F2);
    }
}

TEST(MainControlTable, OtpMessagesMapToTheirJobs) {
    EXPECT_EQ(ids::otpJobOf(0x40C), 26);
    EXPECT_EQ(ids::otpJobOf(0x411), 31);
    EXPECT_EQ(ids::otpJobOf(0x40B), -1);
    EXPECT_EQ(ids::otpJobOf(0x412), -1);
}

class MainPanelBuild : public ::testing::Test {
protected:
    void SetUp() override { buildMainPanel(panel, keyName); }
    Panel panel;
};

TEST_F(MainPanelBuild, MenuCaptionsAndGreyStates) {
    EXPECT_EQ(panel.menuItem(ids::kMenuFile)->caption, "f1");
    EXPECT_EQ(panel.menuItem(ids::kMenuBatchSteps)->caption, "f32");
    EXPECT_EQ(panel.menuItem(ids::kBtnAbout)->caption, "f41");
    EXPECT_EQ(panel.menuItem(ids::kBtnErase)->caption, "f9");

    std::set<int> greyed;
    for (int id : panel.menuItemIds()) {
        if (panel.menuGreyed(id))
            greyed.insert(id);
        EXPECT_FALSE(panel.menuChecked(id)) << id;
    }
    EXPECT_EQ(greyed, (std::set<int>{ids::kCmdSaveFile, ids::kCmdSaveAs, ids::kCmdEditMode,
                                     ids::kCmdGoTo, ids::kCmdDataView, ids::kCmdFind,
                                     ids::kCmdFileFill, ids::kCmdChipFill}));
    EXPECT_FALSE(panel.hasMenuItem(ids::kCmdJobLocked));
}

TEST_F(MainPanelBuild, ControlCaptionsFromTextsOrTemplate) {
    EXPECT_EQ(panel.text(ids::kBtnBrowse), "f73");
    EXPECT_EQ(panel.text(ids::kBtnErase), "f54");
    EXPECT_EQ(panel.text(ids::kBtnConfigure), "f136");
    EXPECT_EQ(panel.text(ids::kGroupNotes), "f49");
    EXPECT_EQ(panel.text(ids::kTextFileChecksum), "0000000000");
    EXPECT_EQ(panel.text(ids::kCheckQuadEnable), "QE");
    EXPECT_EQ(panel.text(ids::kTextCapacity), "0");
}

TEST_F(MainPanelBuild, HiddenControlsStartHidden) {
    EXPECT_FALSE(panel.visible(ids::kProgressBar));
    EXPECT_FALSE(panel.visible(ids::kEditHexCell));
    EXPECT_FALSE(panel.visible(ids::kBtnChipDetails));
    EXPECT_TRUE(panel.visible(ids::kBtnErase));
}

TEST_F(MainPanelBuild, JobLockGreysMenuAndButtonTogether) {
    panel.disableControl(ids::kBtnRead);
    EXPECT_FALSE(panel.enabled(ids::kBtnRead));
    EXPECT_EQ(panel.menuState(ids::kBtnRead), Panel::kMenuStateGreyed);
}

}  // namespace
}  // namespace nyra
