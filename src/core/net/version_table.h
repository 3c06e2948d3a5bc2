// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/text_table.h"
#include "ui/frontend.h"

namespace nyra {

// The program's own version, as the version document counts it.
inline constexpr std::uint8_t kProgramVersion = 0x21;

// "%X.%X" of the two nibbles.
std::string nibbleVersion(std::uint8_t high, std::uint8_t low);

// The version window: the program's and the firmware's current and latest
// versions with their notes. document: the version document's first two
// bytes; firmware: the programmer's answer to the version command, or
// nullopt when it gave none.
ListWindow versionWindow(const TextTable& texts, const std::string& webAddress,
                         std::array<std::uint8_t, 2> document,
                         std::optional<std::uint8_t> firmware);

}  // namespace nyra
