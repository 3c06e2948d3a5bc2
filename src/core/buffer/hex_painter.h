// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "buffer/data_buffer.h"

namespace nyra {

namespace hexview {
inline constexpr int kGridRows = 21;
inline constexpr int kGridColumns = 18;
inline constexpr int kViewRows = 20;
inline constexpr int kAsciiColumn = 17;
inline constexpr std::size_t kCells = kGridRows * kGridColumns;
inline constexpr std::size_t kWindowBytes = kViewRows * kRowBytes;

// A cell of the 20 x 16 byte area (row 0 and columns 0 and 17 are fixed texts).
constexpr bool isDataCell(int row, int column) {
    return row >= 1 && row <= kViewRows && column >= 1 && column <= 16;
}
// "%2X" with the space made "0".
std::string byteText(std::uint8_t value);
}  // namespace hexview

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

namespace hexcolour {
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kChanged{255, 0, 0};
inline constexpr Rgb kOutside{204, 204, 204};
inline constexpr Rgb kBeyondChip{100, 149, 237};
inline constexpr Rgb kFixedText{0, 0, 255};
inline constexpr Rgb kHighlightText{255, 255, 255};
inline constexpr Rgb kHighlightBackground{0, 0, 255};
}  // namespace hexcolour

enum CellState : int {
    kCellNormal = 0,
    kCellChanged = 1,
    kCellOutside = 2,
    kCellHighlighted = 3,
    kCellBeyondChip = 4,
};

struct HexCell {
    std::string text;
    int state = kCellOutside;  // data cells only; fixed cells keep 0
};

// The painter: the grid's texts and colour states for the 20 rows from a
// view start, against the reference file for the changed marks.
class HexPainter {
public:
    using Cells = std::array<HexCell, hexview::kCells>;

    HexPainter();

    const HexCell& cell(int row, int column) const {
        return cells_[static_cast<std::size_t>(row * hexview::kGridColumns + column)];
    }
    const Cells& cells() const { return cells_; }
    Rgb textColour(int row, int column) const;
    Rgb background(int row, int column) const;

    // True when a cell turned changed that was not before (Save is offered then).
    bool paint(const DataBuffer& data, std::uint32_t viewStart, std::uint64_t chipSize);
    // A search match, until the next paint.
    void highlight(int row, int column);

private:
    HexCell& at(int row, int column) {
        return cells_[static_cast<std::size_t>(row * hexview::kGridColumns + column)];
    }

    Cells cells_{};
};

}  // namespace nyra
