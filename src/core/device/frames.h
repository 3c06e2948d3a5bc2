// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/protocol.h"

namespace nyra {

inline constexpr std::size_t kMaxExtendedShortArgument = 12;
inline constexpr std::size_t kMaxExtendedLongArgument = 41;
// A full-speed bulk packet: room to read a reply and see whether it was longer.
inline constexpr std::size_t kExtendedReplyRoom = 64;

using ShortFrame = std::array<std::uint8_t, kShortFrameSize>;
using ExtendedShortFrame = std::array<std::uint8_t, kExtendedShortFrameSize>;
using ExtendedLongFrame = std::array<std::uint8_t, kExtendedLongFrameSize>;

ShortFrame makeShortFrame(std::uint8_t operation, std::uint8_t value);
// Bytes after the argument are zero.
ExtendedShortFrame makeExtendedShortFrame(std::uint8_t operation,
                                          std::span<const std::uint8_t> argument);
ExtendedLongFrame makeExtendedLongFrame(std::uint8_t operation,
                                        std::span<const std::uint8_t> argument);

bool isValidExtendedReply(std::span<const std::uint8_t> reply, std::uint8_t expectedStatus);

// Multi-byte command arguments travel most significant byte first.
std::array<std::uint8_t, 4> bigEndian32(std::uint32_t value);

}  // namespace nyra
