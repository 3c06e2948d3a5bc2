// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/chip_model.h"
#include "sim/otp.h"

namespace nyra::sim {

// The memory array of one chip with the semantics of the real part:
// addresses wrap at the chip size, a program/write command wraps within its
// page, flash programming only clears bits and needs an erase to set them,
// EEPROM writes set the bytes.
class Chip {
public:
    explicit Chip(ChipModel model);

    const ChipModel& model() const { return model_; }
    std::uint32_t size() const { return model_.size; }

    std::uint8_t at(std::uint64_t address) const { return memory_[wrap(address)]; }
    void read(std::uint64_t address, std::span<std::uint8_t> out) const;

    // One page program (flash) or page write (EEPROM) starting at address.
    // Bytes past the end of the page roll over to its start, as real parts do.
    void writePage(std::uint64_t address, std::span<const std::uint8_t> data);
    // One byte program (flash: clears bits) or byte write (EEPROM).
    void writeByte(std::uint64_t address, std::uint8_t value);

    // Flash: erases the sector holding address. EEPROMs: no-op.
    void eraseSector(std::uint64_t address);
    // Flash: chip erase. EEPROMs: every byte written with 0xFF.
    void eraseAll();

    // Status register bits (quad enable and the like).
    std::uint16_t statusRegister() const { return status_; }
    void setStatusBit(int bit, bool on);

    std::span<const std::uint8_t> contents() const { return memory_; }
    // Replaces the first bytes of the array (test set-up, image load).
    void load(std::span<const std::uint8_t> bytes);

    bool dirty() const { return dirty_; }
    void markClean() { dirty_ = false; }
    // Erased or written since the chip was made (loading an image does not count).
    bool written() const { return written_; }

    // Bits that read 1 whatever is written: a worn part that fails verify.
    void setStuckBits(std::uint8_t mask) { stuckBits_ = mask; }
    std::uint8_t stuckBits() const { return stuckBits_; }

    // The security area of parts that have one (by JEDEC identity); kept in
    // memory only, so it starts erased with every new chip.
    OtpArea* otp() { return otp_ ? &*otp_ : nullptr; }
    const OtpArea* otp() const { return otp_ ? &*otp_ : nullptr; }

private:
    std::uint32_t wrap(std::uint64_t address) const {
        return static_cast<std::uint32_t>(address % model_.size);
    }
    void store(std::uint32_t index, std::uint8_t value);
    void eraseRange(std::uint32_t start, std::uint32_t length);
    // Bytes stored at index.. without leaving the array.
    void storeRun(std::uint32_t index, std::span<const std::uint8_t> values);

    ChipModel model_;
    std::vector<std::uint8_t> memory_;
    std::uint16_t status_ = 0;
    bool dirty_ = false;
    bool written_ = false;
    std::uint8_t stuckBits_ = 0;
    std::optional<OtpArea> otp_;
};

// True when every byte reads 0xFF.
bool allErased(std::span<const std::uint8_t> bytes);

// Image files hold the raw array in address order.
// Loads as much of the file as fits; the rest stays erased. False with a
// message when the file cannot be read; a size mismatch is only a note.
bool loadChipImage(Chip& chip, const std::string& path, std::string* note);
// Writes atomically (temporary file, then rename).
bool saveChipImage(const Chip& chip, const std::string& path, std::string* error);

}  // namespace nyra::sim
