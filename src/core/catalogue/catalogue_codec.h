// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace nyra {

// The scrambling of database.dat. Reading applies the bit pass and then the
// substitution to every byte; writing applies the inverse substitution and
// then the bit pass (which is its own inverse on bits 0..6).
namespace catalogue_codec {

struct SubstitutionPair {
    char source;   // stored (after the bit pass)
    char partner;  // what the text holds
};

inline constexpr std::size_t kSubstitutionPairCount = 39;
extern const std::array<SubstitutionPair, kSubstitutionPairCount> kSubstitutionPairs;

// Bits 0..2 and 4..6 change places, bit 3 is inverted, bit 7 is dropped.
constexpr std::uint8_t bitPass(std::uint8_t value) {
    return static_cast<std::uint8_t>((~value & 0x08) | ((value >> 4) & 0x07) |
                                     ((value & 0x07) << 4));
}

// Reading direction: a source character becomes its partner.
std::uint8_t substitute(std::uint8_t value);
// Writing direction: a partner becomes its source; other bytes stay.
std::uint8_t unsubstitute(std::uint8_t value);
// False for bytes of 128 and above and for the source characters, which the
// reader would turn into something else.
bool canCarry(std::uint8_t value);

// Reading: turns stored bytes into text in place.
void unscramble(std::span<std::uint8_t> image);
// Writing: the stored form of text, or nothing when a character cannot be
// carried (see canCarry).
std::optional<std::vector<std::uint8_t>> scramble(std::string_view text);

}  // namespace catalogue_codec
}  // namespace nyra
