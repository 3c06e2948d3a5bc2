// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/text_key.h"

namespace nyra {

// The search holds one window of the data at a time, read in pieces.
inline constexpr std::size_t kFindPieceBytes = 51200;
inline constexpr std::size_t kFindPieces = 20;
inline constexpr std::size_t kFindWindowBytes = kFindPieces * kFindPieceBytes;

// A search text turned into the pattern: upper-case hex digit pairs, two per
// byte. Hex mode: upper case, a leading 0 for an odd length, and only 0-9 and
// A-F (itext 169 otherwise, a space included). Character mode: the text's own
// bytes. An empty text is itext 168.
struct SearchPattern {
    std::string hex;
    std::optional<TextKey> error;
};
SearchPattern searchPattern(const std::string& text, bool hexMode);
// The bytes of a pattern of hex digit pairs.
std::vector<std::uint8_t> patternBytes(const std::string& hex);

// Finds a byte string in data of a given length: leftmost match first, the
// next search starting after the match, so that matches never overlap, also
// across the windows. Windows overlap by the pattern's length less one, so a
// match across their boundary is found.
class ByteFinder {
public:
    // Reads up to n bytes at offset; returns how many it read.
    using ReadAt =
        std::function<std::size_t(std::uint64_t offset, std::uint8_t* out, std::size_t n)>;

    ByteFinder(ReadAt read, std::uint64_t length, std::vector<std::uint8_t> pattern);

    // The offset of the next match; nothing once the data is searched through.
    std::optional<std::uint64_t> next();

private:
    bool loadWindow();
    // The first match in the window at or after from.
    std::optional<std::size_t> findInWindow(std::size_t from) const;

    ReadAt read_;
    std::uint64_t length_;
    std::vector<std::uint8_t> pattern_;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowBytes_ = 0;
    bool loaded_ = false;
    bool done_ = false;
    // No match may start before this: the end of the last one.
    std::uint64_t resume_ = 0;
};

}  // namespace nyra
