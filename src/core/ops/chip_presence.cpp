// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/chip_presence.h"

#include <array>

#include "device/protocol.h"
#include "ops/job_texts.h"
#include "ops/transfers.h"

namespace nyra {

namespace {

constexpr int kCommandTimeoutMs = 5000;
constexpr int kReplyTimeoutMs = 5000;
constexpr std::size_t kIdentityBytes = 3;
constexpr std::uint8_t kSpiBus = 0;
constexpr std::uint32_t kSpiLinesHigh = 0xFFFFFF;  // no SPI part drove the data line
constexpr std::uint32_t kNobodyAcknowledged = 0x000000;
constexpr std::uint32_t kProgrammerBlocked = 0x000004;
// Every SPI flash part answers RES: the oldest with maker and device, the
// others with their signature byte.
constexpr std::uint8_t kResParameter = 0x80;

std::uint8_t busOf(const ChipRole& context) {
    return context.selection.parameterBlock().bytes[2] & 0x0F;
}

std::optional<std::uint32_t> probeOnce(Roles<LinkRole, ChipRole> context) {
    Link& link = context.link();
    // A stale answer would be taken for the chip's.
    if (link.unsettled())
        link.drainUntilQuiet();
    if (!context.channel.sendCommand(cmd::kReadIdentity, kCommandTimeoutMs))
        return std::nullopt;
    std::array<std::uint8_t, kIdentityBytes> reply{};
    if (readFully(link, reply.data(), reply.size(), kReplyTimeoutMs) < reply.size())
        return std::nullopt;
    return (std::uint32_t{reply[0]} << 16) | (std::uint32_t{reply[1]} << 8) | reply[2];
}

// One probe with another operation parameter; the job's own comes back after it.
std::optional<std::uint32_t> probeWithParameter(Roles<LinkRole, ChipRole> context,
                                                std::uint8_t parameter) {
    std::uint8_t own = 0;
    context.selection.modifyParameterBlock([&](ChipParameterBlock& block) {
        own = block.bytes[3];
        block.bytes[3] = parameter;
    });
    const auto answer = probeOnce(context);
    context.selection.modifyParameterBlock(
        [own](ChipParameterBlock& block) { block.bytes[3] = own; });
    return answer;
}

}  // namespace

bool chipAnswers(const ChipRole& context, std::uint32_t identity) {
    if (busOf(context) == kSpiBus)
        return identity != kSpiLinesHigh;
    return identity != kNobodyAcknowledged && identity != kProgrammerBlocked;
}

std::optional<std::uint32_t> probeSocket(Roles<LinkRole, ChipRole> context) {
    const auto answer = probeOnce(context);
    if (!answer || busOf(context) != kSpiBus || chipAnswers(context, *answer))
        return answer;
    // No RDID: the part may still be there.
    return probeWithParameter(context, kResParameter);
}

bool ChipPresence::begin(Roles<LinkRole, ReportRole, ChipRole> context) {
    const auto answer = probeSocket(context);
    if (!answer) {
        context.alert(itext(49), true);
        return false;
    }
    if (!chipAnswers(context, *answer)) {
        context.alert(itext(72), true);
        return false;
    }
    identity_ = *answer;
    return true;
}

bool ChipPresence::confirm(Roles<LinkRole, ReportRole, ChipRole> context) const {
    const auto answer = probeSocket(context);
    if (answer && *answer == identity_)
        return true;
    context.status.show(chipLeftText(context.texts), StatusKind::Alert, true);
    return false;
}

}  // namespace nyra
