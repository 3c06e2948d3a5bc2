// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/frames.h"

#include <algorithm>

namespace nyra {

namespace {

template <std::size_t N>
std::array<std::uint8_t, N> makeExtendedFrame(std::uint8_t kind, std::uint8_t operation,
                                              std::span<const std::uint8_t> argument) {
    std::array<std::uint8_t, N> frame{};
    frame[0] = kFrameStart;
    frame[1] = kind;
    frame[2] = operation;
    const std::size_t n = std::min(argument.size(), N - 4);
    std::copy_n(argument.begin(), n, frame.begin() + 3);
    frame[N - 1] = kFrameEnd;
    return frame;
}

}  // namespace

ShortFrame makeShortFrame(std::uint8_t operation, std::uint8_t value) {
    return {kFrameStart, operation, value, kFrameEnd};
}

ExtendedShortFrame makeExtendedShortFrame(std::uint8_t operation,
                                          std::span<const std::uint8_t> argument) {
    return makeExtendedFrame<kExtendedShortFrameSize>(1, operation, argument);
}

ExtendedLongFrame makeExtendedLongFrame(std::uint8_t operation,
                                        std::span<const std::uint8_t> argument) {
    return makeExtendedFrame<kExtendedLongFrameSize>(2, operation, argument);
}

bool isValidExtendedReply(std::span<const std::uint8_t> reply, std::uint8_t expectedStatus) {
    return reply.size() == kExtendedReplySize && reply[0] == kFrameStart && reply[1] == 3 &&
           reply[2] == expectedStatus && reply[kExtendedReplySize - 1] == kFrameEnd;
}

std::array<std::uint8_t, 4> bigEndian32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace nyra
