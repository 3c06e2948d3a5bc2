// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/chip_parameter_block.h"
#include "catalogue/chip_record.h"

namespace nyra {

// How the texts of a ChipRecord become numbers. No validation anywhere: a
// malformed text simply yields another number, never a fault.

// Code minus 55 from "A" up, else code minus 48.
int hexValue(char c);
// value = value * 10 + (code - 48) over every character, in 32-bit arithmetic.
std::uint32_t decimalValue(std::string_view text);
// The same, stopping at the first character that is not a digit.
std::uint32_t leadingDecimalValue(std::string_view text);
// i when value is 2^i for i in 0..16, else the value itself; low 8 bits kept.
std::uint8_t sizeCode(std::uint32_t value);

std::uint8_t pageSizeCode(std::string_view pageSize);
std::uint8_t sectorSizeCode(std::string_view sectorSize);
// Bytes of a capacity text ("32KB", "16MB", "512B", "1K*16bit" = 2048).
std::uint32_t chipSizeFromCapacity(std::string_view capacity);
// What the capacity label shows, e.g. "256Kbits/32Kbytes", or the text itself.
std::string capacityText(std::string_view capacity, std::uint32_t chipSize);

// Fills every parameter byte of the block from the record and returns the
// chip size. Bits 0..5 of byte 1 and the argument bytes are left alone.
std::uint32_t fillParameterBlock(const ChipRecord& record, bool adapter, ChipParameterBlock& block);

enum class PinoutPicture {
    Spi,               // CS SO WP GND / VCC HOLD SCK SI
    I2c,               // A0 A1 A2 GND / VCC WP SCL SDA
    I2cModeWc,         // I2C with pin 7 M/W
    Microwire,         // CS SK DI DO / VCC NC ORG GND
    MicrowireRotated,  // VCC on pin 2, ORG on pin 8
    SclSda,            // the further SCL/SDA pin-out
};
// The picture an operation type asks for; nothing keeps the current one.
std::optional<PinoutPicture> pinoutFor(std::string_view operationType);

using QeDescriptor = std::array<std::uint8_t, 2>;
inline constexpr QeDescriptor kQeWinbondGigaDevice = {9, 2};
inline constexpr QeDescriptor kQeMacronix = {6, 1};
// The QE descriptor when the chip offers the quad-enable controls.
std::optional<QeDescriptor> quadEnableFor(const ChipRecord& record, std::uint32_t chipSize);

inline constexpr const char* kChipInformationCaption = "芯片详细信息";
std::string chipInformationText(std::uint32_t selectedChip, const ChipRecord& record,
                                const ChipParameterBlock& block);

}  // namespace nyra
