// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/byte_finder.h"

#include <algorithm>
#include <cstring>

#include "buffer/hex_digits.h"

namespace nyra {

SearchPattern searchPattern(const std::string& text, bool hexMode) {
    SearchPattern result;
    if (text.empty()) {
        result.error = itext(168);
        return result;
    }
    if (!hexMode) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (const unsigned char c : text) {
            result.hex += kDigits[c >> 4];
            result.hex += kDigits[c & 0x0F];
        }
        return result;
    }
    std::string upper = text;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (!isHexDigit(c)) {
            result.error = itext(169);
            return result;
        }
    }
    if (upper.size() % 2 != 0)
        upper.insert(upper.begin(), '0');
    result.hex = std::move(upper);
    return result;
}

std::vector<std::uint8_t> patternBytes(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(hexValue(hex[i]) << 4 | hexValue(hex[i + 1])));
    return bytes;
}

ByteFinder::ByteFinder(ReadAt read, std::uint64_t length, std::vector<std::uint8_t> pattern)
    : read_(std::move(read)), length_(length), pattern_(std::move(pattern)) {
    done_ = pattern_.empty();
}

bool ByteFinder::loadWindow() {
    if (window_.empty())
        window_.resize(kFindWindowBytes);
    windowBytes_ = 0;
    for (std::size_t piece = 0; piece < kFindPieces; ++piece) {
        const std::size_t got =
            read_(windowStart_ + windowBytes_, window_.data() + windowBytes_, kFindPieceBytes);
        windowBytes_ += got;
        if (got < kFindPieceBytes)
            break;
    }
    loaded_ = true;
    return windowBytes_ >= pattern_.size();
}

std::optional<std::size_t> ByteFinder::findInWindow(std::size_t from) const {
    const std::size_t m = pattern_.size();
    // Growing stretches: the cost of a search stays in proportion to the
    // distance to its match, also where memmem is checked byte by byte
    // (sanitizers) and matches come close together. A stretch holds the
    // pattern at least twice, so each step moves on and stays in the window.
    std::size_t stretch = std::max<std::size_t>(64, 2 * m);
    while (from + m <= windowBytes_) {
        const std::size_t length = std::min(stretch, windowBytes_ - from);
        const void* hit = ::memmem(window_.data() + from, length, pattern_.data(), m);
        if (hit)
            return static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - window_.data());
        if (from + length == windowBytes_)
            break;
        from += length - m + 1;
        stretch *= 2;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ByteFinder::next() {
    const std::size_t m = pattern_.size();
    while (!done_) {
        if (!loaded_ && !loadWindow()) {
            done_ = true;
            break;
        }
        // Bytes before the end of the last match are not searched again.
        const std::size_t from =
            resume_ > windowStart_ ? static_cast<std::size_t>(resume_ - windowStart_) : 0;
        if (const auto at = findInWindow(from)) {
            resume_ = windowStart_ + *at + m;
            return windowStart_ + *at;
        }
        // The next window starts where this one's last candidate left off.
        windowStart_ += windowBytes_ - m + 1;
        loaded_ = false;
        if (windowStart_ >= length_)
            done_ = true;
    }
    return std::nullopt;
}

}  // namespace nyra
