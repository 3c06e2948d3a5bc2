// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_scroller.h"

#include <algorithm>

namespace nyra {

using namespace hexview;

namespace {

std::uint64_t cellOffset(std::uint32_t absoluteRow, int column) {
    return std::uint64_t{absoluteRow} * kRowBytes + static_cast<unsigned>(column - 1);
}

}  // namespace

std::uint64_t HexScroller::focusOffset() const {
    return cellOffset(viewStart_ + static_cast<std::uint32_t>(focusRow_ - 1), focusColumn_);
}

std::uint64_t HexScroller::rememberedOffset() const {
    return cellOffset(rememberedRow_, rememberedColumn_);
}

void HexScroller::reset() {
    viewStart_ = 0;
    previousViewStart_ = 0;
    tracking_ = false;
    focusRow_ = focusColumn_ = -1;
    remembered_ = false;
}

int HexScroller::barPosition(std::uint32_t totalRows) const {
    if (totalRows < kProportionalRows)
        return static_cast<int>(viewStart_);
    const std::uint64_t position =
        std::uint64_t{viewStart_} * kScrollLimit / (totalRows - kViewRows);
    return static_cast<int>(std::min<std::uint64_t>(position, kScrollLimit));
}

void HexScroller::showPosition(std::uint32_t totalRows) {
    bar_.position = barPosition(totalRows);
}

void HexScroller::setRange(std::uint32_t totalRows) {
    bar_.minimum = 0;
    bar_.position = 0;
    if (totalRows <= static_cast<std::uint32_t>(kViewRows))
        bar_.maximum = 0;
    else if (totalRows < kProportionalRows)
        bar_.maximum = static_cast<int>(totalRows - kViewRows);
    else
        bar_.maximum = kScrollLimit;
    bar_.enabled = bar_.maximum > 0;
}

void HexScroller::scroll(HexScroll action, int thumbPosition, std::uint32_t totalRows) {
    switch (action) {
        case HexScroll::LineUp:
        case HexScroll::PageUp:
            if (viewStart_ > 0)
                --viewStart_;
            break;
        case HexScroll::LineDown:
        case HexScroll::PageDown:
            if (std::uint64_t{viewStart_} + kViewRows < totalRows)
                ++viewStart_;
            break;
        case HexScroll::Thumb: {
            if (thumbPosition < 0)
                break;
            const std::uint64_t p = static_cast<std::uint64_t>(thumbPosition);
            const std::uint64_t start =
                totalRows < kProportionalRows ? p : p * (totalRows - kViewRows) / kScrollLimit;
            if (start + kViewRows <= totalRows)
                viewStart_ = static_cast<std::uint32_t>(start);
            break;
        }
    }
}

void HexScroller::wheel(int delta, std::uint32_t totalRows) {
    if (delta > 0)
        scroll(HexScroll::LineUp, 0, totalRows);
    else if (delta < 0)
        scroll(HexScroll::LineDown, 0, totalRows);
}

void HexScroller::bringIntoView(std::uint64_t offset, std::uint64_t dataLength) {
    // Short data too: with a chip selected the view may stand far past its end.
    const std::uint64_t start = std::uint64_t{viewStart_} * kRowBytes;
    if (offset < start || offset > start + kWindowBytes - 1)
        viewStart_ = static_cast<std::uint32_t>(offset / kRowBytes);
    const auto dataRows = static_cast<std::int64_t>((dataLength + 15) / 16);
    if (dataRows - viewStart_ < kViewRows)
        viewStart_ = static_cast<std::uint32_t>(std::max<std::int64_t>(dataRows - kViewRows, 0));
}

void HexScroller::focusOn(std::uint64_t offset) {
    focus(static_cast<int>(offset / kRowBytes - viewStart_) + 1,
          static_cast<int>(offset % kRowBytes) + 1);
}

void HexScroller::remember() {
    if (focusRow_ < 1)
        return;
    remembered_ = true;
    rememberedRow_ = viewStart_ + static_cast<std::uint32_t>(focusRow_ - 1);
    rememberedColumn_ = focusColumn_;
}

HexScroller::Followed HexScroller::follow() {
    // The previous start is kept even without tracking, so a later click maps
    // to the right absolute row.
    Followed followed = Followed::Nothing;
    if (tracking_) {
        if (focusRow_ >= 1) {
            const std::uint32_t absolute =
                previousViewStart_ + static_cast<std::uint32_t>(focusRow_ - 1);
            remembered_ = true;
            rememberedRow_ = absolute;
            rememberedColumn_ = focusColumn_;
            const std::int64_t row = std::int64_t{absolute} - viewStart_ + 1;
            if (row < 1 || row > kViewRows) {
                focusRow_ = focusColumn_ = -1;
                followed = Followed::Left;
            } else {
                focusRow_ = static_cast<int>(row);
                followed = Followed::InView;
            }
        } else if (remembered_ && rememberedRow_ >= viewStart_ &&
                   rememberedRow_ - viewStart_ < static_cast<std::uint32_t>(kViewRows)) {
            focusRow_ = static_cast<int>(rememberedRow_ - viewStart_) + 1;
            focusColumn_ = rememberedColumn_;
            followed = Followed::InView;
        }
    }
    previousViewStart_ = viewStart_;
    return followed;
}

}  // namespace nyra
