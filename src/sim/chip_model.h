// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/chip_timing.h"

namespace nyra::sim {

// Chip families, each reached on its own bus code (see docs/device-protocol.md).
enum class Family : std::uint8_t {
    SpiFlash,   // bus 0: 25-series SPI NOR flash
    I2cEeprom,  // bus 1: 24-series I2C EEPROM
    SpiEeprom,  // bus 2: 25xxx / M95xxx SPI EEPROM
    Microwire,  // bus 3: 93-series Microwire EEPROM
    SpdEeprom,  // bus 4: I2C EEPROM on the 3.3 V SCL/SDA pin-out (SPD parts)
};

std::uint8_t busCodeOf(Family family);
std::string_view familyName(Family family);
std::optional<Family> familyFromName(std::string_view name);
bool isEeprom(Family family);

// Everything the device model needs to know about one chip type.
struct ChipModel {
    std::string name;
    Family family = Family::SpiFlash;
    std::uint32_t size = 0;                // bytes
    std::uint32_t pageSize = 256;          // program page; Microwire: bytes per word (1 or 2)
    std::uint32_t sectorSize = 0;          // SPI flash erase unit; 0 for EEPROMs
    ChipTiming timing;                     // typical busy times of this part
    std::optional<std::uint32_t> jedecId;  // RDID (9Fh) answer
    std::optional<std::uint32_t> remsId;   // REMS (90h) answer: 00, maker, device
    std::optional<std::uint32_t> resId;    // RES (ABh) read as 00, maker, device (RES-only parts)
    int organisation = 8;                  // Microwire: 8 or 16 bits
    bool rotatedPinout = false;            // Microwire: rotated pin-out parts
    bool pageProgram = true;               // SPI flash: false for byte/AAI-only parts (old SST)

    // The operation parameter under which a Microwire chip answers.
    std::uint8_t microwireParameter() const {
        return static_cast<std::uint8_t>((organisation == 16 ? 0x10 : 0x00) |
                                         (rotatedPinout ? 0x01 : 0x00));
    }
};

// Largest chip the model accepts; keeps a bad description from exhausting memory.
inline constexpr std::uint32_t kMaxChipSize = 256u << 20;

bool validateChipModel(const ChipModel& model, std::string* error);

const std::vector<ChipModel>& builtinChips();
std::optional<ChipModel> builtinChip(std::string_view name);  // case-insensitive

// A built-in name, or a generic description
//   <family>:size=<n>[,page=<n>][,sector=<n>][,id=<hex6>][,rems=<hex6>][,res=<hex6>]
//            [,org=8|16][,pinout=standard|rotated][,program=page|byte][,name=<text>]
//            [,tpp=|tbp=|tse=|tbe=|tce=<time>] (SPI flash) [,twc=<time>] (EEPROMs)
// with <family> one of spi-flash, i2c-eeprom, spi-eeprom, microwire, spd-eeprom.
std::optional<ChipModel> parseChipDescription(std::string_view text, std::string* error);

// One line: name, family, size, geometry and identities.
std::string describeChip(const ChipModel& model);

}  // namespace nyra::sim
