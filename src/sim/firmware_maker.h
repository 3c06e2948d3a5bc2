// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// kvq-sim make-firmware: firmware files for trying the upgrade on the demo device.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nyra::sim {

inline constexpr std::size_t kDefaultFirmwareFileBytes = 5000;  // five blocks, the last partial
inline constexpr std::size_t kMinFirmwareFileBytes = 8;         // magic, version, checksum
inline constexpr std::size_t kMaxFirmwareFileBytes = 1024 * 1024;

struct FirmwareFileRequest {
    std::uint8_t version = 0;
    std::size_t size = kDefaultFirmwareFileBytes;
    bool badChecksum = false;  // last checksum byte off by one
    std::string output;
};

// "MAJOR.MINOR" with major 1..16 and minor one hex digit: "2.3" is 0x13, "2.A" 0x1A.
std::optional<std::uint8_t> parseFirmwareVersion(std::string_view text, std::string* error);
// The arguments after "make-firmware":
//   --version X.Y [--size BYTES] [--bad-checksum] OUT.nyr
std::optional<FirmwareFileRequest> parseMakeFirmwareArguments(
    std::span<const std::string_view> args, std::string* error);
// The whole file: header, deterministic filler, checksum. The filler keeps
// every size up to kMaxFirmwareFileBytes under the 24-bit checksum limit.
std::vector<std::uint8_t> makeFirmwareFile(const FirmwareFileRequest& request);
bool writeFirmwareFile(const std::string& path, std::span<const std::uint8_t> bytes,
                       std::string* error);

}  // namespace nyra::sim
