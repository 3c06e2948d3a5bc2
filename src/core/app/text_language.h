// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "app/text_key.h"

// Which language the loaded text set is in, so that the toolkit's own texts
// (standard buttons, stock dialogs) can be shown in the same language.
namespace nyra {

class TextTable;

// The text that names the language of its set as a locale name ("zh_CN", "en").
constexpr TextKey kTextLanguageKey = ftext(62);
// The one line of the About dialog.
constexpr TextKey kAboutTextKey = ftext(61);

// A locale name as the program accepts it: two or three lower-case letters,
// optionally "_" and two upper-case letters. Anything else could reach a
// file name and is refused.
bool isLocaleName(std::string_view name);

// The language of the texts: the locale the set names for itself; without a
// usable name, "zh_CN" when the texts hold Chinese characters (the program's
// own default set, or any older Chinese set), else "" (unknown: the
// toolkit's own texts stay as they are).
std::string textLanguage(const TextTable& texts);

// For the few texts the text files lack: the Chinese one for a Chinese set,
// else the English one.
std::string inTextLanguage(const TextTable& texts, std::string_view chinese,
                           std::string_view english);

}  // namespace nyra
