// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/frame.h"

#include <algorithm>

namespace nyra::sim {

FrameKind classifyFrame(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2 || bytes.front() != kFrameStart || bytes.back() != kFrameEnd) {
        return FrameKind::Malformed;
    }
    switch (bytes.size()) {
        case kCommandFrameSize:
            return FrameKind::Command;
        case kBootFrameSize:
            return FrameKind::BootLoader;
        case kOtpShortFrameSize:
            return bytes[1] == 1 ? FrameKind::OtpShort : FrameKind::Malformed;
        case kOtpLongFrameSize:
            return bytes[1] == 2 ? FrameKind::OtpLong : FrameKind::Malformed;
        default:
            return FrameKind::Malformed;
    }
}

std::optional<CommandFrame> CommandFrame::parse(std::span<const std::uint8_t> bytes) {
    if (classifyFrame(bytes) != FrameKind::Command)
        return std::nullopt;
    CommandFrame frame;
    std::copy(bytes.begin(), bytes.end(), frame.raw_.begin());
    return frame;
}

std::uint32_t CommandFrame::pageBytes() const {
    const std::uint8_t code = pageCode();
    if (code == 0xFF || code == 0)
        return 0;
    if (code <= 16)
        return 1u << code;
    return code;
}

std::uint32_t CommandFrame::fillUnitBytes() const {
    const std::uint8_t sector = sectorCode();
    if (sector != 0 && sector != 0xFF) {
        return sector <= 18 ? (1u << (sector + 10)) : 0;  // beyond 256 MiB: nonsense
    }
    if (sector == 0xFF)
        return 0;  // whole-chip erase only: no fill units
    std::uint32_t page = pageCode() == 0xFF ? 256 : pageBytes();
    if (page == 0)
        page = 1;  // a page code of 0 means one byte
    return wide() ? page * 2 : page;
}

}  // namespace nyra::sim
