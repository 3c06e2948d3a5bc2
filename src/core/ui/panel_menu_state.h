// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/switches.h"
#include "ui/panel.h"

namespace nyra {

static_assert(Panel::kMenuStateChecked == kMenuChecked && Panel::kMenuStateGreyed == kMenuGreyed);

// Lets the switches keep their check marks in the main window's menu.
class PanelMenuState final : public MenuCheckState {
public:
    explicit PanelMenuState(Panel& panel) : panel_(panel) {}

    unsigned menuState(int commandId) const override { return panel_.menuState(commandId); }
    void setChecked(int commandId, bool checked) override {
        panel_.setMenuChecked(commandId, checked);
    }

private:
    Panel& panel_;
};

}  // namespace nyra
