// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/chip_model.h"

namespace nyra::sim {

// How long the device is busy, in microseconds, for the work of one command.
// The chip's own figures come from its model's timing record, the bus and USB
// speeds from here; the factor scales them all (0 makes the device instant,
// 10 makes it ten times slower).
class Timing {
public:
    explicit Timing(double factor = 0.0) { setFactor(factor); }
    void setFactor(double factor) { factor_ = factor > 0 ? (factor < 1000 ? factor : 1000) : 0; }
    double factor() const { return factor_; }

    // One flash page program or one EEPROM page/word write cycle.
    std::int64_t pageWriteUs(const ChipModel& model) const;
    // Flash byte programs or AAI words.
    std::int64_t byteProgramUs(const ChipModel& model, std::uint32_t steps) const;
    // Erasing one flash erase unit of that many bytes (sector or block).
    std::int64_t sectorEraseUs(const ChipModel& model, std::uint32_t unitBytes) const;
    // Flash chip erase; EEPROMs are written page by page with 0xFF.
    std::int64_t chipEraseUs(const ChipModel& model) const;
    // Reading bytes from the chip and moving them to the host.
    std::int64_t readUs(Family family, std::uint64_t bytes) const;
    // Reading bytes inside the device only (blank check).
    std::int64_t scanUs(Family family, std::uint64_t bytes) const;
    std::int64_t statusWriteUs() const { return scale(15000); }

    // The programmer's own microcontroller: its boot loader erases the
    // application flash in 1 KiB pages and programs each 64-byte chunk it
    // receives; a restart drops it off the bus for a USB re-enumeration.
    std::int64_t bootBlockEraseUs() const { return scale(20000); }
    std::int64_t bootChunkProgramUs(std::size_t bytes) const {
        return scale(25.0 * static_cast<double>(bytes));
    }
    std::int64_t bootReadBackUs(std::size_t bytes) const { return readUs(Family::SpiFlash, bytes); }
    // Decoding the stored image and adding it up before the finish answers.
    std::int64_t bootImageCheckUs(std::size_t bytes) const {
        return scale(2000 + 0.2 * static_cast<double>(bytes));
    }
    std::int64_t reenumerationUs() const { return scale(300000); }

private:
    std::int64_t scale(double us) const { return static_cast<std::int64_t>(us * factor_); }
    double factor_ = 0;
};

}  // namespace nyra::sim
