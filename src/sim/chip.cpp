#include "sim/chip.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace nyra::sim {

Chip::Chip(ChipModel model) : model_(std::move(model)), memory_(model_.size, 0xFF) {}

void Chip::read(std::uint64_t address, std::span<std::uint8_t> out) const {
    std::uint32_t index = wrap(address);
    for (auto& byte : out) {
        byte = memory_[index];
        if (++index == model_.size)
            index = 0;
    }
}

void Chip::store(std::uint32_t index, std::uint8_t value) {
    std::uint8_t& cell = memory_[index];
    const std::uint8_t next =
        isEeprom(model_.family) ? value : static_cast<std::uint8_t>(cell & value);
    if (next != cell) {
        cell = next;
        dirty_ = true;
    }
}

void Chip::writePage(std::uint64_t address, std::span<const std::uint8_t> data) {
    const std::uint32_t page = model_.pageSize;
    const std::uint32_t start = wrap(address);
    const std::uint32_t base = start - start % page;
    std::uint32_t offset = start - base;
    for (const std::uint8_t value : data) {
        store(base + offset, value);
        if (++offset == page)
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
    for (std::uint32_t i = 0; i < model_.sectorSize; ++i) {
        if (memory_[start + i] != 0xFF) {
            memory_[start + i] = 0xFF;
            dirty_ = true;
        }
    }
}

void Chip::eraseAll() {
    for (auto& byte : memory_) {
        if (byte != 0xFF) {
            byte = 0xFF;
            dirty_ = true;
        }
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
