// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the program and the programmer's boot loader share about a firmware
// upgrade: the .nyr file layout, its checksum, the 256-byte upgrade key and
// the operations of the 4-byte boot-loader frames.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nyra {

// A .nyr file: payload, then the 24-bit sum of the payload bytes, most
// significant byte first. The payload starts with kFirmwareMagic and the
// version byte the programmer reports to command 18 once it runs it.
inline constexpr std::size_t kFirmwareChecksumBytes = 3;
inline constexpr std::array<std::uint8_t, 4> kFirmwareMagic{'N', 'Y', 'R', 'F'};
inline constexpr std::size_t kFirmwareVersionOffset = kFirmwareMagic.size();

// The sum of the payload, each byte taken as 0..255. A sum of 2^24 or more
// never equals a stored checksum.
std::uint64_t firmwarePayloadSum(std::span<const std::uint8_t> payload);
// The checksum stored in the last three bytes; nothing for a file too short to hold one.
std::optional<std::uint32_t> storedFirmwareChecksum(std::span<const std::uint8_t> file);
// True when the file is long enough and its payload sums to its stored checksum.
bool firmwareChecksumMatches(std::span<const std::uint8_t> file);

// A whole .nyr file: magic, version byte, body, checksum. A body that brings
// the sum to 2^24 or more gives a file that fails its own check.
std::vector<std::uint8_t> buildFirmwareFile(std::uint8_t version,
                                            std::span<const std::uint8_t> body);
// Why a file is no firmware to send, checked before the programmer is asked to
// leave its application: its boot loader erases that at the first block.
enum class FirmwareFileProblem {
    None,
    NoMagic,           // too short for magic, version and checksum, or another file
    ChecksumMismatch,  // damaged or cut
    NoBody,            // a header and nothing to run
    Uniform,           // every body byte the same: a blank or zeroed image
};
FirmwareFileProblem firmwareFileProblem(std::span<const std::uint8_t> file);

// The version byte of a payload that starts with the magic.
std::optional<std::uint8_t> firmwareVersionOf(std::span<const std::uint8_t> payload);

// "V%X.%X" of a version byte: the high nibble plus one, the low nibble.
std::string firmwareVersionText(std::uint8_t version);

// The upgrade key: every byte of the file travels and is read back as
// byte XOR key[file offset mod 256]. Ours: 256 steps of a 32-bit xorshift
// from kUpgradeKeySeed, the low byte of each state.
inline constexpr std::uint32_t kUpgradeKeySeed = 0x4B56514Eu;  // "KVQN"
inline constexpr std::array<std::uint8_t, 256> makeUpgradeKey() {
    std::array<std::uint8_t, 256> key{};
    std::uint32_t state = kUpgradeKeySeed;
    for (auto& byte : key) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state);
    }
    return key;
}
inline constexpr std::array<std::uint8_t, 256> kUpgradeKey = makeUpgradeKey();

inline constexpr std::uint8_t keyedFirmwareByte(std::uint8_t byte, std::uint64_t offset) {
    return static_cast<std::uint8_t>(byte ^ kUpgradeKey[offset % kUpgradeKey.size()]);
}

// The boot loader's work units: acknowledged blocks, stream chunks.
inline constexpr std::size_t kFirmwareBlockSize = 1024;
inline constexpr std::size_t kFirmwareChunkSize = 64;

// Operations of the 4-byte boot-loader frames (A5, operation, value, 5A).
namespace boot {
inline constexpr std::uint8_t kIdle = 1;         // after the handshake, between phases, on failure
inline constexpr std::uint8_t kBlock = 2;        // phase 1: value = low byte of the block number
inline constexpr std::uint8_t kStreamStart = 4;  // phase 2 begins on bulk OUT 1
inline constexpr std::uint8_t kStreamEnd = 5;    // phase 2 ends: 5, 1, 9
inline constexpr std::uint8_t kReadBack = 6;     // phase 3: the next 1024-byte block comes back
inline constexpr std::uint8_t kHandshake = 8;    // answered 0x5A 0xA5
inline constexpr std::uint8_t kStreamClose = 9;  // last of the three after phase 2
inline constexpr std::uint8_t kLeave = 10;       // after the finish, done or not
inline constexpr std::uint8_t kFinish = 12;      // value = last payload byte; echoed 12
inline constexpr std::uint8_t kStart = 13;       // echoed 13
inline constexpr std::array<std::uint8_t, 2> kHandshakeReply{0x5A, 0xA5};
}  // namespace boot

}  // namespace nyra
