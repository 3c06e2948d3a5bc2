// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>

#include "device/protocol.h"
#include "ops/chip_jobs.h"
#include "ops/identify.h"
#include "ops/job_frame.h"

namespace nyra {

namespace {

constexpr int kCommandTimeoutMs = 1000;
constexpr int kAfterBetweenStepsMs = 20;
constexpr int kAfterParametersMs = 50;
constexpr int kBeforeQuadEnableMs = 200;
constexpr int kConfirmTimeoutMs = 2000;
constexpr std::uint8_t kConfirmed = 1;

}  // namespace

void interStepPause(Roles<LinkRole, ChipRole, ClockRole> context) {
    context.channel.sendCommand(cmd::kBetweenSteps, kCommandTimeoutMs);
    context.clock.sleepMs(kAfterBetweenStepsMs);
    context.selection.computeParameters(context.selection.selectedChip());
    context.channel.sendCommand(cmd::kCarryParameters, kCommandTimeoutMs);
    context.clock.sleepMs(kAfterParametersMs);
}

std::uint8_t automaticSequence(DataJobRoles context) {
    context.log.clear();
    if (!programmerFree(context))
        return 0;
    if (!dataFileLoaded(context))
        return 0;
    logDataFile(context);
    const ElapsedTime elapsed(context.clock);

    // Each step reports its own failure; the chain stops there.
    if (!eraseChip(context, true))
        return 0;
    interStepPause(context);
    if (!programChip(context, false))
        return 0;
    if (!verifyChip(context, false))
        return 0;

    const std::string steps = context.text(itext(91)) + "," + context.text(itext(92)) + "," +
                              context.text(itext(93)) + "," + context.text(itext(94)) + ",";
    context.status.show(stepsTimedText(steps, context.text(itext(95)), elapsed.seconds()),
                        StatusKind::Normal, false);
    playFinishSound(context);
    return 1;
}

std::uint8_t configureQuadEnable(ChipJobRoles context) {
    // The chip now in the socket decides: one without QE controls gets no QE frame.
    if (identifyChip(context, false, true) == kIdentifyMatched &&
        context.selection.qeControlsVisible()) {
        const QeDescriptor qe = context.selection.qeDescriptor();
        const std::array<std::uint8_t, 3> argument{
            qe[0], qe[1],
            static_cast<std::uint8_t>(context.panel.checked(ids::kCheckQuadEnable) ? 1 : 0)};
        context.clock.sleepMs(kBeforeQuadEnableMs);
        context.normal(itext(202));
        if (context.channel.sendCommand(cmd::kQuadEnable, kCommandTimeoutMs, argument)) {
            std::uint8_t answer = 0;
            if (context.link().readReply(&answer, 1, kConfirmTimeoutMs) > 0 &&
                answer == kConfirmed) {
                context.normal(itext(203));
                return 1;
            }
        }
    }
    context.alert(itext(204), true);
    return 0;
}

}  // namespace nyra
