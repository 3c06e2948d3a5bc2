// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_panel.h"

#include "ui/ids.h"

namespace nyra {

void buildMainPanel(Panel& panel, const TextLookup& text) {
    for (const ids::MenuEntry& entry : ids::kMainMenu) {
        panel.addMenuItem(entry.id, text(entry.caption), entry.startsGreyed, false);
    }
    for (const ids::ControlEntry& control : ids::kMainControls) {
        panel.setText(control.id,
                      control.caption ? text(*control.caption) : control.templateCaption);
        panel.setVisible(control.id, !control.startsHidden);
    }
}

}  // namespace nyra
