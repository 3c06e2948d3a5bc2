// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QApplication;

namespace nyra::gui {

inline constexpr const char* kSkinFile = "CODE/Office2007.cjstyles";

// Applies the style sheet at skinPath (relative paths from the current
// directory, as its image references are). False when it cannot be read;
// the program then runs unskinned, saying nothing.
bool loadSkin(QApplication& app, const QString& skinPath = QString::fromLatin1(kSkinFile));

}  // namespace nyra::gui
