// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/chip.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace nyra::sim {

bool allErased(std::span<const std::uint8_t> bytes) {
    // Whole words at a time: chip-sized arrays are checked on every erase.
    static const std::vector<std::uint8_t> erased(4096, 0xFF);
    for (std::size_t done = 0; done < bytes.size(); done += erased.size()) {
        const std::size_t n = std::min(erased.size(), bytes.size() - done);
        if (std::memcmp(bytes.data() + done, erased.data(), n) != 0)
            return false;
    }
    return true;
}

Chip::Chip(ChipModel model) : model_(std::move(model)), memory_(model_.size, 0xFF) {
    if (model_.jedecId) {
        if (auto layout = otpLayoutFor(*model_.jedecId))
            otp_.emplace(std::move(*layout));
    }
}

void Chip::read(std::uint64_t address, std::span<std::uint8_t> out) const {
    std::uint32_t index = wrap(address);
    std::size_t done = 0;
    while (done < out.size()) {
        const std::size_t n = std::min<std::size_t>(out.size() - done, model_.size - index);
        std::memcpy(out.data() + done, memory_.data() + index, n);
        done += n;
        index = 0;
    }
}

void Chip::store(std::uint32_t index, std::uint8_t value) {
    storeRun(index, std::span<const std::uint8_t>(&value, 1));
}

void Chip::storeRun(std::uint32_t index, std::span<const std::uint8_t> values) {
    std::uint8_t* cells = memory_.data() + index;
    written_ = true;
    if (isEeprom(model_.family) && stuckBits_ == 0) {
        if (std::memcmp(cells, values.data(), values.size()) != 0) {
            std::memcpy(cells, values.data(), values.size());
            dirty_ = true;
        }
        return;
    }
    const bool eeprom = isEeprom(model_.family);
    std::uint8_t changed = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto value = static_cast<std::uint8_t>(values[i] | stuckBits_);
        const auto next = eeprom ? value : static_cast<std::uint8_t>(cells[i] & value);
        changed = static_cast<std::uint8_t>(changed | (cells[i] ^ next));
        cells[i] = next;
    }
    if (changed != 0)
        dirty_ = true;
}

void Chip::writePage(std::uint64_t address, std::span<const std::uint8_t> data) {
    const std::uint32_t page = model_.pageSize;
    const std::uint32_t start = wrap(address);
    const std::uint32_t base = start - start % page;
    std::uint32_t offset = start - base;
    std::size_t done = 0;
    while (done < data.size()) {
        // A page cut short by the end of a small chip rolls over there too.
        const std::uint32_t pageEnd = std::min<std::uint32_t>(page, model_.size - base);
        const std::size_t n = std::min<std::size_t>(pageEnd - offset, data.size() - done);
        storeRun(base + offset, data.subspan(done, n));
        done += n;
        offset = 0;
    }
}

void Chip::writeByte(std::uint64_t address, std::uint8_t value) {
    store(wrap(address), value);
}

void Chip::eraseSector(std::uint64_t address) {
    if (model_.family != Family::SpiFlash)
        return;
    const std::uint32_t start = wrap(address) - wrap(address) % model_.sectorSize;
    eraseRange(start, std::min(model_.sectorSize, model_.size - start));
}

void Chip::eraseAll() {
    eraseRange(0, model_.size);
}

void Chip::eraseRange(std::uint32_t start, std::uint32_t length) {
    const std::span<std::uint8_t> cells(memory_.data() + start, length);
    written_ = true;
    if (!allErased(cells)) {
        std::fill(cells.begin(), cells.end(), 0xFF);
        dirty_ = true;
    }
}

void Chip::setStatusBit(int bit, bool on) {
    if (bit < 0 || bit > 15)
        return;
    const auto mask = static_cast<std::uint16_t>(1u << bit);
    status_ = static_cast<std::uint16_t>(on ? (status_ | mask) : (status_ & ~mask));
}

void Chip::load(std::span<const std::uint8_t> bytes) {
    const std::size_t n = bytes.size() < memory_.size() ? bytes.size() : memory_.size();
    if (n == 0)
        return;
    std::memcpy(memory_.data(), bytes.data(), n);
    dirty_ = true;
}

bool loadChipImage(Chip& chip, const std::string& path, std::string* note) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (note)
            *note = "cannot read image " + path;
        return false;
    }
    std::vector<std::uint8_t> bytes(chip.size());
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    const bool longer = in && in.peek() != std::char_traits<char>::eof();
    bytes.resize(got);
    chip.load(bytes);
    chip.markClean();
    if (note) {
        note->clear();
        if (got < chip.size()) {
            *note = "image " + path + " is shorter than the chip; the rest reads erased";
        } else if (longer) {
            *note = "image " + path + " is longer than the chip; the excess is ignored";
        }
    }
    return true;
}

bool saveChipImage(const Chip& chip, const std::string& path, std::string* error) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        const auto bytes = chip.contents();
        if (out) {
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
        if (!out) {
            if (error)
                *error = "cannot write image " + temp;
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        if (error)
            *error = "cannot replace image " + path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace nyra::sim
