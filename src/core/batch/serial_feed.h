// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "app/clock.h"
#include "serials/serial_store.h"

namespace nyra {

// The main document's checksum as a series keeps it (the window's form).
std::string documentChecksum(const std::string& path);
// A station's name in the store: the one given, else the host name and the
// programmer's serial number.
std::string stationName(const std::string& given, const std::string& programmer);

// A batch series in mode 2 taking its IDs from a series in a store: each
// chip's ID is reserved before its file is made, and what became of the chip
// goes back to the store. Thread-safe: the batch thread asks for IDs and
// outcomes, the worker says when a program step begins.
class SerialFeed {
public:
    SerialFeed(SerialStore& store, std::string series, Taker taker, Clock& clock);

    // Reservations this station left behind when it last stopped: now unknown.
    std::optional<std::vector<std::uint64_t>> recover();
    // The ID of the next chip, reserved; nullopt with error().
    std::optional<std::uint32_t> next();
    // The chip's program step begins: from here a stop leaves its ID unknown.
    void writing(std::uint32_t id);
    // The chip with id ended with a batch result code (kPassed, kUnknown or
    // a failed step); false when the store could not be told.
    bool ended(std::uint32_t id, std::uint8_t code, const std::string& chip,
               const std::string& dataChecksum);
    // The series ended: an ID reserved for a chip that never began to be
    // written goes back unused, one being written stays unknown.
    bool close();
    // Keeps the reservation alive while the station waits for its next chip.
    bool renew();

    const std::string& error() const { return error_; }
    const std::string& station() const { return taker_.station; }

private:
    std::string now() const;

    SerialStore& store_;
    const std::string series_;
    const Taker taker_;
    Clock& clock_;
    std::mutex mutex_;
    std::optional<std::uint32_t> reserved_;
    bool writing_ = false;
    std::string error_;
};

}  // namespace nyra
