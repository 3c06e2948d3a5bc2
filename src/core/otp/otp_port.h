// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "otp/otp_table.h"

namespace nyra {

// What the OTP jobs tell the OTP window and read from it.
class OtpPort {
public:
    virtual ~OtpPort() = default;
    virtual void setLog(const std::string& text) = 0;
    virtual void appendLog(const std::string& text) = 0;
    // tick: the box's new tick when given, enabled or not; otherwise it keeps its own.
    virtual void setLockBox(bool enabled, std::optional<bool> tick) = 0;
    virtual void enableProgram(bool on) = 0;
    virtual void enableReadVerifyBlank(bool on) = 0;
    virtual void enableSave(bool on) = 0;
    virtual std::string filePath() const = 0;
    // The user's request to lock: a tick on an enabled box.
    virtual bool lockTicked() const = 0;
};

inline constexpr std::size_t kOtpBufferSize = 1024;

// The main window's OTP state, set by detection and the reads.
struct OtpState {
    std::optional<OtpMatch> match;
    std::uint8_t lockStateFlag = 0;
    std::uint8_t lockedByte = 0;
    // The box's tick only shows a locked chip; the next detection clears it.
    bool lockShown = false;
    std::array<std::uint8_t, kOtpBufferSize> data{};
    std::uint16_t dataLength = 0;  // 0: nothing to save
};

}  // namespace nyra
