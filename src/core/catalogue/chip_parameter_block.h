// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/protocol.h"

namespace nyra {

// The 20-byte frame of every command: the selected chip's parameters, a
// 6-bit command code and up to six argument bytes. It is persistent: a
// command rewrites only its code and as many argument bytes as it has.
struct ChipParameterBlock {
    static constexpr std::size_t kSize = kCommandFrameSize;
    static constexpr std::uint8_t kStartMarker = kFrameStart;
    static constexpr std::uint8_t kEndMarker = kFrameEnd;

    CommandFrame bytes{};

    ChipParameterBlock() {
        bytes[0] = kStartMarker;
        bytes[kSize - 1] = kEndMarker;
    }

    // Byte 1: bit 7 five-volt chip, bit 6 16-bit organisation, bits 0..5 command.
    std::uint8_t commandCode() const { return bytes[1] & 0x3F; }
    void setCommandCode(std::uint8_t code) {
        bytes[1] = static_cast<std::uint8_t>((bytes[1] & 0xC0) | (code & 0x3F));
    }
    bool fiveVolt() const { return (bytes[1] & 0x80) != 0; }
    bool sixteenBit() const { return (bytes[1] & 0x40) != 0; }

    // Byte 2: bits 0..3 bus code, bit 7 adapter.
    std::uint8_t busCode() const { return bytes[2] & 0x0F; }
    bool adapter() const { return (bytes[2] & 0x80) != 0; }
    void setAdapter(bool on) {
        bytes[2] = static_cast<std::uint8_t>(on ? (bytes[2] | 0x80) : (bytes[2] & 0x7F));
    }

    std::uint8_t operationParameter() const { return bytes[3]; }
    std::uint8_t pageSizeCode() const { return bytes[4]; }
    std::uint8_t sectorSizeCode() const { return bytes[5]; }

    // Bytes 6..9, most significant first.
    std::uint32_t chipSize() const {
        return (std::uint32_t{bytes[6]} << 24) | (std::uint32_t{bytes[7]} << 16) |
               (std::uint32_t{bytes[8]} << 8) | std::uint32_t{bytes[9]};
    }
    void setChipSize(std::uint32_t size) {
        bytes[6] = static_cast<std::uint8_t>(size >> 24);
        bytes[7] = static_cast<std::uint8_t>(size >> 16);
        bytes[8] = static_cast<std::uint8_t>(size >> 8);
        bytes[9] = static_cast<std::uint8_t>(size);
    }

    std::uint8_t mainAddress() const { return bytes[10]; }
    std::uint8_t secondaryAddressHigh() const { return bytes[11]; }
    std::uint8_t secondaryAddressLow() const { return bytes[12]; }

    std::uint8_t argument(std::size_t i) const {
        return i < kMaxCommandArgument ? bytes[kCommandArgumentOffset + i] : 0;
    }
    // Stores the code and the first (at most six) argument bytes; later
    // argument bytes keep what an earlier command left.
    void setCommand(std::uint8_t code, std::span<const std::uint8_t> argument = {}) {
        writeCommand(bytes, code, argument);
    }

    friend bool operator==(const ChipParameterBlock&, const ChipParameterBlock&) = default;
};

}  // namespace nyra
