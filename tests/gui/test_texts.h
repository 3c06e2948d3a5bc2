// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>

#include "app/text_key.h"

namespace nyra::gui::test {

// The text every key gets in the test text files: "Ftext 73", "Itext 0", and
// a few in Chinese so that the UTF-8 path is used.
std::string testText(TextKey key);
// Writes ftext.ini and itext.ini with those texts into folder.
bool writeTestTexts(const QString& folder);

}  // namespace nyra::gui::test
