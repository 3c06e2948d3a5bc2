// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/batch_cycle_job.h"

#include <sys/stat.h>

#include <cerrno>

#include "app/file_access.h"
#include "device/protocol.h"
#include "ops/chip_jobs.h"
#include "ops/identify.h"
#include "ops/job_frame.h"
#include "ops/job_texts.h"

namespace nyra {

namespace {

constexpr int kNextChipPauseMs = 10;

bool answers(int identified) {
    return identified == kIdentifyMatched || identified == kIdentifyNoMatch;
}

// The steps of one chip; true when every enabled one passed. written: the
// program step began.
bool runSteps(DataJobRoles context, BatchPort& port, std::string& steps, bool& written) {
    const bool erase = context.panel.menuChecked(ids::kCmdBatchErase);
    const bool program = context.panel.menuChecked(ids::kCmdBatchProgram);
    const bool verify = context.panel.menuChecked(ids::kCmdBatchVerify);
    // Only the first step that runs makes its own start checks.
    bool ranBefore = false;
    if (erase) {
        if (!eraseChip(context, true))
            return false;
        steps += context.text(itext(92));
        ranBefore = true;
    }
    if (program) {
        if (erase)
            interStepPause(context);
        if (!port.chipWriting())
            return false;
        written = true;
        if (!programChip(context, !ranBefore))
            return false;
        steps += context.text(itext(93));
        ranBefore = true;
    }
    if (verify) {
        if (erase && !program)
            interStepPause(context);
        if (!verifyChip(context, !ranBefore))
            return false;
        steps += context.text(itext(94));
    }
    return true;
}

// A failed step that a stop request or a lost programmer caused says nothing
// about the chip.
bool programmerLost(const LinkRole& context) {
    return !context.link().connected() || !context.link().devicePresent();
}

bool outcomeUnknown(Roles<LinkRole, ControlRole> context) {
    const JobFlags& f = context.flags;
    const bool stopped = f.stopErase.load() || f.stopProgram.load() || f.stopVerify.load();
    return stopped || programmerLost(context);
}

}  // namespace

NextChip waitForNextChip(ChipJobRoles context, const BatchPort& port) {
    for (;;) {
        const int found = identifyChip(context, false, true);
        if (found == kIdentifyFailed)
            break;
        if (!port.seriesRunning())
            return NextChip::Stopped;
        // A programmer gone is no chip still in the socket.
        if (!answers(found) && programmerLost(context))
            return NextChip::ProgrammerLost;
    }
    context.clock.sleepMs(kNextChipPauseMs);
    identifyChip(context, false, true);
    context.clock.sleepMs(kNextChipPauseMs);
    int inARow = 0;
    while (inARow < 2) {
        if (!port.seriesRunning())
            return NextChip::Stopped;
        if (answers(identifyChip(context, false, true))) {
            ++inARow;
        } else {
            inARow = 0;
            // An empty socket and a programmer gone look alike to the probe.
            if (programmerLost(context))
                return NextChip::ProgrammerLost;
        }
        context.clock.sleepMs(kNextChipPauseMs);
    }
    return NextChip::Came;
}

std::uint8_t runBatchCycle(DataJobRoles context, BatchPort& port, std::uint32_t parameter) {
    if ((parameter & kBatchLoadFile) != 0) {
        const std::string path = port.currentBatchFile();
        struct stat info {};
        if (!path.empty() && ::stat(path.c_str(), &info) != 0) {
            // The chip's own file is not there: say which and why, and keep
            // the last chip's data from standing in for it.
            const std::string message =
                context.text(itext(25)) + " " + path + ": " + fileErrorText(errno);
            context.status.show(message, StatusKind::Alert, true);
            context.box(message, BoxIcon::Warning);
            port.postResult(batch_result::kNoData);
            return 0;
        }
        if (path.empty() || !context.loadData ||
            !context.loadData(path, port.currentBatchDocument())) {
            port.postResult(batch_result::kNoData);
            return 0;
        }
    }
    context.log.clear();
    if (!programmerFree(context)) {
        port.postResult(batch_result::kBlocked);
        return 0;
    }
    if (!dataFileLoaded(context)) {
        port.postResult(batch_result::kNoData);
        return 0;
    }
    // Refused before the erase: a longer image would be cut on every chip.
    const std::uint64_t chipBytes = context.selection.chipSize();
    if (chipBytes != 0 && context.data.dataLength() > chipBytes) {
        context.box(imageLargerThanChipText(context.texts, port.currentBatchFile(),
                                            context.data.dataLength(), chipBytes),
                    BoxIcon::Warning);
        port.postResult(batch_result::kNoData);
        return 0;
    }
    logDataFile(context);
    const ElapsedTime elapsed(context.clock);

    std::string steps = context.text(itext(91));
    context.knownChipOnly = true;
    bool written = false;
    const bool passed = runSteps(context, port, steps, written);
    context.knownChipOnly = false;
    if (passed) {
        context.status.show(stepsTimedText(steps, context.text(itext(95)), elapsed.seconds()),
                            StatusKind::Normal, false);
        // Counted and recorded before the programmer shows the pass and the
        // chip leaves: a Stop meanwhile does not drop it.
        port.postResult(batch_result::kPassed);
        playFinishSound(context);
        context.channel.stateIndication(state::kSucceeded);
        if (port.seriesRunning()) {
            const NextChip next = waitForNextChip(context, port);
            if (next == NextChip::Came)
                port.postResult(batch_result::kNextChip);
            else if (next == NextChip::ProgrammerLost)
                port.postResult(batch_result::kProgrammerLost);
        }
    } else if (written && outcomeUnknown(context)) {
        port.postResult(batch_result::kUnknown);
    }
    port.postResult(batch_result::kCycleEnded);
    return passed ? 1 : 0;
}

}  // namespace nyra
