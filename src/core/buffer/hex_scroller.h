// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "buffer/hex_painter.h"

namespace nyra {

namespace hexview {
// From this many rows on the bar's 0..32767 no longer holds one step a row.
inline constexpr std::uint32_t kProportionalRows = 32788;
inline constexpr int kScrollLimit = 32767;
}  // namespace hexview

struct HexScrollBar {
    int minimum = 0, maximum = 0, position = 0;
    bool enabled = false;
};

enum class HexScroll { LineUp, LineDown, PageUp, PageDown, Thumb };

// The scroller: the first row shown, the bar's mapping to it, and the
// focused cell, which keeps its absolute row while the view moves.
class HexScroller {
public:
    std::uint32_t viewStart() const { return viewStart_; }
    const HexScrollBar& bar() const { return bar_; }
    int focusRow() const { return focusRow_; }
    int focusColumn() const { return focusColumn_; }
    bool focusInView() const { return hexview::isDataCell(focusRow_, focusColumn_); }
    // The data offset of the focused cell (focusInView) and of the remembered one.
    std::uint64_t focusOffset() const;
    bool hasRemembered() const { return remembered_; }
    std::uint64_t rememberedOffset() const;

    // A load: back to the top, no focus, nothing followed.
    void reset();
    void setRange(std::uint32_t totalRows);
    void showPosition(std::uint32_t totalRows);
    void scroll(HexScroll action, int thumbPosition, std::uint32_t totalRows);
    void wheel(int delta, std::uint32_t totalRows);
    void setStart(std::uint32_t row) { viewStart_ = row; }
    void rowDown() { ++viewStart_; }
    // Moves the view so it shows offset, with as many data rows as fit.
    void bringIntoView(std::uint64_t offset, std::uint64_t dataLength);

    // From now on the focus follows the rows it is on.
    void track() { tracking_ = true; }
    void focus(int row, int column) {
        focusRow_ = row;
        focusColumn_ = column;
    }
    void focusOn(std::uint64_t offset);
    // Keeps the focused cell's absolute place for scrolls and commits.
    void remember();

    enum class Followed { Nothing, Left, InView };
    // After the view moved: whether the followed focus left the view or is
    // in it (again), at focusRow/focusColumn.
    Followed follow();

private:
    int barPosition(std::uint32_t totalRows) const;

    std::uint32_t viewStart_ = 0;
    std::uint32_t previousViewStart_ = 0;
    HexScrollBar bar_;
    int focusRow_ = -1, focusColumn_ = -1;
    bool tracking_ = false;
    bool remembered_ = false;
    std::uint32_t rememberedRow_ = 0;  // absolute
    int rememberedColumn_ = 0;
};

}  // namespace nyra
