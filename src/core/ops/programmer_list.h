// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/usb_api.h"

namespace nyra {

// One programmer on the bus, as it answered when asked.
struct ProgrammerEntry {
    int position = 0;     // 1-based, in bus order
    std::string busPath;  // "001/005"
    std::optional<std::uint32_t> serial;
    std::optional<std::uint8_t> firmwareVersion;
    bool bootLoader = false;  // waits in its boot loader: no serial number to give
    bool opened = false;      // false: it could not be opened or claimed (in use?)
};

// Opens the programmer at busPath on a link of its own, asks its firmware
// version and serial number (or whether it waits in its boot loader), and
// closes it again.
ProgrammerEntry askProgrammer(const UsbApi& usb, const std::string& busPath, int position);
// Every programmer on the bus, asked in bus order.
std::vector<ProgrammerEntry> listProgrammers(const UsbApi& usb);

// What locks a programmer: its serial number, else (in its boot loader) its place.
std::string lockName(const ProgrammerEntry& entry);

// A --programmer word: a bus position (1 to 99) or a serial number (more digits).
struct ProgrammerWanted {
    std::optional<int> position;
    std::optional<std::uint32_t> serial;
};
std::optional<ProgrammerWanted> parseProgrammerWanted(const std::string& word);
// The entry the word names, or nullptr.
const ProgrammerEntry* findProgrammer(const std::vector<ProgrammerEntry>& entries,
                                      const ProgrammerWanted& wanted);
// "programmer 100002" or "programmer 3 (in bus order)".
std::string describeWanted(const ProgrammerWanted& wanted);

}  // namespace nyra
