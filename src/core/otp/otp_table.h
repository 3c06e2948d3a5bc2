// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nyra {

// An address range of an OTP area, both ends inclusive.
struct OtpRange {
    std::uint16_t start = 0;
    std::uint16_t end = 0;
};

struct OtpEntry {
    std::uint32_t identity = 0;             // 24-bit JEDEC identity
    std::uint16_t size = 0;                 // bytes
    std::uint16_t base = 0;                 // first address of the area
    std::vector<OtpRange> deferred;         // written last, each in one command
    std::vector<std::uint16_t> otherSizes;  // shown in the log only
    std::string note;
};

// A chip group: the parameters the programmer needs for its OTP commands,
// sent unchanged, and the chips it covers.
struct OtpGroup {
    std::array<std::uint8_t, 9> parameters{};
    std::vector<OtpEntry> entries;
    // 0: the group has no readable lock state.
    std::uint8_t lockStateFlag() const { return parameters[6]; }
};

const std::vector<OtpGroup>& otpTable();

struct OtpMatch {
    std::uint16_t group = 0;
    std::uint16_t entry = 0;
    const OtpGroup& groupOf() const { return otpTable()[group]; }
    const OtpEntry& entryOf() const { return otpTable()[group].entries[entry]; }
};

// The first entry, group by group in table order, whose identity as six
// upper-case hexadecimal digits equals mainId.
std::optional<OtpMatch> findOtpEntry(const std::string& mainId);

}  // namespace nyra
