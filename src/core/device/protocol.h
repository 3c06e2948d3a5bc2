// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The wire vocabulary shared by the program and the programmer: frame sizes
// and markers, command codes and programmer states.
namespace nyra {

inline constexpr std::uint8_t kFrameStart = 0xA5;
inline constexpr std::uint8_t kFrameEnd = 0x5A;

inline constexpr std::size_t kCommandFrameSize = 20;
inline constexpr std::size_t kShortFrameSize = 4;
inline constexpr std::size_t kExtendedShortFrameSize = 16;
inline constexpr std::size_t kExtendedLongFrameSize = 45;
inline constexpr std::size_t kExtendedReplySize = 45;

inline constexpr std::size_t kCommandArgumentOffset = 13;
inline constexpr std::size_t kMaxCommandArgument = 6;

using CommandFrame = std::array<std::uint8_t, kCommandFrameSize>;

// Writes a command into the persistent frame: only bits 0..5 of byte 1 and
// as many argument bytes as given; earlier argument bytes stay. Arguments
// longer than six bytes are cut to six.
inline void writeCommand(CommandFrame& frame, std::uint8_t code,
                         std::span<const std::uint8_t> argument) {
    frame[1] = static_cast<std::uint8_t>((frame[1] & 0xC0) | (code & 0x3F));
    const std::size_t n = std::min(argument.size(), kMaxCommandArgument);
    std::copy_n(argument.begin(), n, frame.begin() + kCommandArgumentOffset);
}

// Command codes of the 20-byte frame (bits 0..5 of byte 1).
namespace cmd {
inline constexpr std::uint8_t kCarryParameters = 0;
inline constexpr std::uint8_t kProgramStart = 1;
inline constexpr std::uint8_t kStreamEnd = 2;
inline constexpr std::uint8_t kErase = 5;
inline constexpr std::uint8_t kReadIdentity = 7;
inline constexpr std::uint8_t kVerifyRead = 8;
inline constexpr std::uint8_t kEndOfOperation = 9;
inline constexpr std::uint8_t kRead = 13;
inline constexpr std::uint8_t kBlankCheck = 15;
inline constexpr std::uint8_t kReadUnit = 17;
inline constexpr std::uint8_t kFirmwareVersion = 18;
inline constexpr std::uint8_t kFillBlock = 19;
inline constexpr std::uint8_t kEnterUpgrade = 21;
inline constexpr std::uint8_t kSerialNumber = 22;
inline constexpr std::uint8_t kBetweenSteps = 25;
inline constexpr std::uint8_t kAdapterQuery = 32;
inline constexpr std::uint8_t kStateIndication = 34;
inline constexpr std::uint8_t kQuadEnable = 35;
}  // namespace cmd

// Programmer states carried by command 34.
namespace state {
inline constexpr std::uint8_t kNeutral = 0;
inline constexpr std::uint8_t kRunning = 1;
inline constexpr std::uint8_t kFailed = 2;
inline constexpr std::uint8_t kSucceeded = 3;
}  // namespace state

// Security (OTP) area operations of the extended frames, and the status
// byte of their replies.
namespace otp_op {
inline constexpr std::uint8_t kParameters = 1;
inline constexpr std::uint8_t kRead = 2;
inline constexpr std::uint8_t kStatus = 3;
inline constexpr std::uint8_t kLock = 4;
inline constexpr std::uint8_t kBegin = 5;
inline constexpr std::uint8_t kEnd = 6;
inline constexpr std::uint8_t kWrite = 37;
}  // namespace otp_op
namespace otp_reply {
inline constexpr std::uint8_t kDone = 0x37;
inline constexpr std::uint8_t kStatus = 0x38;
inline constexpr std::uint8_t kData = 0x39;
}  // namespace otp_reply

}  // namespace nyra
