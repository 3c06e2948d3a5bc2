// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>
#include <cstdio>

#include "device/protocol.h"
#include "ops/chip_jobs.h"
#include "ops/chip_presence.h"
#include "ops/job_frame.h"

namespace nyra {

namespace {

constexpr int kCommandTimeoutMs = 1000;
constexpr int kMaxReads = 300;
constexpr int kReadLength = 64;
constexpr int kReadTimeoutMs = 1000;
constexpr int kReplyLength = 6;
constexpr std::uint8_t kBlank = 15;
constexpr std::uint8_t kNotBlank = 16;
constexpr const char* kBoxTail = "           ";  // eleven spaces

// "Address" and "value" lines of the not-blank box: every space becomes 0.
std::string notBlankText(const ReportRole& context, const std::array<std::uint8_t, 64>& reply) {
    char text[512];
    std::snprintf(text, sizeof text, "%s\r\n%s%2X%2X%2X%2X\r\n%s%2X",
                  context.text(itext(65)).c_str(), context.text(itext(66)).c_str(), reply[1],
                  reply[2], reply[3], reply[4], context.text(itext(67)).c_str(), reply[5]);
    std::string result(text);
    for (char& c : result) {
        if (c == ' ')
            c = '0';
    }
    return result + kBoxTail;
}

}  // namespace

std::uint8_t blankCheckChip(ChipJobRoles context) {
    JobFlags& flags = context.flags;
    flags.stopBlankCheck.store(false);
    flags.notBlank.store(false);
    if (!startChecks(context))
        return 0;
    ChipPresence chip;
    if (!chip.begin(context))
        return 0;
    // Without the command no verdict can come: 300 reads would wait for nothing.
    if (!context.channel.sendCommand(cmd::kBlankCheck, kCommandTimeoutMs)) {
        context.alert(itext(49), true);
        return 0;
    }
    context.normal(itext(61));
    JobRun run(context, job::kBlankCheck);
    const ElapsedTime elapsed(context.clock);

    std::array<std::uint8_t, kReadLength> reply{};
    int last = 2;
    bool complete = false;
    bool stopped = false;
    for (int reads = 0;; ++reads) {
        complete = (reply[0] == kBlank || reply[0] == kNotBlank) && last == kReplyLength;
        if (complete || reads == kMaxReads)
            break;
        if (flags.stopBlankCheck.load()) {
            stopped = true;
            last = -1;
            break;
        }
        last = context.link().readReply(reply.data(), kReadLength, kReadTimeoutMs);
    }

    std::uint8_t result = 0;
    if (last <= 0 || !complete) {
        // No whole reply in 300 reads is no answer, never a verdict.
        if (stopped) {
            context.alert(itext(68));
        } else {
            context.alert(itext(64));
            context.box(context.text(itext(64)), BoxIcon::Information);
        }
    } else if (!chip.confirm(context)) {
        // The verdict was about a socket the chip had left.
    } else if (reply[0] == kBlank) {
        result = 1;
        context.status.show(timedText(context.text(itext(62)), elapsed.seconds()),
                            StatusKind::Normal, false);
        context.box(context.text(itext(63)), BoxIcon::Information);
    } else {
        flags.notBlank.store(true);
        context.status.show(timedText(context.text(itext(64)), elapsed.seconds()),
                            StatusKind::Alert, false);
        context.box(notBlankText(context, reply), BoxIcon::Error);
    }
    run.finish();
    return result;
}

}  // namespace nyra
