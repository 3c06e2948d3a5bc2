// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/transfers.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "device/protocol.h"

namespace nyra {

namespace {

// A programmer that never stops sending would hold the job forever.
constexpr int kMaxDrainReads = 1 << 16;

}  // namespace

void drainInput(Link& link, int length, int timeoutMs) {
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(length));
    for (int i = 0; i < kMaxDrainReads; ++i) {
        if (link.readReply(scratch.data(), length, timeoutMs) <= 0)
            return;
    }
}

std::size_t readFully(Link& link, std::uint8_t* buffer, std::size_t count, int timeoutMs) {
    std::size_t done = 0;
    while (done < count) {
        const int got = link.readReply(buffer + done, static_cast<int>(count - done), timeoutMs);
        if (got <= 0)
            break;
        done += std::min(static_cast<std::size_t>(got), count - done);
    }
    return done;
}

bool waitForByte(Link& link, std::uint8_t value, int reads, int timeoutMs) {
    for (int i = 0; i < reads; ++i) {
        std::uint8_t byte = 0;
        if (link.readReply(&byte, 1, timeoutMs) > 0 && byte == value)
            return true;
    }
    return false;
}

ProgrammerSerial readProgrammerSerial(CommandChannel& channel, Link& link, int timeoutMs) {
    constexpr std::size_t kReplyBytes = 7;
    ProgrammerSerial serial;
    if (!channel.sendCommand(cmd::kSerialNumber, timeoutMs))
        return serial;
    std::uint8_t reply[kReplyBytes] = {};
    if (readFully(link, reply, kReplyBytes, timeoutMs) < kReplyBytes) {
        serial.answer = ProgrammerSerial::Answer::Short;
        return serial;
    }
    serial.answer = ProgrammerSerial::Answer::Read;
    serial.number = (std::uint32_t{reply[4]} << 16) | (std::uint32_t{reply[5]} << 8) | reply[6];
    return serial;
}

std::string serialNumberText(std::uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "%06u", static_cast<unsigned>(number));
    return text;
}

}  // namespace nyra
