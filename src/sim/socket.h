// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/chip.h"

namespace nyra::sim {

// The programmer's chip socket: one chip or nothing. A chip may be backed by
// an image file, loaded when it is inserted and written back when it changed.
class Socket {
public:
    ~Socket();

    bool empty() const { return !chip_; }
    Chip* chip() { return chip_.get(); }
    const Chip* chip() const { return chip_.get(); }
    const std::string& imagePath() const { return image_; }
    // Counts insertions: what the programmer learnt of one chip is void for the next.
    std::uint64_t insertions() const { return insertions_; }

    // Replaces whatever is in the socket. An unreadable image leaves the
    // chip erased and says so in note.
    void insert(const ChipModel& model, const std::string& imagePath, std::string* note);
    void remove();
    // Writes the image when the chip changed since the last write (or the
    // file does not exist yet). True when nothing needed writing.
    bool flush(std::string* error);

private:
    std::unique_ptr<Chip> chip_;
    std::string image_;
    bool imageOnDisk_ = false;
    std::uint64_t insertions_ = 0;
};

}  // namespace nyra::sim
