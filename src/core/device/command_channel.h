// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "device/frames.h"
#include "device/link.h"

namespace nyra {

// Runs a change on the persistent command frame under whatever lock guards it.
using FrameAccess = std::function<void(const std::function<void(CommandFrame&)>&)>;

// The frame senders on top of the link. The command frame is the persistent
// chip parameter block of the main window.
class CommandChannel {
public:
    // A frame that only this channel's thread uses.
    CommandChannel(Link& link, CommandFrame& parameterBlock);
    // A frame shared with other threads, reached through its lock.
    CommandChannel(Link& link, FrameAccess access);

    bool sendCommand(std::uint8_t code, int timeoutMs, std::span<const std::uint8_t> argument = {});
    void stateIndication(std::uint8_t state);
    bool sendShortFrame(std::uint8_t operation, int timeoutMs, std::uint8_t value);
    bool sendExtendedShort(std::uint8_t operation, std::span<const std::uint8_t> argument,
                           int timeoutMs);
    bool sendExtendedLong(std::uint8_t operation, std::span<const std::uint8_t> argument,
                          int timeoutMs);
    // Reads one extended reply into a whole packet's room, so that a longer
    // answer shows as such; returns the library's result (45 for a reply).
    int readExtendedReply(std::array<std::uint8_t, kExtendedReplyRoom>& buffer, int timeoutMs);

    Link& link() { return link_; }

private:
    Link& link_;
    FrameAccess access_;
};

}  // namespace nyra
