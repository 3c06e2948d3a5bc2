// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nyra::sim {

enum class Family : std::uint8_t;  // chip_model.h
struct ChipModel;

// How long one chip type is busy, in microseconds at timing factor 1.
// Datasheet-typical figures: the device model waits as long as the real part
// typically does, so the program's long waits are really exercised.
struct ChipTiming {
    std::uint32_t pageProgramUs = 700;    // flash page program; EEPROM page or word write cycle
    std::uint32_t byteProgramUs = 30;     // flash byte program, or one AAI word
    std::uint32_t sectorEraseUs = 45000;  // 4 KiB sector
    std::uint32_t blockEraseUs = 150000;  // 64 KiB block
    std::uint32_t chipEraseUs = 0;        // flash chip erase; EEPROMs write every page instead

    bool operator==(const ChipTiming&) const = default;
};

// Longest time a description may give; keeps every product in range.
inline constexpr std::uint32_t kMaxTimingUs = 3600u * 1000 * 1000;

// Figures of a generic chip of this family and size.
ChipTiming genericTiming(Family family, std::uint32_t size);
// Figures of a known part, from the part-number family it belongs to (W25,
// MX25L, GD25, SST25, ...); a part of no known family gets genericTiming.
ChipTiming partTiming(std::string_view partName, Family family, std::uint32_t size);

// Timing keys of a generic chip description: tpp, tbp, tse, tbe, tce for SPI
// flash, twc for EEPROMs; values with a unit: 700us, 0.7ms, 20s.
bool isTimingKey(std::string_view key);

class TimingOverrides {
public:
    // False with a reason for a bad value or a key of the other families.
    bool set(Family family, std::string_view key, std::string_view value, std::string* error);
    // The defaults of a chip, with the given keys replacing them.
    ChipTiming applyTo(ChipTiming timing) const;

private:
    std::optional<std::uint32_t> pageProgram_;
    std::optional<std::uint32_t> byteProgram_;
    std::optional<std::uint32_t> sectorErase_;
    std::optional<std::uint32_t> blockErase_;
    std::optional<std::uint32_t> chipErase_;
};

// "700us", "0.7ms", "20s": a duration as a description takes it.
bool parseDurationUs(std::string_view text, std::uint32_t& us);
std::string formatDurationUs(std::uint64_t us);

// One line of the figures that apply to the chip's family and write method.
std::string describeTiming(const ChipModel& model);

}  // namespace nyra::sim
