// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "device/command_channel.h"

namespace nyra {

// Bytes one OTP read or write moves at most.
inline constexpr std::size_t kOtpStep = 32;

struct OtpStatus {
    std::uint8_t lockByte = 0;  // non-zero: locked
    std::uint8_t value = 0;
};

// The OTP operations over extended frames: addresses and lengths travel
// least significant byte first, replies are 45 bytes checked whole.
class OtpChannel {
public:
    explicit OtpChannel(CommandChannel& channel) : channel_(channel) {}

    bool sendParameters(const std::array<std::uint8_t, 9>& parameters);
    // length ≤ kOtpStep.
    std::optional<std::vector<std::uint8_t>> read(std::uint16_t address, std::uint16_t length);
    std::optional<OtpStatus> status();
    bool lock();
    bool begin();
    bool end();
    bool write(std::uint16_t address, std::span<const std::uint8_t> data);

private:
    using Reply = std::array<std::uint8_t, kExtendedReplySize>;
    // Sends an extended short frame and reads its reply, valid or nothing.
    std::optional<Reply> exchange(std::uint8_t operation, std::span<const std::uint8_t> argument,
                                  std::uint8_t status, int readTimeoutMs);

    CommandChannel& channel_;
};

}  // namespace nyra
