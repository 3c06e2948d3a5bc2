// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/chip_model.h"

#include <array>
#include <cstdio>

#include "sim/text_util.h"

namespace nyra::sim {

namespace {

struct FamilyInfo {
    Family family;
    std::string_view name;
    std::uint8_t bus;
};

constexpr std::array<FamilyInfo, 5> kFamilies{{
    {Family::SpiFlash, "spi-flash", 0},
    {Family::I2cEeprom, "i2c-eeprom", 1},
    {Family::SpiEeprom, "spi-eeprom", 2},
    {Family::Microwire, "microwire", 3},
    {Family::SpdEeprom, "spd-eeprom", 4},
}};

const FamilyInfo& infoOf(Family family) {
    for (const auto& info : kFamilies) {
        if (info.family == family)
            return info;
    }
    return kFamilies[0];
}

bool isPowerOfTwo(std::uint64_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

ChipModel flash(std::string name, std::uint32_t jedec, std::optional<std::uint32_t> rems,
                std::uint32_t size, std::uint32_t sector = 4096) {
    ChipModel m;
    m.name = std::move(name);
    m.family = Family::SpiFlash;
    m.size = size;
    m.pageSize = 256;
    m.sectorSize = sector;
    m.jedecId = jedec;
    m.remsId = rems;
    return m;
}

ChipModel secondIdOnly(std::string name, std::optional<std::uint32_t> rems,
                       std::optional<std::uint32_t> res, std::uint32_t size, bool pageProgram) {
    ChipModel m = flash(std::move(name), 0, rems, size);
    m.jedecId.reset();
    m.resId = res;
    m.pageProgram = pageProgram;
    return m;
}

ChipModel eeprom(std::string name, Family family, std::uint32_t size, std::uint32_t page) {
    ChipModel m;
    m.name = std::move(name);
    m.family = family;
    m.size = size;
    m.pageSize = page;
    m.sectorSize = 0;
    return m;
}

ChipModel microwire(std::string name, std::uint32_t size, int org, bool rotated = false) {
    ChipModel m = eeprom(std::move(name), Family::Microwire, size, org == 16 ? 2 : 1);
    m.organisation = org;
    m.rotatedPinout = rotated;
    return m;
}

std::vector<ChipModel> makeBuiltins() {
    constexpr std::uint32_t kKi = 1024;
    constexpr std::uint32_t kMi = 1024 * 1024;
    std::vector<ChipModel> chips;
    chips.push_back(flash("W25Q64FV", 0xEF4017, 0x00EF16, 8 * kMi));
    chips.push_back(flash("W25Q128FV", 0xEF4018, 0x00EF17, 16 * kMi));
    chips.push_back(flash("W25Q32FV", 0xEF4016, 0x00EF15, 4 * kMi));
    chips.push_back(flash("W25Q256FV", 0xEF4019, 0x00EF18, 32 * kMi));
    chips.push_back(flash("W25X40", 0xEF3013, 0x00EF12, 512 * kKi));
    chips.push_back(flash("MX25L6405", 0xC22017, 0x00C216, 8 * kMi, 64 * kKi));
    chips.push_back(flash("MX25L12835F", 0xC22018, 0x00C217, 16 * kMi));
    chips.push_back(flash("GD25Q32", 0xC84016, 0x00C815, 4 * kMi));
    chips.push_back(flash("EN25Q64", 0x1C3017, 0x001C16, 8 * kMi));
    ChipModel sst = flash("SST25VF016B", 0xBF2541, 0x00BF41, 2 * kMi);
    sst.pageProgram = false;
    chips.push_back(sst);
    // Old parts without RDID, found only by their second ID: one that answers
    // REMS and two that answer only RES with maker and device.
    chips.push_back(secondIdOnly("SST25VF040", 0x00BF44, std::nullopt, 512 * kKi, false));
    chips.push_back(secondIdOnly("SST25LF040A", std::nullopt, 0x00BF44, 512 * kKi, false));
    chips.push_back(secondIdOnly("Pm25LV010", std::nullopt, 0x009D7C, 128 * kKi, true));
    chips.push_back(eeprom("AT24C02", Family::I2cEeprom, 256, 8));
    chips.push_back(eeprom("24C16", Family::I2cEeprom, 2 * kKi, 16));
    chips.push_back(eeprom("24C256", Family::I2cEeprom, 32 * kKi, 64));
    chips.push_back(eeprom("24CM02", Family::I2cEeprom, 256 * kKi, 256));
    chips.push_back(eeprom("EE1004", Family::SpdEeprom, 512, 16));
    chips.push_back(eeprom("25LC040", Family::SpiEeprom, 512, 16));
    chips.push_back(eeprom("25LC640", Family::SpiEeprom, 8 * kKi, 32));
    chips.push_back(eeprom("M95256", Family::SpiEeprom, 32 * kKi, 64));
    chips.push_back(microwire("93C46x8", 128, 8));
    chips.push_back(microwire("93C46x16", 128, 16));
    chips.push_back(microwire("93C66x8", 512, 8));
    chips.push_back(microwire("93C66x16", 512, 16));
    chips.push_back(microwire("93C86x16", 2 * kKi, 16));
    chips.push_back(microwire("93LC46BX", 128, 16, true));
    return chips;
}

bool fail(std::string* error, std::string message) {
    if (error)
        *error = std::move(message);
    return false;
}

bool parseId(std::string_view value, std::uint32_t& out) {
    std::uint64_t v = 0;
    if (value.size() != 6 || !text::parseHex(value, v))
        return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

}  // namespace

std::uint8_t busCodeOf(Family family) {
    return infoOf(family).bus;
}

std::string_view familyName(Family family) {
    return infoOf(family).name;
}

std::optional<Family> familyFromName(std::string_view name) {
    for (const auto& info : kFamilies) {
        if (text::iequals(info.name, name))
            return info.family;
    }
    return std::nullopt;
}

bool isEeprom(Family family) {
    return family != Family::SpiFlash;
}

bool validateChipModel(const ChipModel& m, std::string* error) {
    if (m.size == 0 || m.size > kMaxChipSize) {
        return fail(error, "size must be between 1 byte and 256M");
    }
    if (!isPowerOfTwo(m.pageSize) || m.pageSize > m.size || m.pageSize > 4096) {
        return fail(error, "page must be a power of two, at most 4096 and at most the size");
    }
    if (m.family == Family::SpiFlash) {
        if (!isPowerOfTwo(m.sectorSize) || m.sectorSize < m.pageSize || m.sectorSize > m.size ||
            m.size % m.sectorSize != 0) {
            return fail(error, "sector must be a power of two between the page and the size");
        }
    } else if (m.sectorSize != 0) {
        return fail(error, "only SPI flash has sectors");
    }
    if (m.family == Family::Microwire) {
        if (m.organisation != 8 && m.organisation != 16)
            return fail(error, "org must be 8 or 16");
        if (m.pageSize != static_cast<std::uint32_t>(m.organisation / 8)) {
            return fail(error, "a Microwire page is one word");
        }
        if (m.size % m.pageSize != 0)
            return fail(error, "size must be whole words");
    } else if (m.organisation != 8 || m.rotatedPinout) {
        return fail(error, "org and pinout apply to Microwire only");
    }
    if (m.family != Family::SpiFlash && (m.jedecId || m.remsId || m.resId || !m.pageProgram)) {
        return fail(error, "id, rems, res and program apply to SPI flash only");
    }
    return true;
}

namespace {

// Every built-in part gets the typical figures of its part-number family.
std::vector<ChipModel> withPartTiming(std::vector<ChipModel> chips) {
    for (ChipModel& chip : chips)
        chip.timing = partTiming(chip.name, chip.family, chip.size);
    return chips;
}

}  // namespace

const std::vector<ChipModel>& builtinChips() {
    static const std::vector<ChipModel> chips = withPartTiming(makeBuiltins());
    return chips;
}

std::optional<ChipModel> builtinChip(std::string_view name) {
    for (const auto& chip : builtinChips()) {
        if (text::iequals(chip.name, name))
            return chip;
    }
    return std::nullopt;
}

std::optional<ChipModel> parseChipDescription(std::string_view textIn, std::string* error) {
    const std::string_view description = text::trim(textIn);
    if (description.empty()) {
        fail(error, "empty chip description");
        return std::nullopt;
    }
    const std::size_t colon = description.find(':');
    if (colon == std::string_view::npos) {
        if (auto chip = builtinChip(description))
            return chip;
        fail(error, "unknown chip '" + text::printable(description) + "' (see list-chips)");
        return std::nullopt;
    }
    const auto family = familyFromName(text::trim(description.substr(0, colon)));
    if (!family) {
        fail(error, "unknown chip family '" + text::printable(description.substr(0, colon)) + "'");
        return std::nullopt;
    }
    ChipModel m;
    m.family = *family;
    m.name = std::string(familyName(*family));
    m.pageSize = *family == Family::SpiFlash ? 256 : *family == Family::I2cEeprom ? 8 : 16;
    m.sectorSize = *family == Family::SpiFlash ? 4096 : 0;
    bool pageGiven = false;
    bool sizeGiven = false;
    TimingOverrides timing;
    for (std::string_view item : text::split(description.substr(colon + 1), ',')) {
        item = text::trim(item);
        if (item.empty())
            continue;
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            fail(error, "expected key=value, got '" + text::printable(item) + "'");
            return std::nullopt;
        }
        const std::string key = text::lower(text::trim(item.substr(0, eq)));
        const std::string_view value = text::trim(item.substr(eq + 1));
        std::uint64_t number = 0;
        bool ok = true;
        if (isTimingKey(key)) {
            if (!timing.set(m.family, key, value, error))
                return std::nullopt;
        } else if (key == "size") {
            ok = text::parseSize(value, number) && number <= kMaxChipSize;
            m.size = static_cast<std::uint32_t>(number);
            sizeGiven = true;
        } else if (key == "page") {
            ok = text::parseSize(value, number) && number <= kMaxChipSize;
            m.pageSize = static_cast<std::uint32_t>(number);
            pageGiven = true;
        } else if (key == "sector") {
            ok = text::parseSize(value, number) && number <= kMaxChipSize;
            m.sectorSize = static_cast<std::uint32_t>(number);
        } else if (key == "id") {
            std::uint32_t id = 0;
            ok = parseId(value, id);
            m.jedecId = id;
        } else if (key == "rems") {
            std::uint32_t id = 0;
            ok = parseId(value, id);
            m.remsId = id;
        } else if (key == "res") {
            std::uint32_t id = 0;
            ok = parseId(value, id);
            m.resId = id;
        } else if (key == "org") {
            ok = value == "8" || value == "16";
            m.organisation = value == "16" ? 16 : 8;
        } else if (key == "pinout") {
            ok = text::iequals(value, "standard") || text::iequals(value, "rotated");
            m.rotatedPinout = text::iequals(value, "rotated");
        } else if (key == "program") {
            ok = text::iequals(value, "page") || text::iequals(value, "byte");
            m.pageProgram = text::iequals(value, "page");
        } else if (key == "name") {
            ok = !value.empty() && value.size() <= 40 && text::printable(value) == value;
            m.name = std::string(value);
        } else {
            fail(error, "unknown key '" + text::printable(key) + "'");
            return std::nullopt;
        }
        if (!ok) {
            fail(error, "bad value for " + key + ": '" + text::printable(value) + "'");
            return std::nullopt;
        }
    }
    if (!sizeGiven) {
        fail(error, "size is required");
        return std::nullopt;
    }
    if (m.family == Family::Microwire && !pageGiven) {
        m.pageSize = static_cast<std::uint32_t>(m.organisation / 8);
    }
    m.timing = timing.applyTo(genericTiming(m.family, m.size));
    if (!validateChipModel(m, error))
        return std::nullopt;
    return m;
}

std::string describeChip(const ChipModel& m) {
    auto hex6 = [](const std::optional<std::uint32_t>& id) {
        if (!id)
            return std::string("none");
        char buf[8];
        std::snprintf(buf, sizeof buf, "%06X", *id & 0xFFFFFFu);
        return std::string(buf);
    };
    std::string out = m.name + ": " + std::string(familyName(m.family)) + ", " +
                      std::to_string(m.size) + " bytes, page " + std::to_string(m.pageSize);
    if (m.family == Family::SpiFlash) {
        out += ", sector " + std::to_string(m.sectorSize) + ", id " + hex6(m.jedecId) + ", rems " +
               hex6(m.remsId);
        if (m.resId)
            out += ", res " + hex6(m.resId);
        if (!m.pageProgram)
            out += ", byte program";
    } else if (m.family == Family::Microwire) {
        out += m.organisation == 16 ? ", x16" : ", x8";
        if (m.rotatedPinout)
            out += ", rotated pin-out";
    }
    return out;
}

}  // namespace nyra::sim
