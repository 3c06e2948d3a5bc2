// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "app/clock.h"
#include "console_frontend.h"
#include "device/usb_api.h"
#include "programmer_choice.h"
#include "run_folder.h"
#include "shell/app_state.h"
#include "status_echo.h"

namespace nyra::cli {

// The main window's state for one run from the terminal: started up in the
// program folder, with working files of its own, its start-up jobs done and
// the status line echoed, and closed as the window closes when the run ends.
class ConsoleProgram {
public:
    // busPath: the programmer it drives ("" the first found).
    ConsoleProgram(const std::string& programFolder, const UsbApi& usb, Clock& clock,
                   ConsoleFrontend& console, const std::string& busPath = chosenBusPath())
        : runFolder_(programFolder), state_(console, clock, usb), echo_(state_.panel(), console) {
        state_.link().pin(busPath);
        state_.startUp(programFolder, runFolder_.path());
        state_.worker().waitUntilIdle();
    }
    ~ConsoleProgram() {
        // The window's close path: the link released, the worker told to end.
        state_.closeRequested();
        state_.shutdown();
    }
    ConsoleProgram(const ConsoleProgram&) = delete;
    ConsoleProgram& operator=(const ConsoleProgram&) = delete;

    AppState& state() { return state_; }

private:
    RunFolder runFolder_;  // outlives the state, whose close still uses its files
    AppState state_;
    StatusEcho echo_;
};

}  // namespace nyra::cli
