// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "app/file_access.h"
#include "device/protocol.h"
#include "ops/chip_jobs.h"
#include "ops/chip_presence.h"
#include "ops/job_frame.h"
#include "ops/job_texts.h"
#include "ops/transfers.h"

namespace nyra {

namespace {

constexpr int kDrainLength = 64;
constexpr int kDrainTimeoutMs = 10;
constexpr int kCommandTimeoutMs = 5000;
constexpr int kReadTimeoutMs = 5000;
constexpr std::uint32_t kLargestRequest = 8192;

// The read image could not be written: its path and the reason, as an alert.
std::string imageFailed(Roles<ReportRole, DataRole> context, int error) {
    const std::string message = context.readImagePath + "\n" + fileErrorText(error);
    context.progress.end();
    context.status.show(message, StatusKind::Alert, false);
    return message;
}

}  // namespace

std::uint8_t readChip(DataJobRoles context) {
    JobFlags& flags = context.flags;
    flags.stopRead.store(false);
    if (!startChecks(context))
        return 0;
    // Written whole: a read that fails, stops or ends on another chip leaves
    // the image before it as it was. When it is the data shown now, the view
    // keeps its working copy (u_mod1.dll) until the new image is loaded. Opened
    // before the read command: once sent, the chip's bytes are on their way.
    WholeFileWriter image(context.readImagePath);
    if (!image.open()) {
        const std::string message = imageFailed(context, image.error());
        context.frontend.messageBox(message, context.text(itext(29)), BoxIcon::Error,
                                    BoxButtons::Ok);
        return 0;
    }

    drainInput(context.link(), kDrainLength, kDrainTimeoutMs);
    ChipPresence chip;
    if (!chip.begin(context))
        return 0;
    if (!context.channel.sendCommand(cmd::kRead, kCommandTimeoutMs)) {
        context.progress.end();
        context.alert(itext(49), true);
        return 0;
    }

    JobRun run(context, job::kRead);
    if (context.editMode() && context.leaveEditMode)
        context.leaveEditMode();
    const ElapsedTime elapsed(context.clock);
    context.progress.begin(context.text(itext(76)));

    const std::uint32_t chipSize = context.selection.chipSize();
    const std::uint32_t request = std::min(chipSize, kLargestRequest);
    std::vector<std::uint8_t> reply(kLargestRequest);
    std::uint64_t total = 0;
    bool failed = false;
    while (chipSize != 0 && !flags.closeRequested.load() && !flags.stopRead.load()) {
        const int got =
            context.link().readReply(reply.data(), static_cast<int>(request), kReadTimeoutMs);
        if (got < 1) {
            context.progress.end();
            context.alert(itext(49), true);
            failed = true;
            break;
        }
        // More than the chip holds is not the chip's.
        const auto count = static_cast<std::size_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(got), chipSize - total));
        if (!image.write(reply.data(), count)) {
            imageFailed(context, image.error());
            failed = true;
            break;
        }
        total += count;
        context.progress.update(total, chipSize);
        if (total >= chipSize)
            break;
    }
    run.finish();
    if (failed)
        return 0;
    context.progress.end();
    // Part of a chip is not the chip: a stopped read loads nothing.
    if (total < chipSize) {
        context.link().markUnsettled();
        context.status.show(readStoppedText(context.texts, total), StatusKind::Alert, false);
        return 0;
    }
    if (!chip.confirm(context))
        return 0;
    if (!image.commit()) {
        imageFailed(context, image.error());
        return 0;
    }

    const std::string result = timedText(context.text(itext(78)), elapsed.seconds());
    playFinishSound(context);
    if (context.loadData)
        context.loadData(context.readImagePath, {});
    context.status.show(result, StatusKind::Normal, false);
    return 1;
}

}  // namespace nyra
