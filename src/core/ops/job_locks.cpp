// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/job_locks.h"

#include <array>

#include "device/worker.h"
#include "ui/ids.h"

namespace nyra {

using namespace ids;

namespace {

constexpr std::array kProgramButtons{kBtnBrowse, kBtnRead,   kBtnVerify,    kBtnErase,
                                     kBtnAuto,   kBtnDetect, kBtnBlankCheck};
constexpr std::array kProgramMenus{
    kCmdSaveAs,   kCmdFind,     kCmdFileFill,        kCmdGoTo,
    kCmdChipFill, kCmdDataView, kCmdFirmwareVersion, kCmdFirmwareUpgrade,
    kCmdJobLocked};
constexpr std::array kEraseButtons{kBtnRead,   kBtnVerify,  kBtnAuto,
                                   kBtnDetect, kBtnProgram, kBtnBlankCheck};
constexpr std::array kBlankCheckButtons{kBtnProgram, kBtnRead,   kBtnVerify,
                                        kBtnErase,   kBtnDetect, kBtnAuto};
constexpr std::array kChipOnlyMenus{kCmdChipFill, kCmdDataView, kCmdFirmwareVersion, kCmdJobLocked,
                                    kCmdFirmwareUpgrade};
constexpr std::array kReadButtons{kBtnVerify, kBtnErase,   kBtnAuto,
                                  kBtnDetect, kBtnProgram, kBtnBlankCheck};
constexpr std::array kReadMenus{kCmdChipFill, kCmdDataView, kCmdFirmwareVersion, kCmdJobLocked,
                                kCmdFileFill, kCmdGoTo,     kCmdFirmwareUpgrade};
constexpr std::array kVerifyButtons{kBtnRead,  kBtnAuto,   kBtnDetect,    kBtnProgram,
                                    kBtnErase, kBtnBrowse, kBtnBlankCheck};
constexpr std::array kVerifyMenus{
    kCmdSaveAs,          kCmdFind,      kCmdFileFill,       kCmdGoTo, kCmdChipFill, kCmdDataView,
    kCmdFirmwareVersion, kCmdJobLocked, kCmdFirmwareUpgrade};

constexpr std::array kLockTable{
    JobLocks{job::kProgram, kProgramButtons, kProgramMenus},
    JobLocks{job::kErase, kEraseButtons, kChipOnlyMenus},
    JobLocks{job::kBlankCheck, kBlankCheckButtons, kChipOnlyMenus},
    JobLocks{job::kRead, kReadButtons, kReadMenus},
    JobLocks{job::kVerify, kVerifyButtons, kVerifyMenus},
};

}  // namespace

const JobLocks* jobLocks(std::uint8_t job) {
    for (const JobLocks& locks : kLockTable) {
        if (locks.job == job)
            return &locks;
    }
    return nullptr;
}

void lockControls(Panel& panel, std::uint8_t job) {
    const JobLocks* locks = jobLocks(job);
    if (!locks)
        return;
    for (int button : locks->buttons)
        panel.disableControl(button);
    for (int command : locks->menuCommands)
        panel.greyMenuCommand(command);
}

void unlockControls(Panel& panel, std::uint8_t job, bool editMode) {
    const JobLocks* locks = jobLocks(job);
    if (!locks)
        return;
    for (int button : locks->buttons)
        panel.enableControl(button);
    for (int command : locks->menuCommands) {
        if (command != kCmdFileFill || editMode)
            panel.enableMenuCommand(command);
    }
    panel.enableMenuCommand(kCmdSaveAs);
    panel.enableMenuCommand(kCmdFind);
}

}  // namespace nyra
