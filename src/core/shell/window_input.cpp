// SPDX-License-Identifier: GPL-3.0-or-later
// What the window forwards to its state: the command table, keys, window
// messages and the close handler.
#include <unistd.h>

#include <chrono>

#include "app/text_language.h"
#include "ops/job_frame.h"
#include "ops/otp_jobs.h"
#include "shell/app_state.h"
#include "ui/main_panel.h"

namespace nyra {

using namespace ids;

namespace {

// A path no programmer has: the window leaves the bus alone.
constexpr const char* kNoProgrammerPath = "-";
// How long a job's transfer may keep the link before the window asks the bus.
constexpr std::chrono::milliseconds kLetGoOfProgrammer{500};
constexpr int kCloseCommandTimeoutMs = 100;
// How long the close handler waits for a transfer of the worker's to end
// before it leaves the link alone (the erase wait reads for 1000 ms at a time).
constexpr std::chrono::milliseconds kCloseWaitForTransfer{2000};

}  // namespace

void AppState::command(int id) {
    switch (id) {
        case kBtnErase:
        case kBtnProgram:
        case kBtnVerify:
        case kBtnRead:
        case kBtnBlankCheck:
            startOrStop(id);
            return;
        case kBtnAuto:
            startJob(job::kAuto);
            return;
        case kBtnDetect:
            startJob(job::kFullIdentify);
            return;
        case kCmdFirmwareVersion:
            startJob(job::kFirmwareVersion);
            return;
        case kCmdFirmwareUpgrade:
            upgradeWindow_.open();
            if (showUpgradeWindow)
                showUpgradeWindow(upgradeWindow_);
            return;
        case kCmdFind:
            findWindow_.open();
            if (showFindWindow)
                showFindWindow(findWindow_);
            return;
        case kCmdFileFill:
            fileFillWindow_.open();
            if (showFileFillWindow)
                showFileFillWindow(fileFillWindow_);
            return;
        case kCmdDataView:
            dataViewWindow_.open();
            if (showDataViewWindow)
                showDataViewWindow(dataViewWindow_);
            return;
        case kCmdGoTo:
            if (showGoToWindow)
                showGoToWindow(newGoToWindow());
            return;
        case kCmdOtp:
            otpWindow_.open();
            if (showOtpWindow)
                showOtpWindow(otpWindow_);
            otpWindow_.close();
            return;
        case kCmdChooseProgrammer:
            chooseProgrammer();
            return;
        case kCmdSerialSeries:
            if (showSeriesDialog)
                showSeriesDialog(*windowSeries_);
            return;
        case kCmdFeedback:
            feedbackForm_.open();
            if (showFeedbackForm)
                showFeedbackForm(feedbackForm_);
            return;
        case kCmdCheckUpdate:
            startJob(job::kUpdateCheck);
            return;
        case kCmdChipFill:
            chipFillWindow_.open(selection_.parameterBlock().sixteenBit());
            if (showChipFillWindow)
                showChipFillWindow(chipFillWindow_);
            return;
        case kUpgradeOpen:
            upgradeWindow_.chooseFile();
            return;
        case kUpgradeStart:
            if (upgradeWindow_.upgradeAllowed())
                startJob(job::kFirmwareUpgrade);
            return;
        case kBtnConfigure:
            startJob(job::kQuadEnable);
            return;
        case kBtnBatch:
            if (autoIdentifyOn()) {
                if (showBatchWindow)
                    showBatchWindow();
            } else {
                frontend_.messageBox(text(itext(12)), text(itext(9)), BoxIcon::Information,
                                     BoxButtons::Ok);
            }
            return;
        case kCmdSounds:
            if (switches_)
                switches_->toggleSounds();
            return;
        case kCmdAutoIdentify:
            if (switches_)
                switches_->toggleAutoIdentify();
            return;
        case kCmdBatchErase:
        case kCmdBatchProgram:
        case kCmdBatchVerify:
            if (switches_)
                switches_->toggleBatchStep(id);
            return;
        case kCmdManual:
            openThroughShell(programFolder_ + kManualFileName);
            return;
        case kCmdChangeLog:
            openThroughShell(logFilePath_);
            return;
        case kListChipType:
        case kListManufacturer:
        case kListDevice:
            // The window has already moved the list's current index.
            listSelectionChanged(id, panel_.currentIndex(id));
            return;
        case kBtnBrowse:
            fileLoader_->openFile();
            return;
        case kCmdSaveFile:
            fileSaver_->saveFile();
            return;
        case kCmdSaveAs:
            fileSaver_->saveFileAs();
            return;
        case kCheckEditMode:
        case kCmdEditMode:
            hexView_->toggleEditMode(id == kCmdEditMode);
            return;
        case kBtnChipDetails:
            selection_.showChipInformation();
            return;
        case kCmdOffsetProgram:
            openAddressOffset({}, 0);
            return;
        case kCmdMerge:
            if (showFileMerge) {
                FileMergeTool tool(frontend_, texts_, homeFolder());
                showFileMerge(tool);
            }
            return;
        case kCmdSplit:
            if (showFileSplit) {
                FileSplitTool tool(frontend_, texts_);
                showFileSplit(tool);
            }
            return;
        case kBtnAbout:
        case kSysCmdAbout:
            if (showAboutDialog)
                showAboutDialog(text(kAboutTextKey));
            return;
        default:
            return;
    }
}

void AppState::openAddressOffset(const std::string& path, std::uint32_t offset) {
    if (!showAddressOffset)
        return;
    AddressOffsetTool tool(*fileLoader_, frontend_, texts_, tempFolder_, path, offset);
    showAddressOffset(tool);
}

void AppState::openThroughShell(const std::string& path) {
    // The desktop may report only after its opener ran; the path tells the
    // user which file to look for or open by hand.
    frontend_.shellOpen(path, [this, path](bool opened) {
        if (!opened) {
            frontend_.messageBox(text(itext(118)) + "\n" + path, text(itext(9)), BoxIcon::Warning,
                                 BoxButtons::Ok);
        }
    });
}

void AppState::startOrStop(int buttonId) {
    const ButtonJob* button = buttonJobOf(buttonId);
    if (!button)
        return;
    if (const auto code = nyra::startOrStop(jobContext_, *button))
        startJob(*code);
}

bool AppState::keyPressed(Key key, bool ctrlHeld) {
    for (const KeyBinding& binding : kKeyBindings) {
        if (binding.key != key)
            continue;
        if (binding.ctrl && !ctrlHeld)
            return false;  // plain O takes the normal path
        if (!binding.onlyWhenEnabled || panel_.enabled(binding.command))
            command(binding.command);
        return true;
    }
    return false;
}

bool AppState::escapeOrEnterPressed(bool enter) {
    // Enter commits the hex cell editor; neither key closes the window.
    if (enter)
        hexView_->commitEdit();
    return true;
}

void AppState::windowMessage(int message, std::uintptr_t wordParameter) {
    if (message == kMsgDeviceChange) {
        followProgrammer();
        worker_->deviceChangeNotice();
        showProgrammerMenu();
    } else if (message == kMsgFileDropped) {
        if (wordParameter != 0)
            fileLoader_->filesDropped(
                *reinterpret_cast<const std::vector<std::string>*>(wordParameter));
    } else if (message == kMsgBatchRunRequest) {
        batchRunParameter.store(static_cast<std::uint32_t>(wordParameter));
        startJob(job::kBatchCycle);
    } else if (message >= kMsgOtpFirst && message <= kMsgOtpLast) {
        startJob(static_cast<std::uint8_t>(otpJobOf(message)));
    }
}

void AppState::takeProgrammerSeat() {
    if (!seat_.enabled())
        return;
    panel_.addMenuItem(kCmdChooseProgrammer, programmerSeatTexts(texts_).menu);
    showProgrammerMenu();
    lockProgrammer();
}

// The lock follows the programmer the window drives: one plugged in after the
// start, or another in place of the one unplugged, is locked before the window
// drives it. With several connected the link stays pinned to the chosen one.
void AppState::followProgrammer() {
    if (!seat_.enabled() || !worker_->idle() || link_.pinnedPath() == kNoProgrammerPath)
        return;
    const bool pinned = !link_.pinnedPath().empty();
    if (seat_.holding() && (pinned || seat_.drivenPresent()))
        return;
    lockProgrammer();
}

void AppState::lockProgrammer() {
    // Its own link may hold the programmer open: it lets go while it is asked.
    link_.releaseAndCloseWithin(kLetGoOfProgrammer);
    if (const std::string refused = seat_.take(); !refused.empty()) {
        link_.pin(kNoProgrammerPath);
        programmerRefused(refused);
    }
}

void AppState::programmerRefused(const std::string& why) {
    frontend_.messageBox(why + programmerSeatTexts(texts_).inUse, text(itext(9)), BoxIcon::Warning,
                         BoxButtons::Ok);
}

// The choice is offered while several programmers are connected.
void AppState::showProgrammerMenu() {
    if (!seat_.enabled())
        return;
    if (seat_.several())
        panel_.enableMenuCommand(kCmdChooseProgrammer);
    else
        panel_.greyMenuCommand(kCmdChooseProgrammer);
}

void AppState::chooseProgrammer() {
    // A job owns the link while it runs.
    if (!seat_.enabled() || !worker_->idle())
        return;
    const ProgrammerSeatTexts seatTexts = programmerSeatTexts(texts_);
    // Its own programmer answers too: the link lets go of it (the next job opens it again).
    link_.releaseAndCloseWithin(kLetGoOfProgrammer);
    const std::vector<ProgrammerEntry> entries = seat_.list();
    if (entries.size() < 2) {
        showStatus(seatTexts.onlyOne, StatusKind::Normal, false);
        showProgrammerMenu();
        return;
    }
    std::vector<std::string> items;
    for (const ProgrammerEntry& entry : entries)
        items.push_back(programmerItem(entry));
    const auto picked = frontend_.chooseItem(seatTexts.title, seatTexts.prompt, items,
                                             seat_.current(entries).value_or(0));
    if (!picked || *picked >= entries.size())
        return;
    const ProgrammerEntry& entry = entries[*picked];
    if (const std::string refused = seat_.choose(entry); !refused.empty()) {
        programmerRefused(refused);
        return;
    }
    showStatus(seatTexts.chosen + lockName(entry), StatusKind::Normal, false);
    // The chip in the newly chosen socket is named as at start.
    if (autoIdentifyOn())
        startJob(job::kQuietIdentify);
}

bool AppState::askToStop(TextKey question) {
    return frontend_.messageBox(text(question), text(itext(9)), BoxIcon::Question,
                                BoxButtons::OkCancel) == BoxAnswer::Ok;
}

void AppState::sendEndOfOperationFromWindow() {
    if (auto hold = link_.holdWithin(kCloseWaitForTransfer))
        channel_.sendCommand(cmd::kEndOfOperation, kCloseCommandTimeoutMs);
}

bool AppState::closeRequested() {
    if (flags_.eraseRunning.load()) {
        if (!askToStop(itext(30)))
            return false;
        flags_.stopErase.store(true);
        sendEndOfOperationFromWindow();
    }
    if (flags_.programRunning.load()) {
        if (!askToStop(itext(31)))
            return false;
        flags_.stopProgram.store(true);
    }
    if (flags_.verifyRunning.load()) {
        if (!askToStop(itext(32)))
            return false;
        sendEndOfOperationFromWindow();
    }
    if (flags_.readRunning.load()) {
        if (!askToStop(itext(33)))
            return false;
        flags_.closeRequested.store(true);
        sendEndOfOperationFromWindow();
    }
    link_.releaseAndCloseWithin(kCloseWaitForTransfer);
    data_.reset();
    ::unlink((tempFolder_ + "/" + kOffsetCopyName).c_str());
    ::rmdir(tempFolder_.c_str());
    worker_->requestQuit();
    return true;
}

}  // namespace nyra
