// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

#include "catalogue/chip_parameters.h"

// The program's pictures, painted at run time in one style: the menu glyphs
// (by their bitmap numbers), the window icon and the three picture buttons.
namespace nyra::gui::art {

inline constexpr QSize kPinoutSize{175, 108};
inline constexpr QSize kPlacementSize{175, 216};
inline constexpr QSize kDecorationSize{175, 170};
// The placement and decoration pictures as the side panel shows them, side by
// side, scaled alike: low enough for the column to fit a 1024 x 768 screen.
inline constexpr QSize kPlacementShownSize{108, 133};
inline constexpr QSize kDecorationShownSize{108, 105};

bool hasMenuGlyph(int bitmap);
// The glyph at size x size pixels; transparent and empty for an unknown number.
QImage menuGlyph(int bitmap, int size);
QIcon menuIcon(int bitmap);

QIcon applicationIcon();
QImage applicationImage(int size);

QPixmap pinoutPicture(PinoutPicture which);
// The chip in the socket; with the adapter, on its adapter board.
QPixmap placementPicture(bool adapter);
QPixmap decorationPicture();

}  // namespace nyra::gui::art
