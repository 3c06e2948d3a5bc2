// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

#include "app/text_key.h"
#include "ui/panel.h"

namespace nyra {

using TextLookup = std::function<std::string(TextKey)>;

// Gives a Panel the main window's menu (pop-ups and items with their
// captions, grey states and no check marks) and controls (captions from the
// text table where they have a key, else the template's; the controls that
// start hidden hidden).
void buildMainPanel(Panel& panel, const TextLookup& text);

}  // namespace nyra
