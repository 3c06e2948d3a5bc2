// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Small, defensive text helpers for the configuration file, chip
// descriptions and control lines: nothing here throws or reads past its input.
namespace nyra::sim::text {

std::string_view trim(std::string_view s);
std::vector<std::string_view> splitWords(std::string_view s);
std::vector<std::string_view> split(std::string_view s, char separator);
bool iequals(std::string_view a, std::string_view b);
std::string lower(std::string_view s);

// Whole-string unsigned numbers. A "0x" prefix selects hexadecimal.
bool parseUnsigned(std::string_view s, std::uint64_t& out);
bool parseHex(std::string_view s, std::uint64_t& out);  // with or without 0x
// A byte count with an optional K, M or G suffix (binary units): 512, 4K, 8M.
bool parseSize(std::string_view s, std::uint64_t& out);
bool parseDouble(std::string_view s, double& out);
bool parseBool(std::string_view s, bool& out);  // 0/1, yes/no, on/off, true/false

// A byte as two upper-case hex digits: "0A".
std::string hexByte(unsigned value);

// Printable form of arbitrary bytes for messages (control characters escaped,
// length limited).
std::string printable(std::string_view s, std::size_t limit = 80);

}  // namespace nyra::sim::text
