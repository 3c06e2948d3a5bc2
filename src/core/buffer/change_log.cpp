// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/change_log.h"

#include <algorithm>
#include <cstdio>

namespace nyra::change_log {

namespace {

constexpr const char* kBegin =
    "\r\n---------------------------------------BEGIN---------------------------------------\r\n";

std::string zeroFilled(const char* format, unsigned value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    std::string result(text);
    std::replace(result.begin(), result.end(), ' ', '0');
    return result;
}

}  // namespace

std::string timeText(const LocalTime& time) {
    return "    " + dateTimeText(time);
}

std::string fileHeader(const LocalTime& time, const std::string& fileName) {
    return kBegin + timeText(time) + " " + fileName + " 文件修改如下：\r\n";
}

std::string chipHeader(const LocalTime& time, const std::string& deviceName) {
    return kBegin + timeText(time) + " " + deviceName + " 芯片内数据保存如下：\r\n";
}

std::string byteLine(std::uint64_t offset, std::optional<std::uint8_t> oldValue,
                     std::uint8_t newValue) {
    const std::string old = oldValue ? zeroFilled("%2X", *oldValue) : std::string("null");
    return "        [" + zeroFilled("%8X", static_cast<unsigned>(offset)) + "]: " + old + " --> " +
           zeroFilled("%2X", newValue) + "\r\n";
}

std::string savedAsLine(const std::string& deviceName, const std::string& fileName) {
    return "        [" + deviceName + " ]saved as[" + fileName + "]\r\n";
}

std::string closingLine() {
    return "----------------------------------------END----------------------------------------";
}

}  // namespace nyra::change_log
