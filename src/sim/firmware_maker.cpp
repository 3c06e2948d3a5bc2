// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/firmware_maker.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device/firmware_image.h"
#include "sim/text_util.h"

namespace nyra::sim {

namespace {

bool fail(std::string* error, std::string message) {
    if (error)
        *error = std::move(message);
    return false;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::uint8_t> parseFirmwareVersion(std::string_view text, std::string* error) {
    const std::size_t dot = text.find('.');
    const std::string_view majorText = text.substr(0, dot);
    std::uint64_t major = 0;
    const bool decimal = !majorText.empty() && majorText.size() <= 2 &&
                         majorText.find_first_not_of("0123456789") == std::string_view::npos;
    if (dot == std::string_view::npos || !decimal || !text::parseUnsigned(majorText, major) ||
        major < 1 || major > 16) {
        fail(error, "version '" + text::printable(text, 40) +
                        "': expected MAJOR.MINOR with MAJOR 1..16, e.g. 2.3");
        return std::nullopt;
    }
    const std::string_view minorText = text.substr(dot + 1);
    const int minor = minorText.size() == 1 ? hexDigit(minorText[0]) : -1;
    if (minor < 0) {
        fail(error, "version '" + text::printable(text, 40) +
                        "': MINOR is one hex digit 0..F (2.A for ten)");
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(((major - 1) << 4) | static_cast<unsigned>(minor));
}

std::optional<FirmwareFileRequest> parseMakeFirmwareArguments(
    std::span<const std::string_view> args, std::string* error) {
    FirmwareFileRequest request;
    bool haveVersion = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--version" || arg == "--size") {
            if (i + 1 >= args.size()) {
                fail(error, std::string(arg) + " needs a value");
                return std::nullopt;
            }
            const std::string_view value = args[++i];
            if (arg == "--version") {
                const auto version = parseFirmwareVersion(value, error);
                if (!version)
                    return std::nullopt;
                request.version = *version;
                haveVersion = true;
                continue;
            }
            std::uint64_t size = 0;
            if (!text::parseSize(value, size) || size < kMinFirmwareFileBytes ||
                size > kMaxFirmwareFileBytes) {
                fail(error, "size '" + text::printable(value, 40) + "': expected " +
                                std::to_string(kMinFirmwareFileBytes) + " to " +
                                std::to_string(kMaxFirmwareFileBytes) + " bytes (K and M allowed)");
                return std::nullopt;
            }
            request.size = static_cast<std::size_t>(size);
        } else if (arg == "--bad-checksum") {
            request.badChecksum = true;
        } else if (arg.starts_with("-")) {
            fail(error, "unknown option '" + text::printable(arg, 40) + "'");
            return std::nullopt;
        } else if (!request.output.empty()) {
            fail(error, "only one output file, got '" + text::printable(arg, 40) + "' too");
            return std::nullopt;
        } else {
            request.output = std::string(arg);
        }
    }
    if (!haveVersion) {
        fail(error, "--version MAJOR.MINOR is required");
        return std::nullopt;
    }
    if (request.output.empty()) {
        fail(error, "no output file given");
        return std::nullopt;
    }
    return request;
}

std::vector<std::uint8_t> makeFirmwareFile(const FirmwareFileRequest& request) {
    const std::size_t header = kFirmwareMagic.size() + 1;
    const std::size_t size = std::max(request.size, kMinFirmwareFileBytes);
    std::vector<std::uint8_t> body(size - header - kFirmwareChecksumBytes);
    // Small values, so that a megabyte still sums below 2^24; seeded by the
    // version so that two versions differ all through.
    std::uint32_t x = 0x9E3779B9u ^ request.version;
    for (auto& byte : body) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<std::uint8_t>(x & 0x0F);
    }
    std::vector<std::uint8_t> file = buildFirmwareFile(request.version, body);
    if (request.badChecksum)
        file.back() = static_cast<std::uint8_t>(file.back() + 1);
    return file;
}

bool writeFirmwareFile(const std::string& path, std::span<const std::uint8_t> bytes,
                       std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return fail(error, "cannot create '" + path + "': " + std::strerror(errno));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int savedErrno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::remove(path.c_str());
        return fail(error,
                    "cannot write '" + path + "': " + std::strerror(written ? errno : savedErrno));
    }
    return true;
}

}  // namespace nyra::sim
