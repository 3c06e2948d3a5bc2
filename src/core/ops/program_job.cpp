// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <vector>

#include "device/protocol.h"
#include "ops/chip_jobs.h"
#include "ops/chip_presence.h"
#include "ops/job_frame.h"
#include "ops/job_texts.h"
#include "ops/transfers.h"

namespace nyra {

namespace {

constexpr std::size_t kBlockSize = 4096;
constexpr int kCommandTimeoutMs = 5000;
constexpr int kShortCommandTimeoutMs = 1000;
constexpr int kBlockTimeoutMs = 60000;
constexpr int kAfterStartMs = 50;
constexpr int kBeforeCountMs = 30;
constexpr int kAfterEndMs = 50;
constexpr int kReadyReads = 10;
constexpr int kReadyTimeoutMs = 6000;
constexpr std::uint8_t kReadyByte = 0x02;
// Only this type gets the file's bytes alone; every other chip its whole size.
constexpr const char* kFileBytesOnlyType = "25 SPI FLASH";

}  // namespace

std::uint8_t programChip(DataJobRoles context, bool direct) {
    context.flags.stopProgram.store(false);
    if (!programmerFree(context))
        return 0;
    if (direct && !startChecks(context))
        return 0;
    if (!dataFileLoaded(context))
        return 0;
    if (context.selection.chipSize() < context.data.dataLength() &&
        context.frontend.messageBox(context.text(itext(58)), context.text(itext(9)),
                                    BoxIcon::Question, BoxButtons::YesNo) != BoxAnswer::Yes)
        return 0;

    JobRun run(context, job::kProgram);
    const std::uint8_t result = streamFileToProgrammer(context);
    run.finish();
    context.clock.sleepMs(kAfterEndMs);
    return result;
}

std::uint8_t streamFileToProgrammer(DataJobRoles context) {
    if (!context.link().handle())
        return 0;
    JobFlags& flags = context.flags;
    const ElapsedTime elapsed(context.clock);
    ChipPresence chip;
    if (!chip.begin(context))
        return 0;
    context.normal(itext(47));
    context.progress.begin(context.text(itext(48)));
    // A stream into a program that was never opened writes nothing.
    if (!context.channel.sendCommand(cmd::kProgramStart, kCommandTimeoutMs)) {
        context.alert(itext(49), true);
        context.progress.end();
        return 0;
    }
    context.clock.sleepMs(kAfterStartMs);

    const std::uint32_t chipSize = context.selection.chipSize();
    const std::uint32_t fileLength = context.data.dataLength();
    const std::uint32_t total = context.selection.selectedType() == kFileBytesOnlyType
                                    ? std::min(chipSize, fileLength)
                                    : chipSize;
    std::vector<std::uint8_t> block(kBlockSize);
    std::uint32_t sent = 0;
    while (sent < total) {
        std::size_t size = std::min<std::size_t>(kBlockSize, total - sent);
        // The file's bytes, then 0xFF past its end in the same block. Reading
        // at the count sent so far re-sends what a short write left.
        const std::size_t fromFile =
            sent < fileLength ? std::min<std::size_t>(size, fileLength - sent) : 0;
        const std::size_t got =
            fromFile == 0 ? 0 : context.data.working().readAt(sent, block.data(), fromFile);
        if (got < fromFile) {
            size = got;
        } else {
            std::fill(block.begin() + static_cast<std::ptrdiff_t>(fromFile),
                      block.begin() + static_cast<std::ptrdiff_t>(size), 0xFF);
        }
        // Nothing to send from a file that shrank under us, or nothing taken
        // within the time-out, would never reach the total.
        const int written = size == 0 ? -1
                                      : context.link().writeStreamChunk(
                                            block.data(), static_cast<int>(size), kBlockTimeoutMs);
        if (written <= 0) {
            context.alert(itext(49), true);
            context.progress.end();
            return 0;
        }
        sent += static_cast<std::uint32_t>(
            std::min<std::size_t>(static_cast<std::size_t>(written), size));
        context.progress.update(sent, total);
        if (flags.stopProgram.load())
            break;
    }
    const bool stopped = flags.stopProgram.load() && sent < total;
    const int seconds = elapsed.seconds();

    // Done only on the programmer's word: the count taken and the last page written.
    bool written = false;
    if (stopped) {
        context.status.show(bytesTimedText(context.text(itext(50)), sent, seconds),
                            StatusKind::Alert, false);
    } else {
        context.clock.sleepMs(kBeforeCountMs);
        const auto count = bigEndian32(sent);
        if (!context.channel.sendCommand(cmd::kStreamEnd, kShortCommandTimeoutMs, count)) {
            context.alert(itext(49), true);
        } else if (!waitForByte(context.link(), kReadyByte, kReadyReads, kReadyTimeoutMs)) {
            context.status.show(programNotConfirmedText(context.texts, sent), StatusKind::Alert,
                                true);
        } else {
            written = true;
        }
    }

    if (context.jobCode() == job::kProgram) {
        if (written && sent < fileLength)
            context.box(context.text(itext(190)), BoxIcon::Warning);
        playFinishSound(context);
    }
    context.channel.sendCommand(cmd::kEndOfOperation, kShortCommandTimeoutMs);
    context.clock.sleepMs(kAfterEndMs);
    context.progress.end();
    if (!written || !chip.confirm(context))
        return 0;
    if (sent < fileLength) {
        context.status.show(overlongTimedText(context.text(itext(190)), chipSize, seconds),
                            StatusKind::Alert, false);
    } else {
        context.status.show(bytesTimedText(context.text(itext(51)), sent, seconds),
                            StatusKind::Normal, false);
    }
    return 1;
}

}  // namespace nyra
