// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/protocol.h"
#include "ops/chip_jobs.h"
#include "ops/chip_presence.h"
#include "ops/job_frame.h"
#include "ops/job_texts.h"
#include "ops/transfers.h"

namespace nyra {

namespace {

constexpr int kDrainTimeoutMs = 10;
constexpr int kCommandTimeoutMs = 1000;
constexpr int kEraseAttempts = 11;
constexpr int kWaitReads = 600;
constexpr int kWaitReadTimeoutMs = 1000;
constexpr std::uint8_t kErasedByte = 6;
constexpr int kAfterUnlockMs = 50;
constexpr int kStopStepMs = 10;

}  // namespace

std::uint8_t eraseChip(ChipJobRoles context, bool direct) {
    JobFlags& flags = context.flags;
    flags.stopErase.store(false);
    if (!programmerFree(context))
        return 0;
    if (flags.eraseRunning.load())
        return 0;
    if (direct && !startChecks(context))
        return 0;
    // An empty socket would keep the job waiting for a done byte that never comes.
    if (!ChipPresence().begin(context))
        return 0;

    JobRun run(context, job::kErase);
    context.normal(itext(59));
    const ElapsedTime elapsed(context.clock);
    drainInput(context.link(), 1, kDrainTimeoutMs);

    bool accepted = false;
    for (int attempt = 0; attempt < kEraseAttempts && !accepted; ++attempt) {
        if (attempt > 0 && flags.stopErase.load())
            break;
        accepted = context.channel.sendCommand(cmd::kErase, kCommandTimeoutMs);
    }

    bool erased = false;
    if (!accepted && flags.stopErase.load()) {
        context.status.show(eraseStoppedText(context.texts), StatusKind::Alert, false);
    } else if (!accepted) {
        context.alert(itext(49), true);
    } else {
        bool stopped = false;
        for (int read = 0; read < kWaitReads; ++read) {
            if (flags.stopErase.load()) {
                context.status.show(eraseStoppedText(context.texts), StatusKind::Alert, false);
                context.channel.sendCommand(cmd::kEndOfOperation, kCommandTimeoutMs);
                stopped = true;
                break;
            }
            std::uint8_t byte = 0;
            if (context.link().readReply(&byte, 1, kWaitReadTimeoutMs) > 0 && byte == kErasedByte) {
                erased = true;
                break;
            }
        }
        // Only the programmer's "done" byte means the chip was erased; a wait
        // that ran out is a failure, whatever else arrived.
        if (!stopped && !erased)
            context.alert(itext(49), true);
        if (erased) {
            context.status.show(timedText(context.text(itext(60)), elapsed.seconds()),
                                StatusKind::Normal, false);
            context.channel.sendCommand(cmd::kEndOfOperation, kCommandTimeoutMs);
            playEraseSound(context);
        }
    }

    run.finish();
    context.clock.sleepMs(kAfterUnlockMs);
    if (flags.stopErase.load()) {
        context.channel.sendCommand(cmd::kEndOfOperation, kCommandTimeoutMs);
        context.clock.sleepMs(kStopStepMs);
        context.channel.sendCommand(cmd::kBetweenSteps, kCommandTimeoutMs);
        context.clock.sleepMs(kStopStepMs);
        context.channel.sendCommand(cmd::kCarryParameters, kCommandTimeoutMs);
        return 0;
    }
    return erased ? 1 : 0;
}

}  // namespace nyra
