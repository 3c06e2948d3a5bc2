// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/app_state.h"
#include "window_core.h"

namespace nyra::gui {

// The program's own WindowCore: the shared state of the main window.
class AppStateCore final : public WindowCore {
public:
    explicit AppStateCore(AppState& state) : state_(state) {}

    Panel& panel() override { return state_.panel(); }
    LogModel& log() override { return state_.log(); }
    bool statusAlert() const override { return state_.statusKind() == StatusKind::Alert; }
    int progressPosition() const override { return state_.progress().position(); }
    HexViewModel* hexView() override { return &state_.hexView(); }
    void command(int id) override { state_.command(id); }
    bool keyPressed(ids::Key key, bool ctrlHeld) override {
        return state_.keyPressed(key, ctrlHeld);
    }
    bool escapeOrEnterPressed(bool enter) override { return state_.escapeOrEnterPressed(enter); }
    void windowMessage(int message, std::uintptr_t wordParameter) override {
        state_.windowMessage(message, wordParameter);
    }
    bool closeRequested() override { return state_.closeRequested(); }

    AppState& state() { return state_; }

private:
    AppState& state_;
};

}  // namespace nyra::gui
