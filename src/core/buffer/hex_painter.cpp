// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_painter.h"

#include <algorithm>
#include <cstdio>

namespace nyra {

using namespace hexview;

namespace {

std::string addressText(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%8X", static_cast<unsigned>(value));
    std::string result(text);
    std::replace(result.begin(), result.end(), ' ', '0');
    return result;
}

char shown(std::uint8_t byte) {
    return byte >= 33 && byte <= 126 ? static_cast<char>(byte) : '.';
}

}  // namespace

std::string hexview::byteText(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%2X", value);
    std::string result(text);
    std::replace(result.begin(), result.end(), ' ', '0');
    return result;
}

HexPainter::HexPainter() {
    at(0, 0).text = "  ADDR";
    for (int k = 1; k <= 16; ++k) {
        char digit[4];
        std::snprintf(digit, sizeof digit, "%X", k - 1);
        at(0, k).text = digit;
    }
    at(0, kAsciiColumn).text = "     ASCII";
    for (int r = 1; r <= kViewRows; ++r) {
        at(r, 0).text = addressText(std::uint64_t(r - 1) * kRowBytes);
        for (int k = 1; k <= 16; ++k)
            at(r, k) = {"FF", kCellOutside};
        at(r, kAsciiColumn).text = "................";
    }
    for (int k = 0; k < kGridColumns; ++k)
        at(0, k).state = kCellNormal;
    for (int r = 1; r <= kViewRows; ++r) {
        at(r, 0).state = kCellNormal;
        at(r, kAsciiColumn).state = kCellNormal;
    }
}

Rgb HexPainter::textColour(int row, int column) const {
    if (row == 0 || column == 0)
        return hexcolour::kFixedText;
    if (!isDataCell(row, column))
        return hexcolour::kBlack;
    switch (cell(row, column).state) {
        case kCellChanged:
            return hexcolour::kChanged;
        case kCellOutside:
            return hexcolour::kOutside;
        case kCellHighlighted:
            return hexcolour::kHighlightText;
        case kCellBeyondChip:
            return hexcolour::kBeyondChip;
        default:
            return hexcolour::kBlack;
    }
}

Rgb HexPainter::background(int row, int column) const {
    if (isDataCell(row, column) && cell(row, column).state == kCellHighlighted)
        return hexcolour::kHighlightBackground;
    return hexcolour::kWhite;
}

bool HexPainter::paint(const DataBuffer& data, std::uint32_t viewStart, std::uint64_t chipSize) {
    std::array<std::uint8_t, kWindowBytes> window;
    std::array<std::uint8_t, kWindowBytes> reference;
    window.fill(255);
    reference.fill(0);
    const bool loaded = data.isLoaded();
    std::uint64_t referenceLength = 0;
    const std::uint64_t start = std::uint64_t{viewStart} * kRowBytes;
    if (loaded) {
        data.working().readAt(start, window.data(), window.size());
        data.reference().readAt(start, reference.data(), reference.size());
        referenceLength = data.reference().length();
    }
    const std::uint64_t length = data.dataLength();
    bool enteredChanged = false;
    for (int r = 1; r <= kViewRows; ++r) {
        const std::uint64_t rowStart = (std::uint64_t{viewStart} + r - 1) * kRowBytes;
        at(r, 0).text = addressText(rowStart);
        std::string chars(16, '.');
        for (int k = 1; k <= 16; ++k) {
            const std::size_t i = static_cast<std::size_t>((r - 1) * 16 + k - 1);
            const std::uint64_t n = rowStart + static_cast<unsigned>(k);  // offset + 1
            int state;
            if (!loaded)
                state = kCellOutside;
            else if (window[i] != reference[i] || n > referenceLength)
                state = n > length ? kCellOutside : kCellChanged;
            else
                state = n > chipSize ? kCellBeyondChip : kCellNormal;
            HexCell& c = at(r, k);
            if (state == kCellChanged && c.state != kCellChanged)
                enteredChanged = true;
            c.state = state;
            c.text = byteText(window[i]);
            chars[static_cast<std::size_t>(k - 1)] = shown(window[i]);
        }
        at(r, kAsciiColumn).text = chars;
    }
    return enteredChanged;
}

void HexPainter::highlight(int row, int column) {
    if (isDataCell(row, column))
        at(row, column).state = kCellHighlighted;
}

}  // namespace nyra
