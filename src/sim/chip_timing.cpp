// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/chip_timing.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "sim/chip_model.h"
#include "sim/text_util.h"

namespace nyra::sim {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// One part-number family. Chip erase is either a rate per MiB or, for parts
// whose erase does not grow with their size (SST), a fixed total.
struct PartFamily {
    std::string_view prefix;
    std::uint32_t pageProgramUs;
    std::uint32_t byteProgramUs;
    std::uint32_t sectorEraseUs;
    std::uint32_t blockEraseUs;
    std::uint32_t chipEraseUsPerMiB;
    std::uint32_t chipEraseTotalUs;
};

// Longer prefixes first: the first match wins.
constexpr std::array<PartFamily, 5> kPartFamilies{{
    // Older Macronix generation: slower page program and erase.
    {"MX25L6405", 1400, 30, 60000, 700000, 2500000, 0},
    {"MX25L", 600, 30, 40000, 400000, 2500000, 0},
    // Winbond W25Q and W25X: a W25Q64 chip erase is typically 20 s.
    {"W25", 700, 30, 45000, 150000, 2500000, 0},
    {"GD25", 600, 30, 50000, 200000, 2500000, 0},
    // SST byte/AAI parts: sector and block erase alike take 18 ms, and a chip
    // erase is one short pulse whatever the size.
    {"SST25", 10, 10, 18000, 18000, 0, 40000},
}};

constexpr std::uint32_t kGenericChipEraseUsPerMiB = 2500000;
constexpr std::uint32_t kEepromWriteCycleUs = 5000;     // 24Cxx, 25xx, SPD
constexpr std::uint32_t kMicrowireWriteCycleUs = 3000;  // 93Cxx, one word

std::uint32_t chipEraseForSize(std::uint32_t perMiB, std::uint32_t size) {
    const double us = perMiB * (size / kMiB);
    return us >= kMaxTimingUs ? kMaxTimingUs : static_cast<std::uint32_t>(std::llround(us));
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text::iequals(text.substr(0, prefix.size()), prefix);
}

bool fail(std::string* error, std::string message) {
    if (error)
        *error = std::move(message);
    return false;
}

}  // namespace

ChipTiming genericTiming(Family family, std::uint32_t size) {
    ChipTiming t;
    switch (family) {
        case Family::SpiFlash:
            t.chipEraseUs = chipEraseForSize(kGenericChipEraseUsPerMiB, size);
            return t;
        case Family::Microwire:
            t.pageProgramUs = kMicrowireWriteCycleUs;
            break;
        case Family::I2cEeprom:
        case Family::SpiEeprom:
        case Family::SpdEeprom:
            t.pageProgramUs = kEepromWriteCycleUs;
            break;
    }
    // Only the write cycle counts: EEPROMs have no byte program or erase of their own.
    t.byteProgramUs = 0;
    t.sectorEraseUs = 0;
    t.blockEraseUs = 0;
    t.chipEraseUs = 0;
    return t;
}

ChipTiming partTiming(std::string_view partName, Family family, std::uint32_t size) {
    if (family != Family::SpiFlash)
        return genericTiming(family, size);
    for (const PartFamily& f : kPartFamilies) {
        if (!startsWithNoCase(partName, f.prefix))
            continue;
        ChipTiming t;
        t.pageProgramUs = f.pageProgramUs;
        t.byteProgramUs = f.byteProgramUs;
        t.sectorEraseUs = f.sectorEraseUs;
        t.blockEraseUs = f.blockEraseUs;
        t.chipEraseUs =
            f.chipEraseTotalUs ? f.chipEraseTotalUs : chipEraseForSize(f.chipEraseUsPerMiB, size);
        return t;
    }
    return genericTiming(family, size);
}

bool isTimingKey(std::string_view key) {
    return key == "tpp" || key == "tbp" || key == "tse" || key == "tbe" || key == "tce" ||
           key == "twc";
}

bool parseDurationUs(std::string_view value, std::uint32_t& us) {
    double scale = 0;
    if (value.ends_with("us")) {
        scale = 1;
        value.remove_suffix(2);
    } else if (value.ends_with("ms")) {
        scale = 1000;
        value.remove_suffix(2);
    } else if (value.ends_with("s")) {
        scale = 1000000;
        value.remove_suffix(1);
    } else {
        return false;  // a bare number would be ambiguous
    }
    double number = 0;
    if (!text::parseDouble(text::trim(value), number) || number < 0)
        return false;
    const double total = number * scale;
    if (total > kMaxTimingUs)
        return false;
    us = static_cast<std::uint32_t>(std::llround(total));
    return true;
}

std::string formatDurationUs(std::uint64_t us) {
    char buf[32];
    if (us < 100) {
        std::snprintf(buf, sizeof buf, "%llu us", static_cast<unsigned long long>(us));
    } else if (us < 1000000) {
        std::snprintf(buf, sizeof buf, "%g ms", static_cast<double>(us) / 1000.0);
    } else {
        std::snprintf(buf, sizeof buf, "%g s", static_cast<double>(us) / 1000000.0);
    }
    return buf;
}

bool TimingOverrides::set(Family family, std::string_view key, std::string_view value,
                          std::string* error) {
    const bool flash = family == Family::SpiFlash;
    if (flash == (key == "twc")) {
        return fail(error, std::string(key) + (flash ? " applies to EEPROMs only; use tpp"
                                                     : " applies to SPI flash only; use twc"));
    }
    std::uint32_t us = 0;
    if (!parseDurationUs(value, us)) {
        return fail(error, "bad value for " + std::string(key) + ": '" + text::printable(value) +
                               "' (a time such as 700us, 0.7ms or 20s)");
    }
    if (key == "tpp" || key == "twc") {
        pageProgram_ = us;
    } else if (key == "tbp") {
        byteProgram_ = us;
    } else if (key == "tse") {
        sectorErase_ = us;
    } else if (key == "tbe") {
        blockErase_ = us;
    } else if (key == "tce") {
        chipErase_ = us;
    } else {
        return fail(error, "unknown key '" + text::printable(key) + "'");
    }
    return true;
}

ChipTiming TimingOverrides::applyTo(ChipTiming t) const {
    t.pageProgramUs = pageProgram_.value_or(t.pageProgramUs);
    t.byteProgramUs = byteProgram_.value_or(t.byteProgramUs);
    t.sectorEraseUs = sectorErase_.value_or(t.sectorEraseUs);
    t.blockEraseUs = blockErase_.value_or(t.blockEraseUs);
    t.chipEraseUs = chipErase_.value_or(t.chipEraseUs);
    return t;
}

std::string describeTiming(const ChipModel& m) {
    const ChipTiming& t = m.timing;
    if (isEeprom(m.family))
        return "write cycle " + formatDurationUs(t.pageProgramUs);
    std::string out = m.pageProgram ? "page program " + formatDurationUs(t.pageProgramUs)
                                    : "byte program " + formatDurationUs(t.byteProgramUs);
    out += ", 4K erase " + formatDurationUs(t.sectorEraseUs);
    out += ", 64K erase " + formatDurationUs(t.blockEraseUs);
    out += ", chip erase " + formatDurationUs(t.chipEraseUs);
    return out;
}

}  // namespace nyra::sim
