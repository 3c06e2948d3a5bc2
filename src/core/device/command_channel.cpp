// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/command_channel.h"

namespace nyra {

namespace {
constexpr int kStateIndicationTimeoutMs = 100;
}

CommandChannel::CommandChannel(Link& link, CommandFrame& parameterBlock)
    : link_(link), access_([&parameterBlock](const std::function<void(CommandFrame&)>& change) {
          change(parameterBlock);
      }) {}

CommandChannel::CommandChannel(Link& link, FrameAccess access)
    : link_(link), access_(std::move(access)) {}

bool CommandChannel::sendCommand(std::uint8_t code, int timeoutMs,
                                 std::span<const std::uint8_t> argument) {
    CommandFrame frame;
    access_([&](CommandFrame& block) {
        writeCommand(block, code, argument);
        frame = block;
    });
    return link_.sendFrame(kFrameEndpoint, frame.data(), static_cast<int>(frame.size()), timeoutMs);
}

void CommandChannel::stateIndication(std::uint8_t state) {
    if (link_.linkCheck() == kLinkStop)
        return;
    const std::uint8_t argument[] = {state};
    sendCommand(cmd::kStateIndication, kStateIndicationTimeoutMs, argument);
}

bool CommandChannel::sendShortFrame(std::uint8_t operation, int timeoutMs, std::uint8_t value) {
    const ShortFrame frame = makeShortFrame(operation, value);
    return link_.sendFrame(kFrameEndpoint, frame.data(), static_cast<int>(frame.size()), timeoutMs);
}

bool CommandChannel::sendExtendedShort(std::uint8_t operation,
                                       std::span<const std::uint8_t> argument, int timeoutMs) {
    const ExtendedShortFrame frame = makeExtendedShortFrame(operation, argument);
    return link_.sendFrame(kFrameEndpoint, frame.data(), static_cast<int>(frame.size()), timeoutMs);
}

bool CommandChannel::sendExtendedLong(std::uint8_t operation,
                                      std::span<const std::uint8_t> argument, int timeoutMs) {
    const ExtendedLongFrame frame = makeExtendedLongFrame(operation, argument);
    return link_.sendFrame(kFrameEndpoint, frame.data(), static_cast<int>(frame.size()), timeoutMs);
}

int CommandChannel::readExtendedReply(std::array<std::uint8_t, kExtendedReplyRoom>& buffer,
                                      int timeoutMs) {
    return link_.readReply(buffer.data(), static_cast<int>(buffer.size()), timeoutMs);
}

}  // namespace nyra
