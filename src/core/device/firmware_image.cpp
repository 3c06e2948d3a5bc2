// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/firmware_image.h"

#include <algorithm>
#include <cstdio>

namespace nyra {

std::uint64_t firmwarePayloadSum(std::span<const std::uint8_t> payload) {
    std::uint64_t sum = 0;
    for (const std::uint8_t byte : payload)
        sum += byte;
    return sum;
}

std::optional<std::uint32_t> storedFirmwareChecksum(std::span<const std::uint8_t> file) {
    if (file.size() < kFirmwareChecksumBytes)
        return std::nullopt;
    const auto tail = file.last(kFirmwareChecksumBytes);
    return (std::uint32_t{tail[0]} << 16) | (std::uint32_t{tail[1]} << 8) | tail[2];
}

bool firmwareChecksumMatches(std::span<const std::uint8_t> file) {
    // Fewer than four bytes leave no payload byte for the finish to send.
    if (file.size() <= kFirmwareChecksumBytes)
        return false;
    const auto stored = storedFirmwareChecksum(file);
    return stored &&
           firmwarePayloadSum(file.first(file.size() - kFirmwareChecksumBytes)) == *stored;
}

std::vector<std::uint8_t> buildFirmwareFile(std::uint8_t version,
                                            std::span<const std::uint8_t> body) {
    std::vector<std::uint8_t> file(kFirmwareMagic.begin(), kFirmwareMagic.end());
    file.push_back(version);
    file.insert(file.end(), body.begin(), body.end());
    const auto sum = static_cast<std::uint32_t>(firmwarePayloadSum(file));
    file.push_back(static_cast<std::uint8_t>(sum >> 16));
    file.push_back(static_cast<std::uint8_t>(sum >> 8));
    file.push_back(static_cast<std::uint8_t>(sum));
    return file;
}

FirmwareFileProblem firmwareFileProblem(std::span<const std::uint8_t> file) {
    constexpr std::size_t header = kFirmwareVersionOffset + 1;
    if (file.size() < header + kFirmwareChecksumBytes ||
        !std::equal(kFirmwareMagic.begin(), kFirmwareMagic.end(), file.begin()))
        return FirmwareFileProblem::NoMagic;
    if (!firmwareChecksumMatches(file))
        return FirmwareFileProblem::ChecksumMismatch;
    const auto body = file.subspan(header, file.size() - header - kFirmwareChecksumBytes);
    if (body.empty())
        return FirmwareFileProblem::NoBody;
    if (std::all_of(body.begin(), body.end(), [&](std::uint8_t b) { return b == body[0]; }))
        return FirmwareFileProblem::Uniform;
    return FirmwareFileProblem::None;
}

std::optional<std::uint8_t> firmwareVersionOf(std::span<const std::uint8_t> payload) {
    if (payload.size() <= kFirmwareVersionOffset ||
        !std::equal(kFirmwareMagic.begin(), kFirmwareMagic.end(), payload.begin()))
        return std::nullopt;
    return payload[kFirmwareVersionOffset];
}

std::string firmwareVersionText(std::uint8_t version) {
    char text[16];
    std::snprintf(text, sizeof text, "V%X.%X", static_cast<std::int8_t>(version >> 4) + 1,
                  version % 16);
    return text;
}

}  // namespace nyra
