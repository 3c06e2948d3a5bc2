// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "device/protocol.h"

namespace nyra::sim {

inline constexpr std::size_t kBootFrameSize = kShortFrameSize;
inline constexpr std::size_t kOtpShortFrameSize = kExtendedShortFrameSize;
inline constexpr std::size_t kOtpLongFrameSize = kExtendedLongFrameSize;

enum class FrameKind {
    Command,     // 20 bytes
    BootLoader,  // 4 bytes
    OtpShort,    // 16 bytes
    OtpLong,     // 45 bytes
    Malformed,
};

// By length and markers only; the content is checked by the handler.
FrameKind classifyFrame(std::span<const std::uint8_t> bytes);

// A decoded 20-byte command frame: the chip parameters and the argument.
class CommandFrame {
public:
    static std::optional<CommandFrame> parse(std::span<const std::uint8_t> bytes);

    const std::array<std::uint8_t, kCommandFrameSize>& raw() const { return raw_; }
    std::uint8_t code() const { return raw_[1] & 0x3F; }
    bool wide() const { return (raw_[1] & 0x40) != 0; }  // 16-bit organisation
    bool familyBit() const { return (raw_[1] & 0x80) != 0; }
    std::uint8_t bus() const { return raw_[2] & 0x0F; }
    bool adapter() const { return (raw_[2] & 0x80) != 0; }
    std::uint8_t parameter() const { return raw_[3]; }
    std::uint8_t pageCode() const { return raw_[4]; }
    std::uint8_t sectorCode() const { return raw_[5]; }
    std::uint32_t chipSize() const { return be32(6); }
    std::uint8_t mainAddress() const { return raw_[10]; }
    std::uint8_t addressBytes() const { return raw_[11]; }
    std::uint8_t addressExtra() const { return raw_[12]; }
    std::uint8_t argument(int i) const { return raw_[13 + i]; }  // i in 0..5
    std::uint32_t argument32() const { return be32(13); }

    // Page size in bytes from its code (2^code, or the code itself when the
    // size is not a power of two); 0 for "none" (255).
    std::uint32_t pageBytes() const;
    // Erase unit for the fill command: the sector when a sector code is
    // given, else the page (256 when none), doubled for 16-bit chips.
    std::uint32_t fillUnitBytes() const;
    // SPI flash: the high digit of the parameter (or the address-byte count)
    // selects four address bytes; the low digit is the write method.
    bool fourByteAddress() const {
        return bus() == 0 && ((parameter() >> 4) == 1 || addressBytes() == 4);
    }
    std::uint8_t writeMethod() const { return parameter() & 0x0F; }

private:
    std::uint32_t be32(int at) const {
        return (std::uint32_t{raw_[at]} << 24) | (std::uint32_t{raw_[at + 1]} << 16) |
               (std::uint32_t{raw_[at + 2]} << 8) | raw_[at + 3];
    }
    std::array<std::uint8_t, kCommandFrameSize> raw_{};
};

}  // namespace nyra::sim
