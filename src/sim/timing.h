#pragma once

#include <cstdint>

#include "sim/chip_model.h"

namespace nyra::sim {

// How long the device is busy, in microseconds, for the work of one command.
// Figures are typical datasheet and full-speed USB values; the factor scales
// them all (0 makes the device instant, 10 makes it ten times slower).
class Timing {
public:
    explicit Timing(double factor = 0.0) { setFactor(factor); }
    void setFactor(double factor) { factor_ = factor > 0 ? (factor < 1000 ? factor : 1000) : 0; }
    double factor() const { return factor_; }

    // One flash page program or one EEPROM page/word write.
    std::int64_t pageWriteUs(Family family) const;
    // Flash byte program (parts without page program).
    std::int64_t byteProgramUs(std::uint32_t bytes) const;
    std::int64_t sectorEraseUs(std::uint32_t sectorBytes) const;
    // Flash chip erase; EEPROMs are written page by page with 0xFF.
    std::int64_t chipEraseUs(const ChipModel& model) const;
    // Reading bytes from the chip and moving them to the host.
    std::int64_t readUs(Family family, std::uint64_t bytes) const;
    // Reading bytes inside the device only (blank check).
    std::int64_t scanUs(Family family, std::uint64_t bytes) const;
    std::int64_t statusWriteUs() const { return scale(15000); }

private:
    std::int64_t scale(double us) const { return static_cast<std::int64_t>(us * factor_); }
    double factor_ = 0;
};

}  // namespace nyra::sim
