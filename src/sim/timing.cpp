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

std::int64_t Timing::pageWriteUs(Family family) const {
    return scale(family == Family::SpiFlash ? 700 : 5000);
}

std::int64_t Timing::byteProgramUs(std::uint32_t bytes) const {
    return scale(10.0 * bytes);
}

std::int64_t Timing::sectorEraseUs(std::uint32_t sectorBytes) const {
    // 45 ms for a 4 KiB sector; large blocks erase faster per byte.
    if (sectorBytes <= 4096)
        return scale(45000);
    return scale(150000.0 * (sectorBytes / 65536.0 < 1 ? 1 : sectorBytes / 65536.0));
}

std::int64_t Timing::chipEraseUs(const ChipModel& model) const {
    if (model.family == Family::SpiFlash) {
        const double mib = model.size / (1024.0 * 1024.0);
        return scale(300000.0 * (mib < 0.25 ? 0.25 : mib));
    }
    const std::uint32_t pages = (model.size + model.pageSize - 1) / model.pageSize;
    return pages * pageWriteUs(model.family);
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
