// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "ops/job_context.h"
#include "ops/otp_channel.h"
#include "otp/otp_port.h"

namespace nyra {

// Detection's results.
inline constexpr int kOtpNotFound = -1;
inline constexpr int kOtpNoParameters = 0;
inline constexpr int kOtpNoStatus = 1;
inline constexpr int kOtpNoAccess = 2;
inline constexpr int kOtpLocked = 3;
inline constexpr int kOtpReady = 4;

struct OtpJobContext {
    ChipJobRoles job;
    OtpPort& window;
    OtpState& state;
};

// Jobs 26..31.
int detectOtp(OtpJobContext& context, bool beeps);
std::uint8_t programOtp(OtpJobContext& context);
std::uint8_t readOtp(OtpJobContext& context);
std::uint8_t saveOtp(OtpJobContext& context);
std::uint8_t verifyOtp(OtpJobContext& context);
std::uint8_t blankCheckOtp(OtpJobContext& context);

}  // namespace nyra
