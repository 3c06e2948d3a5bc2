// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/clock.h"

// The record a save appends to log.txt: a header, one line per changed byte,
// and the closing line (without a line end, so the next record's leading
// line end separates them).
namespace nyra::change_log {

// log.txt is started anew once it has reached this size.
inline constexpr std::uint64_t kRestartSize = 104857600;

// "    %Y-%m-%d %H:%M:%S".
std::string timeText(const LocalTime& time);
std::string fileHeader(const LocalTime& time, const std::string& fileName);
std::string chipHeader(const LocalTime& time, const std::string& deviceName);
// oldValue empty: the byte lies beyond the end of the saved file.
std::string byteLine(std::uint64_t offset, std::optional<std::uint8_t> oldValue,
                     std::uint8_t newValue);
std::string savedAsLine(const std::string& deviceName, const std::string& fileName);
std::string closingLine();

}  // namespace nyra::change_log
