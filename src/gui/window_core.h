// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "buffer/hex_view_model.h"
#include "ui/ids.h"
#include "ui/log_model.h"
#include "ui/panel.h"

// What the main window needs of the program behind it. The window only
// renders the Panel and forwards input; everything it forwards lands here.
namespace nyra::gui {

class WindowCore {
public:
    virtual ~WindowCore() = default;

    virtual Panel& panel() = 0;
    virtual LogModel& log() = 0;
    // Whether the status line currently shows an alert.
    virtual bool statusAlert() const = 0;
    // The progress bar's position 0..100, read whenever its label changes.
    virtual int progressPosition() const = 0;

    // The hex view behind the grid; none in windows without data.
    virtual HexViewModel* hexView() { return nullptr; }

    virtual void command(int id) = 0;
    // True when the key was consumed.
    virtual bool keyPressed(ids::Key key, bool ctrlHeld) = 0;
    virtual bool escapeOrEnterPressed(bool enter) = 0;
    virtual void windowMessage(int message, std::uintptr_t wordParameter) = 0;
    // False keeps the window open.
    virtual bool closeRequested() = 0;
};

}  // namespace nyra::gui
