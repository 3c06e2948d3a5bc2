// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/timing.h"

namespace nyra::sim {

namespace {

// Nanoseconds per byte read from the chip, by family (bus clock bound).
double readNsPerByte(Family family) {
    switch (family) {
        case Family::SpiFlash:
            return 250;  // 33 MHz SPI
        case Family::SpiEeprom:
            return 2000;  // 5 MHz SPI
        case Family::Microwire:
            return 8000;  // 1 MHz Microwire
        case Family::I2cEeprom:
        case Family::SpdEeprom:
            return 25000;  // 400 kHz I2C
    }
    return 250;
}

constexpr double kUsbNsPerByte = 1000;  // full-speed bulk, about 1 MB/s

}  // namespace

std::int64_t Timing::pageWriteUs(const ChipModel& model) const {
    return scale(model.timing.pageProgramUs);
}

std::int64_t Timing::byteProgramUs(const ChipModel& model, std::uint32_t steps) const {
    return scale(static_cast<double>(model.timing.byteProgramUs) * steps);
}

std::int64_t Timing::sectorEraseUs(const ChipModel& model, std::uint32_t unitBytes) const {
    const ChipTiming& t = model.timing;
    if (unitBytes <= 4096)
        return scale(t.sectorEraseUs);
    // 32 KiB blocks take about as long as 64 KiB ones; larger units are several blocks.
    const double blocks = unitBytes <= 65536 ? 1.0 : unitBytes / 65536.0;
    return scale(static_cast<double>(t.blockEraseUs) * blocks);
}

std::int64_t Timing::chipEraseUs(const ChipModel& model) const {
    if (model.family == Family::SpiFlash)
        return scale(model.timing.chipEraseUs);
    const std::uint32_t pages = (model.size + model.pageSize - 1) / model.pageSize;
    return pages * pageWriteUs(model);
}

std::int64_t Timing::readUs(Family family, std::uint64_t bytes) const {
    const double perByte =
        readNsPerByte(family) > kUsbNsPerByte ? readNsPerByte(family) : kUsbNsPerByte;
    return scale(perByte * static_cast<double>(bytes) / 1000.0);
}

std::int64_t Timing::scanUs(Family family, std::uint64_t bytes) const {
    return scale(readNsPerByte(family) * static_cast<double>(bytes) / 1000.0);
}

}  // namespace nyra::sim
